#pragma once

#include "transfer/firmwarerules.h"
#include "transfer/transfersafety.h"

#include <string>

class DeviceFolderFinder;
class FtpConnection;
class ProgressSink;
class SettingsFile;
struct GatewayOutcome;

// Puts one file (and verifies it with safety.verify), counting it in outcome as sent or failed
// with the reason; what the verify step found also goes to notes.
bool putCounted(FtpConnection& connection, const std::string& localPath,
                const std::string& deviceDirectory, const std::string& name,
                const TransferSafety& safety, std::string* notes, GatewayOutcome& outcome);

// Deletes the listed files of one device directory; failures are passed over (outcome, when
// given, counts the deleted files).
void removeListedFiles(FtpConnection& connection, const std::string& deviceDirectory,
                       const ExtensionList& list, GatewayOutcome* outcome = nullptr);

// Uploads the listed files of folder's whole tree (depth first), stepping the upper bar once per
// file reached. A file goes to the device directory finder (one of its own when not given)
// reaches for its folder; each other spelling it had to use is noted once. Returns false when any file failed or a folder of the tree could not be listed.
// Once the connection is lost the remaining files fail at once, each still stepping the bar.
// outcome, when given, counts the files sent and failed and keeps the first failure's reason.
bool uploadTree(FtpConnection& connection, const SettingsFile& settings,
                const std::string& folder, const std::string& root, ProgressSink& progress,
                const TransferSafety& safety = {}, std::string* notes = nullptr,
                GatewayOutcome* outcome = nullptr, DeviceFolderFinder* finder = nullptr);
