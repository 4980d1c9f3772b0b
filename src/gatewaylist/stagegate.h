#pragma once

#include "gatewaylist/gatewaylist.h"

#include <cstddef>
#include <set>
#include <string>
#include <vector>

struct BatchControl;

// True for the images of a gateway that did what its batch asked: Uploaded, Unchanged,
// BackedUp, NoBook (a back-up with nothing to keep), Reachable, Listed.
bool isSuccessStatus(RowStatus status);

// Holds back the starts of a staged batch (control.canary, control.maxFailures): the canaries
// alone first, the rest only once every one of them succeeded; no start at all once too many
// gateways failed. Used on the thread that starts the gateways.
class StageGate {
public:
    StageGate(const BatchControl& control, const std::vector<std::size_t>& rows);

    // Whether the gateway of this place in the batch (0-based) may start now.
    bool mayStart(std::size_t started) const;
    void ended(std::size_t row, RowStatus status);
    // Why no further gateway starts; kept only when some gateway was indeed held back.
    std::string reason(bool allStarted) const { return allStarted ? std::string() : m_reason; }

private:
    void halt(std::string reason);

    const BatchControl& m_control;
    std::set<std::size_t> m_canaries;
    std::size_t m_canaryEnded = 0;
    bool m_canaryFailed = false;
    int m_failures = 0;
    std::string m_reason;
};
