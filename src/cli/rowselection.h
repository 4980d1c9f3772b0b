#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string_view>

// The rows --rows names, 0-based: numbers and ranges separated by commas ("1-40,45"), and
// exclusions marked with '!' ("!12", "!3-5") that are taken out of them; exclusions alone
// take out of the whole list. Nothing when a number is not a row of a list of count rows, a
// range runs backwards or the text is malformed.
std::optional<std::set<std::size_t>> parseRows(std::string_view text, std::size_t count);
