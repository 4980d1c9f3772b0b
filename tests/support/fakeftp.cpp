#include "support/fakeftp.h"

#include <fstream>
#include <iterator>

namespace {

class FakeConnection final : public FtpConnection {
public:
    explicit FakeConnection(FakeFtp& ftp) : m_ftp(ftp) {}
    ~FakeConnection() override { m_ftp.record("close"); }

    bool changeDirectory(const std::string& directory) override
    {
        m_ftp.record("cd(" + directory + ")");
        if (!m_ftp.directories.empty() && !m_ftp.directories.count(directory))
            return fail("550 No such file or directory.");
        m_current = directory;
        return true;
    }

    bool putFile(const std::string& localPath, const std::string& remoteName) override
    {
        m_ftp.record("put(" + remoteName + ")");
        std::ifstream in(localPath, std::ios::binary);
        if (!in)
            return fail("the local file could not be read");
        if (m_ftp.failingPuts.count(remoteName))
            return fail("553 Could not create file.");
        m_ftp.uploaded[m_current + remoteName] = {std::istreambuf_iterator<char>(in),
                                                  std::istreambuf_iterator<char>()};
        return true;
    }

    bool getFile(const std::string& remoteName, const std::string& localPath) override
    {
        m_ftp.record("get(" + remoteName + ")");
        const auto file = m_ftp.remoteFiles.find(remoteName);
        if (file == m_ftp.remoteFiles.end() || m_ftp.failingGets.count(remoteName))
            return fail("550 No such file or directory.");
        std::ofstream out(localPath, std::ios::binary | std::ios::trunc);
        out << file->second;
        return static_cast<bool>(out);
    }

    bool deleteFile(const std::string& remoteName) override
    {
        m_ftp.record("delete(" + remoteName + ")");
        return !m_ftp.failingDeletes.count(remoteName) || fail("550 Permission denied.");
    }

    RemoteSize remoteSize(const std::string& remoteName) override
    {
        m_ftp.record("size(" + remoteName + ")");
        if (const auto answer = m_ftp.sizes.find(remoteName); answer != m_ftp.sizes.end())
            return answer->second;
        if (const auto file = m_ftp.uploaded.find(m_current + remoteName);
            file != m_ftp.uploaded.end())
            return {RemoteSize::Kind::Known, static_cast<long long>(file->second.size())};
        return {RemoteSize::Kind::Refused};
    }

    std::optional<std::vector<std::string>> listDirectory() override
    {
        m_ftp.record("list");
        if (m_ftp.listFails) {
            fail("425 Can't open data connection.");
            return std::nullopt;
        }
        return m_ftp.listings[m_current];
    }

    std::string lastReply() const override { return m_lastReply; }

private:
    bool fail(std::string reply)
    {
        m_lastReply = std::move(reply);
        return false;
    }

    FakeFtp& m_ftp;
    std::string m_current;
    std::string m_lastReply;
};

class FakeClient final : public FtpClient {
public:
    explicit FakeClient(FakeFtp& ftp) : m_ftp(ftp) {}
    ~FakeClient() override { m_ftp.record("closeClient"); }

    std::unique_ptr<FtpConnection> connect(const FtpLogin& login) override
    {
        m_ftp.record("connect(" + login.address + ":" + std::to_string(login.port) + ","
                     + login.userId + "," + login.password + ")");
        if (m_ftp.connectFails) {
            m_lastReply = "530 Login incorrect.";
            return nullptr;
        }
        return std::make_unique<FakeConnection>(m_ftp);
    }

    std::string lastReply() const override { return m_lastReply; }

private:
    FakeFtp& m_ftp;
    std::string m_lastReply;
};

}  // namespace

FakeFtp::FakeFtp() : m_log(&m_ownLog) {}

FakeFtp::FakeFtp(std::vector<std::string>& sharedLog) : m_log(&sharedLog) {}

std::unique_ptr<FtpClient> FakeFtp::open(const std::string& agent)
{
    record("open(" + agent + ")");
    if (openFails)
        return nullptr;
    return std::make_unique<FakeClient>(*this);
}

FakeProber::FakeProber() : m_log(&m_ownLog) {}

FakeProber::FakeProber(std::vector<std::string>& sharedLog) : m_log(&sharedLog) {}

ProbeResult FakeProber::probe(const std::string& gatewayAddress, int timeoutMs)
{
    m_log->push_back("probe(" + gatewayAddress + "," + std::to_string(timeoutMs) + ")");
    if (onProbe)
        onProbe();
    return allSilent || silent.count(gatewayAddress) ? ProbeResult::Silent : ProbeResult::Answered;
}
