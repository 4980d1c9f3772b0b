#include "transfer/uploadsteps.h"

#include "base/progresssink.h"
#include "transfer/devicefolders.h"
#include "transfer/firmwaretree.h"
#include "transfer/ftpclient.h"
#include "transfer/gatewaysession.h"
#include "transfer/outcome.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace {

bool isReadableFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    const bool readable = fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    if (fd >= 0)
        ::close(fd);
    return readable;
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

// One file that did not arrive, and why.
void recordFailedFile(GatewayOutcome& outcome, FtpConnection& connection,
                      const std::string& localPath, const std::string& what)
{
    ++outcome.filesFailed;
    if (!connection.lost() && !isReadableFile(localPath))
        outcome.fail("local file " + localPath + " could not be read");
    else
        outcome.fail(withReply(what, connection.lastReply()));
}

}  // namespace

bool putCounted(FtpConnection& connection, const std::string& localPath,
                const std::string& deviceDirectory, const std::string& name,
                const TransferSafety& safety, std::string* notes, GatewayOutcome& outcome)
{
    std::string found;
    const bool sent = putAndVerify(connection, localPath, deviceDirectory, name, safety, &found);
    if (!found.empty())
        addNote(notes, found);
    if (sent) {
        ++outcome.filesSent;
        outcome.bytesSent += fileSize(localPath);
        return true;
    }
    if (connection.stopped()) {
        // The gateway may hold part of the file now: the operator must know which, and how
        // much of it, whatever failed before.
        ++outcome.filesFailed;
        outcome.abandoned = true;
        outcome.reason = "cut: " + deviceDirectory + name + ", "
                         + groupedNumber(connection.lastPutBytes()) + " of "
                         + groupedNumber(static_cast<long long>(fileSize(localPath)))
                         + " bytes sent";
    } else if (found.empty()) {
        recordFailedFile(outcome, connection, localPath, "cannot put " + deviceDirectory + name);
    } else {
        // Arrived, but not whole: the verify step says what the gateway holds.
        ++outcome.filesFailed;
        outcome.fail(found);
    }
    return false;
}

void removeListedFiles(FtpConnection& connection, const std::string& deviceDirectory,
                       const ExtensionList& list, GatewayOutcome* outcome)
{
    if (!connection.changeDirectory(deviceDirectory))
        return;
    const std::optional<std::vector<std::string>> listing = connection.listDirectory();
    if (!listing)
        return;
    for (const std::string& name : removableNames(*listing, list)) {
        if (connection.deleteFile(name) && outcome)
            ++outcome->filesDeleted;
    }
}

bool uploadTree(FtpConnection& connection, const SettingsFile& settings,
                const std::string& folder, const std::string& root, ProgressSink& progress,
                const TransferSafety& safety, std::string* notes, GatewayOutcome* outcome,
                DeviceFolderFinder* finder)
{
    const ExtensionList putList = readExtensionList(settings, "PutList");
    GatewayOutcome own;
    GatewayOutcome& counted = outcome ? *outcome : own;
    DeviceFolderFinder ownFinder(connection);
    DeviceFolderFinder& folders = finder ? *finder : ownFinder;
    bool allDone = true;
    const auto unreadable = [&counted](const std::string& unlisted) {
        counted.fail("local folder " + unlisted + " could not be read");
    };
    const bool allListed = forEachFirmwareFile(folder, root, [&](const FirmwareFile& file) {
        const bool listed = isListedFile(file.name, putList);
        // After a time-out or a lost connection every file fails at once, and the bar still
        // runs to its end.
        std::optional<std::string> directory;
        if (!connection.lost())
            directory = folders.enter(file.deviceDirectory);
        for (const std::string& note : folders.takeNotes())
            addNote(notes, note);
        if (!connection.lost() && !directory) {
            allDone = false;
            // Counted are the files that would have gone up.
            counted.filesFailed += listed ? 1 : 0;
            counted.fail(withReply("cannot enter " + file.deviceDirectory,
                                   folders.reply(file.deviceDirectory)));
            return;
        }
        const std::string& reached = directory ? *directory : file.deviceDirectory;
        progress.setLine1("FTP : " + reached + file.name);
        progress.stepIt(ProgressBar::Upper);
        progress.refresh();
        if (connection.lost()) {
            allDone = false;
            counted.filesFailed += listed ? 1 : 0;
            counted.fail(withReply("connection lost", connection.lastReply()));
        } else if (listed && !putCounted(connection, file.localPath, reached, file.name, safety,
                                         notes, counted)) {
            allDone = false;
        }
    }, unreadable);
    return allListed && allDone;
}
