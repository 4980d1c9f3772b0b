#include "transfer/firmwaretree.h"

#include "base/text.h"
#include "transfer/devicepaths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

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
        if (name == "DOC" || name == "IMAGES" || name == "USER")
            folders.names[name].push_back(entry.name);
        folders.doc = folders.doc || name == "DOC";
        folders.images = folders.images || name == "IMAGES";
        folders.user = folders.user || name == "USER";
    }
    return folders;
}

bool forEachFirmwareFile(const std::string& folder, const std::string& root,
                         const std::function<void(const FirmwareFile&)>& visit,
                         const std::function<void(const std::string&)>& unreadable)
{
    Ancestors ancestors = startingAt(folder);
    return walkTreeBelow(folder, root, ancestors, visit, unreadable);
}
