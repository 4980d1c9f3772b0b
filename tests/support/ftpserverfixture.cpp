#include "support/ftpserverfixture.h"

#include "support/childprocess.h"
#include "support/privatenetwork.h"
#include "transfer/curlftpclient.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Reads the server's first line ("LISTENING <port>"), giving up after the time-out or when the
// server ends first.
std::string readFirstLine(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got <= 0)
            return {};
        if (c == '\n')
            return line;
        line += c;
    }
}

}  // namespace

FtpServerFixture::FtpServerFixture(FtpServerOptions options) : m_options(std::move(options))
{
    // Best effort: without a private network the server still only listens on loopback.
    enterPrivateNetwork();

    m_root = m_dir.file("root");
    fs::create_directories(m_root + "/RFA");
    m_logPath = m_dir.file("commands.log");
    const std::string errorPath = m_dir.file("server.err");

    std::vector<std::string> arguments{"/usr/bin/python3", ORBIPHON_FTPSERVER_SCRIPT,
                                       "--root", m_root,
                                       "--host", m_address,
                                       "--user", m_options.userId,
                                       "--password", m_options.password,
                                       "--log", m_logPath};
    if (m_options.refuseLogins)
        arguments.push_back("--refuse-logins");
    if (m_options.echoPassword)
        arguments.push_back("--echo-password");
    if (m_options.longNameList)
        arguments.push_back("--long-nlst");
    if (m_options.dropStoreAfter) {
        arguments.push_back("--drop-stor-after");
        arguments.push_back(std::to_string(*m_options.dropStoreAfter));
    }
    if (m_options.dropRetrieveAfter) {
        arguments.push_back("--drop-retr-after");
        arguments.push_back(std::to_string(*m_options.dropRetrieveAfter));
    }
    if (m_options.stallAfter) {
        arguments.push_back("--stall-after");
        arguments.push_back(std::to_string(*m_options.stallAfter));
    }
    if (m_options.freezeAfterStores) {
        arguments.push_back("--freeze-after-stores");
        arguments.push_back(std::to_string(*m_options.freezeAfterStores));
    }
    if (m_options.retrieveRate) {
        arguments.push_back("--retr-rate");
        arguments.push_back(std::to_string(*m_options.retrieveRate));
    }
    if (m_options.announceSizeDelta) {
        arguments.push_back("--announce-size-delta");
        arguments.push_back(std::to_string(*m_options.announceSizeDelta));
    }
    if (m_options.noSize)
        arguments.push_back("--no-size");
    if (m_options.cutRetrieveAfter) {
        arguments.push_back("--cut-retr-after");
        arguments.push_back(std::to_string(*m_options.cutRetrieveAfter));
    }
    if (!m_options.nameList.empty()) {
        arguments.push_back("--nlst");
        arguments.push_back(m_options.nameList);
    }
    if (m_options.truncateStoredBy) {
        arguments.push_back("--truncate-stored");
        arguments.push_back(std::to_string(*m_options.truncateStoredBy));
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot create a pipe for the FTP server");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int spawned = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        m_pid = -1;
        throw std::runtime_error("cannot start /usr/bin/python3 for the FTP server");
    }

    const std::string line = readFirstLine(pipeFds[0], std::chrono::seconds(20));
    ::close(pipeFds[0]);
    if (line.rfind("LISTENING ", 0) == 0)
        m_port = std::stoi(line.substr(10));
    if (m_port <= 0) {
        stop();
        std::string error;
        try {
            error = readFileBytes(errorPath);
        } catch (const std::exception&) {
        }
        throw std::runtime_error("the FTP server did not start: " + error);
    }
}

FtpServerFixture::~FtpServerFixture()
{
    stop();
}

void FtpServerFixture::stop()
{
    stopServer(m_pid, std::chrono::seconds(2));
}

FtpTimeouts shortFtpTimeouts()
{
    FtpTimeouts timeouts;
    timeouts.connect = std::chrono::seconds(3);
    timeouts.response = std::chrono::seconds(3);
    timeouts.stall = std::chrono::seconds(3);
    timeouts.accept = std::chrono::seconds(3);
    return timeouts;
}

FtpLogin FtpServerFixture::login() const
{
    return {m_address, m_port, m_options.userId, m_options.password};
}

std::string FtpServerFixture::devicePath(const std::string& path) const
{
    return m_root + (path.empty() || path.front() != '/' ? "/" : "") + path;
}

std::string FtpServerFixture::writeDeviceFile(const std::string& path,
                                              const std::string& bytes) const
{
    const std::string local = devicePath(path);
    fs::create_directories(fs::path(local).parent_path());
    writeFileBytes(local, bytes);
    return local;
}

void FtpServerFixture::makeDeviceDirectory(const std::string& path) const
{
    fs::create_directories(devicePath(path));
}

bool FtpServerFixture::deviceFileExists(const std::string& path) const
{
    return fs::is_regular_file(devicePath(path));
}

std::string FtpServerFixture::readDeviceFile(const std::string& path) const
{
    return readFileBytes(devicePath(path));
}

std::vector<std::string> FtpServerFixture::deviceEntries(const std::string& path) const
{
    const std::set<std::string> names = folderEntries(devicePath(path));
    return {names.begin(), names.end()};
}

std::vector<std::string> FtpServerFixture::commands() const
{
    std::vector<std::string> lines;
    std::ifstream log(m_logPath);
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> FtpServerFixture::verbs() const
{
    std::vector<std::string> result;
    for (const std::string& line : commands())
        result.push_back(line.substr(0, line.find(' ')));
    return result;
}

void FtpServerFixture::clearCommands() const
{
    std::ofstream(m_logPath, std::ios::trunc);
}
