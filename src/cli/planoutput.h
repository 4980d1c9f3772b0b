#pragma once

#include "cli/cli.h"
#include "gatewaylist/batch.h"

#include <optional>
#include <string>
#include <vector>

// What a firmware dry run worked out: the plans it made, in row order, and the rows a stop kept
// it from reaching.
struct DryRunResult {
    const char* command;  // "upgrade" or "upload-firmware"
    bool numbered;        // rows are shown with their numbers (upgrade)
    std::vector<RowPlan> plans;
    std::vector<std::pair<std::size_t, GatewayRecord>> notReached;
};

// Adds the rows of planned that a stop left without a plan to run.notReached.
void noteRowsNotReached(DryRunResult& run, const GatewayList& list,
                        const std::vector<std::size_t>& planned);

// Prints the plans as text or as one JSON document and writes reportPath (when given) as a
// batch report of the plans' statuses and reasons. Exit 0 only when every gateway was planned
// without a fail line and none was left out.
int printDryRun(CliIo& io, bool json, const DryRunResult& run,
                const std::optional<std::string>& reportPath);
