#pragma once

#include "base/fileerror.h"

#include <functional>
#include <iosfwd>
#include <streambuf>
#include <string>
#include <vector>

// A stream buffer over a POSIX file descriptor (not owned) that keeps the errno of the first
// failed read or write, so a failed load or save is reported in the operator's terms. A failed
// read makes the reading stream bad, unlike the end of the file, which only sets eof.
class FdStreamBuf : public std::streambuf {
public:
    explicit FdStreamBuf(int fd);
    FdStreamBuf(const FdStreamBuf&) = delete;
    FdStreamBuf& operator=(const FdStreamBuf&) = delete;
    ~FdStreamBuf() override;

    // errno of the first failure, 0 when none.
    int lastError() const { return m_error; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;
    int_type underflow() override;
    // Seeking works where the descriptor can seek; it lets a reader ask how much is left.
    pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                     std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

private:
    bool flushOutput();

    int m_fd;
    int m_error = 0;
    std::vector<char> m_input;
    std::vector<char> m_output;
};

// Opens path for reading and hands reader a stream over it. Returns why opening failed, or why
// a read failed (the stream went bad), or None; reaching the end of the file is not an error.
// Only a regular file (or a link to one) is read: a folder, pipe or device gives IsFolder,
// IsPipe or IsSpecialFile without reading anything, so an endless stream can't stall or
// exhaust the program.
FileError readFileWith(const std::string& path, const std::function<void(std::istream&)>& reader);
// The whole file into contents, through readFileWith.
FileError readWholeFile(const std::string& path, std::string& contents);
