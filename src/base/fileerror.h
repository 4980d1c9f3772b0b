#pragma once

#include <string>

// Why a local file could not be opened, read or written, in the terms the operator is told.
enum class FileError {
    None,
    NotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    DiskFull,
    EndOfFile,
    HardwareIo,
    Generic,
    // The name exists but is not a regular file: the readers and savers refuse it rather than
    // block on a pipe, read a device for ever or put a regular file in place of a device node.
    IsFolder,
    IsPipe,
    IsSpecialFile,  // a device node or a socket
    // A symbolic link that another user planted in a sticky, world-writable folder such as
    // /tmp: the savers don't follow it (the rule of the kernel's fs.protected_symlinks).
    ForeignLink,
};

FileError fileErrorFromErrno(int error);

// What the existing file at path is, in the terms above: None for a regular file (a symbolic
// link is followed), NotFound when nothing is there, IsFolder, IsPipe or IsSpecialFile for the
// rest, or the error that stat gave.
FileError regularFileCheck(const std::string& path);
// The same for the file information of an open descriptor or a successful stat.
FileError fileKindError(unsigned mode);

// The message for an error on fileName, e.g. "%1 was not found." with the name in place of %1.
std::string fileErrorText(FileError error, const std::string& fileName);

// Name used for %1 when the failing stream has no file name of its own.
inline constexpr const char* UnnamedFile = "an unnamed file";
