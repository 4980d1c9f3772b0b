#pragma once

#include "cli/cli.h"
#include "cli/limitoptions.h"
#include "base/fileerror.h"
#include "base/settingsfile.h"
#include "transfer/curlftpclient.h"
#include "transfer/probe.h"
#include "transfer/transfercontext.h"
#include "transfer/transfersafety.h"

#include <optional>
#include <set>
#include <string>

class GatewayList;
struct UpgradeOptions;

class ProgressSink;

// What the device commands talk to: the real probe and FTP, with the limits of the settings
// file and the options.
struct Device {
    Device(ProgressSink& sink, const DeviceSettings& chosen);

    TransferContext context()
    {
        return {prober, ftp, progress, FtpPort, nullptr, nullptr, limits.transfer.probe};
    }

    DeviceSettings limits;
    IcmpProber prober;
    CurlFtpClientFactory ftp;
    ProgressSink& progress;
};

// The checks of the device commands' operands and options. Each reports what it refuses on
// io.err; a returned status is the command's exit status.

// The login's password: the operand when given, else the environment.
std::optional<std::string> passwordFrom(const ParsedArguments& parsed, std::size_t index,
                                        std::size_t withPassword);
int missingPassword(CliIo& io);
// Only the dotted quad that the list and book files hold: inet_addr's "127.1", "0x7f.1" or a
// trailing CR LF would be probed as some other address.
std::optional<int> refuseNonAddress(const std::string& address, CliIo& io);
// A login that could smuggle commands to the gateway is refused before anything is sent; the
// message never repeats the password.
std::optional<int> refuseUnsendableLogin(const std::string& userId, const std::string& password,
                                         CliIo& io);
// A firmware upgrade without its settings file, or whose PutList sends no file of the folder,
// would send nothing and report Done.
std::optional<int> refuseUnreadableSettings(const UpgradeOptions& options,
                                            const SettingsFile& settings, CliIo& io);

bool isDirectory(const std::string& path);
// A firmware folder that is missing, or is something else.
int notAFolder(CliIo& io, const std::string& path);
// A source that exists but is a folder, pipe or device: a transfer would hang or fail on it.
bool isSpecialSource(FileError error);

// A file that does not exist yet is made in its folder: the folder must be there and take new
// files. An existing file is judged by checkSaveTarget.
FileError checkNewFileFolder(const std::string& path);

// Reads a gateway list as the Upgrade window would; nullopt after reporting why it can't.
std::optional<int> loadList(const std::string& path, GatewayList& list, CliIo& io);
// The safety choices of [Batch] (BackupFolder and Verify=1), as the window takes them, with
// --backup and --verify over them; a back-up goes with an address book only. nullopt after
// reporting a back-up folder that can't take back-ups (missing, not a folder, closed).
std::optional<TransferSafety> safetyFrom(const ParsedArguments& parsed,
                                         const SettingsFile& settings, bool book, CliIo& io);
// --report FILE: a name ending in .csv or .json that can be saved to; nullopt after reporting
// why not (or when not given).
std::optional<std::string> reportPathFrom(const ParsedArguments& parsed, CliIo& io);

inline constexpr const char* FailedRowsPrefix = "failed:";
// The rows a report marks as not done; a report of another list is bad input.
std::optional<int> failedRowsFrom(const std::string& path, const GatewayList& list, CliIo& io,
                                  std::optional<std::set<std::size_t>>& rows);
