#pragma once

#include "base/fileerror.h"

#include <string>
#include <string_view>
#include <vector>

// CSV as spreadsheets write and read it, for list and book files kept in one.

// The rows of text: fields separated by commas, a field in double quotes may hold commas, line
// ends and doubled quotes; lines end in CRLF or LF; a UTF-8 byte-order mark at the start and
// empty lines are skipped. Throws BadInput naming the line when a quote is left open, text
// follows a closing quote, or the text is not UTF-8.
std::vector<std::vector<std::string>> parseCsv(std::string_view text);

// Reads the file and parses it as above; why the file could not be read, or None.
FileError readCsvFile(const std::string& path, std::vector<std::vector<std::string>>& rows);

// One field, quoted when it holds a comma, a quote, CR or LF, or starts or ends with a space.
std::string csvField(std::string_view text);

// One line of fields ending in CRLF.
std::string csvLine(const std::vector<std::string>& fields);

// The column of each name (-1: none) in the CSV's first row when it is a header, which is then
// taken out of rows: a row holding the first name, in any letter case (no data row holds it in
// that column: "ip" is no address, "kind" no kind). Its other columns are ignored, as
// inventories export more than these. Else the columns in the order of names. Throws BadInput
// when a header lacks one of required or names a column twice.
std::vector<int> csvColumns(std::vector<std::vector<std::string>>& rows,
                            const std::vector<std::string_view>& names,
                            const std::vector<std::string_view>& required);
