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

// The counts of a batch's end: rows by status, and the seconds the whole batch took.
struct BatchSummary {
    std::size_t gateways = 0;
    std::size_t done = 0;  // Uploaded, Reachable, BackedUp or Listed: what the command is for
    std::size_t unchanged = 0;  // holding already what an upgrade or a back-up would bring
    std::size_t noBook = 0;     // a back-up found no book
    std::size_t failed = 0;  // FtpFailed and Abandoned
    std::size_t notReachable = 0;
    std::size_t notStarted = 0;
    double seconds = 0;
};
BatchSummary summaryOf(const BatchReport& report, double seconds);
// "253 gateways: 237 uploaded, 4 failed, 12 not reachable, 0 not started; 14.2 s"; for check
// "253 gateways: 241 reachable, 12 not reachable, 0 not started; 1.1 s". An upgrade that left
// gateways unchanged says "K unchanged" after the uploaded; backup says "backed up", "unchanged"
// and "without a book"; inventory "listed".
std::string summaryText(const std::string& command, const BatchSummary& summary);
// The "summary" member of the JSON documents, its counts named as summaryText names them.
nlohmann::ordered_json summaryJson(const BatchReport& report, double seconds);

// batchJson with "summary": {"gateways":..., "uploaded"|"reachable":..., ["failed":...,]
// "notReachable":..., "notStarted":..., "seconds":...} after "stopped".
nlohmann::ordered_json batchJsonWithSummary(const BatchReport& report, double seconds);
// saveReport, the JSON being batchJsonWithSummary's.
FileError saveReportWithSummary(const std::string& path, const BatchReport& report,
                                double seconds);

// The rows (0-based) a report written by --report or --json marks as not done (FtpFailed,
// NotReachable, NotStarted, Abandoned, and a dry run's WouldFail). Throws BadInput when the
// file is no such report, or when one of its rows is not in list or names another address than
// the list's row.
std::set<std::size_t> failedRowsOf(const nlohmann::json& document, const GatewayList& list);
// The most a report read back may hold: a report of 253 gateways takes about 100 KB, and ten
// times that with long, escaped user IDs and reasons; a larger file is refused unread.
inline constexpr std::size_t MaxReportBytes = 2 * 1024 * 1024;
