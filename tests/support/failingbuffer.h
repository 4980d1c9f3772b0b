#pragma once

#include <ios>
#include <streambuf>
#include <string>
#include <utility>

// A stream buffer that hands out its bytes, then fails as a broken disk would: reading past
// them throws std::ios_base::failure. Readers must report a read error, not an end of file.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string bytes) : m_bytes(std::move(bytes))
    {
        setg(m_bytes.data(), m_bytes.data(), m_bytes.data() + m_bytes.size());
    }

protected:
    int_type underflow() override { throw std::ios_base::failure("device error"); }

private:
    std::string m_bytes;
};
