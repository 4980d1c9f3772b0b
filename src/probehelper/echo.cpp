#include "probehelper/echo.h"

#include "base/filedescriptor.h"

#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

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
    bool hasIpHeader;
};

bool isOurReply(const std::uint8_t* data, std::size_t size, const sockaddr_in& sender,
                const ExpectedReply& expected)
{
    if (sender.sin_addr.s_addr != expected.from)
        return false;
    std::size_t offset = 0;
    if (expected.hasIpHeader) {
        if (size < 1)
            return false;
        offset = static_cast<std::size_t>(data[0] & 0x0f) * 4;
    }
    if (size < offset + IcmpHeaderSize)
        return false;
    const std::uint8_t* icmp = data + offset;
    return icmp[0] == EchoReplyType && icmp[1] == 0 && icmp[4] == expected.identifier[0]
           && icmp[5] == expected.identifier[1] && icmp[6] == expected.sequence[0]
           && icmp[7] == expected.sequence[1];
}

// Waits for our echo reply, reading and passing over anything else, never longer than
// timeoutMs in all. False when the time runs out or a wait or receive fails.
bool awaitReply(int fd, int timeoutMs, const ExpectedReply& expected)
{
    if (fd >= FD_SETSIZE)
        return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    long long remainingMs = timeoutMs;
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval wait{};
        wait.tv_sec = static_cast<time_t>(remainingMs / 1000);
        wait.tv_usec = static_cast<suseconds_t>((remainingMs % 1000) * 1000);
        const int ready = ::select(fd + 1, &readable, nullptr, nullptr, &wait);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0) {
            std::uint8_t buffer[ProbeReceiveBufferSize];
            sockaddr_in sender{};
            socklen_t senderLength = sizeof sender;
            const ssize_t received =
                ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender),
                           &senderLength);
            if (received < 0 && errno != EINTR && errno != EAGAIN)
                return false;
            if (received >= 0
                && isOurReply(buffer, static_cast<std::size_t>(received), sender, expected))
                return true;
        }
        // Rounded up: a fraction of a millisecond left is still time to wait.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        remainingMs = left.count();
    }
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
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    destination.sin_addr.s_addr = destinationAddress;
    const EchoRequest message = buildEchoRequest(identifier, sequence, tickCount());
    ExpectedReply expected{destination.sin_addr.s_addr,
                           {message[4], message[5]},
                           {message[6], message[7]},
                           !socket.datagram};
    if (socket.datagram)
        expected.identifier = bindDatagramIdentifier(fd.get(), &message[4]);

    const ssize_t sent = ::sendto(fd.get(), message.data(), message.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&destination),
                                  sizeof destination);
    if (sent != static_cast<ssize_t>(message.size()))
        return ProbeResult::Silent;
    if (!awaitReply(fd.get(), timeoutMs, expected))
        return ProbeResult::Silent;
    return fd.close() ? ProbeResult::Answered : ProbeResult::Silent;
}

