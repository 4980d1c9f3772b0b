#pragma once

#include "gatewaylist/batch.h"

#include <signal.h>

#include <atomic>

struct BatchReport;

// Set by the first stop signal; read by the batches and the transfers.
extern std::atomic<bool> stopRequested;

// SIGINT and SIGTERM stop the batch while it runs; a shell that started us in the background
// may have set them ignored, so the handler is installed whatever they were.
class StopSignals {
public:
    explicit StopSignals(bool abandonOnSecond = true);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    BatchControl control(int jobs, BatchReport* report = nullptr) const;

private:
    struct sigaction m_interrupt {};
    struct sigaction m_terminate {};
};
