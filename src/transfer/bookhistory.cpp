#include "transfer/bookhistory.h"

#include "base/filedescriptor.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t StampLength = 16;  // "20261207T162030Z"

bool isStamp(const std::string& text)
{
    if (text.size() != StampLength || text[8] != 'T' || text[15] != 'Z')
        return false;
    for (std::size_t i = 0; i < StampLength; ++i) {
        if (i != 8 && i != 15 && (text[i] < '0' || text[i] > '9'))
            return false;
    }
    return true;
}

// The order of kept copies: by stamp, then by the number a second copy of one second got.
std::pair<std::string, long> copyKey(const std::string& name)
{
    const std::string stem = name.substr(0, name.size() - 4);
    if (stem.size() == StampLength)
        return {stem, 1};
    return {stem.substr(0, StampLength), std::stol(stem.substr(StampLength + 1))};
}

bool isCopyName(const std::string& name)
{
    if (name.size() < StampLength + 4 || name.compare(name.size() - 4, 4, ".cpe") != 0
        || !isStamp(name.substr(0, StampLength)))
        return false;
    const std::string rest = name.substr(StampLength, name.size() - 4 - StampLength);
    if (rest.empty())
        return true;
    return rest.size() >= 2 && rest.size() <= 7 && rest[0] == '-'
           && rest.find_first_not_of("0123456789", 1) == std::string::npos && rest[1] != '0';
}

bool isFolderName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".."
           && std::all_of(name.begin(), name.end(), [](char c) {
                  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
                         || c == '.' || c == '-';
              });
}

bool readAll(int fd, std::string& data)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        data.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

std::string historyStamp(std::time_t when)
{
    std::tm utc {};
    ::gmtime_r(&when, &utc);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    return stamp;
}

std::string historyFolder(const std::string& folder, const std::string& address,
                          std::string& why)
{
    // The address comes from a list file: it names a folder only when it can't climb out.
    if (!isFolderName(address)) {
        why = "the address can't name a folder of the back-up";
        return {};
    }
    const std::string path = (folder.empty() || folder.back() == '/' ? folder : folder + "/")
                             + address;
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        why = "the folder " + path + " could not be made: " + std::strerror(errno);
        return {};
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        why = path + " is not a folder (a link is not followed)";
        return {};
    }
    return path;
}

std::vector<std::string> historyCopies(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return names;
    while (const dirent* entry = ::readdir(directory)) {
        // A link or anything else planted under a copy's name is no copy: comparing with it
        // would read through the link.
        struct stat status {};
        if (isCopyName(entry->d_name)
            && ::fstatat(::dirfd(directory), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(status.st_mode))
            names.emplace_back(entry->d_name);
    }
    ::closedir(directory);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return copyKey(a) < copyKey(b); });
    return names;
}

std::string stampOfCopy(const std::string& name)
{
    return name.substr(0, std::min(name.size(), StampLength));
}

std::string placeCopy(const std::string& temporary, const std::string& folder,
                      const std::string& stamp, std::string& why)
{
    std::string placed;
    for (int copy = 1; copy < 1000 && placed.empty(); ++copy) {
        const std::string name = stamp + (copy > 1 ? "-" + std::to_string(copy) : "") + ".cpe";
        // link() creates the name only when nothing, not even a dangling link, has it.
        if (::link(temporary.c_str(), (folder + "/" + name).c_str()) == 0)
            placed = name;
        else if (errno != EEXIST) {
            why = "the copy could not be kept in " + folder + ": " + std::strerror(errno);
            break;
        }
    }
    if (placed.empty() && why.empty())
        why = "the copy could not be kept in " + folder + ": too many copies in one second";
    ::unlink(temporary.c_str());
    return placed;
}

int pruneHistory(const std::string& folder, int keep)
{
    const std::vector<std::string> copies = historyCopies(folder);
    const std::size_t kept = static_cast<std::size_t>(std::max(keep, 1));
    int removed = 0;
    for (std::size_t i = 0; i + kept < copies.size(); ++i) {
        if (::unlink((folder + "/" + copies[i]).c_str()) == 0)
            ++removed;
    }
    return removed;
}

bool sameFileContents(const std::string& a, const std::string& b)
{
    const FileDescriptor first(::open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const FileDescriptor second(::open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat one {};
    struct stat two {};
    if (first.get() < 0 || second.get() < 0 || ::fstat(first.get(), &one) != 0
        || ::fstat(second.get(), &two) != 0 || !S_ISREG(one.st_mode) || !S_ISREG(two.st_mode)
        || one.st_size != two.st_size)
        return false;
    std::string left;
    std::string right;
    return readAll(first.get(), left) && readAll(second.get(), right) && left == right;
}
