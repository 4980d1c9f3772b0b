#include "cli/rolloutoptions.h"

#include "cli/jsontext.h"
#include "cli/rowselection.h"

#include <ostream>

std::optional<int> loadListRows(const ParsedArguments& parsed, CliIo& io, GatewayList& list,
                                std::optional<std::set<std::size_t>>& rows)
{
    if (const std::optional<int> failed = loadList(parsed.operands[0], list, io))
        return failed;
    return selectedRowsFrom(parsed, list, io, rows);
}

bool readBatchStart(const ParsedArguments& parsed, CliIo& io, BatchStart& start)
{
    const std::optional<DeviceSettings> limits = limitsFrom(parsed, start.settings, io);
    if (!limits)
        return false;
    start.limits = *limits;
    start.reportPath = reportPathFrom(parsed, io);
    return !parsed.has("--report") || start.reportPath;
}

std::optional<int> selectedRowsFrom(const ParsedArguments& parsed, const GatewayList& list,
                                    CliIo& io, std::optional<std::set<std::size_t>>& rows)
{
    if (!parsed.has("--rows"))
        return std::nullopt;
    const std::string& text = parsed.options.find("--rows")->second;
    if (text.rfind(FailedRowsPrefix, 0) == 0) {
        const std::string path = text.substr(std::string(FailedRowsPrefix).size());
        if (const std::optional<int> failed = failedRowsFrom(path, list, io, rows))
            return failed;
        if (rows->empty()) {
            io.err << "orbiphon-cli: " << withoutControls(path) << ": no failed rows, nothing to do\n";
            return ExitSuccess;
        }
        return std::nullopt;
    }
    rows = parseRows(text, list.size());
    if (!rows)
        return reportFailure(io, ExitBadUsage,
                             "--rows takes row numbers 1 to " + std::to_string(list.size())
                                 + " and ranges (1-40,45,!12), or failed:REPORT.json");
    return std::nullopt;
}

std::vector<std::size_t> rowsToWorkOn(const GatewayList& list,
                                      const std::optional<std::set<std::size_t>>& rows)
{
    std::vector<std::size_t> chosen;
    for (std::size_t row = 0; row < list.size(); ++row) {
        if (!rows || rows->contains(row))
            chosen.push_back(row);
    }
    return chosen;
}

void printStopReason(const Output& output, const BatchReport& report)
{
    if (report.stopReason.empty() || output.json)
        return;
    output.io.out << std::flush;
    output.io.err << "orbiphon-cli: " << report.stopReason << "\n" << std::flush;
}

bool stagesFrom(const ParsedArguments& parsed, CliIo& io, BatchControl& stages)
{
    const auto number = [&](const char* name, int& value) {
        const auto option = parsed.options.find(name);
        if (option == parsed.options.end())
            return true;
        const std::string& text = option->second;
        if (text.empty() || text.size() > 3
            || text.find_first_not_of("0123456789") != std::string::npos
            || std::stoi(text) > static_cast<int>(MaxGateways)) {
            reportFailure(io, ExitBadUsage, std::string(name) + " takes a number from 0 to 253");
            return false;
        }
        value = std::stoi(text);
        return true;
    };
    stages.countUnreachable = parsed.has("--count-unreachable");
    if (stages.countUnreachable && !parsed.has("--max-failures")) {
        reportFailure(io, ExitBadUsage, "--count-unreachable goes with --max-failures");
        return false;
    }
    return number("--canary", stages.canary) && number("--max-failures", stages.maxFailures);
}
