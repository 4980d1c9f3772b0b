#pragma once

#include <string>

// The 13770 bytes of an address book that seed tells apart from others, with a CR LF inside
// that a text-mode transfer would change.
inline std::string bookBytes(char seed)
{
    std::string bytes(13770, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(seed + static_cast<char>(i % 251));
    bytes.replace(500, 2, "\r\n");
    return bytes;
}
