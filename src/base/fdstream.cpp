#include "base/fdstream.h"

#include "base/filedescriptor.h"

#include <iterator>
#include <fcntl.h>
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

FileError readFileWith(const std::string& path, const std::function<void(std::istream&)>& reader)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fileErrorFromErrno(errno);
    const FileDescriptor closer(fd);
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
