#include "transfer/transfersafety.h"

#include "base/atomicfile.h"
#include "transfer/bookacceptance.h"
#include "transfer/devicepaths.h"
#include "transfer/firmwarerules.h"
#include "transfer/ftpclient.h"
#include "transfer/outcome.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

namespace {

std::optional<long long> localSize(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return static_cast<long long>(status.st_size);
}

// Names tried before a back-up gives up: more copies of one gateway in one second than anyone
// makes means someone is filling the folder with the names to come.
constexpr int MaxBackupCopies = 100;

mode_t creationMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void addNote(std::string* notes, const std::string& line)
{
    if (!notes)
        return;
    if (!notes->empty())
        *notes += "\n";
    *notes += line;
}

void keepNotes(const std::string& found, std::string* notes, GatewayOutcome& outcome)
{
    if (found.empty())
        return;
    addNote(notes, found);
    std::size_t start = 0;
    while (start <= found.size()) {
        const std::size_t end = std::min(found.find('\n', start), found.size());
        outcome.notes.push_back(found.substr(start, end - start));
        start = end + 1;
    }
}

bool putAndVerify(FtpConnection& connection, const std::string& localPath,
                  const std::string& deviceDirectory, const std::string& remoteName,
                  const TransferSafety& safety, std::string* notes)
{
    if (!connection.putFile(localPath, remoteName))
        return false;
    if (!safety.verify)
        return true;
    const std::string where = deviceDirectory + remoteName;
    const std::optional<long long> sent = localSize(localPath);
    const RemoteSize held = connection.remoteSize(remoteName);
    switch (held.kind) {
    case RemoteSize::Kind::Known:
        if (sent && held.bytes == *sent)
            return true;
        addNote(notes, where + ": the gateway holds " + std::to_string(held.bytes) + " bytes, "
                           + std::to_string(sent.value_or(-1)) + " were sent");
        return false;
    case RemoteSize::Kind::Refused:
    case RemoteSize::Kind::NotAsked:
        addNote(notes, "not verified: " + where + " (the gateway tells no size)");
        return true;
    case RemoteSize::Kind::Failed:
        break;
    }
    addNote(notes, where + ": sent, but its size could not be read back");
    return false;
}

std::string createBackupFile(const std::string& folder, const std::string& gatewayAddress,
                             std::time_t when, FileError& error)
{
    // The folder itself may be a link someone planted in /tmp.
    if (const FileError refused = foreignLinkError(folder); refused != FileError::None) {
        error = refused;
        return {};
    }
    std::tm local {};
    ::localtime_r(&when, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = (folder.empty() || folder.back() == '/' ? folder : folder + "/")
                             + gatewayAddress + "-" + stamp;
    for (int copy = 1; copy <= MaxBackupCopies; ++copy) {
        const std::string path =
            copy == 1 ? stem + ".cpe" : stem + "-" + std::to_string(copy) + ".cpe";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              creationMode());
        if (fd >= 0) {
            ::close(fd);
            error = FileError::None;
            return path;
        }
        if (errno != EEXIST) {
            error = fileErrorFromErrno(errno);
            return {};
        }
    }
    error = FileError::AccessDenied;
    return {};
}

std::string backupFolderProblem(const std::string& folder)
{
    if (const FileError refused = foreignLinkError(folder); refused != FileError::None)
        return fileErrorText(refused, folder);
    const FileError kind = regularFileCheck(folder);
    if (kind == FileError::None || kind == FileError::IsPipe || kind == FileError::IsSpecialFile)
        return folder + " is not a folder.";
    if (kind != FileError::IsFolder)
        return fileErrorText(kind, folder);
    // Modes don't tell it all (root ignores them, a read-only mount does not): make a file.
    std::string probe = (folder.back() == '/' ? folder : folder + "/") + ".orbiphon-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return fileErrorText(fileErrorFromErrno(errno), folder);
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

BackupResult backUpBook(FtpConnection& connection, const std::string& folder,
                        const std::string& gatewayAddress, std::string* notes,
                        std::string* savedPath)
{
    const std::string book = std::string(DeviceRoot) + DeviceBookName;
    const auto failed = [&](const std::string& why) {
        addNote(notes, "back-up of " + book + " failed: " + why + "; nothing was uploaded");
        return BackupResult::Failed;
    };
    if (!connection.changeDirectory(DeviceRoot))
        return failed(withReply(std::string(DeviceRoot) + " can't be entered",
                                connection.lastReply()));

    FileError error = FileError::None;
    const std::string target = createBackupFile(folder, gatewayAddress, std::time(nullptr), error);
    if (target.empty())
        return failed(fileErrorText(error, folder));
    // The empty file holds the name; it gives way to the whole copy, or goes.
    const std::string temporary = createTemporaryBeside(target, error);
    if (temporary.empty()) {
        ::unlink(target.c_str());
        return failed(fileErrorText(error, target));
    }
    if (!connection.getFile(DeviceBookName, temporary)) {
        const std::string reply = connection.lastReply();
        ::unlink(temporary.c_str());
        ::unlink(target.c_str());
        if (!connection.lost() && reply.rfind("550", 0) == 0) {
            addNote(notes, "no " + book + " on the gateway (" + reply + "), nothing to back up");
            return BackupResult::NoBook;
        }
        return failed(withReply("the gateway's book could not be fetched", reply));
    }
    // A transfer cut short with a 226 and no size announced looks complete to FTP.
    if (const std::string problem = bookCopyProblem(temporary); !problem.empty()) {
        ::unlink(temporary.c_str());
        ::unlink(target.c_str());
        return failed(problem);
    }
    error = replaceWithTemporary(temporary, target);
    if (error != FileError::None) {
        ::unlink(target.c_str());
        return failed(fileErrorText(error, target));
    }
    addNote(notes, book + " backed up to " + target);
    if (savedPath)
        *savedPath = target;
    return BackupResult::Saved;
}
