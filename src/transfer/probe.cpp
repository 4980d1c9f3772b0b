#include "transfer/probe.h"

#include "base/ipaddress.h"
#include "base/pathutils.h"
#include "base/text.h"
#include "probehelper/probehelper.h"
#include "transfer/outcome.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

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

// Runs orbiphon-probe with an empty environment and /dev/null as its standard streams, and
// waits for it: it ends by itself once its time-out has run out. It gets a process group of its
// own, so the operator's Ctrl-C, which lets the gateways in progress finish, does not cut their
// probes short.
ProbeResult probeThroughHelper(const std::string& helperPath, const IpOctets& address,
                               int timeoutMs)
{
    if (helperPath.empty() || ::access(helperPath.c_str(), X_OK) != 0)
        return ProbeResult::NoPermission;
    const ProbeNumbers numbers = takeProbeNumbers();
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
    if (spawned != 0) {
        giveBackProbeNumbers(numbers);
        return ProbeResult::NoPermission;
    }
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

ProbeResult IcmpProber::probe(const std::string& gatewayAddress, int timeoutMs)
{
    return probeGateway(gatewayAddress, timeoutMs);
}
