#pragma once

#include "support/tempdir.h"

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// What the simulated gateways are made to do. Gateways are numbered from 1, as in the list.
// Every member has an initializer, so that a test names only those it sets ({.silent = {2}}).
struct SimulatorOptions {
    int gateways = 3;
    std::vector<int> silent{};         // answer no echo request
    std::vector<int> refuseLogin{};    // refuse the list's login
    std::vector<int> listingLines{};   // answer a name listing with whole `ls -l` lines
    std::vector<int> hang{};           // accept FTP connections and never answer
    std::vector<int> dropPut{};        // drop the connection in the middle of every put
    // A gateway whose file data moves at no more than this many bytes per second.
    std::vector<std::pair<int, long>> rate{};
    // A gateway without /RFA/<folder>/ ("Doc", "Images" or "User").
    std::vector<std::pair<int, std::string>> lackFolder{};
    bool samples = false;              // also write samples/Addrbook.cpe and samples/firmware
    // The password every gateway accepts and the list carries; empty: SimulatorFixture::Password.
    std::string password{};
};

// Simulated gateways (tools/simulator/simulator.py serve) for end-to-end tests: gateway k serves
// FTP on port 21 of 127.0.0.(k+1) inside the test's private network, from a /RFA/ tree on disk
// that the test can look into and change while it runs. The test's own probes and transfers
// reach them because every process and thread the test starts shares that network.
//
// The constructor returns once every gateway serves. When the private network can't be had it
// starts nothing and skipReason() says why (the test skips); when the simulator fails to start
// startError() says why (the test fails). The destructor stops it.
class SimulatorFixture {
public:
    inline static const std::string UserId = "admin";
    inline static const std::string Password = "orbiphon";
    // An Orbiphon.ini for firmware upgrades of the gateways' trees (/RFA/ with Addrbook.cpe,
    // NVRAM.TXT, SETUP.BIN and an OLD.DAT in Doc/, Images/ and User/): a full upgrade removes
    // BIN and TXT files from /RFA/ and DAT files from its folders; BIN, PDF, BMP and TXT go up.
    inline static const std::string FirmwareIni =
        "[RemoveFromRFA]\nExt1=BIN\nExt2=TXT\n"
        "[RemoveFromDoc]\nExt1=DAT\n"
        "[RemoveFromImages]\nExt1=DAT\n"
        "[RemoveFromUser]\nExt1=DAT\n"
        "[PutList]\nExt1=BIN\nExt2=PDF\nExt3=BMP\nExt4=TXT\n";

    explicit SimulatorFixture(SimulatorOptions options = {});
    ~SimulatorFixture();
    SimulatorFixture(const SimulatorFixture&) = delete;
    SimulatorFixture& operator=(const SimulatorFixture&) = delete;

    const std::string& skipReason() const { return m_skipReason; }
    const std::string& startError() const { return m_startError; }
    bool running() const { return m_pid > 0; }

    // "127.0.0.(gateway+1)"
    static std::string address(int gateway);
    std::vector<std::string> addresses() const;
    // The gateway list (.obl) the simulator wrote: every gateway with UserId and Password.
    const std::string& listPath() const { return m_listPath; }
    const std::string& root() const { return m_root; }
    // Where gateway k's /RFA/ lies on disk.
    std::string rfaFolder(int gateway) const;
    // The local path of a device path of gateway k: "/RFA/Doc/A.DAT" or "Doc/A.DAT".
    std::string deviceFile(int gateway, const std::string& path) const;
    // The samples written with SimulatorOptions::samples.
    std::string samplesFolder() const { return m_root + "/samples"; }

    // Stops the simulator (SIGTERM, then SIGKILL when it lingers); the trees stay until the
    // fixture goes.
    void stop();

private:
    void start();
    std::string serverLog() const;

    SimulatorOptions m_options;
    TempDir m_dir;
    std::string m_root;
    std::string m_listPath;
    std::string m_readyPath;
    std::string m_logPath;
    std::string m_skipReason;
    std::string m_startError;
    pid_t m_pid = -1;
};

// In a GoogleTest test: skips when the private network can't be had, fails when the simulator
// does not start.
#define ORBIPHON_REQUIRE_SIMULATOR(simulator)                                               \
    do {                                                                                    \
        if (!(simulator).skipReason().empty())                                              \
            GTEST_SKIP() << "needs a private network namespace: " << (simulator).skipReason(); \
        ASSERT_TRUE((simulator).startError().empty()) << (simulator).startError();          \
    } while (false)
