#pragma once

#include "gatewaylist/batchjson.h"
#include "gatewaylist/batchreport.h"
#include "base/fileerror.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <set>
#include <string>

class GatewayList;

// The --json documents of the device commands and the reports of check and upgrade.

// The rows (0-based) a report written by --report or --json marks as not done (FtpFailed,
// NotReachable, NotStarted, Abandoned, and a dry run's WouldFail). Throws BadInput when the
// file is no such report, or when one of its rows is not in list or names another address than
// the list's row.
std::set<std::size_t> failedRowsOf(const nlohmann::json& document, const GatewayList& list);
// The most a report read back may hold: a report of 253 gateways takes about 100 KB, and ten
// times that with long, escaped user IDs and reasons; a larger file is refused unread.
inline constexpr std::size_t MaxReportBytes = 2 * 1024 * 1024;
