#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Files in the whole tree below folder; folders that cannot be listed count 0.
std::size_t countFiles(const std::string& folder);
// True when folder can be opened and read.
bool canListFolder(const std::string& folder);

struct DeviceFolders {
    bool doc = false;
    bool images = false;
    bool user = false;
    // The folders' own names, by upper-cased name ("IMAGES" -> {"Images"}).
    std::map<std::string, std::vector<std::string>> names;
};
// Which of DOC, IMAGES and USER (any case) stand directly in the root and can be listed: the
// device folder of one whose files can't be read is not cleaned.
DeviceFolders findDeviceFolders(const std::string& root);

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
