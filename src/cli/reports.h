#pragma once

#include "gatewaylist/batchreport.h"
#include "base/fileerror.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <set>
#include <string>

class GatewayList;

// The --json documents of the device commands and the reports of check and upgrade.

// The outcome's fields: reason, started, seconds, filesSent, filesFailed, filesDeleted,
// bytesSent, notes (a list), added to entry in that order.
void addOutcome(nlohmann::ordered_json& entry, const GatewayOutcome& outcome);

// {"command":..., "gateways":[{"row":1, "address":..., "userId":..., "status":..., "result":...,
// outcome...}], "stopped":false}
nlohmann::ordered_json batchJson(const BatchReport& report);

// True for a FILE ending in .csv or .json (any case).
bool isReportName(const std::string& path);
// Writes the report as CSV or as batchJson by the name's ending, completely or not at all.
FileError saveReport(const std::string& path, const BatchReport& report);

// The rows (0-based) a report written by --report or --json marks as not done (FtpFailed,
// NotReachable, NotStarted, Abandoned). Throws BadInput when the file is no such report, or
// when one of its rows is not in list or names another address than the list's row.
std::set<std::size_t> failedRowsOf(const nlohmann::json& document, const GatewayList& list);
