#pragma once

#include "base/ipaddress.h"
#include "base/fileerror.h"
#include "base/text.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

// Input that from-json refuses; the text names the place ("entries[3].port") and the reason.
class BadInput : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// For plain-text output of file contents: printable ASCII as it is, a backslash doubled and any
// other byte as \xHH, so that a hostile file cannot send control sequences to a terminal.
std::string printableText(std::string_view bytes);

// For messages: only control characters escaped, so file names stay readable on one line.
std::string withoutControls(std::string_view text);

// Reads and parses a JSON file. Returns why the file could not be read; throws BadInput when
// its content is not JSON or is longer than maxBytes (read no further than that).
FileError readJsonFile(const std::string& path, nlohmann::json& document,
                       std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Checks of from-json; each throws BadInput naming where.
void requireObject(const nlohmann::json& value, const std::string& where,
                   std::initializer_list<std::string_view> allowedKeys);
const nlohmann::json& member(const nlohmann::json& object, std::string_view key,
                             const std::string& where);
const nlohmann::json& requireArray(const nlohmann::json& value, const std::string& where);
// A string of code points up to U+00FF, at most maxBytes long; zero characters only when
// allowZero.
std::string textField(const nlohmann::json& value, const std::string& where, std::size_t maxBytes,
                      bool allowZero);
std::int64_t integerField(const nlohmann::json& value, const std::string& where,
                          std::int64_t minimum, std::int64_t maximum);
// Strict dotted decimal: four parts of 1 to 3 digits, each at most 255.
IpOctets dottedQuadField(const nlohmann::json& value, const std::string& where);
