#include "base/ipaddress.h"

#include <climits>
#include <cstdint>
#include <cstdio>

namespace {

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// C's atoi, saturating at the int range instead of overflowing, cut to the low 8 bits.
std::uint8_t octetOf(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{INT_MAX} + 1)
            value = std::int64_t{INT_MAX} + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) & 0xFF);
}

}  // namespace

std::string formatIpText(const IpOctets& octets)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
    return text;
}

IpOctets parseIpText(std::string_view text)
{
    IpOctets octets{};
    for (std::size_t part = 0; part < 3; ++part) {
        const std::size_t dot = text.find('.');
        octets[part] = octetOf(text.substr(0, dot));
        text.remove_prefix(dot == std::string_view::npos ? text.size() : dot + 1);
    }
    octets[3] = octetOf(text);
    return octets;
}

std::optional<IpOctets> parseDottedQuad(std::string_view text)
{
    IpOctets octets{};
    for (std::size_t part = 0; part < 4; ++part) {
        std::size_t digits = 0;
        unsigned number = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9') {
            number = number * 10 + static_cast<unsigned>(text[digits] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || number > 255)
            return std::nullopt;
        octets[part] = static_cast<std::uint8_t>(number);
        text.remove_prefix(digits);
        if (part < 3) {
            if (text.empty() || text.front() != '.')
                return std::nullopt;
            text.remove_prefix(1);
        }
    }
    if (!text.empty())
        return std::nullopt;
    return octets;
}
