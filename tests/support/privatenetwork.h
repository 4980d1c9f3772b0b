#pragma once

#include <functional>
#include <string>

// Tests that send packets do it inside a network namespace of their own, so nothing can leave
// the machine: a fresh loopback where every 127.0.0.k answers, gone when the process ends.

// Moves the calling thread, and every thread and process it starts from then on, into a new
// network namespace with loopback up; without root, inside a new user namespace of its own
// (possible only while the process has a single thread). Done once per process; later calls
// repeat the first answer. Empty on success, else why it could not be done (namespaces
// forbidden...).
std::string enterPrivateNetwork();

// Makes address drop the echo requests sent to it (nftables), so it never answers a probe.
// Only inside the private network. Empty on success, else the reason.
std::string silenceEchoRequests(const std::string& address);
// Lets every address answer again.
void clearSilencedAddresses();

// Sets net.ipv4.ping_group_range of the private network: allowed, every group may open the
// unprivileged ICMP echo socket; otherwise none may. Empty on success, else the reason.
std::string allowUnprivilegedPing(bool allowed);

// Runs work on a thread that has given up the right to open raw sockets (CAP_NET_RAW), as a
// program started without that right would be. Empty on success, else the reason.
std::string runWithoutRawSocketRight(const std::function<void()>& work);

// Skips the test with the reason when the private network can't be had.
#define ORBIPHON_REQUIRE_PRIVATE_NETWORK()                                                     \
    do {                                                                                       \
        if (const std::string orbiphonReason = enterPrivateNetwork(); !orbiphonReason.empty()) \
            GTEST_SKIP() << "needs a private network namespace: " << orbiphonReason;           \
    } while (false)
