#include "support/privatenetwork.h"

#include <linux/capability.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

constexpr const char* TableName = "orbiphon_test";

std::string errnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

std::string bringLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errnoText("socket for loopback");
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    std::string reason;
    if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
        reason = errnoText("reading the loopback flags");
    } else {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
        if (::ioctl(fd, SIOCSIFFLAGS, &request) != 0)
            reason = errnoText("bringing loopback up");
    }
    ::close(fd);
    return reason;
}

// Set once the process lives in a user namespace of its own (not root).
bool inOwnUserNamespace = false;

bool writeProcFile(const char* path, const std::string& text)
{
    std::ofstream file(path);
    file << text;
    file.flush();
    return static_cast<bool>(file);
}

// Without root: a user namespace of our own, in which this process holds every right over the
// new network namespace (as `unshare -r -n` gives). Empty on success, else the reason.
std::string enterUserAndNetworkNamespaces()
{
    const unsigned uid = ::geteuid();
    const unsigned gid = ::getegid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return errnoText("unshare(CLONE_NEWUSER | CLONE_NEWNET)");
    if (!writeProcFile("/proc/self/setgroups", "deny")
        || !writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n")
        || !writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
        return "cannot map the user in the new user namespace";
    inOwnUserNamespace = true;
    return {};
}

std::string runNft(const std::string& rules)
{
    if (::access("/usr/sbin/nft", X_OK) != 0)
        return "nft is not installed";
    FILE* nft = ::popen("/usr/sbin/nft -f - 2>&1 >/dev/null", "w");
    if (!nft)
        return errnoText("starting nft");
    std::fputs(rules.c_str(), nft);
    const int status = ::pclose(nft);
    if (status != 0)
        return "nft refused the rules (status " + std::to_string(status) + ")";
    return {};
}

}  // namespace

std::string enterPrivateNetwork()
{
    static const std::string reason = [] {
        if (::unshare(CLONE_NEWNET) != 0) {
            const std::string asIs = errnoText("unshare(CLONE_NEWNET)");
            if (const std::string why = enterUserAndNetworkNamespaces(); !why.empty())
                return asIs + "; " + why;
        }
        return bringLoopbackUp();
    }();
    return reason;
}

std::string silenceEchoRequests(const std::string& address)
{
    if (const std::string reason = enterPrivateNetwork(); !reason.empty())
        return reason;
    // Each rule on a line of its own: nft reads the table declaration, then adds to it.
    return runNft(std::string("table ip ") + TableName + " {\n"
                  + "  chain input {\n"
                  + "    type filter hook input priority 0; policy accept;\n"
                  + "  }\n"
                  + "}\n"
                  + "add rule ip " + TableName + " input ip daddr " + address
                  + " icmp type echo-request drop\n");
}

void clearSilencedAddresses()
{
    if (enterPrivateNetwork().empty())
        runNft(std::string("table ip ") + TableName + " {}\ndelete table ip " + TableName + "\n");
}

std::string allowUnprivilegedPing(bool allowed)
{
    if (const std::string reason = enterPrivateNetwork(); !reason.empty())
        return reason;
    const char* const path = "/proc/sys/net/ipv4/ping_group_range";
    if (inOwnUserNamespace) {
        // Only the namespace's one group can be named there, so an opened range could never be
        // closed again; a new network namespace starts closed, which reads as the overflow group.
        if (allowed)
            return "the echo-socket groups can't be set inside a user namespace";
        std::ifstream current(path);
        std::ifstream overflow("/proc/sys/kernel/overflowgid");
        std::string low;
        std::string high;
        std::string unmapped;
        if (current >> low >> high && overflow >> unmapped && low == unmapped && high == unmapped)
            return {};
        return "cannot close net.ipv4.ping_group_range inside a user namespace";
    }
    if (writeProcFile(path, allowed ? "0 2147483647\n" : "1 0\n"))
        return {};
    return "cannot write net.ipv4.ping_group_range";
}

std::string runWithoutRawSocketRight(const std::function<void()>& work)
{
    std::string reason;
    std::thread worker([&] {
        // Capabilities belong to the thread: the raw system call changes this one only.
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) != 0) {
            reason = errnoText("capget");
            return;
        }
        data[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
        if (::syscall(SYS_capset, &header, data) != 0) {
            reason = errnoText("capset");
            return;
        }
        work();
    });
    worker.join();
    return reason;
}
