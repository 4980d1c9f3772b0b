#include "transfer/firmwareupload.h"

#include "base/progresssink.h"
#include "base/settingsfile.h"
#include "base/text.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/ftpclient.h"
#include "transfer/outcome.h"
#include "transfer/probe.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>

namespace {

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

struct FolderId {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId&) const = default;
};

// The folders from the walk's root down to the one in hand. A folder reached again through a
// symbolic link would repeat the walk for ever, so it is passed over.
using Ancestors = std::vector<FolderId>;

struct Entry {
    std::string name;
    bool isFolder;
    FolderId id;
};

// The folder's entries in the order the file system returns them, without "." and "..", and
// without sub-folders that are already among the ancestors. nullopt when the folder can't be
// listed, wholly or part-way (a stick pulled out, a share gone, no permission).
std::optional<std::vector<Entry>> listFolder(const std::string& folder, const Ancestors& ancestors)
{
    std::vector<Entry> entries;
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return std::nullopt;
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(directory);
        if (!item) {
            if (errno != 0) {
                ::closedir(directory);
                return std::nullopt;
            }
            break;
        }
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        Entry entry{name, false, {}};
        struct stat status {};
        // stat follows links: a link to a folder is walked as the folder it points at.
        if (::stat(joinPath(folder, name).c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            entry.isFolder = true;
            entry.id = {status.st_dev, status.st_ino};
            if (std::find(ancestors.begin(), ancestors.end(), entry.id) != ancestors.end())
                continue;
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(directory);
    return entries;
}

bool canListFolder(const std::string& folder)
{
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return false;
    errno = 0;
    const bool readable = ::readdir(directory) != nullptr || errno == 0;
    ::closedir(directory);
    return readable;
}

Ancestors startingAt(const std::string& folder)
{
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        return {};
    return {{status.st_dev, status.st_ino}};
}

std::size_t countFilesBelow(const std::string& folder, Ancestors& ancestors)
{
    std::size_t count = 0;
    for (const Entry& entry : listFolder(folder, ancestors).value_or(std::vector<Entry>{})) {
        if (entry.isFolder) {
            ancestors.push_back(entry.id);
            count += countFilesBelow(joinPath(folder, entry.name), ancestors);
            ancestors.pop_back();
        } else {
            ++count;
        }
    }
    return count;
}

// "/RFA/" followed by the folder's path below the root, then "/".
std::string deviceDirectoryOf(const std::string& folder, const std::string& root)
{
    const std::string trimmedFolder = withoutTrailingSlashes(folder);
    const std::string trimmedRoot = withoutTrailingSlashes(root);
    std::string below;
    if (trimmedFolder.compare(0, trimmedRoot.size(), trimmedRoot) == 0)
        below = trimmedFolder.substr(trimmedRoot.size());
    below.erase(0, below.find_first_not_of('/'));
    return below.empty() ? std::string(DeviceRoot)
                         : std::string(DeviceRoot) + below + "/";
}

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

bool walkTreeBelow(const std::string& folder, const std::string& root, Ancestors& ancestors,
                   const std::function<void(const FirmwareFile&)>& visit,
                   const std::function<void(const std::string&)>& unreadable)
{
    const std::optional<std::vector<Entry>> entries = listFolder(folder, ancestors);
    // Its files can't be sent: that fails the upgrade as a failed file would.
    if (!entries) {
        if (unreadable)
            unreadable(folder);
        return false;
    }
    const std::string deviceDirectory = deviceDirectoryOf(folder, root);
    bool allListed = true;
    for (const Entry& entry : *entries) {
        const std::string path = joinPath(folder, entry.name);
        if (entry.isFolder) {
            ancestors.push_back(entry.id);
            allListed = walkTreeBelow(path, root, ancestors, visit, unreadable) && allListed;
            ancestors.pop_back();
            continue;
        }
        visit({path, deviceDirectory, entry.name});
    }
    return allListed;
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
    if (found.empty()) {
        recordFailedFile(outcome, connection, localPath, "cannot put " + deviceDirectory + name);
    } else {
        // Arrived, but not whole: the verify step says what the gateway holds.
        ++outcome.filesFailed;
        outcome.fail(found);
    }
    return false;
}

ExtensionList readExtensionList(const SettingsFile& settings, const std::string& section)
{
    ExtensionList list;
    while (list.size() < MaxListedExtensions) {
        std::string value =
            settings.readString(section, "Ext" + std::to_string(list.size() + 1), "");
        if (value.empty())
            break;
        list.push_back(std::move(value));
    }
    return list;
}

bool isListedFile(const std::string& bareName, const ExtensionList& list)
{
    const std::string name = upperCase(bareName);
    if (name == ProtectedFileName)
        return false;
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? name : name.substr(dot + 1);
    return std::find(list.begin(), list.end(), extension) != list.end();
}

std::size_t countFiles(const std::string& folder)
{
    Ancestors ancestors = startingAt(folder);
    return countFilesBelow(folder, ancestors);
}

DeviceFolders findDeviceFolders(const std::string& root)
{
    DeviceFolders folders;
    for (const Entry& entry :
         listFolder(root, startingAt(root)).value_or(std::vector<Entry>{})) {
        // A folder whose files can't be read must not have its device folder emptied.
        if (!entry.isFolder || !canListFolder(joinPath(root, entry.name)))
            continue;
        const std::string name = upperCase(entry.name);
        folders.doc = folders.doc || name == "DOC";
        folders.images = folders.images || name == "IMAGES";
        folders.user = folders.user || name == "USER";
    }
    return folders;
}

std::string bareNameInListing(std::string entry)
{
    entry.erase(entry.find_last_not_of(' ') + 1);
    const std::size_t space = entry.rfind(' ');
    return space == std::string::npos ? entry : entry.substr(space + 1);
}

std::vector<std::string> removableNames(const std::vector<std::string>& listing,
                                        const ExtensionList& list)
{
    std::vector<std::string> names;
    for (const std::string& entry : listing) {
        std::string name = bareNameInListing(entry);
        if (name.find('.') == std::string::npos)
            continue;
        if (isListedFile(name, list))
            names.push_back(std::move(name));
    }
    return names;
}

std::vector<CleaningStep> cleaningSteps(const SettingsFile& settings,
                                        const std::string& sourcePath)
{
    const DeviceFolders folders = findDeviceFolders(sourcePath);
    std::vector<CleaningStep> steps{{DeviceRoot, readExtensionList(settings, "RemoveFromRFA")}};
    if (folders.doc)
        steps.push_back({"/RFA/Doc/", readExtensionList(settings, "RemoveFromDoc")});
    if (folders.images)
        steps.push_back({"/RFA/Images/", readExtensionList(settings, "RemoveFromImages")});
    if (folders.user)
        steps.push_back({"/RFA/User/", readExtensionList(settings, "RemoveFromUser")});
    return steps;
}

bool forEachFirmwareFile(const std::string& folder, const std::string& root,
                         const std::function<void(const FirmwareFile&)>& visit,
                         const std::function<void(const std::string&)>& unreadable)
{
    Ancestors ancestors = startingAt(folder);
    return walkTreeBelow(folder, root, ancestors, visit, unreadable);
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
                const TransferSafety& safety, std::string* notes, GatewayOutcome* outcome)
{
    const ExtensionList putList = readExtensionList(settings, "PutList");
    GatewayOutcome own;
    GatewayOutcome& counted = outcome ? *outcome : own;
    bool allDone = true;
    const auto unreadable = [&counted](const std::string& unlisted) {
        counted.fail("local folder " + unlisted + " could not be read");
    };
    const bool allListed = forEachFirmwareFile(folder, root, [&](const FirmwareFile& file) {
        const bool listed = isListedFile(file.name, putList);
        // After a time-out or a lost connection every file fails at once, and the bar still
        // runs to its end.
        if (!connection.lost() && !connection.changeDirectory(file.deviceDirectory)
            && !connection.lost()) {
            allDone = false;
            // Counted are the files that would have gone up.
            counted.filesFailed += listed ? 1 : 0;
            counted.fail(withReply("cannot enter " + file.deviceDirectory, connection.lastReply()));
            return;
        }
        progress.setLine1("FTP : " + file.deviceDirectory + file.name);
        progress.stepIt(ProgressBar::Upper);
        progress.refresh();
        if (connection.lost()) {
            allDone = false;
            counted.filesFailed += listed ? 1 : 0;
            counted.fail(withReply("connection lost", connection.lastReply()));
        } else if (listed && !putCounted(connection, file.localPath, file.deviceDirectory,
                                         file.name, safety, notes, counted)) {
            allDone = false;
        }
    }, unreadable);
    return allListed && allDone;
}

TransferResult uploadFirmware(TransferContext& context, const SettingsFile& settings,
                              std::string sourcePath, bool fullFirmware,
                              const std::string& gatewayAddress, const std::string& userId,
                              const std::string& password, const TransferSafety& safety,
                              std::string* notes, GatewayOutcome* outcomeOut)
{
    GatewayOutcome outcome;
    outcome.start();
    const auto end = [&](TransferResult result, const std::string& why = {}) {
        if (!why.empty())
            outcome.fail(why);
        return finishedOutcome(result, outcome, outcomeOut);
    };
    if (!context.prober.probe(gatewayAddress, ProbeTimeoutMs))
        return end(TransferResult::NotFound, noEchoReason(ProbeTimeoutMs));
    if (!isSendableLogin(userId, password))
        return end(TransferResult::Failed, UnsendableLoginReason);
    const std::unique_ptr<FtpClient> client = context.ftp.open("Upgrade");
    if (!client)
        return end(TransferResult::Failed, NoFtpClientReason);
    const std::unique_ptr<FtpConnection> connection =
        client->connect({gatewayAddress, context.ftpPort, userId, password});
    if (!connection)
        return end(TransferResult::Failed, withReply("cannot log in", client->lastReply()));

    const std::size_t fileCount = countFiles(sourcePath);
    // A firmware folder that has vanished or can't be read would have the device emptied and
    // nothing put back.
    if (!canListFolder(sourcePath))
        return end(TransferResult::Failed, "firmware folder " + sourcePath + " could not be read");
    if (fullFirmware) {
        for (const CleaningStep& step : cleaningSteps(settings, sourcePath))
            removeListedFiles(*connection, step.deviceDirectory, step.extensions, &outcome);
    }
    context.progress.setRange(ProgressBar::Upper, static_cast<std::uint16_t>(fileCount & 0xffff));
    context.progress.setStep(ProgressBar::Upper, 1);
    const bool allDone = uploadTree(*connection, settings, sourcePath, sourcePath,
                                    context.progress, safety, notes, &outcome);
    if (allDone && outcome.filesSent == 0)
        return end(TransferResult::Done, NothingMatchedReason);
    return end(allDone ? TransferResult::Done : TransferResult::Failed);
}
