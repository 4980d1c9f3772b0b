#pragma once

#include "cli/cli.h"
#include "cli/deviceoptions.h"
#include "cli/deviceoutput.h"
#include "cli/stopsignals.h"
#include "gatewaylist/batch.h"

#include <optional>
#include <set>
#include <vector>

// The options of the rollout batches (upgrade, backup, inventory) beyond those every device
// command takes.

// --rows 2,4 or --rows failed:REPORT.json; rows stays empty without --rows. A status to return
// when the command must end here: bad rows (2), an unreadable report (1), or no failed rows in
// the report (0, with a note).
std::optional<int> selectedRowsFrom(const ParsedArguments& parsed, const GatewayList& list,
                                    CliIo& io, std::optional<std::set<std::size_t>>& rows);
// The rows a batch works on, in list order: those of --rows, else every row.
std::vector<std::size_t> rowsToWorkOn(const GatewayList& list,
                                      const std::optional<std::set<std::size_t>>& rows);
// The list of the command's operand, then selectedRowsFrom over it; the status to end with when
// either can't be had.
std::optional<int> loadListRows(const ParsedArguments& parsed, CliIo& io, GatewayList& list,
                                std::optional<std::set<std::size_t>>& rows);

// What every batch command reads before its own options: the settings file, the limits, and
// --report, checked before anything is sent. False after reporting a bad one.
struct BatchStart {
    SettingsFile settings;
    DeviceSettings limits;
    std::optional<std::string> reportPath;
};
bool readBatchStart(const ParsedArguments& parsed, CliIo& io, BatchStart& start);

// The reason a staged batch stopped, on standard error (the report carries it with --json).
void printStopReason(const Output& output, const BatchReport& report);
// --canary N, --max-failures N (0 to 253) and --count-unreachable into stages; false after
// reporting a bad value.
bool stagesFrom(const ParsedArguments& parsed, CliIo& io, BatchControl& stages);
