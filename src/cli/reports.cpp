#include "cli/reports.h"

#include "cli/jsontext.h"
#include "gatewaylist/gatewaylist.h"

using nlohmann::ordered_json;

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
