#include "cli/planoutput.h"

#include "cli/jsontext.h"
#include "transfer/firmwareplan.h"

#include <nlohmann/json.hpp>

#include <ostream>

namespace {

nlohmann::json planJson(std::size_t row, const std::string& address, const FirmwarePlan& plan)
{
    nlohmann::json gateway = {{"address", jsonTextFromBytes(address)},
                              {"result", plan.result == TransferResult::Done
                                             ? "Planned"
                                             : transferResultName(plan.result)}};
    if (row > 0)
        gateway["row"] = row;
    if (plan.result != TransferResult::Done) {
        gateway["reason"] = plan.reason;
        return gateway;
    }
    nlohmann::json cleaning = nlohmann::json::array();
    for (const FirmwarePlan::Cleaning& folder : plan.cleaning) {
        nlohmann::json names = nlohmann::json::array();
        for (const std::string& name : folder.deletions)
            names.push_back(jsonTextFromBytes(name));
        cleaning.push_back({{"folder", folder.deviceDirectory},
                            {"missing", folder.missing},
                            {"unlisted", folder.unlisted},
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
    gateway["clean"] = cleaning;
    gateway["files"] = files;
    gateway["unreadableFolders"] = unreadable;
    return gateway;
}

}  // namespace

int printPlans(CliIo& io, const std::vector<RowPlan>& plans, bool json, bool numbered)
{
    bool allPlanned = true;
    nlohmann::json document = {{"gateways", nlohmann::json::array()}};
    for (const RowPlan& planned : plans) {
        allPlanned = allPlanned && planned.plan.result == TransferResult::Done;
        if (json) {
            document["gateways"].push_back(
                planJson(numbered ? planned.row + 1 : 0, planned.gateway.ipText, planned.plan));
            continue;
        }
        if (numbered)
            io.out << planned.row + 1 << " ";
        io.out << printableText(planned.gateway.ipText) << " "
               << (planned.plan.result == TransferResult::Done
                       ? "Planned"
                       : transferResultName(planned.plan.result))
               << "\n";
        const std::string text = firmwarePlanText(planned.plan);
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            io.out << printableText(text.substr(start, end - start)) << "\n";
            start = end + 1;
        }
    }
    if (json)
        io.out << document.dump(2) << "\n";
    return allPlanned ? ExitSuccess : ExitFailed;
}
