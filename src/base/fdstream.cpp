#include "base/fdstream.h"

#include "base/filedescriptor.h"

#include <iterator>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ios>
#include <istream>

namespace {
constexpr std::size_t BufferSize = 64 * 1024;
}

FdStreamBuf::FdStreamBuf(int fd)
    : m_fd(fd)
{
}

FdStreamBuf::~FdStreamBuf()
{
    flushOutput();
}

bool FdStreamBuf::flushOutput()
{
    if (m_output.empty() || pbase() == pptr())
        return true;
    const char* data = pbase();
    std::size_t left = static_cast<std::size_t>(pptr() - pbase());
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (m_error == 0)
                m_error = errno;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    setp(m_output.data(), m_output.data() + m_output.size());
    return true;
}

FdStreamBuf::int_type FdStreamBuf::overflow(int_type c)
{
    if (m_output.empty()) {
        m_output.resize(BufferSize);
        setp(m_output.data(), m_output.data() + m_output.size());
    } else if (!flushOutput()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int FdStreamBuf::sync()
{
    return flushOutput() ? 0 : -1;
}

FdStreamBuf::int_type FdStreamBuf::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    if (m_input.empty())
        m_input.resize(BufferSize);
    for (;;) {
        const ssize_t got = ::read(m_fd, m_input.data(), m_input.size());
        if (got > 0) {
            setg(m_input.data(), m_input.data(), m_input.data() + got);
            return traits_type::to_int_type(*gptr());
        }
        if (got == 0)
            return traits_type::eof();
        if (errno == EINTR)
            continue;
        if (m_error == 0)
            m_error = errno;
        // The stream turns this into badbit, which tells a read error from the end of the file.
        throw std::ios_base::failure("read error");
    }
}

FdStreamBuf::pos_type FdStreamBuf::seekoff(off_type offset, std::ios_base::seekdir direction,
                                           std::ios_base::openmode)
{
    const auto failed = pos_type(off_type(-1));
    if (!flushOutput())
        return failed;
    int whence = SEEK_SET;
    if (direction == std::ios_base::cur) {
        // The kernel's position is past what is still buffered.
        offset -= egptr() - gptr();
        whence = SEEK_CUR;
    } else if (direction == std::ios_base::end) {
        whence = SEEK_END;
    }
    const off_t result = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (result < 0)
        return failed;
    setg(m_input.data(), m_input.data(), m_input.data());
    return pos_type(off_type(result));
}

FdStreamBuf::pos_type FdStreamBuf::seekpos(pos_type position, std::ios_base::openmode which)
{
    return seekoff(off_type(position), std::ios_base::beg, which);
}

FileError readFileWith(const std::string& path, const std::function<void(std::istream&)>& reader)
{
    // Non-blocking only for the open itself, so that a pipe with no writer can't hold it up.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fileErrorFromErrno(errno);
    const FileDescriptor closer(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fileErrorFromErrno(errno);
    if (const FileError kind = fileKindError(info.st_mode); kind != FileError::None)
        return kind;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return fileErrorFromErrno(errno);
    FdStreamBuf buffer(fd);
    std::istream in(&buffer);
    reader(in);
    if (in.bad())
        return buffer.lastError() != 0 ? fileErrorFromErrno(buffer.lastError()) : FileError::Generic;
    return FileError::None;
}

FileError readWholeFile(const std::string& path, std::string& contents)
{
    return readFileWith(path, [&contents](std::istream& in) {
        contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    });
}
