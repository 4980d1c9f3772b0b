#include "gatewaylist/stagegate.h"

#include "gatewaylist/batch.h"
#include "base/settingsfile.h"

#include <algorithm>
#include <charconv>

bool isSuccessStatus(RowStatus status)
{
    return status == RowStatus::Uploaded || status == RowStatus::Unchanged
           || status == RowStatus::BackedUp || status == RowStatus::NoBook
           || status == RowStatus::Reachable || status == RowStatus::Listed;
}

StageGate::StageGate(const BatchControl& control, const std::vector<std::size_t>& rows)
    : m_control(control),
      m_canaries(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                 rows.size(), std::max(control.canary, 0))))
{
}

bool StageGate::mayStart(std::size_t started) const
{
    return m_reason.empty()
           && (started < m_canaries.size() || m_canaryEnded == m_canaries.size());
}

void StageGate::ended(std::size_t row, RowStatus status)
{
    if (m_canaries.contains(row)) {
        ++m_canaryEnded;
        m_canaryFailed = m_canaryFailed || !isSuccessStatus(status);
        if (m_canaryEnded == m_canaries.size() && m_canaryFailed)
            halt(m_canaries.size() == 1
                     ? std::string("Stopped: the first gateway did not succeed.")
                     : "Stopped: the first " + std::to_string(m_canaries.size())
                           + " gateways did not all succeed.");
    }
    if (status == RowStatus::FtpFailed
        || (m_control.countUnreachable && status == RowStatus::NotReachable))
        ++m_failures;
    if (m_control.maxFailures > 0 && m_failures >= m_control.maxFailures)
        halt("Stopped: " + std::to_string(m_failures)
             + (m_failures == 1 ? " gateway" : " gateways")
             + (m_control.countUnreachable ? " failed or could not be reached." : " failed."));
}

void StageGate::halt(std::string reason)
{
    if (m_reason.empty())
        m_reason = std::move(reason);
}

void readBatchStages(const SettingsFile& settings, BatchControl& control)
{
    const auto number = [&](const char* key) {
        const std::string text = settings.readString("Batch", key, "0");
        int value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || value < 0
            || value > static_cast<int>(MaxGateways))
            return 0;
        return value;
    };
    control.canary = number("Canary");
    control.maxFailures = number("MaxFailures");
    control.countUnreachable = settings.readString("Batch", "CountUnreachable", "0") == "1";
}
