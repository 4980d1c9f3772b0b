#include "cli/stopsignals.h"

#include <unistd.h>

#include <ostream>

std::atomic<bool> stopRequested = false;
std::atomic<bool> abandonRequested = false;

namespace {

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> stopSignals = 0;
std::atomic<bool> abandonAtFirst = false;

// The first signal lets the gateways in progress end and starts no further one; a second
// abandons them. The command goes on to its row lines and its report either way.
extern "C" void onStopSignal(int)
{
    const int earlier = stopSignals.fetch_add(1);
    stopRequested = true;
    if (abandonAtFirst) {
        abandonRequested = true;
        return;
    }
    if (earlier == 0 || abandonRequested.exchange(true))
        return;
    static const char message[] =
        "orbiphon-cli: stopped, the gateways in progress are being abandoned\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
}

}  // namespace

StopSignals::StopSignals(bool abandonAtOnce)
{
    stopRequested = false;
    abandonRequested = false;
    stopSignals = 0;
    abandonAtFirst = abandonAtOnce;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < Count; ++i)
        ::sigaction(Signals[i], &action, &m_saved[i]);
}

StopSignals::~StopSignals()
{
    for (int i = 0; i < Count; ++i)
        ::sigaction(Signals[i], &m_saved[i], nullptr);
}

BatchControl StopSignals::control(int jobs, BatchReport* report) const
{
    return {jobs, &stopRequested, nullptr, report};
}

bool stopForClosedOutput(const std::ostream& out)
{
    if (out.good())
        return false;
    stopRequested = true;
    return true;
}
