#include "cli/jsontext.h"

#include "base/fdstream.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <limits>

using nlohmann::json;

namespace {

std::string hexEscape(unsigned char byte)
{
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02X", byte);
    return text;
}

// Decodes UTF-8 that the JSON parser has already validated.
std::u32string codePointsOf(std::string_view utf8)
{
    std::u32string points;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t extra = 0;
        char32_t point = lead;
        if (lead >= 0xF0) {
            extra = 3;
            point = lead & 0x07;
        } else if (lead >= 0xE0) {
            extra = 2;
            point = lead & 0x0F;
        } else if (lead >= 0xC0) {
            extra = 1;
            point = lead & 0x1F;
        }
        for (std::size_t k = 1; k <= extra && i + k < utf8.size(); ++k)
            point = point << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        points.push_back(point);
        i += extra + 1;
    }
    return points;
}

// Line and column (both from 1) of the byte at 1-based position, as a text editor counts them.
std::size_t lineOf(const std::string& text, std::size_t position)
{
    const std::size_t end = std::min(position > 0 ? position - 1 : 0, text.size());
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
}

std::size_t columnOf(const std::string& text, std::size_t position)
{
    const std::size_t end = std::min(position > 0 ? position - 1 : 0, text.size());
    const std::size_t newline = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
    return end - (newline == std::string::npos ? 0 : newline + 1) + 1;
}

}  // namespace

std::string printableText(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\')
            text += "\\\\";
        else if (byte >= 0x20 && byte < 0x7F)
            text.push_back(c);
        else
            text += hexEscape(byte);
    }
    return text;
}

std::string withoutControls(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            result += hexEscape(byte);
        else
            result.push_back(c);
    }
    return result;
}

FileError readJsonFile(const std::string& path, json& document, std::size_t maxBytes)
{
    std::string content;
    bool tooLong = false;
    const FileError error = readFileWith(path, [&](std::istream& in) {
        char chunk[4096];
        while (!tooLong && (in.read(chunk, sizeof chunk) || in.gcount() > 0)) {
            content.append(chunk, static_cast<std::size_t>(in.gcount()));
            tooLong = content.size() > maxBytes;
        }
    });
    if (error != FileError::None)
        return error;
    if (tooLong)
        throw BadInput("longer than " + std::to_string(maxBytes) + " bytes");
    try {
        document = json::parse(content);
    } catch (const json::parse_error& e) {
        // Only the place: the parser's own text quotes what it read, which may be a password.
        throw BadInput("not valid JSON (line " + std::to_string(lineOf(content, e.byte))
                       + ", column " + std::to_string(columnOf(content, e.byte)) + ")");
    } catch (const json::exception&) {
        throw BadInput("not valid JSON");
    }
    return FileError::None;
}

void requireObject(const json& value, const std::string& where,
                   std::initializer_list<std::string_view> allowedKeys)
{
    if (!value.is_object())
        throw BadInput(where + ": expected an object");
    for (const auto& item : value.items()) {
        if (std::find(allowedKeys.begin(), allowedKeys.end(), item.key()) == allowedKeys.end())
            throw BadInput(where + ": unknown key \"" + item.key() + "\"");
    }
}

const json& member(const json& object, std::string_view key, const std::string& where)
{
    const auto found = object.find(key);
    if (found == object.end())
        throw BadInput(where + ": missing \"" + std::string(key) + "\"");
    return *found;
}

const json& requireArray(const json& value, const std::string& where)
{
    if (!value.is_array())
        throw BadInput(where + ": expected an array");
    return value;
}

std::string textField(const json& value, const std::string& where, std::size_t maxBytes,
                      bool allowZero)
{
    if (!value.is_string())
        throw BadInput(where + ": expected a string");
    std::string bytes;
    for (const char32_t point : codePointsOf(value.get_ref<const std::string&>())) {
        if (point > 0xFF) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(point));
            throw BadInput(where + ": character " + code + " has no single-byte form");
        }
        if (point == 0 && !allowZero)
            throw BadInput(where + ": the file cannot hold a zero character here");
        bytes.push_back(static_cast<char>(point));
    }
    if (bytes.size() > maxBytes)
        throw BadInput(where + ": " + std::to_string(bytes.size()) + " characters, at most "
                       + std::to_string(maxBytes) + " fit");
    return bytes;
}

std::int64_t integerField(const json& value, const std::string& where, std::int64_t minimum,
                          std::int64_t maximum)
{
    const auto range = [&] {
        return where + ": must be an integer from " + std::to_string(minimum) + " to "
            + std::to_string(maximum);
    };
    if (value.is_number_unsigned()) {
        // JSON reads 0 and every positive number as unsigned: both ends are checked here too.
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(maximum)
            || static_cast<std::int64_t>(number) < minimum)
            throw BadInput(range());
        return static_cast<std::int64_t>(number);
    }
    if (!value.is_number_integer())
        throw BadInput(range());
    const auto number = value.get<std::int64_t>();
    if (number < minimum || number > maximum)
        throw BadInput(range());
    return number;
}

IpOctets dottedQuadField(const json& value, const std::string& where)
{
    const std::optional<IpOctets> octets =
        value.is_string() ? parseDottedQuad(value.get_ref<const std::string&>()) : std::nullopt;
    if (!octets)
        throw BadInput(where + ": expected a dotted quad such as 10.0.0.1");
    return *octets;
}
