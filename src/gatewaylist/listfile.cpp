#include "gatewaylist/listfile.h"

#include "base/atomicfile.h"
#include "base/fdstream.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>

namespace {

// Claimed lengths are not trusted: text is read in pieces of this size and grows only as
// bytes actually arrive, so a damaged length costs no more memory than the file holds.
constexpr std::size_t ReadChunk = 64 * 1024;

constexpr std::uint16_t WideMarker = 0xFFFE;
constexpr std::uint64_t MinRecordBytes = 3;  // three empty counted strings
constexpr std::uint16_t LongMarker = 0xFFFF;

template <typename Number>
bool readNumber(std::istream& in, Number& value)
{
    std::array<unsigned char, sizeof(Number)> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(in.gcount()) != bytes.size())
        return false;
    std::uint64_t result = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        result = result << 8 | bytes[i];
    value = static_cast<Number>(result);
    return true;
}

template <typename Number>
void writeNumber(std::ostream& out, Number value)
{
    std::array<char, sizeof(Number)> bytes{};
    auto bits = static_cast<std::uint64_t>(value);
    for (char& byte : bytes) {
        byte = static_cast<char>(bits & 0xFF);
        bits >>= 8;
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The length prefix; wide is set when the FFFE marker announced two-byte characters. The
// marker is taken only once, as the classic archive reader does.
bool readLength(std::istream& in, std::uint32_t& length, bool& wide)
{
    wide = false;
    std::uint8_t shortLength = 0;
    if (!readNumber(in, shortLength))
        return false;
    if (shortLength < 0xFF) {
        length = shortLength;
        return true;
    }
    std::uint16_t mediumLength = 0;
    if (!readNumber(in, mediumLength))
        return false;
    if (mediumLength == WideMarker) {
        wide = true;
        if (!readNumber(in, shortLength))
            return false;
        if (shortLength < 0xFF) {
            length = shortLength;
            return true;
        }
        if (!readNumber(in, mediumLength))
            return false;
    }
    if (mediumLength < LongMarker) {
        length = mediumLength;
        return true;
    }
    return readNumber(in, length);
}

bool readBytes(std::istream& in, std::uint64_t count, std::string& bytes)
{
    bytes.clear();
    while (count > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, ReadChunk));
        const std::size_t before = bytes.size();
        bytes.resize(before + piece);
        in.read(bytes.data() + before, static_cast<std::streamsize>(piece));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got != piece) {
            bytes.resize(before + got);
            return false;
        }
        count -= piece;
    }
    return true;
}

// Two-byte text to single bytes: a character above 255 has no single-byte form and becomes
// '?'; a surrogate pair is one such character.
std::string narrowed(const std::string& utf16)
{
    std::string text;
    text.reserve(utf16.size() / 2);
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(utf16[i])
            | static_cast<unsigned>(static_cast<unsigned char>(utf16[i + 1])) << 8;
        if (unit <= 0xFF) {
            text.push_back(static_cast<char>(unit));
            continue;
        }
        text.push_back('?');
        const bool highSurrogate = unit >= 0xD800 && unit <= 0xDBFF;
        if (highSurrogate && i + 3 < utf16.size()) {
            const unsigned next = static_cast<unsigned char>(utf16[i + 2])
                | static_cast<unsigned>(static_cast<unsigned char>(utf16[i + 3])) << 8;
            if (next >= 0xDC00 && next <= 0xDFFF)
                i += 2;
        }
    }
    return text;
}

// strtol with base 16 over one pair of characters, cut to its low 8 bits.
std::uint8_t hexPairValue(char first, char second)
{
    const char pair[2] = {first, second};
    std::size_t i = 0;
    while (i < 2 && (pair[i] == ' ' || (pair[i] >= '\t' && pair[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < 2 && (pair[i] == '+' || pair[i] == '-')) {
        negative = pair[i] == '-';
        ++i;
    }
    int value = 0;
    for (; i < 2; ++i) {
        const char c = pair[i];
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * 16 + digit;
    }
    if (negative)
        value = -value;
    return static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFF);
}

// Bytes between the read position and the end, where the stream can tell.
std::optional<std::uint64_t> bytesLeft(std::istream& in)
{
    std::streambuf* buffer = in.rdbuf();
    const std::streampos here = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
    if (here == std::streampos(-1))
        return std::nullopt;
    const std::streampos end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
    if (buffer->pubseekpos(here, std::ios::in) != here || end == std::streampos(-1) || end < here)
        return std::nullopt;
    return static_cast<std::uint64_t>(end - here);
}

ListReadResult endOfRead(const std::istream& in)
{
    return in.bad() ? ListReadResult::ReadError : ListReadResult::EndOfFile;
}

}  // namespace

void writeCountedString(std::ostream& out, std::string_view text)
{
    const std::size_t length = text.size();
    if (length < 0xFF) {
        writeNumber(out, static_cast<std::uint8_t>(length));
    } else if (length < WideMarker) {
        writeNumber(out, std::uint8_t{0xFF});
        writeNumber(out, static_cast<std::uint16_t>(length));
    } else if (length < std::numeric_limits<std::uint32_t>::max()) {
        writeNumber(out, std::uint8_t{0xFF});
        writeNumber(out, LongMarker);
        writeNumber(out, static_cast<std::uint32_t>(length));
    } else {
        // The format has no room for such a length; fail rather than write a wrong one.
        out.setstate(std::ios::failbit);
        return;
    }
    out.write(text.data(), static_cast<std::streamsize>(length));
}

bool readCountedString(std::istream& in, std::string& text)
{
    std::uint32_t length = 0;
    bool wide = false;
    if (!readLength(in, length, wide))
        return false;
    if (!wide)
        return readBytes(in, length, text);
    std::string utf16;
    if (!readBytes(in, std::uint64_t{length} * 2, utf16))
        return false;
    text = narrowed(utf16);
    return true;
}

std::string encodePassword(std::string_view plain)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(plain.size() * 2);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const auto key = static_cast<unsigned char>(PasswordKey[i % PasswordKey.size()]);
        const auto byte = static_cast<unsigned char>((static_cast<unsigned char>(plain[i]) + key) & 0xFF);
        encoded.push_back(Digits[byte >> 4]);
        encoded.push_back(Digits[byte & 0x0F]);
    }
    return encoded;
}

std::string decodePassword(std::string_view encoded)
{
    std::string plain;
    const std::size_t count = encoded.size() / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const auto key = static_cast<unsigned char>(PasswordKey[i % PasswordKey.size()]);
        const auto byte = static_cast<unsigned char>(
            (hexPairValue(encoded[2 * i], encoded[2 * i + 1]) - key) & 0xFF);
        plain.push_back(static_cast<char>(byte));
    }
    // A zero byte ends the password, unless a CR or LF follows it: cut there, the rest could
    // reach the server as commands of their own, so the whole text stays and the login is
    // refused as unsendable before anything is sent.
    const std::size_t zero = plain.find('\0');
    if (zero != std::string::npos && plain.find_first_of("\r\n", zero) == std::string::npos)
        plain.resize(zero);
    return plain;
}

bool writeList(std::ostream& out, const std::vector<GatewayRecord>& records)
{
    if (records.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        out.setstate(std::ios::failbit);
        return false;
    }
    writeCountedString(out, ListMagic);
    writeNumber(out, static_cast<std::int32_t>(records.size()));
    for (const GatewayRecord& record : records) {
        writeCountedString(out, record.ipText);
        writeCountedString(out, record.userId);
        writeCountedString(out, encodePassword(record.password));
        if (!out)
            return false;
    }
    return !out.fail();
}

ListReadResult readList(std::istream& in, GatewayList& list)
{
    std::string magic;
    if (!readCountedString(in, magic))
        return endOfRead(in);
    if (magic != ListMagic)
        return magic.substr(0, 3) == "OBL" ? ListReadResult::OtherVersion
                                           : ListReadResult::FormatNotRecognized;

    std::int32_t count = 0;
    if (!readNumber(in, count))
        return endOfRead(in);
    // A record takes at least three bytes, so a file can't hold more than a third of what is
    // left: room for that many (or for the count, if smaller) is made once, instead of letting
    // the rows grow by doubling to several times what the file can fill.
    if (const std::optional<std::uint64_t> left = bytesLeft(in); left && count > 0)
        list.reserve(list.size()
                     + static_cast<std::size_t>(std::min<std::uint64_t>(
                         static_cast<std::uint64_t>(count), *left / MinRecordBytes)));
    for (std::int32_t i = 0; i < count; ++i) {
        GatewayRecord record;
        std::string encoded;
        if (!readCountedString(in, record.ipText) || !readCountedString(in, record.userId)
            || !readCountedString(in, encoded))
            return endOfRead(in);
        record.password = decodePassword(encoded);
        list.append(std::move(record));
    }
    return ListReadResult::Loaded;
}

ListFileResult loadGatewayList(const std::string& path, GatewayList& list)
{
    list.clear();
    ListFileResult result;
    result.error = readFileWith(path, [&](std::istream& in) { result.read = readList(in, list); });
    if (result.error == FileError::None && result.read == ListReadResult::EndOfFile)
        result.error = FileError::EndOfFile;
    else if (result.error == FileError::None && result.read == ListReadResult::ReadError)
        result.error = FileError::Generic;
    return result;
}

FileError saveGatewayList(const std::string& path, const std::vector<GatewayRecord>& records)
{
    // The file holds passwords under a reversible encoding: owner only, whatever was there.
    return writeFileAtomically(
        path, [&records](std::ostream& out) { return writeList(out, records); }, S_IRUSR | S_IWUSR);
}
