#include "cli/planoutput.h"

#include "cli/jsontext.h"
#include "cli/reports.h"
#include "transfer/firmwareplan.h"

#include <algorithm>
#include <ostream>
#include <set>

namespace {

nlohmann::json planJson(std::size_t row, const std::string& address, const FirmwarePlan& plan)
{
    // "status" as in the batch documents, so that --rows failed: reads this one too.
    const std::string status = plan.result == TransferResult::Done
                                   ? firmwarePlanStatus(plan)
                                   : rowStatusName(statusForResult(plan.result));
    nlohmann::json gateway = {{"address", jsonTextFromBytes(address)},
                              {"status", status},
                              {"result", firmwarePlanStatus(plan)},
                              {"reason", jsonTextFromBytes(firmwarePlanReason(plan))}};
    if (row > 0)
        gateway["row"] = row;
    if (plan.result != TransferResult::Done)
        return gateway;
    nlohmann::json cleaning = nlohmann::json::array();
    for (const FirmwarePlan::Cleaning& folder : plan.cleaning) {
        nlohmann::json names = nlohmann::json::array();
        for (const std::string& name : folder.deletions)
            names.push_back(jsonTextFromBytes(name));
        cleaning.push_back({{"folder", folder.deviceDirectory},
                            {"missing", folder.missing},
                            {"unlisted", folder.unlisted},
                            {"refused", jsonTextFromBytes(folder.refusal)},
                            {"delete", names}});
    }
    nlohmann::json files = nlohmann::json::array();
    for (const FirmwarePlan::File& file : plan.files) {
        nlohmann::json entry = {{"file", jsonTextFromBytes(file.relativePath)},
                                {"to", jsonTextFromBytes(file.deviceDirectory + file.name)},
                                {"action", firmwareActionName(file.action)}};
        if (file.action != FirmwarePlan::Action::Put)
            entry["reason"] = jsonTextFromBytes(firmwareActionReason(file));
        files.push_back(std::move(entry));
    }
    nlohmann::json unreadable = nlohmann::json::array();
    for (const std::string& folder : plan.unreadableFolders)
        unreadable.push_back(jsonTextFromBytes(folder));
    nlohmann::json notes = nlohmann::json::array();
    for (const std::string& note : plan.notes)
        notes.push_back(jsonTextFromBytes(note));
    gateway["clean"] = cleaning;
    gateway["files"] = files;
    gateway["unreadableFolders"] = unreadable;
    gateway["notes"] = notes;
    return gateway;
}

BatchReport planReport(const DryRunResult& run)
{
    BatchReport report;
    report.command = run.command;
    report.stopped = !run.notReached.empty();
    for (const RowPlan& planned : run.plans) {
        ReportRow row;
        row.row = planned.row;
        row.address = planned.gateway.ipText;
        row.userId = planned.gateway.userId;
        row.started = true;
        row.status = planned.plan.result == TransferResult::Done
                         ? RowStatus::None
                         : statusForResult(planned.plan.result);
        row.plannedStatus = firmwarePlanStatus(planned.plan);
        row.result = row.plannedStatus;
        row.outcome.reason = firmwarePlanReason(planned.plan);
        report.rows.push_back(std::move(row));
    }
    for (const auto& [index, gateway] : run.notReached) {
        ReportRow row;
        row.row = index;
        row.address = gateway.ipText;
        row.userId = gateway.userId;
        report.rows.push_back(std::move(row));
    }
    std::stable_sort(report.rows.begin(), report.rows.end(),
                     [](const ReportRow& a, const ReportRow& b) { return a.row < b.row; });
    return report;
}

void printPlanText(std::ostream& out, const DryRunResult& run)
{
    std::size_t next = 0;
    const auto printNotReached = [&](std::size_t beforeRow) {
        for (; next < run.notReached.size() && run.notReached[next].first < beforeRow; ++next)
            out << run.notReached[next].first + 1 << " "
                << printableText(run.notReached[next].second.ipText) << " NotStarted\n";
    };
    for (const RowPlan& planned : run.plans) {
        printNotReached(planned.row);
        if (run.numbered)
            out << planned.row + 1 << " ";
        out << printableText(planned.gateway.ipText) << " " << firmwarePlanStatus(planned.plan)
            << "\n";
        const std::string text = firmwarePlanText(planned.plan);
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            out << printableText(text.substr(start, end - start)) << "\n";
            start = end + 1;
        }
    }
    printNotReached(static_cast<std::size_t>(-1));
}

}  // namespace

void noteRowsNotReached(DryRunResult& run, const GatewayList& list,
                        const std::vector<std::size_t>& planned)
{
    std::set<std::size_t> reached;
    for (const RowPlan& plan : run.plans)
        reached.insert(plan.row);
    for (std::size_t row : planned) {
        if (!reached.contains(row))
            run.notReached.emplace_back(row, list.record(row));
    }
}

int printDryRun(CliIo& io, bool json, const DryRunResult& run,
                const std::optional<std::string>& reportPath)
{
    bool allPlanned = run.notReached.empty();
    for (const RowPlan& planned : run.plans)
        allPlanned = allPlanned && firmwarePlanStatus(planned.plan) == "Planned";
    if (json) {
        nlohmann::json gateways = nlohmann::json::array();
        for (const RowPlan& planned : run.plans)
            gateways.push_back(planJson(run.numbered ? planned.row + 1 : 0,
                                        planned.gateway.ipText, planned.plan));
        for (const auto& [row, gateway] : run.notReached)
            gateways.push_back({{"row", row + 1},
                                {"address", jsonTextFromBytes(gateway.ipText)},
                                {"status", "NotStarted"}});
        nlohmann::ordered_json document;
        document["command"] = run.command;
        document["dryRun"] = true;
        document["gateways"] = std::move(gateways);
        document["stopped"] = !run.notReached.empty();
        io.out << document.dump(2) << "\n";
    } else {
        printPlanText(io.out, run);
    }
    if (reportPath) {
        if (const FileError error = saveReport(*reportPath, planReport(run));
            error != FileError::None)
            return reportFailure(io, ExitFailed, fileErrorText(error, *reportPath));
    }
    return allPlanned ? ExitSuccess : ExitFailed;
}
