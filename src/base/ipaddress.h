#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Four octets, the leftmost number of the dotted form first.
using IpOctets = std::array<std::uint8_t, 4>;

// What the operator typed in an address field of four parts: nothing when none of the parts
// holds a digit (a blank address); a part left empty next to a filled one counts as 0.
using IpAddressInput = std::optional<IpOctets>;

// "%d.%d.%d.%d".
std::string formatIpText(const IpOctets& octets);

// Lenient inverse of formatIpText: each dot-separated part is converted like C's atoi (leading
// white space, optional sign, digits; none gives 0; beyond the int range it saturates, as the
// classic runtime does) and cut to its low 8 bits; missing parts are 0 and the fourth part takes
// everything after the third dot.
IpOctets parseIpText(std::string_view text);

// Strict dotted decimal, as the list and book files hold it: four parts of 1 to 3 digits, each
// at most 255, separated by single dots, nothing before or after. Nothing for anything else
// ("127.0.0", "0x7f.1", "1.2.3.4 ", "1.2.3.4\r\n").
std::optional<IpOctets> parseDottedQuad(std::string_view text);
