#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// A port as the operator types it: an unsigned decimal integer that fits 32 bits, with blanks
// and tabs allowed around it; nothing for anything else ("Please enter a positive integer.").
std::optional<std::uint32_t> parsePortText(std::string_view text);
