#pragma once

#include <string>
#include <string_view>

// text without the blank characters (by default white space of the C locale) at either end.
inline std::string_view trimmed(std::string_view text, std::string_view blanks = " \t\r\n\v\f")
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// text with the ASCII letters in upper case; other bytes are left as they are, whatever the locale.
inline std::string upperCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// Single-byte file text to the UTF-8 of a JSON string: each byte is the code point of the same
// value, so every byte survives the round trip.
inline std::string jsonTextFromBytes(std::string_view bytes)
{
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | byte >> 6));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

// text with every control byte (below 0x20, and 0x7F) shown as '?', for one-line messages that
// repeat what came from outside.
inline std::string withoutControlBytes(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return result;
}
