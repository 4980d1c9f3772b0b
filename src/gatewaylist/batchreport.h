#pragma once

#include "gatewaylist/gatewaylist.h"
#include "base/fileerror.h"
#include "transfer/outcome.h"

#include <cstddef>
#include <string>
#include <vector>

// "Uploaded", "FtpFailed", "Reachable", "NotReachable", "Unchanged", "BackedUp", "NoBook",
// "Listed"; "None" for no image.
const char* rowStatusName(RowStatus status);

// One gateway of a batch: its row, whom it logged in as, what its image became and why.
struct ReportRow {
    std::size_t row = 0;  // 0-based; reports number rows from 1
    std::string address;
    std::string userId;
    bool started = false;  // false: a stopped batch never reached it
    RowStatus status = RowStatus::None;
    // "Done", "Failed", "NotFound" for an upload; "present", "not present" for a probe.
    std::string result;
    GatewayOutcome outcome;
    // A dry run's row: "Planned" or "WouldFail" in place of the image's name.
    std::string plannedStatus;

    // plannedStatus, rowStatusName, or "NotStarted", or "Abandoned" for a row a stop cut short.
    std::string statusText() const;
    // Not done: FtpFailed, NotReachable, NotStarted or WouldFail.
    bool failed() const;
};

// The last batch of a window or a command, in the order of its rows.
struct BatchReport {
    std::string command;  // "check", "upgrade", "backup" or "inventory"
    std::vector<ReportRow> rows;
    bool stopped = false;
    // Why a staged batch stopped by itself: "Stopped: the first 3 gateways did not all
    // succeed."; empty when it did not.
    std::string stopReason;
    bool ran() const { return !command.empty(); }
};

// The tool tip of a row after a batch: "FtpFailed: cannot log in: 530 Login incorrect.
// (11:30:05, 0.132 s)".
std::string rowSummary(const ReportRow& row);

// The progress line of the gateways in progress, "In progress: 10.0.0.1 10.0.0.2 + 12 more", no
// longer than maxLength characters with whole addresses only; empty when none is in progress.
// 54 characters of any addresses fit the progress window's line in its own font.
std::string inProgressLine(const std::vector<std::string>& addresses, std::size_t maxLength = 54);

// The report as CSV in UTF-8: a header line, then one line per row (row, address, user ID,
// status, reason, start time, seconds, files sent, files failed, files deleted, bytes sent, notes
// joined by "; "). Fields are quoted where they need it, control bytes replaced, formulas
// neutralised; lines end in CRLF.
std::string reportCsv(const BatchReport& report);
// Writes reportCsv to path, completely or not at all.
FileError saveReportCsv(const std::string& path, const BatchReport& report);
