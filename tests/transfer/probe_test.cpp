#include "transfer/probe.h"

#include "support/privatenetwork.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* SilentAddress = "127.0.0.9";

std::uint16_t onesComplementSum(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | (i + 1 < size ? data[i + 1] : 0));
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(sum);
}

std::uint32_t littleEndian32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8
           | static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// True when tick lies between before and after, across a wrap of the 32-bit count too.
bool withinTicks(std::uint32_t tick, std::uint32_t before, std::uint32_t after)
{
    return static_cast<std::uint32_t>(tick - before) <= static_cast<std::uint32_t>(after - before);
}

// --- the request's bytes -----------------------------------------------------------------

TEST(EchoRequest, FirstProbeOfARunHasThisExactImage)
{
    const EchoRequest expected{
        0x08, 0x00, 0x56, 0x94, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x78, 0x56, 0x34, 0x12, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
        0x28, 0x29, 0x2a, 0x2b, 0x2c, 0x2d, 0x2e, 0x2f, 0x30, 0x31, 0x32, 0x33,
        0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x3b, 0x3c, 0x3d, 0x3e, 0x3f};
    EXPECT_EQ(buildEchoRequest(1, 1, 0x12345678), expected);
}

struct RequestCase {
    const char* name;
    std::uint16_t identifier;
    std::uint16_t sequence;
    std::uint32_t tick;
};

void PrintTo(const RequestCase& c, std::ostream* out)
{
    *out << c.name;
}

class EchoRequestFields : public testing::TestWithParam<RequestCase> {};

TEST_P(EchoRequestFields, CarryLowByteFirstAndAValidChecksum)
{
    const RequestCase& c = GetParam();
    const EchoRequest message = buildEchoRequest(c.identifier, c.sequence, c.tick);
    EXPECT_EQ(message[0], 8);
    EXPECT_EQ(message[1], 0);
    EXPECT_EQ(message[4], c.identifier & 0xff);
    EXPECT_EQ(message[5], c.identifier >> 8);
    EXPECT_EQ(message[6], c.sequence & 0xff);
    EXPECT_EQ(message[7], c.sequence >> 8);
    EXPECT_EQ(Bytes(message.begin() + 8, message.begin() + 12), Bytes(4, 0));
    EXPECT_EQ(littleEndian32(&message[12]), c.tick);
    for (std::size_t i = 0; i < 32; ++i)
        EXPECT_EQ(message[16 + i], 0x20 + i) << "data byte " << i;
    // A receiver sums all 24 words, checksum included, and must get all ones.
    EXPECT_EQ(onesComplementSum(message.data(), message.size()), 0xffff);
}

INSTANTIATE_TEST_SUITE_P(
    Probes, EchoRequestFields,
    testing::Values(RequestCase{"first", 1, 1, 0}, RequestCase{"wrapped", 0, 0, 0},
                    RequestCase{"highest", 0xffff, 0xffff, 0xffffffff},
                    RequestCase{"unequalBytes", 0x1234, 0xabcd, 0x80000001},
                    // Sums that carry twice: the second fold is needed.
                    RequestCase{"doubleCarry", 0xffff, 0xfffe, 0xfffffffe}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(InternetChecksum, MatchesTheRfc1071ExampleAndPadsAnOddByte)
{
    const std::uint8_t example[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(internetChecksum(example, sizeof example), 0x220d);
    const std::uint8_t odd[] = {0x01};
    EXPECT_EQ(internetChecksum(odd, sizeof odd), 0xfeff);
    EXPECT_EQ(internetChecksum(nullptr, 0), 0xffff);
}

TEST(TickCount, IsTheBootClockInMillisecondsCutTo32Bits)
{
    auto bootMs = [] {
        timespec now{};
        clock_gettime(CLOCK_BOOTTIME, &now);
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000
                                          + static_cast<std::uint64_t>(now.tv_nsec) / 1000000);
    };
    const std::uint32_t before = bootMs();
    const std::uint32_t tick = tickCount();
    const std::uint32_t after = bootMs();
    EXPECT_TRUE(withinTicks(tick, before, after));
}

// --- probes on a private loopback --------------------------------------------------------

struct Packet {
    in_addr_t source;
    in_addr_t destination;
    Bytes icmp;
};

// A second raw socket that sees every ICMP datagram of the namespace, the probe's own request
// included.
class IcmpCapture {
public:
    IcmpCapture() : m_fd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP)) {}
    ~IcmpCapture()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    IcmpCapture(const IcmpCapture&) = delete;
    IcmpCapture& operator=(const IcmpCapture&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    std::optional<Packet> next(std::chrono::milliseconds timeout)
    {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(timeout.count())) <= 0)
            return std::nullopt;
        std::uint8_t buffer[1500];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got < 20)
            return std::nullopt;
        const std::size_t headerSize = static_cast<std::size_t>(buffer[0] & 0x0f) * 4;
        Packet packet{};
        std::memcpy(&packet.source, buffer + 12, 4);
        std::memcpy(&packet.destination, buffer + 16, 4);
        packet.icmp.assign(buffer + headerSize, buffer + got);
        return packet;
    }

    // The next echo request sent to address, within the time-out.
    std::optional<Packet> requestTo(const std::string& address, std::chrono::milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            std::optional<Packet> packet = next(left);
            if (packet && packet->destination == ::inet_addr(address.c_str())
                && packet->icmp.size() >= 8 && packet->icmp[0] == 8)
                return packet;
        }
        return std::nullopt;
    }

private:
    int m_fd;
};

// Sends one hand-made ICMP message to 127.0.0.1 as if it came from source.
bool sendIcmpFrom(const std::string& source, Bytes message)
{
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return false;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = ::inet_addr(source.c_str());
    message[2] = message[3] = 0;
    const std::uint16_t checksum = internetChecksum(message.data(), message.size());
    message[2] = static_cast<std::uint8_t>(checksum >> 8);
    message[3] = static_cast<std::uint8_t>(checksum & 0xff);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    const bool sent =
        ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0
        && ::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&to),
                    sizeof to)
               == static_cast<ssize_t>(message.size());
    ::close(fd);
    return sent;
}

struct TimedProbe {
    bool present;
    long long milliseconds;
};

TimedProbe timedProbe(const std::string& address, int timeoutMs)
{
    const auto start = Clock::now();
    const bool present = probeGateway(address, timeoutMs) == ProbeResult::Answered;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    return {present, elapsed};
}

class ProbeNetwork : public testing::Test {
protected:
    void SetUp() override
    {
        ORBIPHON_REQUIRE_PRIVATE_NETWORK();
        clearSilencedAddresses();
        const std::string silenced = silenceEchoRequests(SilentAddress);
        if (!silenced.empty())
            GTEST_SKIP() << "nftables cannot silence an address: " << silenced;
        if (const std::string reason = allowUnprivilegedPing(false); !reason.empty())
            GTEST_SKIP() << "cannot close the kernel's echo socket: " << reason;
        probeCounters() = {};
    }

    static void setCounters(std::uint32_t value) { probeCounters() = {value, value}; }
};

TEST_F(ProbeNetwork, LoopbackAnswersAtOnce)
{
    const TimedProbe probe = timedProbe("127.0.0.1", ProbeTimeoutMs);
    std::cout << "[ probe ] present 127.0.0.1: " << probe.milliseconds << " ms\n";
    EXPECT_TRUE(probe.present);
    EXPECT_LT(probe.milliseconds, 200);
    IcmpProber prober;
    EXPECT_EQ(prober.probe("127.0.0.2", ProbeTimeoutMs), ProbeResult::Answered);
}

class SilentAddressTimeouts : public ProbeNetwork, public testing::WithParamInterface<int> {};

TEST_P(SilentAddressTimeouts, CostTheWholeTimeoutAndNoMore)
{
    const int timeoutMs = GetParam();
    const TimedProbe probe = timedProbe(SilentAddress, timeoutMs);
    std::cout << "[ probe ] silent " << SilentAddress << " with " << timeoutMs
              << " ms: " << probe.milliseconds << " ms\n";
    EXPECT_FALSE(probe.present);
    EXPECT_GE(probe.milliseconds, timeoutMs);
    EXPECT_LT(probe.milliseconds, timeoutMs + 300);
}

// 1000 is whole seconds only; 1500 and 250 need the microseconds part of the wait.
INSTANTIATE_TEST_SUITE_P(Timeouts, SilentAddressTimeouts, testing::Values(1000, 1500, 250));

// Raw sockets each hear every reply: a probe that took another's answer for its own would call a
// silent gateway present.
TEST_F(ProbeNetwork, ProbesInFlightTogetherEachHearOnlyTheirOwnReply)
{
    constexpr int Probes = 24;
    std::vector<std::thread> threads;
    std::vector<char> present(Probes);
    for (int i = 0; i < Probes; ++i) {
        const std::string address = i % 2 ? SilentAddress : "127.0.0." + std::to_string(i + 10);
        threads.emplace_back([&present, i, address] {
            present[i] = probeGateway(address, 500) == ProbeResult::Answered;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < Probes; ++i)
        EXPECT_EQ(present[i] != 0, i % 2 == 0) << "probe " << i;
    EXPECT_EQ(probeCounters().nextProbeIdentifier, 1u + Probes);
    EXPECT_EQ(probeCounters().nextProbeSequence, 1u + Probes);
}

TEST_F(ProbeNetwork, RequestOnTheWireIsTheBuiltImageWithTheCountersAndTheTick)
{
    IcmpCapture capture;
    ASSERT_TRUE(capture.isOpen());
    setCounters(7);
    const std::uint32_t before = tickCount();
    ASSERT_EQ(probeGateway("127.0.0.1", ProbeTimeoutMs), ProbeResult::Answered);
    const std::uint32_t after = tickCount();

    const std::optional<Packet> request = capture.requestTo("127.0.0.1", std::chrono::seconds(1));
    ASSERT_TRUE(request);
    ASSERT_EQ(request->icmp.size(), EchoRequestSize);
    const std::uint32_t tick = littleEndian32(&request->icmp[12]);
    EXPECT_TRUE(withinTicks(tick, before, after));
    const EchoRequest expected = buildEchoRequest(7, 7, tick);
    EXPECT_EQ(request->icmp, Bytes(expected.begin(), expected.end()));
    EXPECT_EQ(probeCounters().nextProbeIdentifier, 8u);
    EXPECT_EQ(probeCounters().nextProbeSequence, 8u);
}

TEST_F(ProbeNetwork, SixteenBitFieldsWrapWhileTheCountersGoOn)
{
    IcmpCapture capture;
    ASSERT_TRUE(capture.isOpen());
    setCounters(65535);
    ASSERT_EQ(probeGateway("127.0.0.1", ProbeTimeoutMs), ProbeResult::Answered);
    ASSERT_EQ(probeGateway("127.0.0.1", ProbeTimeoutMs), ProbeResult::Answered);

    const std::optional<Packet> first = capture.requestTo("127.0.0.1", std::chrono::seconds(1));
    const std::optional<Packet> second = capture.requestTo("127.0.0.1", std::chrono::seconds(1));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Bytes(first->icmp.begin() + 4, first->icmp.begin() + 8),
              (Bytes{0xff, 0xff, 0xff, 0xff}));
    EXPECT_EQ(Bytes(second->icmp.begin() + 4, second->icmp.begin() + 8), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(probeCounters().nextProbeIdentifier, 65537u);
    EXPECT_EQ(probeCounters().nextProbeSequence, 65537u);
}

TEST_F(ProbeNetwork, ASendThatFailsStillAdvancesTheCounters)
{
    setCounters(40);
    // A broadcast address without SO_BROADCAST: the socket opens, the send is refused.
    const TimedProbe probe = timedProbe("255.255.255.255", ProbeTimeoutMs);
    EXPECT_FALSE(probe.present);
    EXPECT_LT(probe.milliseconds, 200);
    EXPECT_EQ(probeCounters().nextProbeIdentifier, 41u);
    EXPECT_EQ(probeCounters().nextProbeSequence, 41u);
}

// Without the right in this process (the kernel's echo socket closed too) only the helper can
// send; an address that is not a dotted quad is never sent to at all.
struct RightlessProbe {
    const char* name;
    const char* address;
    bool withHelper;
    ProbeResult expected;
};

void PrintTo(const RightlessProbe& c, std::ostream* out)
{
    *out << c.name;
}

class RightlessProbes : public ProbeNetwork, public testing::WithParamInterface<RightlessProbe> {};

TEST_P(RightlessProbes, SendThroughTheHelperOnlyToADottedQuad)
{
    const RightlessProbe& c = GetParam();
    IcmpCapture capture;
    ASSERT_TRUE(capture.isOpen());
    setCounters(5);
    ProbeResult result = ProbeResult::Answered;
    const std::string helper = c.withHelper ? probeHelperPath() : "";
    const std::string reason =
        runWithoutRawSocketRight([&] { result = probeGateway(c.address, ProbeTimeoutMs, helper); });
    if (!reason.empty())
        GTEST_SKIP() << "cannot give up the raw-socket right: " << reason;
    EXPECT_EQ(result, c.expected);
    const bool sent = c.expected == ProbeResult::Answered;
    EXPECT_EQ(probeCounters().nextProbeIdentifier, sent ? 6u : 5u);
    EXPECT_EQ(probeCounters().nextProbeSequence, sent ? 6u : 5u);
    const std::optional<Packet> request =
        capture.requestTo("127.0.0.1", std::chrono::milliseconds(sent ? 1000 : 100));
    ASSERT_EQ(request.has_value(), sent);
    if (sent) {
        EXPECT_EQ(Bytes(request->icmp.begin() + 4, request->icmp.begin() + 8),
                  (Bytes{5, 0, 5, 0}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    , RightlessProbes,
    testing::Values(
        RightlessProbe{"HelperSendsWithItsRight", "127.0.0.1", true, ProbeResult::Answered},
        RightlessProbe{"NoHelperNoPermission", "127.0.0.1", false, ProbeResult::NoPermission},
        RightlessProbe{"ThreeParts", "127.0.0", true, ProbeResult::NotAnAddress},
        RightlessProbe{"HexPart", "0x7f.0.0.1", true, ProbeResult::NotAnAddress},
        RightlessProbe{"TrailingCommand", "127.0.0.1\r\nDELE X", true,
                       ProbeResult::NotAnAddress},
        RightlessProbe{"AName", "localhost", true, ProbeResult::NotAnAddress}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// --- what counts as an answer ------------------------------------------------------------

struct ForeignReply {
    const char* name;
    const char* source;
    std::uint8_t type;
    std::uint8_t identifierDelta;
    std::uint8_t sequenceDelta;
    std::size_t length;
    bool counts;
};

void PrintTo(const ForeignReply& reply, std::ostream* out)
{
    *out << reply.name;
}

// While probe() runs a probe of the silent address, a helper sends one hand-made answer to it.
// The dropped request never reaches a capture, so the answer is built from the counters, which
// the probe is about to use. True when the answer went out.
template <typename Probe>
bool answerWhile(const ForeignReply& reply, Probe probe)
{
    const auto identifier = static_cast<std::uint16_t>(probeCounters().nextProbeIdentifier);
    const auto sequence = static_cast<std::uint16_t>(probeCounters().nextProbeSequence);
    const EchoRequest request = buildEchoRequest(identifier, sequence, tickCount());
    bool answerSent = false;
    std::thread answerer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        Bytes message(request.begin(), request.end());
        message[0] = reply.type;
        message[4] = static_cast<std::uint8_t>(message[4] + reply.identifierDelta);
        message[6] = static_cast<std::uint8_t>(message[6] + reply.sequenceDelta);
        message.resize(reply.length);
        answerSent = sendIcmpFrom(reply.source, message);
    });
    probe();
    answerer.join();
    return answerSent;
}

class ForeignReplies : public ProbeNetwork, public testing::WithParamInterface<ForeignReply> {};

TEST_P(ForeignReplies, OnlyOurEchoReplyFromTheProbedAddressCounts)
{
    const ForeignReply& reply = GetParam();
    TimedProbe probe{};
    const bool answerSent = answerWhile(reply, [&] { probe = timedProbe(SilentAddress, 800); });
    ASSERT_TRUE(answerSent) << "the hand-made answer could not be sent";
    EXPECT_EQ(probe.present, reply.counts);
    if (reply.counts)
        EXPECT_LT(probe.milliseconds, 500);
    else
        EXPECT_GE(probe.milliseconds, 800) << "an ignored answer must not end the wait early";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ForeignReplies,
    testing::Values(ForeignReply{"ourEchoReply", SilentAddress, 0, 0, 0, 48, true},
                    ForeignReply{"otherIdentifier", SilentAddress, 0, 1, 0, 48, false},
                    ForeignReply{"otherSequence", SilentAddress, 0, 0, 1, 48, false},
                    ForeignReply{"fromAnotherAddress", "127.0.0.5", 0, 0, 0, 48, false},
                    ForeignReply{"destinationUnreachable", SilentAddress, 3, 0, 0, 48, false},
                    ForeignReply{"echoRequestNotReply", SilentAddress, 8, 0, 0, 48, false},
                    ForeignReply{"truncatedToItsType", SilentAddress, 0, 0, 0, 4, false}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// --- without the raw-socket right: the kernel's echo socket ------------------------------

class DatagramProbe : public ProbeNetwork {
protected:
    void SetUp() override
    {
        ProbeNetwork::SetUp();
        if (IsSkipped())
            return;
        if (const std::string reason = allowUnprivilegedPing(true); !reason.empty())
            GTEST_SKIP() << "cannot open the kernel's echo socket: " << reason;
        if (const std::string reason = runWithoutRawSocketRight([] {}); !reason.empty())
            GTEST_SKIP() << "cannot give up the raw-socket right: " << reason;
    }

    template <typename Work>
    static void withoutRawRight(Work work)
    {
        ASSERT_EQ(runWithoutRawSocketRight(work), "");
    }
};

TEST_F(DatagramProbe, SendsTheSameBytesAndHearsTheReply)
{
    IcmpCapture capture;
    ASSERT_TRUE(capture.isOpen());
    setCounters(300);
    TimedProbe probe{};
    std::uint32_t before = 0;
    std::uint32_t after = 0;
    withoutRawRight([&] {
        before = tickCount();
        probe = timedProbe("127.0.0.1", ProbeTimeoutMs);
        after = tickCount();
    });
    EXPECT_TRUE(probe.present);
    const std::optional<Packet> request = capture.requestTo("127.0.0.1", std::chrono::seconds(1));
    ASSERT_TRUE(request);
    ASSERT_EQ(request->icmp.size(), EchoRequestSize);
    const std::uint32_t tick = littleEndian32(&request->icmp[12]);
    EXPECT_TRUE(withinTicks(tick, before, after));
    const EchoRequest expected = buildEchoRequest(300, 300, tick);
    EXPECT_EQ(request->icmp, Bytes(expected.begin(), expected.end()));
}

TEST_F(DatagramProbe, SilentAddressStillCostsTheWholeTimeout)
{
    TimedProbe probe{};
    withoutRawRight([&] { probe = timedProbe(SilentAddress, ProbeTimeoutMs); });
    EXPECT_FALSE(probe.present);
    EXPECT_GE(probe.milliseconds, ProbeTimeoutMs);
    EXPECT_LT(probe.milliseconds, ProbeTimeoutMs + 300);
}

TEST_F(DatagramProbe, AReplyWithAnotherSequenceIsIgnored)
{
    const ForeignReply reply{"otherSequence", SilentAddress, 0, 0, 1, 48, false};
    TimedProbe probe{};
    const bool answerSent = answerWhile(
        reply, [&] { withoutRawRight([&] { probe = timedProbe(SilentAddress, 800); }); });
    ASSERT_TRUE(answerSent);
    EXPECT_FALSE(probe.present);
    EXPECT_GE(probe.milliseconds, 800);
}

TEST_F(DatagramProbe, AnIdentifierHeldByAnotherSocketStillGetsItsReply)
{
    setCounters(0x0102);
    // Another echo socket already owns the identifier 0x0102 as it would go on the wire.
    const int other = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    ASSERT_GE(other, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    const std::uint8_t wire[2] = {0x02, 0x01};
    std::memcpy(&local.sin_port, wire, 2);
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);

    TimedProbe probe{};
    withoutRawRight([&] { probe = timedProbe("127.0.0.1", ProbeTimeoutMs); });
    ::close(other);
    EXPECT_TRUE(probe.present);
    EXPECT_EQ(probeCounters().nextProbeIdentifier, 0x0103u);
}

}  // namespace
