#include "transfer/probe.h"

#include "support/privatenetwork.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr const char* SilentAddress = "127.0.0.9";
constexpr int TimeoutMs = 600;

// How this process may send: its own raw socket, the kernel's echo socket, or only the helper.
enum class Sender { Raw, EchoSocket, Helper };

struct ManyCase {
    const char* name;
    Sender sender;
};

void PrintTo(const ManyCase& c, std::ostream* out)
{
    *out << c.name;
}

class ProbeMany : public testing::TestWithParam<ManyCase> {
protected:
    void SetUp() override
    {
        ORBIPHON_REQUIRE_PRIVATE_NETWORK();
        clearSilencedAddresses();
        if (const std::string reason = silenceEchoRequests(SilentAddress); !reason.empty())
            GTEST_SKIP() << "nftables cannot silence an address: " << reason;
        if (const std::string reason = allowUnprivilegedPing(GetParam().sender == Sender::EchoSocket);
            !reason.empty())
            GTEST_SKIP() << "cannot set the kernel's echo socket: " << reason;
        probeCounters() = {};
    }
};

// Every address gets exactly one result, answers as they come and the silent ones after one
// time-out shared by all, whichever socket sends; a duplicate is asked twice.
TEST_P(ProbeMany, EveryAddressIsToldOnceAndTheSilentOnesShareOneTimeout)
{
    const std::vector<std::string> addresses = {"127.0.0.1", SilentAddress, "127.0.0.3",
                                                "127.1",     "127.0.0.1",   SilentAddress};
    const std::vector<ProbeResult> expected = {
        ProbeResult::Answered,     ProbeResult::Silent,   ProbeResult::Answered,
        ProbeResult::NotAnAddress, ProbeResult::Answered, ProbeResult::Silent};
    std::vector<std::vector<ProbeResult>> told(addresses.size());
    std::vector<long long> whenMs(addresses.size());
    const auto start = std::chrono::steady_clock::now();
    const auto probe = [&] {
        probeGateways(addresses, TimeoutMs, [&](std::size_t i, ProbeResult result) {
            told.at(i).push_back(result);
            whenMs.at(i) = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
        });
    };
    if (GetParam().sender == Sender::Raw) {
        probe();
    } else if (const std::string reason = runWithoutRawSocketRight(probe); !reason.empty()) {
        GTEST_SKIP() << "cannot give up the raw-socket right: " << reason;
    }

    for (std::size_t i = 0; i < addresses.size(); ++i) {
        ASSERT_EQ(told[i], std::vector<ProbeResult>{expected[i]}) << addresses[i];
        if (expected[i] == ProbeResult::Answered) {
            EXPECT_LT(whenMs[i], TimeoutMs) << addresses[i] << " told before the time-out";
        }
        if (expected[i] == ProbeResult::Silent) {
            EXPECT_GE(whenMs[i], TimeoutMs) << addresses[i];
            EXPECT_LT(whenMs[i], 2 * TimeoutMs) << addresses[i] << " waited alone";
        }
    }
    EXPECT_EQ(probeCounters().nextProbeSequence, 6u) << "one pair for each address sent to";
}

INSTANTIATE_TEST_SUITE_P(, ProbeMany,
                         testing::Values(ManyCase{"RawSocket", Sender::Raw},
                                         ManyCase{"KernelEchoSocket", Sender::EchoSocket},
                                         ManyCase{"HelperEach", Sender::Helper}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
