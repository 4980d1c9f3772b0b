#include "base/fileerror.h"

#include <sys/stat.h>

#include <cerrno>

FileError fileErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return FileError::None;
    case ENOENT:
        return FileError::NotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EISDIR:
        return FileError::BadPath;
    case EMFILE:
    case ENFILE:
        return FileError::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileError::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileError::DiskFull;
    case EIO:
        return FileError::HardwareIo;
    default:
        return FileError::Generic;
    }
}

std::string fileErrorText(FileError error, const std::string& fileName)
{
    const char* pattern = nullptr;
    switch (error) {
    case FileError::None:
        return {};
    case FileError::NotFound:
        pattern = "%1 was not found.";
        break;
    case FileError::BadPath:
        pattern = "%1 contains an invalid path.";
        break;
    case FileError::TooManyOpenFiles:
        pattern = "%1 could not be opened because there are too many open files.";
        break;
    case FileError::AccessDenied:
        pattern = "Access to %1 was denied.";
        break;
    case FileError::DiskFull:
        pattern = "Disk full while accessing %1.";
        break;
    case FileError::EndOfFile:
        pattern = "An attempt was made to access %1 past its end.";
        break;
    case FileError::HardwareIo:
        pattern = "A hardware I/O error was reported while accessing %1.";
        break;
    case FileError::Generic:
        pattern = "An unknown error occurred while accessing %1.";
        break;
    case FileError::IsFolder:
        pattern = "%1 is a folder, not a file.";
        break;
    case FileError::IsPipe:
        pattern = "%1 is a pipe, not a file.";
        break;
    case FileError::IsSpecialFile:
        pattern = "%1 is a device or a socket, not a file.";
        break;
    case FileError::ForeignLink:
        pattern = "%1 is, or leads through, a symbolic link that another user owns in a shared "
                  "folder; it is not followed.";
        break;
    }
    std::string text = pattern;
    text.replace(text.find("%1"), 2, fileName);
    return text;
}

FileError fileKindError(unsigned mode)
{
    if (S_ISREG(mode))
        return FileError::None;
    if (S_ISDIR(mode))
        return FileError::IsFolder;
    if (S_ISFIFO(mode))
        return FileError::IsPipe;
    return FileError::IsSpecialFile;
}

FileError regularFileCheck(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return fileErrorFromErrno(errno);
    return fileKindError(info.st_mode);
}
