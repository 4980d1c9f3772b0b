#pragma once

#include "gatewaylist/gatewaylist.h"
#include "base/fileerror.h"

#include <iosfwd>
#include <string>
#include <string_view>

inline constexpr std::string_view ListMagic = "OBL101002";
inline constexpr std::string_view PasswordKey = "RZN640295";

enum class ListReadResult {
    Loaded,
    OtherVersion,         // first string starts with "OBL" but is not ListMagic
    FormatNotRecognized,  // anything else
    EndOfFile,            // the file ended inside the magic, the count or a record
    ReadError,            // the stream failed for another reason
};

// Writes the magic, the count and three counted strings per record, passwords encoded.
// Returns false when the stream failed.
bool writeList(std::ostream& out, const std::vector<GatewayRecord>& records);
// Appends the records to list in file order; records read before an end-of-file stay. Never
// allocates more than the stream actually holds, whatever lengths and counts it claims.
ListReadResult readList(std::istream& in, GatewayList& list);

// Each byte plus the key byte, as two upper-case hex digits.
std::string encodePassword(std::string_view plain);
// The password ends at a decoded zero byte, except when a CR or LF comes after it.
std::string decodePassword(std::string_view encoded);

// Counted strings as the file stores them.
void writeCountedString(std::ostream& out, std::string_view text);
// False at end of file (or a stream error) before the string was complete.
bool readCountedString(std::istream& in, std::string& text);

struct ListFileResult {
    // Why opening or reading failed; EndOfFile when the file ends inside the magic, the count
    // or a record (the records before it stay in the list).
    FileError error = FileError::None;
    ListReadResult read = ListReadResult::Loaded;  // what readList said
};

// Opens path and reads it into list (cleared first).
ListFileResult loadGatewayList(const std::string& path, GatewayList& list);
// Saves through a temporary file, readable and writable by the owner only.
FileError saveGatewayList(const std::string& path, const std::vector<GatewayRecord>& records);
