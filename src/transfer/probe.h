#pragma once

#include <array>
#include <cstdint>
#include <string>

inline constexpr int ProbeTimeoutMs = 1000;
inline constexpr std::size_t EchoRequestSize = 48;
inline constexpr std::size_t ProbeReceiveBufferSize = 324;

using EchoRequest = std::array<std::uint8_t, EchoRequestSize>;

// Process-wide probe counters; both start at 1 and advance together once a probe has its socket.
struct ProbeCounters {
    std::uint32_t nextProbeIdentifier = 1;
    std::uint32_t nextProbeSequence = 1;
};
ProbeCounters& probeCounters();

// The 48-byte echo request: type 8, code 0, RFC 1071 checksum, identifier and sequence in host
// order (low byte first), four zero bytes, the tick count, and the data bytes 0x20..0x3F.
EchoRequest buildEchoRequest(std::uint16_t identifier, std::uint16_t sequence,
                             std::uint32_t tickCount);
std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t size);

// Milliseconds since the system started, wrapping at 32 bits.
std::uint32_t tickCount();

// Sends one echo request to gatewayAddress (dotted text) and waits up to timeoutMs for the echo
// reply from that address carrying this probe's identifier and sequence. Anything else that
// arrives is read and ignored. Uses a raw ICMP socket, or the unprivileged ICMP socket when the
// process may not open a raw one.
bool probeGateway(const std::string& gatewayAddress, int timeoutMs);

// The question "does this gateway answer?", so callers can be tested without a network.
class Prober {
public:
    virtual ~Prober() = default;
    virtual bool probe(const std::string& gatewayAddress, int timeoutMs) = 0;
};

class IcmpProber final : public Prober {
public:
    bool probe(const std::string& gatewayAddress, int timeoutMs) override;
};
