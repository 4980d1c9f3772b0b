#include "gatewaylist/batchjson.h"

#include "base/atomicfile.h"
#include "base/text.h"

#include <cmath>
#include <ostream>

using nlohmann::ordered_json;

namespace {

bool endsWith(const std::string& text, const std::string& ending)
{
    if (text.size() < ending.size())
        return false;
    for (std::size_t i = 0; i < ending.size(); ++i) {
        char c = text[text.size() - ending.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != ending[i])
            return false;
    }
    return true;
}

}  // namespace

void addOutcome(ordered_json& entry, const GatewayOutcome& outcome)
{
    entry["reason"] = jsonTextFromBytes(outcome.reason);
    const std::string started = startedText(outcome.started);
    entry["started"] = started.empty() ? ordered_json() : ordered_json(started);
    entry["seconds"] = std::round(outcome.seconds * 1000.0) / 1000.0;
    entry["filesSent"] = outcome.filesSent;
    entry["filesFailed"] = outcome.filesFailed;
    entry["filesDeleted"] = outcome.filesDeleted;
    entry["bytesSent"] = outcome.bytesSent;
    ordered_json notes = ordered_json::array();
    for (const std::string& note : outcome.notes)
        notes.push_back(jsonTextFromBytes(note));
    entry["notes"] = std::move(notes);
}

ordered_json batchJson(const BatchReport& report)
{
    ordered_json gateways = ordered_json::array();
    for (const ReportRow& row : report.rows) {
        ordered_json entry;
        entry["row"] = row.row + 1;
        entry["address"] = jsonTextFromBytes(row.address);
        entry["userId"] = jsonTextFromBytes(row.userId);
        entry["status"] = row.statusText();
        entry["result"] = row.started ? ordered_json(row.result) : ordered_json();
        addOutcome(entry, row.outcome);
        gateways.push_back(std::move(entry));
    }
    ordered_json document;
    document["command"] = report.command;
    document["gateways"] = std::move(gateways);
    document["stopped"] = report.stopped;
    if (!report.stopReason.empty())
        document["stopReason"] = report.stopReason;
    return document;
}

bool isReportName(const std::string& path)
{
    return endsWith(path, ".csv") || endsWith(path, ".json");
}

FileError saveReport(const std::string& path, const BatchReport& report)
{
    if (endsWith(path, ".csv"))
        return saveReportCsv(path, report);
    const std::string text = batchJson(report).dump(2) + "\n";
    return writeFileAtomically(path, [&](std::ostream& out) {
        out << text;
        return static_cast<bool>(out);
    });
}
