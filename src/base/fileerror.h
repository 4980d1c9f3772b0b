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
};

FileError fileErrorFromErrno(int error);

// The message for an error on fileName, e.g. "%1 was not found." with the name in place of %1.
std::string fileErrorText(FileError error, const std::string& fileName);

// Name used for %1 when the failing stream has no file name of its own.
inline constexpr const char* UnnamedFile = "an unnamed file";
