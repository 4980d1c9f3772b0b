#include "cli/reports.h"

#include "base/atomicfile.h"
#include "cli/jsontext.h"
#include "gatewaylist/gatewaylist.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

using nlohmann::ordered_json;

BatchSummary summaryOf(const BatchReport& report, double seconds)
{
    BatchSummary summary;
    summary.gateways = report.rows.size();
    summary.seconds = seconds;
    for (const ReportRow& row : report.rows) {
        if (!row.started) {
            ++summary.notStarted;
            continue;
        }
        switch (row.status) {
        case RowStatus::Uploaded:
        case RowStatus::Reachable:
        case RowStatus::BackedUp:
        case RowStatus::Listed:
            ++summary.done;
            break;
        case RowStatus::Unchanged:
            ++summary.unchanged;
            break;
        case RowStatus::NoBook:
            ++summary.noBook;
            break;
        case RowStatus::NotReachable:
            ++summary.notReachable;
            break;
        default:
            ++summary.failed;
        }
    }
    return summary;
}

namespace {

// What each command calls the gateways that did what it is for, in the text and in JSON.
std::pair<const char*, const char*> doneWords(const std::string& command)
{
    if (command == "check")
        return {"reachable", "reachable"};
    if (command == "backup")
        return {"backed up", "backedUp"};
    if (command == "inventory")
        return {"listed", "listed"};
    return {"uploaded", "uploaded"};
}

}  // namespace

std::string summaryText(const std::string& command, const BatchSummary& summary)
{
    const bool check = command == "check";
    const bool backup = command == "backup";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", summary.seconds);
    std::string text = std::to_string(summary.gateways)
        + (summary.gateways == 1 ? " gateway: " : " gateways: ") + std::to_string(summary.done)
        + " " + doneWords(command).first + ", ";
    if (backup || summary.unchanged > 0)
        text += std::to_string(summary.unchanged) + " unchanged, ";
    if (backup)
        text += std::to_string(summary.noBook) + " without a book, ";
    if (!check)
        text += std::to_string(summary.failed) + " failed, ";
    return text + std::to_string(summary.notReachable) + " not reachable, "
        + std::to_string(summary.notStarted) + " not started; " + seconds + " s";
}

ordered_json summaryJson(const BatchReport& report, double seconds)
{
    const BatchSummary summary = summaryOf(report, seconds);
    const bool check = report.command == "check";
    const bool backup = report.command == "backup";
    ordered_json counts;
    counts["gateways"] = summary.gateways;
    counts[doneWords(report.command).second] = summary.done;
    if (backup || report.command == "upgrade")
        counts["unchanged"] = summary.unchanged;
    if (backup)
        counts["noBook"] = summary.noBook;
    if (!check)
        counts["failed"] = summary.failed;
    counts["notReachable"] = summary.notReachable;
    counts["notStarted"] = summary.notStarted;
    counts["seconds"] = std::round(summary.seconds * 10.0) / 10.0;
    return counts;
}

ordered_json batchJsonWithSummary(const BatchReport& report, double seconds)
{
    ordered_json document = batchJson(report);
    document["summary"] = summaryJson(report, seconds);
    return document;
}

FileError saveReportWithSummary(const std::string& path, const BatchReport& report,
                                double seconds)
{
    const std::string json = ".json";
    const bool isJson = path.size() >= json.size()
        && std::equal(json.begin(), json.end(), path.end() - static_cast<std::ptrdiff_t>(json.size()),
                      [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); });
    if (!isJson)
        return saveReport(path, report);
    const std::string text = batchJsonWithSummary(report, seconds).dump(2) + "\n";
    return writeFileAtomically(path, [&](std::ostream& out) {
        out << text;
        return static_cast<bool>(out);
    });
}

std::set<std::size_t> failedRowsOf(const nlohmann::json& document, const GatewayList& list)
{
    if (!document.is_object() || !document.contains("gateways"))
        throw BadInput("not a report of check or upgrade: no \"gateways\"");
    const nlohmann::json& gateways = requireArray(document["gateways"], "gateways");
    std::set<std::size_t> rows;
    for (std::size_t i = 0; i < gateways.size(); ++i) {
        const std::string where = "gateways[" + std::to_string(i) + "]";
        const nlohmann::json& entry = gateways[i];
        if (!entry.is_object())
            throw BadInput(where + ": not an object");
        const auto row = static_cast<std::size_t>(
            integerField(member(entry, "row", where), where + ".row", 1,
                         static_cast<std::int64_t>(MaxGateways)));
        const std::string address =
            textField(member(entry, "address", where), where + ".address", 64, false);
        const nlohmann::json& statusValue = member(entry, "status", where);
        if (!statusValue.is_string())
            throw BadInput(where + ".status: not a text");
        const std::string status = statusValue.get<std::string>();
        if (row > list.size() || list.record(row - 1).ipText != address)
            throw BadInput(where + ": row " + std::to_string(row) + " of the list is not "
                           + address);
        if (status == "FtpFailed" || status == "NotReachable" || status == "NotStarted"
            || status == "Abandoned" || status == "WouldFail")
            rows.insert(row - 1);
    }
    return rows;
}
