#pragma once

#include "probehelper/echo.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr int ProbeTimeoutMs = 1000;

// Process-wide probe counters; both start at 1 and advance together once a probe has its socket.
struct ProbeCounters {
    std::uint32_t nextProbeIdentifier = 1;
    std::uint32_t nextProbeSequence = 1;
};
ProbeCounters& probeCounters();

// The reason of a probe that did not find its gateway, "" for Answered: "no answer to the echo
// request within 1000 ms", "no permission to send echo requests", "foo is not an IPv4 address".
std::string probeReason(ProbeResult result, const std::string& gatewayAddress, int timeoutMs);

// orbiphon-probe beside the running executable: the helper that holds the raw-socket right.
std::string probeHelperPath();

// Sends one echo request to gatewayAddress (a dotted quad; anything else is NotAnAddress and
// nothing is sent) and waits up to timeoutMs for the echo reply from that address carrying this
// probe's identifier and sequence. Anything else that arrives is read and ignored. The socket is
// the kernel's echo socket where net.ipv4.ping_group_range allows it, else a raw one opened here
// when this process may, else the helper at helperPath ("" for none) sends the request.
ProbeResult probeGateway(const std::string& gatewayAddress, int timeoutMs,
                         const std::string& helperPath = probeHelperPath());

// How the result of addresses[index] is told by a probe of several addresses at once.
using ProbeDone = std::function<void(std::size_t index, ProbeResult result)>;

// probeGateway for several addresses with their echo requests in flight together on one socket
// (or one helper each), so that they cost one time-out in all. Each result is told through done,
// on the calling thread, as soon as it is known; every address gets one.
void probeGateways(const std::vector<std::string>& gatewayAddresses, int timeoutMs,
                   const ProbeDone& done, const std::string& helperPath = probeHelperPath());

// The question "does this gateway answer?", so callers can be tested without a network.
class Prober {
public:
    virtual ~Prober() = default;
    virtual ProbeResult probe(const std::string& gatewayAddress, int timeoutMs) = 0;
    // Asks for several gateways, telling each result through done as it is known. Unless the
    // prober can do better, one address after the other.
    virtual void probeMany(const std::vector<std::string>& gatewayAddresses, int timeoutMs,
                           const ProbeDone& done);
    // Whether probeMany keeps its requests in flight together, so that a batch may hand it
    // several gateways at once; otherwise each gateway is asked on its own.
    virtual bool probesTogether() const { return false; }
};

class IcmpProber final : public Prober {
public:
    ProbeResult probe(const std::string& gatewayAddress, int timeoutMs) override;
    void probeMany(const std::vector<std::string>& gatewayAddresses, int timeoutMs,
                   const ProbeDone& done) override;
    bool probesTogether() const override { return true; }
};
