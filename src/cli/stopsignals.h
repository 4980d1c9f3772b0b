#pragma once

#include "gatewaylist/batch.h"

#include <signal.h>

#include <atomic>

struct BatchReport;

// Set by the first stop (a signal, or standard output closed): no further gateway starts.
extern std::atomic<bool> stopRequested;
// Set by the second signal: the gateways in progress are abandoned at once (their connections
// cut), and the command still ends with its row lines and its report.
extern std::atomic<bool> abandonRequested;

// SIGINT, SIGTERM and SIGHUP (a dropped terminal) stop the batch while it runs; a shell that
// started us in the background may have set them ignored, so the handler is installed whatever
// they were. (SIGPIPE is ignored for the whole program: a closed standard output shows as a
// failed write, which stopForClosedOutput turns into a first stop.)
class StopSignals {
public:
    // abandonAtOnce: the first signal abandons too (a download, which has one gateway).
    explicit StopSignals(bool abandonAtOnce = false);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    BatchControl control(int jobs, BatchReport* report = nullptr) const;

private:
    static constexpr int Count = 3;
    struct sigaction m_saved[Count] {};
};

// A write to standard output that failed (a reader gone, as `| head -1`) stops the batch as a
// first signal would; true when it did.
bool stopForClosedOutput(const std::ostream& out);
