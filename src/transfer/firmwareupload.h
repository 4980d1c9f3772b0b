#pragma once

#include "transfer/transfercontext.h"
#include "transfer/transferresult.h"
#include "transfer/transfersafety.h"

#include <functional>
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

// The bare name in a listing entry: trailing spaces cut, then the text after the last space,
// so a server that sends whole `ls -l` lines still yields the name.
std::string bareNameInListing(std::string entry);
// The names of a device directory's listing that a full upgrade deletes there.
std::vector<std::string> removableNames(const std::vector<std::string>& listing,
                                        const ExtensionList& list);

// One device directory a full upgrade cleans, with the extensions it deletes there.
struct CleaningStep {
    std::string deviceDirectory;
    ExtensionList extensions;
};
// The directories a full upgrade of sourcePath cleans, in order: /RFA/, then Doc/, Images/ and
// User/ for the firmware folders that have them.
std::vector<CleaningStep> cleaningSteps(const SettingsFile& settings,
                                        const std::string& sourcePath);

// A file of the firmware tree and the device directory it goes to.
struct FirmwareFile {
    std::string localPath;
    std::string deviceDirectory;  // "/RFA/" followed by its folder below the root
    std::string name;
};
// Visits the files of folder's whole tree (depth first, in the file system's order) as an
// upload reaches them. A folder that can't be listed is passed to unreadable (when given) and
// makes the result false; its files are not visited.
bool forEachFirmwareFile(const std::string& folder, const std::string& root,
                         const std::function<void(const FirmwareFile&)>& visit,
                         const std::function<void(const std::string&)>& unreadable = {});

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
// file reached. Returns false when any file failed or a folder of the tree could not be listed.
// Once the connection is lost the remaining files fail at once, each still stepping the bar.
// outcome, when given, counts the files sent and failed and keeps the first failure's reason.
bool uploadTree(FtpConnection& connection, const SettingsFile& settings,
                const std::string& folder, const std::string& root, ProgressSink& progress,
                const TransferSafety& safety = {}, std::string* notes = nullptr,
                GatewayOutcome* outcome = nullptr);

// Probes, connects, (full only) cleans the device directories, then uploads the tree. Failed,
// with nothing sent, for a login that isSendableLogin refuses; Failed, with nothing deleted or
// sent after the login, when the root can't be listed. With safety.verify every put is checked
// (see putAndVerify); notes, when given, receives what the checks found. outcome, when given,
// gets what happened; a gateway Done without a file sent has the reason "nothing matched
// PutList".
TransferResult uploadFirmware(TransferContext& context, const SettingsFile& settings,
                              std::string sourcePath, bool fullFirmware,
                              const std::string& gatewayAddress, const std::string& userId,
                              const std::string& password, const TransferSafety& safety = {},
                              std::string* notes = nullptr, GatewayOutcome* outcome = nullptr);
