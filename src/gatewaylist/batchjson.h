#pragma once

#include "gatewaylist/batchreport.h"
#include "base/fileerror.h"

#include <nlohmann/json.hpp>

#include <string>

// The JSON of a batch's report, as the command-line tool prints it with --json and as both it
// and the Upgrade window write it to a report file.

// The outcome's fields: reason, started, seconds, filesSent, filesFailed, filesDeleted,
// bytesSent, notes (a list), added to entry in that order.
void addOutcome(nlohmann::ordered_json& entry, const GatewayOutcome& outcome);

// {"command":..., "gateways":[{"row":1, "address":..., "userId":..., "status":..., "result":...,
// outcome...}], "stopped":false}, and "stopReason" when the stages stopped the batch
nlohmann::ordered_json batchJson(const BatchReport& report);

// True for a FILE ending in .csv or .json (any case).
bool isReportName(const std::string& path);
// Writes the report as CSV for a name ending in .csv, else as batchJson, completely or not at
// all.
FileError saveReport(const std::string& path, const BatchReport& report);
