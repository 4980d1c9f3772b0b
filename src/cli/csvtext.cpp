#include "cli/csvtext.h"

#include "base/fdstream.h"
#include "cli/jsontext.h"

#include <algorithm>

namespace {

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool isUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t point = lead;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            point = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            point = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            point = lead & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = point << 6 | (next & 0x3F);
        }
        const char32_t least = extra == 2 ? 0x800 : extra == 3 ? 0x10000 : 0x80;
        if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

}  // namespace

std::vector<std::vector<std::string>> parseCsv(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    std::size_t line = 1;
    std::size_t i = 0;
    bool rowHasText = false;
    const auto endField = [&] {
        if (!isUtf8(field))
            throw BadInput("line " + std::to_string(line) + ": not UTF-8 text (save the CSV as "
                                                            "UTF-8)");
        row.push_back(std::move(field));
        field.clear();
    };
    const auto endRow = [&] {
        endField();
        if (rowHasText || row.size() > 1)
            rows.push_back(std::move(row));
        row.clear();
        rowHasText = false;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && field.empty()) {
            const std::size_t opened = line;
            ++i;
            while (true) {
                if (i >= text.size())
                    throw BadInput("line " + std::to_string(opened) + ": a quote is left open");
                if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    i += 2;
                } else if (text[i] == '"') {
                    ++i;
                    break;
                } else {
                    line += text[i] == '\n' ? 1 : 0;
                    field += text[i++];
                }
            }
            rowHasText = true;
            if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n')
                throw BadInput("line " + std::to_string(line) + ": text after a closing quote");
            continue;
        }
        if (c == ',') {
            endField();
            ++i;
        } else if (c == '\r' || c == '\n') {
            endRow();
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            ++line;
        } else {
            field += c;
            rowHasText = true;
            ++i;
        }
    }
    if (rowHasText || !row.empty())
        endRow();
    return rows;
}

FileError readCsvFile(const std::string& path, std::vector<std::vector<std::string>>& rows)
{
    std::string content;
    if (const FileError error = readWholeFile(path, content); error != FileError::None)
        return error;
    rows = parseCsv(content);
    return FileError::None;
}

std::string csvField(std::string_view text)
{
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos
        || (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote)
        return std::string(text);
    std::string field = "\"";
    for (const char c : text) {
        field += c;
        if (c == '"')
            field += '"';
    }
    return field + "\"";
}

std::string csvLine(const std::vector<std::string>& fields)
{
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i)
        line += (i == 0 ? "" : ",") + csvField(fields[i]);
    return line + "\r\n";
}

std::vector<int> csvColumns(std::vector<std::vector<std::string>>& rows,
                            const std::vector<std::string_view>& names,
                            const std::vector<std::string_view>& required)
{
    std::vector<int> columns(names.size(), -1);
    const auto inFirstRow = [&](std::string_view name) {
        return std::any_of(rows[0].begin(), rows[0].end(),
                           [&](const std::string& field) { return sameName(field, name); });
    };
    if (rows.empty() || !inFirstRow(names.front())) {
        for (std::size_t i = 0; i < names.size(); ++i)
            columns[i] = static_cast<int>(i);
        return columns;
    }
    const std::vector<std::string>& header = rows[0];
    for (std::size_t column = 0; column < header.size(); ++column) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!sameName(header[column], names[i]))
                continue;
            if (columns[i] >= 0)
                throw BadInput("line 1: column " + std::string(names[i]) + " given twice");
            columns[i] = static_cast<int>(column);
        }
    }
    for (std::string_view name : required) {
        if (!inFirstRow(name))
            throw BadInput("line 1: no column " + std::string(name));
    }
    rows.erase(rows.begin());
    return columns;
}
