#include "base/atomicfile.h"

#include "base/fdstream.h"
#include "base/filedescriptor.h"
#include "base/pathutils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ostream>
#include <vector>

namespace {

FileError errorFrom(int error)
{
    return error != 0 ? fileErrorFromErrno(error) : FileError::Generic;
}

// The kernel's fs.protected_symlinks rule, kept whatever the machine is set to: in a sticky,
// world-writable folder a link is followed only when it is the follower's own or the folder
// owner's. Following by hand would otherwise get round the kernel and let another user point
// a report or a back-up at any file this process may write.
bool mayFollow(const std::string& link, const struct stat& linkInfo)
{
    struct stat folder {};
    if (::stat(directoryOf(link).c_str(), &folder) != 0)
        return false;
    if ((folder.st_mode & S_ISVTX) == 0 || (folder.st_mode & S_IWOTH) == 0)
        return true;
    return linkInfo.st_uid == ::geteuid() || linkInfo.st_uid == folder.st_uid;
}

// Follows a chain of symbolic links to the file they finally name, which need not exist yet,
// so that saving through a link replaces its destination instead of the link itself.
std::string resolveLinks(const std::string& path, FileError& error)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        if (!mayFollow(current, info)) {
            error = FileError::ForeignLink;
            return {};
        }
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size() - 1);
        if (length < 0) {
            error = errorFrom(errno);
            return {};
        }
        std::string next(target.data(), static_cast<std::size_t>(length));
        if (next.empty() || next.front() != '/')
            next = directoryOf(current) + "/" + next;
        current = std::move(next);
    }
    error = errorFrom(ELOOP);
    return {};
}

mode_t creationMode()
{
    // umask can only be read by setting it; the program has one thread.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
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

// The temporary's name is the target's with a dot before and a suffix after; a long target
// name is cut (at a character boundary) so that the temporary's name still fits the folder.
int createTemporary(const std::string& target, std::string& name)
{
    constexpr std::size_t Extra = 8;  // "." and ".XXXXXX"
    std::string base = fileNameOf(target);
    if (base.size() + Extra > NAME_MAX) {
        std::size_t keep = NAME_MAX - Extra;
        while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
            --keep;
        base.resize(keep);
    }
    name = directoryOf(target) + "/." + base + ".XXXXXX";
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

// What is at the (link-resolved) target now. A rename would replace whatever it finds, so the
// target's own protection is checked here: it must be a regular file the user may write.
struct ExistingTarget {
    bool exists = false;
    struct stat info {};
};

FileError checkTarget(const std::string& target, ExistingTarget& existing)
{
    if (::stat(target.c_str(), &existing.info) != 0) {
        // A missing folder on the way is reported by the creation of the temporary.
        if (errno == ENOENT || errno == ENOTDIR)
            return FileError::None;
        return errorFrom(errno);
    }
    existing.exists = true;
    if (const FileError kind = fileKindError(existing.info.st_mode); kind != FileError::None)
        return kind;
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return errorFrom(errno);
    return FileError::None;
}

bool folderRefusedUs(int error)
{
    return error == EACCES || error == EPERM;
}

mode_t modeFor(const ExistingTarget& existing, std::optional<mode_t> wanted)
{
    if (wanted)
        return *wanted;
    if (existing.exists)
        return existing.info.st_mode & 07777;
    return creationMode();
}

// Gives the new file the owner and group of the one it replaces, as far as this process may;
// where it may not, the file stays the saver's, as any new file would.
void keepOwner(int fd, const ExistingTarget& existing)
{
    if (!existing.exists)
        return;
    if (::fchown(fd, existing.info.st_uid, existing.info.st_gid) != 0)
        [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), existing.info.st_gid);
}

// Flushes the written temporary, gives it the target's owner and mode and renames it over the
// target.
FileError commitTemporary(FileDescriptor& temporary, const std::string& tempPath,
                          const std::string& target, const ExistingTarget& existing,
                          std::optional<mode_t> mode)
{
    const int fd = temporary.get();
    if (::fsync(fd) != 0)
        return errorFrom(errno);
    // The owner first: a change of owner clears the set-id bits that fchmod then restores.
    keepOwner(fd, existing);
    if (::fchmod(fd, modeFor(existing, mode)) != 0)
        return errorFrom(errno);
    if (!temporary.close())
        return errorFrom(errno);
    if (::rename(tempPath.c_str(), target.c_str()) != 0)
        return errorFrom(errno);
    syncDirectory(directoryOf(target));
    return FileError::None;
}

// For a writable file in a folder the user may not write: no temporary can stand beside it,
// so the file itself is cut to zero and written, as a plain save would. Owner and mode stay
// the file's own (mode, when given, is set where the user owns the file).
FileError writeInPlace(const std::string& target,
                       const std::function<bool(std::ostream&)>& writer,
                       std::optional<mode_t> mode)
{
    FileDescriptor closer(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!closer)
        return errorFrom(errno);
    struct stat info {};
    if (::fstat(closer.get(), &info) != 0)
        return errorFrom(errno);
    if (const FileError kind = fileKindError(info.st_mode); kind != FileError::None)
        return kind;
    if (mode)
        [[maybe_unused]] const int ignored = ::fchmod(closer.get(), *mode);
    if (::ftruncate(closer.get(), 0) != 0)
        return errorFrom(errno);
    {
        FdStreamBuf buffer(closer.get());
        std::ostream out(&buffer);
        const bool written = writer(out);
        out.flush();
        if (!written || !out)
            return errorFrom(buffer.lastError());
    }
    if (::fsync(closer.get()) != 0)
        return errorFrom(errno);
    if (!closer.close())
        return errorFrom(errno);
    return FileError::None;
}

FileError copyInPlace(const std::string& source, const std::string& target)
{
    FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in)
        return errorFrom(errno);
    return writeInPlace(target, [&in](std::ostream& out) {
        char chunk[64 * 1024];
        for (;;) {
            const ssize_t got = ::read(in.get(), chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return got == 0;
            out.write(chunk, got);
        }
    }, std::nullopt);
}

std::string systemTemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && folder[0] == '/' ? folder : "/tmp";
}

// The file a save of path replaces (links followed) and what stands there now; an error when
// the save must not go ahead.
FileError resolveTarget(const std::string& path, std::string& target, ExistingTarget& existing)
{
    FileError error = FileError::Generic;
    target = resolveLinks(path, error);
    if (target.empty())
        return error;
    return checkTarget(target, existing);
}

}  // namespace

FileError writeFileAtomically(const std::string& path,
                              const std::function<bool(std::ostream&)>& writer,
                              std::optional<mode_t> mode)
{
    std::string target;
    ExistingTarget existing;
    if (const FileError refused = resolveTarget(path, target, existing);
        refused != FileError::None)
        return refused;

    std::string tempPath;
    const int fd = createTemporary(target, tempPath);
    if (fd < 0) {
        const int createError = errno;
        if (existing.exists && folderRefusedUs(createError))
            return writeInPlace(target, writer, mode);
        return errorFrom(createError);
    }
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
    if (const FileError failed = commitTemporary(closer, tempPath, target, existing, mode);
        failed != FileError::None)
        return failed;
    guard.commit();
    return FileError::None;
}

FileError foreignLinkError(const std::string& path)
{
    FileError error = FileError::None;
    resolveLinks(path, error);
    return error == FileError::ForeignLink ? error : FileError::None;
}

FileError checkSaveTarget(const std::string& path)
{
    FileError error = FileError::Generic;
    const std::string target = resolveLinks(path, error);
    if (target.empty())
        return error;
    ExistingTarget existing;
    return checkTarget(target, existing);
}

std::string createTemporaryBeside(const std::string& path, FileError& error)
{
    const std::string target = resolveLinks(path, error);
    if (target.empty())
        return {};
    std::string tempPath;
    int fd = createTemporary(target, tempPath);
    if (fd < 0 && folderRefusedUs(errno)) {
        // The folder is closed to us; a writable file in it is then written in place by
        // replaceWithTemporary, from a temporary in the system's folder.
        const int createError = errno;
        ExistingTarget existing;
        if (const FileError refused = checkTarget(target, existing); refused != FileError::None) {
            error = refused;
            return {};
        }
        if (!existing.exists) {
            error = errorFrom(createError);
            return {};
        }
        tempPath = systemTemporaryFolder() + "/orbiphon-XXXXXX";
        fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    }
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
    std::string target;
    ExistingTarget existing;
    if (const FileError refused = resolveTarget(path, target, existing);
        refused != FileError::None)
        return refused;
    if (directoryOf(tempPath) != directoryOf(target))
        return copyInPlace(tempPath, target);

    FileDescriptor closer(::open(tempPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!closer)
        return errorFrom(errno);
    if (const FileError failed = commitTemporary(closer, tempPath, target, existing, std::nullopt);
        failed != FileError::None)
        return failed;
    guard.commit();
    return FileError::None;
}
