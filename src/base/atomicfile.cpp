#include "base/atomicfile.h"

#include "base/fdstream.h"
#include "base/filedescriptor.h"
#include "base/pathutils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ostream>
#include <vector>

namespace {

// Follows a chain of symbolic links to the file they finally name, which need not exist yet,
// so that saving through a link replaces its destination instead of the link itself.
std::string resolveLinks(const std::string& path, int& error)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size() - 1);
        if (length < 0) {
            error = errno;
            return {};
        }
        std::string next(target.data(), static_cast<std::size_t>(length));
        if (next.empty() || next.front() != '/')
            next = directoryOf(current) + "/" + next;
        current = std::move(next);
    }
    error = ELOOP;
    return {};
}

mode_t creationMode()
{
    // umask can only be read by setting it; the program has one thread.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

mode_t modeFor(const std::string& target, std::optional<mode_t> wanted)
{
    if (wanted)
        return *wanted;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0)
        return info.st_mode & 07777;
    return creationMode();
}

void syncDirectory(const std::string& directory)
{
    // Makes the rename durable. Some file systems refuse to sync a directory; the file itself
    // is already safe by then, so a failure here is not reported.
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int createTemporary(const std::string& target, std::string& name)
{
    name = directoryOf(target) + "/." + fileNameOf(target) + ".XXXXXX";
    return ::mkostemp(name.data(), O_CLOEXEC);
}

// Removes the temporary file unless the save went through.
class TemporaryGuard {
public:
    explicit TemporaryGuard(std::string path) : m_path(std::move(path)) {}
    TemporaryGuard(const TemporaryGuard&) = delete;
    TemporaryGuard& operator=(const TemporaryGuard&) = delete;
    ~TemporaryGuard()
    {
        if (!m_committed)
            ::unlink(m_path.c_str());
    }
    void commit() { m_committed = true; }

private:
    std::string m_path;
    bool m_committed = false;
};

FileError errorFrom(int error)
{
    return error != 0 ? fileErrorFromErrno(error) : FileError::Generic;
}

}  // namespace

FileError writeFileAtomically(const std::string& path,
                              const std::function<bool(std::ostream&)>& writer,
                              std::optional<mode_t> mode)
{
    int error = 0;
    const std::string target = resolveLinks(path, error);
    if (target.empty())
        return errorFrom(error);

    std::string tempPath;
    const int fd = createTemporary(target, tempPath);
    if (fd < 0)
        return errorFrom(errno);
    TemporaryGuard guard(tempPath);
    FileDescriptor closer(fd);

    {
        FdStreamBuf buffer(fd);
        std::ostream out(&buffer);
        const bool written = writer(out);
        out.flush();
        if (!written || !out)
            return errorFrom(buffer.lastError());
    }
    if (::fsync(fd) != 0 || ::fchmod(fd, modeFor(target, mode)) != 0)
        return errorFrom(errno);
    if (!closer.close())
        return errorFrom(errno);
    if (::rename(tempPath.c_str(), target.c_str()) != 0)
        return errorFrom(errno);
    guard.commit();
    syncDirectory(directoryOf(target));
    return FileError::None;
}

std::string createTemporaryBeside(const std::string& path, FileError& error)
{
    int linkError = 0;
    const std::string target = resolveLinks(path, linkError);
    if (target.empty()) {
        error = errorFrom(linkError);
        return {};
    }
    std::string tempPath;
    const int fd = createTemporary(target, tempPath);
    if (fd < 0) {
        error = errorFrom(errno);
        return {};
    }
    ::close(fd);
    error = FileError::None;
    return tempPath;
}

FileError replaceWithTemporary(const std::string& tempPath, const std::string& path)
{
    TemporaryGuard guard(tempPath);
    int error = 0;
    const std::string target = resolveLinks(path, error);
    if (target.empty())
        return errorFrom(error);

    const int fd = ::open(tempPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errorFrom(errno);
    const bool synced = ::fsync(fd) == 0 && ::fchmod(fd, modeFor(target, std::nullopt)) == 0;
    const int syncError = errno;
    ::close(fd);
    if (!synced)
        return errorFrom(syncError);
    if (::rename(tempPath.c_str(), target.c_str()) != 0)
        return errorFrom(errno);
    guard.commit();
    syncDirectory(directoryOf(target));
    return FileError::None;
}
