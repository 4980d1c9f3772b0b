#include "transfer/probe.h"

#include "base/ipaddress.h"
#include "base/filedescriptor.h"
#include "base/pathutils.h"
#include "base/text.h"
#include "probehelper/probehelper.h"
#include "transfer/outcome.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

namespace {

std::mutex countersMutex;

struct ProbeNumbers {
    std::uint16_t identifier;
    std::uint16_t sequence;
    std::uint32_t taken;
};

// Probes in flight together each take their own pair, so none accepts another's reply.
ProbeNumbers takeProbeNumbers()
{
    const std::lock_guard lock(countersMutex);
    ProbeCounters& counters = probeCounters();
    const ProbeNumbers numbers{static_cast<std::uint16_t>(counters.nextProbeIdentifier & 0xffff),
                               static_cast<std::uint16_t>(counters.nextProbeSequence & 0xffff),
                               counters.nextProbeIdentifier};
    ++counters.nextProbeIdentifier;
    ++counters.nextProbeSequence;
    return numbers;
}

// A probe whose helper could not open a socket never had one: its pair goes back unless a
// later probe has taken one meanwhile.
void giveBackProbeNumbers(const ProbeNumbers& numbers)
{
    const std::lock_guard lock(countersMutex);
    ProbeCounters& counters = probeCounters();
    if (counters.nextProbeIdentifier == numbers.taken + 1) {
        --counters.nextProbeIdentifier;
        --counters.nextProbeSequence;
    }
}

// Starts orbiphon-probe with an empty environment and /dev/null as its standard streams; it
// ends by itself once its time-out has run out. It gets a process group of its own, so the
// operator's Ctrl-C, which lets the gateways in progress finish, does not cut their probes short.
// Returns the child, or -1 when it could not be started.
pid_t startHelper(const std::string& helperPath, const IpOctets& address, int timeoutMs,
                  const ProbeNumbers& numbers)
{
    std::string arguments[] = {
        helperPath, formatIpText(address),
        std::to_string(std::clamp(timeoutMs, 0, static_cast<int>(ProbeHelperMaxTimeoutMs))),
        std::to_string(numbers.identifier), std::to_string(numbers.sequence)};
    char* argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data(),
                    arguments[3].data(), arguments[4].data(), nullptr};
    char* noEnvironment[] = {nullptr};

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, helperPath.c_str(), &actions, &attributes, argv, noEnvironment);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? child : -1;
}

// Waits for a started helper and reads its outcome; a helper that had no socket gives its pair
// of numbers back.
ProbeResult helperResult(pid_t child, const ProbeNumbers& numbers)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == ProbeHelperAnswered)
        return ProbeResult::Answered;
    if (code == ProbeHelperNoPermission) {
        giveBackProbeNumbers(numbers);
        return ProbeResult::NoPermission;
    }
    return ProbeResult::Silent;
}

bool helperUsable(const std::string& helperPath)
{
    return !helperPath.empty() && ::access(helperPath.c_str(), X_OK) == 0;
}

ProbeResult probeThroughHelper(const std::string& helperPath, const IpOctets& address,
                               int timeoutMs)
{
    if (!helperUsable(helperPath))
        return ProbeResult::NoPermission;
    const ProbeNumbers numbers = takeProbeNumbers();
    const pid_t child = startHelper(helperPath, address, timeoutMs, numbers);
    if (child < 0) {
        giveBackProbeNumbers(numbers);
        return ProbeResult::NoPermission;
    }
    return helperResult(child, numbers);
}

struct HelperChild {
    std::size_t index;
    ProbeNumbers numbers;
    pid_t pid = -1;
    FileDescriptor ended;  // readable once the child has ended; -1 where the kernel has none
};

// One helper per address, all started before any is waited for; each result is told as its
// helper ends (a process descriptor per child says when), in the order they end.
void probeThroughHelpers(const std::string& helperPath,
                         const std::vector<std::pair<std::size_t, IpOctets>>& addresses,
                         int timeoutMs, const ProbeDone& done)
{
    std::vector<HelperChild> children;
    // Should done throw, no helper is left unreaped behind it.
    struct ReapLeft {
        std::vector<HelperChild>& children;
        ~ReapLeft()
        {
            for (const HelperChild& child : children) {
                while (child.pid >= 0 && ::waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) {
                }
            }
        }
    } reapLeft{children};
    for (const auto& [index, address] : addresses) {
        const ProbeNumbers numbers = takeProbeNumbers();
        const pid_t pid =
            helperUsable(helperPath) ? startHelper(helperPath, address, timeoutMs, numbers) : -1;
        if (pid < 0) {
            giveBackProbeNumbers(numbers);
            done(index, ProbeResult::NoPermission);
            continue;
        }
        const auto ended = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        children.push_back({index, numbers, pid, FileDescriptor(ended)});
    }
    std::vector<pollfd> watched;
    std::vector<HelperChild*> watchedChild;
    for (;;) {
        watched.clear();
        watchedChild.clear();
        for (HelperChild& child : children) {
            if (child.pid >= 0 && child.ended.get() >= 0) {
                watched.push_back({child.ended.get(), POLLIN, 0});
                watchedChild.push_back(&child);
            }
        }
        if (watched.empty() || ::poll(watched.data(), watched.size(), -1) < 0) {
            if (!watched.empty() && errno == EINTR)
                continue;
            break;
        }
        for (std::size_t i = 0; i < watched.size(); ++i) {
            if (watched[i].revents == 0)
                continue;
            HelperChild& child = *watchedChild[i];
            done(child.index, helperResult(std::exchange(child.pid, -1), child.numbers));
        }
    }
    // Children without a process descriptor, in the order they were started.
    for (HelperChild& child : children) {
        if (child.pid >= 0)
            done(child.index, helperResult(std::exchange(child.pid, -1), child.numbers));
    }
}

}  // namespace

ProbeCounters& probeCounters()
{
    static ProbeCounters counters;
    return counters;
}

std::string probeReason(ProbeResult result, const std::string& gatewayAddress, int timeoutMs)
{
    switch (result) {
    case ProbeResult::Answered:
        return {};
    case ProbeResult::Silent:
        return noEchoReason(timeoutMs);
    case ProbeResult::NoPermission:
        return "no permission to send echo requests";
    case ProbeResult::NotAnAddress:
        return withoutControlBytes(gatewayAddress) + " is not an IPv4 address";
    }
    return {};
}

std::string probeHelperPath()
{
    return executableDirectory() + "/" + ProbeHelperName;
}

ProbeResult probeGateway(const std::string& gatewayAddress, int timeoutMs,
                         const std::string& helperPath)
{
    const std::optional<IpOctets> address = parseDottedQuad(gatewayAddress);
    if (!address)
        return ProbeResult::NotAnAddress;
    // The kernel's echo socket needs no right at all; a raw socket here only where this process
    // already holds the right (root); else the helper, the one file that holds it.
    EchoSocket socket = openEchoSocket(true);
    if (socket.fd < 0)
        socket = openEchoSocket(false);
    if (socket.fd < 0) {
        if (errno != EPERM && errno != EACCES)
            return ProbeResult::Silent;
        return probeThroughHelper(helperPath, *address, timeoutMs);
    }
    std::uint32_t destination = 0;
    std::memcpy(&destination, address->data(), 4);
    const ProbeNumbers numbers = takeProbeNumbers();
    return sendEcho(socket, destination, numbers.identifier, numbers.sequence, timeoutMs);
}

void probeGateways(const std::vector<std::string>& gatewayAddresses, int timeoutMs,
                   const ProbeDone& done, const std::string& helperPath)
{
    // One address is asked exactly as one probe always was.
    if (gatewayAddresses.size() == 1) {
        done(0, probeGateway(gatewayAddresses.front(), timeoutMs, helperPath));
        return;
    }
    std::vector<std::pair<std::size_t, IpOctets>> addresses;
    for (std::size_t i = 0; i < gatewayAddresses.size(); ++i) {
        if (const std::optional<IpOctets> address = parseDottedQuad(gatewayAddresses[i]))
            addresses.emplace_back(i, *address);
        else
            done(i, ProbeResult::NotAnAddress);
    }
    if (addresses.empty())
        return;
    EchoSocket socket = openEchoSocket(true);
    if (socket.fd < 0)
        socket = openEchoSocket(false);
    if (socket.fd < 0) {
        if (errno == EPERM || errno == EACCES) {
            probeThroughHelpers(helperPath, addresses, timeoutMs, done);
        } else {
            for (const auto& address : addresses)
                done(address.first, ProbeResult::Silent);
        }
        return;
    }
    std::vector<EchoTarget> targets;
    for (const auto& [index, address] : addresses) {
        const ProbeNumbers numbers = takeProbeNumbers();
        EchoTarget& target = targets.emplace_back();
        std::memcpy(&target.destination, address.data(), 4);
        target.identifier = numbers.identifier;
        target.sequence = numbers.sequence;
    }
    std::vector<bool> answered(targets.size());
    sendEchoes(socket, targets, timeoutMs, [&](std::size_t target) {
        answered[target] = true;
        done(addresses[target].first, ProbeResult::Answered);
    });
    for (std::size_t target = 0; target < targets.size(); ++target) {
        if (!answered[target])
            done(addresses[target].first, ProbeResult::Silent);
    }
}

void Prober::probeMany(const std::vector<std::string>& gatewayAddresses, int timeoutMs,
                       const ProbeDone& done)
{
    for (std::size_t i = 0; i < gatewayAddresses.size(); ++i)
        done(i, probe(gatewayAddresses[i], timeoutMs));
}

ProbeResult IcmpProber::probe(const std::string& gatewayAddress, int timeoutMs)
{
    return probeGateway(gatewayAddress, timeoutMs);
}

void IcmpProber::probeMany(const std::vector<std::string>& gatewayAddresses, int timeoutMs,
                           const ProbeDone& done)
{
    probeGateways(gatewayAddresses, timeoutMs, done);
}
