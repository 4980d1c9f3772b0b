#include "cli/stopsignals.h"

#include "cli/cli.h"

#include <unistd.h>

std::atomic<bool> stopRequested = false;

namespace {

std::atomic<int> stopSignals = 0;
std::atomic<bool> abandonOnSecondSignal = true;

// The first SIGINT or SIGTERM lets the gateways in progress end and starts no further one; a
// second abandons them at once. A download stops at the first, and its temporary must still
// go, so a second changes nothing there.
extern "C" void onStopSignal(int)
{
    if (stopSignals.fetch_add(1) == 0 || !abandonOnSecondSignal) {
        stopRequested = true;
        return;
    }
    static const char message[] = "orbiphon-cli: stopped, the gateways in progress abandoned\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(ExitFailed);
}

}  // namespace

StopSignals::StopSignals(bool abandonOnSecond)
{
    stopRequested = false;
    stopSignals = 0;
    abandonOnSecondSignal = abandonOnSecond;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &m_interrupt);
    ::sigaction(SIGTERM, &action, &m_terminate);
}

StopSignals::~StopSignals()
{
    ::sigaction(SIGINT, &m_interrupt, nullptr);
    ::sigaction(SIGTERM, &m_terminate, nullptr);
}

BatchControl StopSignals::control(int jobs, BatchReport* report) const
{
    return {jobs, &stopRequested, nullptr, report};
}
