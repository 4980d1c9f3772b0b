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
