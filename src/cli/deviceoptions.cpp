#include "cli/deviceoptions.h"

#include "cli/commands.h"
#include "cli/jsontext.h"
#include "cli/reports.h"
#include "base/atomicfile.h"
#include "base/pathutils.h"
#include "addressbook/addressbook.h"
#include "gatewaylist/batch.h"
#include "gatewaylist/listfile.h"
#include "gatewaylist/listfilereport.h"
#include "gatewaylist/upgrademode.h"
#include "transfer/devicefolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

constexpr const char* PasswordVariable = "ORBIPHON_PASSWORD";

}  // namespace

Device::Device(ProgressSink& sink, const DeviceSettings& chosen)
    : limits(chosen), ftp(chosen.transfer.ftpTimeouts()), progress(sink)
{
}

std::optional<std::string> passwordFrom(const ParsedArguments& parsed, std::size_t index,
                                        std::size_t withPassword)
{
    if (parsed.operands.size() == withPassword)
        return parsed.operands[index];
    if (const char* value = std::getenv(PasswordVariable))
        return std::string(value);
    return std::nullopt;
}

int missingPassword(CliIo& io)
{
    return reportFailure(io, ExitBadUsage,
                         std::string("no PASSWORD given and ") + PasswordVariable + " is not set");
}

std::optional<int> refuseNonAddress(const std::string& address, CliIo& io)
{
    if (parseDottedQuad(address))
        return std::nullopt;
    return reportFailure(io, ExitBadUsage, printableText(address) + " is not an IPv4 address");
}

std::optional<int> refuseUnsendableLogin(const std::string& userId, const std::string& password,
                                         CliIo& io)
{
    if (isSendableLogin(userId, password))
        return std::nullopt;
    return reportFailure(io, ExitBadUsage, UnsendableLoginMessage);
}

std::optional<int> refuseUnreadableSettings(const UpgradeOptions& options,
                                            const SettingsFile& settings, CliIo& io)
{
    const FileError error = upgradeSettingsError(options, settings);
    if (error != FileError::None)
        return reportFailure(io, ExitBadUsage, fileErrorText(error, settings.path()));
    if (options.mode != UpgradeMode::FirmwareUpgrade)
        return std::nullopt;
    if (const std::string problem = firmwareSourceProblem(settings, options.sourcePath);
        !problem.empty())
        return reportFailure(io, ExitBadUsage, problem);
    return std::nullopt;
}

// The back-up check and the upload must agree on what a whole book is.
static_assert(BookFileSize == DeviceBookFileSize);

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int notAFolder(CliIo& io, const std::string& path)
{
    const FileError error = regularFileCheck(path);
    if (error == FileError::None || error == FileError::IsPipe || error == FileError::IsSpecialFile)
        return reportFailure(io, ExitBadUsage, path + " is not a folder.");
    return reportFailure(io, ExitBadUsage, fileErrorText(error, path));
}

bool isSpecialSource(FileError error)
{
    return error == FileError::IsFolder || error == FileError::IsPipe
        || error == FileError::IsSpecialFile;
}

FileError checkNewFileFolder(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0)
        return FileError::None;
    const std::string folder = directoryOf(path);
    if (::stat(folder.c_str(), &info) != 0)
        return fileErrorFromErrno(errno);
    if (!S_ISDIR(info.st_mode))
        return FileError::BadPath;
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return fileErrorFromErrno(errno);
    return FileError::None;
}

std::optional<int> loadList(const std::string& path, GatewayList& list, CliIo& io)
{
    const ListFileReport report = listFileReport(loadGatewayList(path, list), path, path);
    if (const std::optional<int> failed = reportUnreadableList(report, path, io))
        return failed;
    if (report.outcome == ListFileOutcome::CutShort)
        return reportFailure(io, ExitBadUsage, report.message);
    return std::nullopt;
}

std::optional<TransferSafety> safetyFrom(const ParsedArguments& parsed,
                                         const SettingsFile& settings, bool book, CliIo& io)
{
    TransferSafety safety = transferSafetyFrom(settings);
    safety.verify = safety.verify || parsed.has("--verify");
    if (const auto backup = parsed.options.find("--backup"); backup != parsed.options.end())
        safety.backupFolder = backup->second;
    if (!book)
        safety.backupFolder.clear();
    if (!safety.backupFolder.empty()) {
        if (const std::string problem = backupFolderProblem(safety.backupFolder);
            !problem.empty()) {
            reportFailure(io, ExitBadUsage, problem);
            return std::nullopt;
        }
    }
    return safety;
}

std::optional<std::string> reportPathFrom(const ParsedArguments& parsed, CliIo& io)
{
    const auto option = parsed.options.find("--report");
    if (option == parsed.options.end())
        return std::nullopt;
    const std::string& path = option->second;
    if (!isReportName(path)) {
        reportFailure(io, ExitBadUsage, "--report takes a FILE ending in .csv or .json");
        return std::nullopt;
    }
    FileError error = checkSaveTarget(path);
    // Creating the save's temporary is the one sure test that the folder takes the report
    // (missing, closed to us, a file system that takes no files); it is removed at once.
    if (error == FileError::None) {
        const std::string trial = createTemporaryBeside(path, error);
        if (!trial.empty())
            ::unlink(trial.c_str());
    }
    if (error != FileError::None) {
        reportFailure(io, ExitBadUsage, fileErrorText(error, path));
        return std::nullopt;
    }
    return path;
}

std::optional<int> failedRowsFrom(const std::string& path, const GatewayList& list, CliIo& io,
                                  std::optional<std::set<std::size_t>>& rows)
{
    try {
        nlohmann::json document;
        const FileError error = readJsonFile(path, document, MaxReportBytes);
        if (error != FileError::None)
            return reportFailure(io, ExitFailed, fileErrorText(error, path));
        rows = failedRowsOf(document, list);
    } catch (const BadInput& e) {
        return reportFailure(io, ExitBadUsage, path + ": " + e.what());
    }
    return std::nullopt;
}
