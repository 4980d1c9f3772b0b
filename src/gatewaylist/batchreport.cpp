#include "gatewaylist/batchreport.h"

#include "base/atomicfile.h"

#include <ostream>
#include <string_view>

namespace {

// UTF-8, each byte of the list's single-byte text the code point of the same value (as the JSON
// report has it); control bytes other than TAB, CR and LF become U+FFFD, so no zero byte or
// terminal sequence reaches the file. Quoted when it holds a separator, a quote or a line end;
// a leading =, +, -, @, TAB or CR is kept from being read as a formula by a spreadsheet.
std::string csvField(const std::string& text)
{
    std::string field;
    if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos)
        field = "'";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F) {
            field += "\xEF\xBF\xBD";
        } else if (byte >= 0x80) {
            field += static_cast<char>(0xC0 | (byte >> 6));
            field += static_cast<char>(0x80 | (byte & 0x3F));
        } else {
            field += c;
        }
    }
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// The notes in one field, "; " between them.
std::string joinedNotes(const GatewayOutcome& outcome)
{
    std::string text;
    for (const std::string& note : outcome.notes)
        text += (text.empty() ? "" : "; ") + note;
    return text;
}

}  // namespace

const char* rowStatusName(RowStatus status)
{
    switch (status) {
    case RowStatus::None:
        return "None";
    case RowStatus::Uploaded:
        return "Uploaded";
    case RowStatus::FtpFailed:
        return "FtpFailed";
    case RowStatus::Reachable:
        return "Reachable";
    case RowStatus::NotReachable:
        return "NotReachable";
    case RowStatus::Unchanged:
        return "Unchanged";
    case RowStatus::BackedUp:
        return "BackedUp";
    case RowStatus::NoBook:
        return "NoBook";
    case RowStatus::Listed:
        return "Listed";
    }
    return "None";
}

std::string ReportRow::statusText() const
{
    if (!started)
        return "NotStarted";
    if (outcome.abandoned)
        return "Abandoned";
    return plannedStatus.empty() ? rowStatusName(status) : plannedStatus;
}

bool ReportRow::failed() const
{
    return !started || status == RowStatus::FtpFailed || status == RowStatus::NotReachable
           || plannedStatus == "WouldFail";
}

std::string rowSummary(const ReportRow& row)
{
    // An unchanged gateway's reason says it all: "unchanged: already holds this book".
    if (row.started && row.status == RowStatus::Unchanged && !row.outcome.reason.empty())
        return row.outcome.reason;
    std::string text = row.statusText();
    if (!row.outcome.reason.empty())
        text += ": " + row.outcome.reason;
    if (row.started) {
        const std::string started = startedText(row.outcome.started);
        text += " (" + (started.size() > 11 ? started.substr(11, 8) + " UTC, " : std::string())
                + secondsText(row.outcome.seconds) + " s)";
    }
    return text;
}

std::string inProgressLine(const std::vector<std::string>& addresses, std::size_t maxLength)
{
    if (addresses.empty())
        return {};
    std::string line = "In progress:";
    for (std::size_t shown = 0; shown < addresses.size(); ++shown) {
        const std::size_t left = addresses.size() - shown - 1;
        // Room for this address, and for the count of the rest when any are left after it.
        const std::string more = left > 0 ? " + " + std::to_string(left) + " more" : "";
        if (shown > 0 && line.size() + 1 + addresses[shown].size() + more.size() > maxLength)
            return line + " + " + std::to_string(addresses.size() - shown) + " more";
        line += " " + addresses[shown];
    }
    return line;
}

std::string reportCsv(const BatchReport& report)
{
    std::string text = "row,address,user ID,status,reason,start time,seconds,files sent,"
                       "files failed,files deleted,bytes sent,notes\r\n";
    for (const ReportRow& row : report.rows) {
        const GatewayOutcome& outcome = row.outcome;
        text += std::to_string(row.row + 1) + "," + csvField(row.address) + ","
                + csvField(row.userId) + "," + row.statusText() + "," + csvField(outcome.reason)
                + "," + startedText(outcome.started) + ","
                + (row.started ? secondsText(outcome.seconds) : std::string()) + ","
                + std::to_string(outcome.filesSent) + "," + std::to_string(outcome.filesFailed)
                + "," + std::to_string(outcome.filesDeleted) + ","
                + std::to_string(outcome.bytesSent) + "," + csvField(joinedNotes(outcome))
                + "\r\n";
    }
    return text;
}

FileError saveReportCsv(const std::string& path, const BatchReport& report)
{
    const std::string text = reportCsv(report);
    return writeFileAtomically(path, [&](std::ostream& out) {
        out << text;
        return static_cast<bool>(out);
    });
}
