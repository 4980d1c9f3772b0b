#pragma once

#include "cli/cli.h"
#include "gatewaylist/batch.h"

#include <vector>

// Prints the plans, as text or as one JSON document; exit 0 when every gateway could be planned.
// numbered: each line and entry carries its row.
int printPlans(CliIo& io, const std::vector<RowPlan>& plans, bool json, bool numbered);
