#include "base/fileerror.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

struct ErrnoCase {
    int error;
    FileError expected;
};

class FileErrorFromErrno : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(FileErrorFromErrno, MapsToTheOperatorsTerms)
{
    EXPECT_EQ(fileErrorFromErrno(GetParam().error), GetParam().expected)
        << "errno " << GetParam().error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileErrorFromErrno,
    ::testing::Values(ErrnoCase{0, FileError::None}, ErrnoCase{ENOENT, FileError::NotFound},
                      ErrnoCase{ENOTDIR, FileError::BadPath},
                      ErrnoCase{ENAMETOOLONG, FileError::BadPath},
                      ErrnoCase{ELOOP, FileError::BadPath}, ErrnoCase{EISDIR, FileError::BadPath},
                      ErrnoCase{EMFILE, FileError::TooManyOpenFiles},
                      ErrnoCase{ENFILE, FileError::TooManyOpenFiles},
                      ErrnoCase{EACCES, FileError::AccessDenied},
                      ErrnoCase{EPERM, FileError::AccessDenied},
                      ErrnoCase{EROFS, FileError::AccessDenied},
                      ErrnoCase{ENOSPC, FileError::DiskFull}, ErrnoCase{EDQUOT, FileError::DiskFull},
                      ErrnoCase{EFBIG, FileError::DiskFull}, ErrnoCase{EIO, FileError::HardwareIo},
                      ErrnoCase{EINVAL, FileError::Generic}, ErrnoCase{EBUSY, FileError::Generic}));

struct TextCase {
    FileError error;
    const char* expected;
};

class FileErrorText : public ::testing::TestWithParam<TextCase> {};

TEST_P(FileErrorText, NamesTheFile)
{
    EXPECT_EQ(fileErrorText(GetParam().error, "C.obl"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileErrorText,
    ::testing::Values(
        TextCase{FileError::None, ""}, TextCase{FileError::NotFound, "C.obl was not found."},
        TextCase{FileError::BadPath, "C.obl contains an invalid path."},
        TextCase{FileError::TooManyOpenFiles,
                 "C.obl could not be opened because there are too many open files."},
        TextCase{FileError::AccessDenied, "Access to C.obl was denied."},
        TextCase{FileError::DiskFull, "Disk full while accessing C.obl."},
        TextCase{FileError::EndOfFile, "An attempt was made to access C.obl past its end."},
        TextCase{FileError::HardwareIo, "A hardware I/O error was reported while accessing C.obl."},
        TextCase{FileError::Generic, "An unknown error occurred while accessing C.obl."},
        TextCase{FileError::IsFolder, "C.obl is a folder, not a file."},
        TextCase{FileError::IsPipe, "C.obl is a pipe, not a file."},
        TextCase{FileError::IsSpecialFile, "C.obl is a device or a socket, not a file."}));

TEST(FileErrorTextName, UnnamedStreamAndNamesHoldingThePlaceholder)
{
    EXPECT_EQ(fileErrorText(FileError::EndOfFile, UnnamedFile),
              "An attempt was made to access an unnamed file past its end.");
    // A name that itself contains "%1" is put in once, not expanded again.
    EXPECT_EQ(fileErrorText(FileError::NotFound, "/tmp/%1.cpe"), "/tmp/%1.cpe was not found.");
}

}  // namespace
