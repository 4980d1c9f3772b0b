#include "support/simulatorfixture.h"

#include "support/childprocess.h"
#include "support/privatenetwork.h"

#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Starting Python and pyftpdlib takes well under a second; a loaded machine gets ample room.
constexpr std::chrono::seconds ReadyTimeout{30};
// The simulator polls its stop flag every 100 ms and then closes its sockets.
constexpr std::chrono::seconds StopTimeout{5};

} // namespace

SimulatorFixture::SimulatorFixture(SimulatorOptions options) : m_options(std::move(options))
{
    m_root = m_dir.file("sim");
    m_listPath = m_root + "/gateways.obl";
    m_readyPath = m_dir.file("ready");
    m_logPath = m_dir.file("simulator.log");
    m_skipReason = enterPrivateNetwork();
    if (m_skipReason.empty())
        start();
}

SimulatorFixture::~SimulatorFixture()
{
    stop();
}

void SimulatorFixture::start()
{
    std::vector<std::string> arguments{"/usr/bin/python3", ORBIPHON_SIMULATOR_SCRIPT, "serve",
                                       "--gateways", std::to_string(m_options.gateways),
                                       "--root", m_root,
                                       "--list", m_listPath,
                                       "--ready", m_readyPath,
                                       "--user", UserId,
                                       "--password",
                                       m_options.password.empty() ? Password
                                                                  : m_options.password};
    const auto addNumbers = [&arguments](const char* option, const std::vector<int>& numbers) {
        for (int number : numbers) {
            arguments.emplace_back(option);
            arguments.push_back(std::to_string(number));
        }
    };
    addNumbers("--silent", m_options.silent);
    addNumbers("--refuse-login", m_options.refuseLogin);
    addNumbers("--listing-lines", m_options.listingLines);
    addNumbers("--hang", m_options.hang);
    addNumbers("--drop-put", m_options.dropPut);
    for (const auto& [gateway, bytesPerSecond] : m_options.rate) {
        arguments.emplace_back("--rate");
        arguments.push_back(std::to_string(gateway) + ":" + std::to_string(bytesPerSecond));
    }
    for (const auto& [gateway, folder] : m_options.lackFolder) {
        arguments.emplace_back("--lack-folder");
        arguments.push_back(std::to_string(gateway) + ":" + folder);
    }
    if (m_options.samples)
        arguments.emplace_back("--samples");

    std::error_code ignored;
    fs::create_directories(m_root, ignored);
    m_pid = startServer(arguments, m_logPath);
    if (m_pid < 0) {
        m_startError = "cannot start /usr/bin/python3 for the simulator";
        return;
    }
    // The simulator writes the list path and a line end once every gateway listens.
    const std::string failure = waitUntilServing(m_pid, ReadyTimeout, [this] {
        std::ifstream ready(m_readyPath);
        std::string line;
        return std::getline(ready, line) && !ready.eof();
    });
    if (!failure.empty()) {
        stop();
        m_startError = "the simulator " + failure + ": " + serverLog();
    }
}

void SimulatorFixture::stop()
{
    stopServer(m_pid, StopTimeout);
}

std::string SimulatorFixture::address(int gateway)
{
    return "127.0.0." + std::to_string(gateway + 1);
}

std::vector<std::string> SimulatorFixture::addresses() const
{
    std::vector<std::string> result;
    for (int gateway = 1; gateway <= m_options.gateways; ++gateway)
        result.push_back(address(gateway));
    return result;
}

std::string SimulatorFixture::rfaFolder(int gateway) const
{
    return m_root + "/gw" + std::to_string(gateway) + "/RFA";
}

std::string SimulatorFixture::deviceFile(int gateway, const std::string& path) const
{
    std::string below = path;
    if (below.rfind("/RFA", 0) == 0)
        below.erase(0, 4);
    if (!below.empty() && below.front() != '/')
        below.insert(below.begin(), '/');
    return rfaFolder(gateway) + below;
}

std::string SimulatorFixture::serverLog() const
{
    try {
        return readFileBytes(m_logPath);
    } catch (const std::exception&) {
        return "(no log)";
    }
}
