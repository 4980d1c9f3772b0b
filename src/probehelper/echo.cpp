#include "probehelper/echo.h"

#include "base/filedescriptor.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

namespace {

constexpr std::uint8_t EchoRequestType = 8;
constexpr std::uint8_t EchoReplyType = 0;
constexpr std::size_t IcmpHeaderSize = 8;

void putLittleEndian16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value & 0xff);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

// The echo socket puts its bound "port" into the identifier field as it lies in memory, so
// binding to the identifier's wire bytes keeps them ours. Returns the identifier bytes that will
// actually travel: another socket may already hold ours, and identifier 0 can't be bound.
std::array<std::uint8_t, 2> bindDatagramIdentifier(int fd, const std::uint8_t* wanted)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    std::memcpy(&local.sin_port, wanted, 2);
    if (local.sin_port == 0
        || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        local.sin_port = 0;
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    std::array<std::uint8_t, 2> identifier{wanted[0], wanted[1]};
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        std::memcpy(identifier.data(), &bound.sin_port, 2);
    return identifier;
}

struct ExpectedReply {
    in_addr_t from;
    std::array<std::uint8_t, 2> identifier;
    std::array<std::uint8_t, 2> sequence;
};

// Which of expected a datagram is the echo reply to, if any.
std::optional<std::size_t> replyTo(const std::uint8_t* data, std::size_t size,
                                   const sockaddr_in& sender, bool hasIpHeader,
                                   const std::vector<ExpectedReply>& expected)
{
    std::size_t offset = 0;
    if (hasIpHeader) {
        if (size < 1)
            return std::nullopt;
        offset = static_cast<std::size_t>(data[0] & 0x0f) * 4;
    }
    if (size < offset + IcmpHeaderSize)
        return std::nullopt;
    const std::uint8_t* icmp = data + offset;
    if (icmp[0] != EchoReplyType || icmp[1] != 0)
        return std::nullopt;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ExpectedReply& reply = expected[i];
        if (sender.sin_addr.s_addr == reply.from && icmp[4] == reply.identifier[0]
            && icmp[5] == reply.identifier[1] && icmp[6] == reply.sequence[0]
            && icmp[7] == reply.sequence[1])
            return i;
    }
    return std::nullopt;
}

// Waits for the expected replies, reading and passing over anything else, never longer than
// timeoutMs in all; answered(i) once for each that comes. Returns how many came; a wait or
// receive that fails ends the wait.
std::size_t awaitReplies(int fd, int timeoutMs, bool hasIpHeader,
                         const std::vector<ExpectedReply>& expected,
                         const std::function<void(std::size_t)>& answered)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::vector<bool> heard(expected.size());
    std::size_t count = 0;
    int remainingMs = timeoutMs;
    while (count < expected.size()) {
        pollfd readable{fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, remainingMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            std::uint8_t buffer[ProbeReceiveBufferSize];
            sockaddr_in sender{};
            socklen_t senderLength = sizeof sender;
            const ssize_t received =
                ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender),
                           &senderLength);
            if (received < 0 && errno != EINTR && errno != EAGAIN)
                break;
            const std::optional<std::size_t> which =
                received < 0 ? std::nullopt
                             : replyTo(buffer, static_cast<std::size_t>(received), sender,
                                       hasIpHeader, expected);
            if (which && !heard[*which]) {
                heard[*which] = true;
                ++count;
                answered(*which);
                continue;
            }
        }
        // Rounded up: a fraction of a millisecond left is still time to wait.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        remainingMs = static_cast<int>(left.count());
    }
    return count;
}

// Sends the echo request of target and returns the reply that will answer it, or nothing when
// the socket refuses it. The echo socket puts its own identifier in every request.
std::optional<ExpectedReply> sendRequest(int fd, const EchoTarget& target,
                                         const std::array<std::uint8_t, 2>* boundIdentifier)
{
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    destination.sin_addr.s_addr = target.destination;
    const EchoRequest message = buildEchoRequest(target.identifier, target.sequence, tickCount());
    const ssize_t sent = ::sendto(fd, message.data(), message.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&destination),
                                  sizeof destination);
    if (sent != static_cast<ssize_t>(message.size()))
        return std::nullopt;
    return ExpectedReply{target.destination,
                         boundIdentifier != nullptr ? *boundIdentifier
                                                    : std::array{message[4], message[5]},
                         {message[6], message[7]}};
}

// The identifier the echo socket will put in every request, bound from the first target's.
std::optional<std::array<std::uint8_t, 2>> bindIdentifier(const EchoSocket& socket,
                                                          const EchoTarget& first)
{
    if (!socket.datagram)
        return std::nullopt;
    const EchoRequest message = buildEchoRequest(first.identifier, first.sequence, 0);
    return bindDatagramIdentifier(socket.fd, &message[4]);
}

}  // namespace

std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2 != 0)
        sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    sum = (sum >> 16) + (sum & 0xffff);
    sum = (sum >> 16) + (sum & 0xffff);
    return static_cast<std::uint16_t>(~sum & 0xffff);
}

EchoRequest buildEchoRequest(std::uint16_t identifier, std::uint16_t sequence,
                             std::uint32_t tickCount)
{
    EchoRequest message{};
    message[0] = EchoRequestType;
    message[1] = 0;
    putLittleEndian16(&message[4], identifier);
    putLittleEndian16(&message[6], sequence);
    for (std::size_t i = 0; i < 32; ++i)
        message[16 + i] = static_cast<std::uint8_t>(0x20 + i);
    for (std::size_t i = 0; i < 4; ++i)
        message[12 + i] = static_cast<std::uint8_t>(tickCount >> (8 * i));
    const std::uint16_t checksum = internetChecksum(message.data(), message.size());
    message[2] = static_cast<std::uint8_t>(checksum >> 8);
    message[3] = static_cast<std::uint8_t>(checksum & 0xff);
    return message;
}

std::uint32_t tickCount()
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u
                              + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);
}

EchoSocket openEchoSocket(bool datagram)
{
    return {::socket(AF_INET, (datagram ? SOCK_DGRAM : SOCK_RAW) | SOCK_CLOEXEC, IPPROTO_ICMP),
            datagram};
}

ProbeResult sendEcho(EchoSocket socket, std::uint32_t destinationAddress,
                     std::uint16_t identifier, std::uint16_t sequence, int timeoutMs)
{
    FileDescriptor fd(socket.fd);
    const EchoTarget target{destinationAddress, identifier, sequence};
    const auto bound = bindIdentifier(socket, target);
    const std::optional<ExpectedReply> expected =
        sendRequest(fd.get(), target, bound ? &*bound : nullptr);
    if (!expected)
        return ProbeResult::Silent;
    if (awaitReplies(fd.get(), timeoutMs, !socket.datagram, {*expected}, [](std::size_t) {}) != 1)
        return ProbeResult::Silent;
    return fd.close() ? ProbeResult::Answered : ProbeResult::Silent;
}

void sendEchoes(EchoSocket socket, const std::vector<EchoTarget>& targets, int timeoutMs,
                const std::function<void(std::size_t)>& answered)
{
    FileDescriptor fd(socket.fd);
    if (targets.empty())
        return;
    const auto bound = bindIdentifier(socket, targets.front());
    std::vector<ExpectedReply> expected;
    std::vector<std::size_t> targetOf;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (const auto reply = sendRequest(fd.get(), targets[i], bound ? &*bound : nullptr)) {
            expected.push_back(*reply);
            targetOf.push_back(i);
        }
    }
    awaitReplies(fd.get(), timeoutMs, !socket.datagram, expected,
                 [&](std::size_t which) { answered(targetOf[which]); });
}
