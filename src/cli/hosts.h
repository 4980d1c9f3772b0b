#pragma once

#include "cli/cli.h"

#include <cstddef>
#include <optional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

class GatewayList;

// Most addresses one check takes without a list: with --jobs above 1 every probe is in flight
// at once, each holding a socket and a thread.
inline constexpr std::size_t MaxHosts = 512;

// "10.1.2.3", or a range of the last part "10.1.2.1-40", appended to addresses in order. False
// when text is neither (a range running backwards included).
bool addHostAddresses(std::string_view text, std::vector<std::string>& addresses);

// Text of digits, dots and dashes only: meant as an address or range, not as a file name.
bool looksLikeAddress(std::string_view text);

// What check works on: a gateway list, or addresses and ranges given as operands and with
// --hosts FILE ("-": standard input); nullopt when loaded, else the exit status after the
// report. name is what "No item in list!" names.
std::optional<int> loadCheckTargets(const ParsedArguments& parsed, GatewayList& list,
                                    std::string& name, CliIo& io);

// The addresses of a hosts file: one address or range a line; '#' starts a comment; blank lines
// and white space around are ignored. Throws BadInput naming the line ("line 3: 10.1.2 is not an
// IPv4 address").
std::vector<std::string> readHosts(std::istream& in);
