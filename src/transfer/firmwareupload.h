#pragma once

#include "transfer/transfercontext.h"
#include "transfer/transferresult.h"

#include <string>
#include <vector>

class FtpConnection;
struct GatewayOutcome;

inline constexpr std::size_t MaxListedExtensions = 128;
inline constexpr const char* ProtectedFileName = "NVRAM.TXT";

// Extensions from one settings section, Ext1 up to the first gap, at most 128.
using ExtensionList = std::vector<std::string>;

ExtensionList readExtensionList(const SettingsFile& settings, const std::string& section);
// True when the upper-cased bare name's extension (the text after its last '.', or the whole
// name without one) is listed exactly. NVRAM.TXT never is.
bool isListedFile(const std::string& bareName, const ExtensionList& list);
// Files in the whole tree below folder; folders that cannot be listed count 0.
std::size_t countFiles(const std::string& folder);

struct DeviceFolders {
    bool doc = false;
    bool images = false;
    bool user = false;
};
// Which of DOC, IMAGES and USER (any case) stand directly in the root and can be listed: the
// device folder of one whose files can't be read is not cleaned.
DeviceFolders findDeviceFolders(const std::string& root);

// Deletes the listed files of one device directory; failures are passed over (outcome, when
// given, counts the deleted files).
void removeListedFiles(FtpConnection& connection, const std::string& deviceDirectory,
                       const ExtensionList& list, GatewayOutcome* outcome = nullptr);

// Uploads the listed files of folder's whole tree (depth first), stepping the upper bar once per
// file reached. Returns false when any file failed or a folder of the tree could not be listed.
// Once the connection is lost the remaining files fail at once, each still stepping the bar.
// outcome, when given, counts the files sent and failed and keeps the first failure's reason.
bool uploadTree(FtpConnection& connection, const SettingsFile& settings,
                const std::string& folder, const std::string& root, ProgressSink& progress,
                GatewayOutcome* outcome = nullptr);

// Probes, connects, (full only) cleans the device directories, then uploads the tree. Failed,
// with nothing sent, for a login that isSendableLogin refuses; Failed, with nothing deleted or
// sent after the login, when the root can't be listed. outcome, when given, gets what happened;
// a gateway Done without a file sent has the reason "nothing matched PutList".
TransferResult uploadFirmware(TransferContext& context, const SettingsFile& settings,
                              std::string sourcePath, bool fullFirmware,
                              const std::string& gatewayAddress, const std::string& userId,
                              const std::string& password, GatewayOutcome* outcome = nullptr);
