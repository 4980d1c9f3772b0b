#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The ICMP echo itself, shared by the programs and the raw-socket helper orbiphon-probe. Uses
// the C++ and POSIX libraries only: the helper holds cap_net_raw and must stay this small.

inline constexpr std::size_t EchoRequestSize = 48;
inline constexpr std::size_t ProbeReceiveBufferSize = 324;

using EchoRequest = std::array<std::uint8_t, EchoRequestSize>;

// How a probe ended: only Answered means the gateway is present; the others say why not.
enum class ProbeResult {
    Answered,
    Silent,        // no echo reply within the time-out
    NoPermission,  // no socket that can send an echo request could be had
    NotAnAddress,  // the address is not a dotted quad; nothing was sent
};

// The 48-byte echo request: type 8, code 0, RFC 1071 checksum, identifier and sequence in host
// order (low byte first), four zero bytes, the tick count, and the data bytes 0x20..0x3F.
EchoRequest buildEchoRequest(std::uint16_t identifier, std::uint16_t sequence,
                             std::uint32_t tickCount);
std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t size);

// Milliseconds since the system started, wrapping at 32 bits.
std::uint32_t tickCount();

// An opened ICMP socket: the kernel's echo socket (no right needed where
// net.ipv4.ping_group_range allows it) or a raw one.
struct EchoSocket {
    int fd = -1;
    bool datagram = false;
};

// socket() for the given kind, close-on-exec; fd -1 with errno set when refused.
EchoSocket openEchoSocket(bool datagram);

// Sends the echo request with this identifier and sequence to destination (network order) and
// waits up to timeoutMs for its reply; anything else that arrives is read and ignored. Closes
// the socket on every path: Answered only when the reply came and the close succeeded.
ProbeResult sendEcho(EchoSocket socket, std::uint32_t destination, std::uint16_t identifier,
                     std::uint16_t sequence, int timeoutMs);

// One echo request of several kept in flight together on one socket.
struct EchoTarget {
    std::uint32_t destination = 0;  // network order
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
};

// Sends an echo request to every target, then waits up to timeoutMs for their replies, calling
// answered(i) once as the reply of targets[i] arrives. Returns once every target has answered or
// the time has run out, and closes the socket. A request the socket refuses is never answered.
void sendEchoes(EchoSocket socket, const std::vector<EchoTarget>& targets, int timeoutMs,
                const std::function<void(std::size_t)>& answered);
