#include "gatewaylist/batch.h"

#include "support/quietview.h"
#include "transfer/probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

namespace {

// A prober that keeps a whole group in flight, as the real one does. "10.0.0.4" throws (in a
// group too, after telling the rows before it), "10.0.0.7" is left untold by a group, and the
// silent ones stay silent.
class GroupFake final : public Prober {
public:
    ProbeResult probe(const std::string& address, int) override
    {
        const std::lock_guard lock(m_mutex);
        ++asked[address];
        if (address == "10.0.0.4")
            throw std::runtime_error("out of sockets");
        return silent.contains(address) ? ProbeResult::Silent : ProbeResult::Answered;
    }
    void probeMany(const std::vector<std::string>& addresses, int,
                   const ProbeDone& done) override
    {
        {
            const std::lock_guard lock(m_mutex);
            largestGroup = std::max(largestGroup, addresses.size());
            groupsAtOnce = std::max(groupsAtOnce, ++m_groupsInFlight);
            for (const std::string& address : addresses)
                ++asked[address];
        }
        const auto leave = [this] {
            const std::lock_guard lock(m_mutex);
            --m_groupsInFlight;
        };
        for (std::size_t i = 0; i < addresses.size(); ++i) {
            if (addresses[i] == "10.0.0.4") {
                leave();
                throw std::runtime_error("out of sockets");
            }
            if (addresses[i] != "10.0.0.7")
                done(i, silent.contains(addresses[i]) ? ProbeResult::Silent
                                                      : ProbeResult::Answered);
        }
        leave();
    }
    bool probesTogether() const override { return true; }

    std::set<std::string> silent = {"10.0.0.2", "10.0.0.9"};
    // Read after the batch.
    std::map<std::string, int> asked;
    std::size_t largestGroup = 0;
    std::size_t groupsAtOnce = 0;

private:
    std::mutex m_mutex;
    std::size_t m_groupsInFlight = 0;
};

// A prober that can keep many requests in flight gets groups, never more than jobs of them at
// once; every row still ends once with its own result, a throwing row fails alone, and the
// silent ones are asked again together as often as the retries say.
TEST(ProbeGroups, EachThreadProbesAGroupAndEveryRowEndsWithItsOwnResult)
{
    const struct {
        int jobs;
        std::size_t largestGroup;
    } cases[] = {{1, 0}, {2, 6}, {5, 3}, {64, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE("jobs " + std::to_string(c.jobs));
        GatewayList list;
        for (int i = 1; i <= 12; ++i)
            list.append({"10.0.0." + std::to_string(i), "user", "pw"});
        QuietView view;
        BatchReport report;
        BatchControl control{c.jobs, nullptr, nullptr, &report};
        control.probe.requests = 2;
        GroupFake prober;
        EXPECT_EQ(checkConnections(list, prober, view, control), BatchOutcome::Ran);

        std::string images;
        for (std::size_t row = 0; row < list.size(); ++row)
            images += list.status(row) == RowStatus::Reachable ? 'R' : '-';
        EXPECT_EQ(images, "R-R-RRRR-RRR");
        EXPECT_EQ(report.rows[3].outcome.reason, "internal error: out of sockets");
        EXPECT_EQ(report.rows[8].outcome.reason,
                  "no answer to 2 echo requests within 1000 ms each");
        EXPECT_EQ(prober.asked["10.0.0.9"], 2);
        EXPECT_EQ(prober.largestGroup, c.largestGroup);
        EXPECT_LE(prober.groupsAtOnce, static_cast<std::size_t>(c.jobs));
    }
}

}  // namespace
