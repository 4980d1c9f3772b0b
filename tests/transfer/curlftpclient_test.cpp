#include "transfer/curlftpclient.h"

#include "support/ftpserverfixture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string allByteValues()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    // Line ends that an ASCII-mode transfer would rewrite.
    return bytes + "\r\n\n\r\r\n" + bytes;
}

std::size_t countOf(const std::vector<std::string>& items, const std::string& item)
{
    return static_cast<std::size_t>(std::count(items.begin(), items.end(), item));
}

class CurlFtp : public testing::Test {
protected:
    void SetUp() override { startServer({}); }

    void startServer(FtpServerOptions options)
    {
        m_server.reset();
        m_server = std::make_unique<FtpServerFixture>(std::move(options));
        m_server->makeDeviceDirectory("/RFA/Doc");
    }

    FtpServerFixture& server() { return *m_server; }

    std::unique_ptr<FtpConnection> connect(FtpLogin login)
    {
        const std::unique_ptr<FtpClient> client = m_factory.open("Upgrade");
        return client ? client->connect(login) : nullptr;
    }

    std::unique_ptr<FtpConnection> connect() { return connect(server().login()); }

    // Connects and enters /RFA/, then forgets the commands so far.
    std::unique_ptr<FtpConnection> connectInDeviceRoot()
    {
        std::unique_ptr<FtpConnection> connection = connect();
        if (!connection || !connection->changeDirectory("/RFA/"))
            return nullptr;
        server().clearCommands();
        return connection;
    }

    TempDir m_local;
    CurlFtpClientFactory m_factory{shortFtpTimeouts()};
    std::unique_ptr<FtpServerFixture> m_server;
};

TEST_F(CurlFtp, StepsShareOneLoggedInControlConnectionInActiveBinaryMode)
{
    const std::string source = m_local.write("book.cpe", allByteValues());
    {
        std::unique_ptr<FtpConnection> connection = connect();
        ASSERT_TRUE(connection);
        ASSERT_TRUE(connection->changeDirectory("/RFA/"));
        ASSERT_TRUE(connection->putFile(source, "Addrbook.cpe"));
        ASSERT_TRUE(connection->listDirectory());
        ASSERT_TRUE(connection->getFile("Addrbook.cpe", m_local.file("back.cpe")));
        ASSERT_TRUE(connection->deleteFile("Addrbook.cpe"));
    }
    const std::vector<std::string> commands = server().commands();
    const std::vector<std::string> verbs = server().verbs();
    EXPECT_EQ(countOf(verbs, "USER"), 1u) << "every step must reuse the first login";
    EXPECT_EQ(countOf(verbs, "PASV") + countOf(verbs, "EPSV"), 0u);
    EXPECT_EQ(countOf(verbs, "PORT") + countOf(verbs, "EPRT"), 3u);
    EXPECT_EQ(countOf(commands, "CWD /RFA"), 1u);
    EXPECT_EQ(countOf(commands, "STOR Addrbook.cpe"), 1u);
    EXPECT_EQ(countOf(commands, "RETR Addrbook.cpe"), 1u);
    EXPECT_EQ(countOf(commands, "DELE Addrbook.cpe"), 1u);
    EXPECT_EQ(verbs.back(), "QUIT");
    // Binary type in force before each file transfer.
    for (const char* transfer : {"STOR Addrbook.cpe", "RETR Addrbook.cpe"}) {
        const auto at = std::find(commands.begin(), commands.end(), transfer);
        const auto type =
            std::find_if(std::make_reverse_iterator(at), commands.rend(),
                         [](const std::string& c) { return c.rfind("TYPE", 0) == 0; });
        ASSERT_NE(type, commands.rend()) << transfer;
        EXPECT_EQ(*type, "TYPE I") << transfer;
    }
    EXPECT_EQ(readFileBytes(m_local.file("back.cpe")), allByteValues());
    EXPECT_FALSE(server().deviceFileExists("/RFA/Addrbook.cpe"));
}

TEST_F(CurlFtp, WrongPasswordOrRefusedLoginGivesNoConnection)
{
    FtpLogin wrong = server().login();
    wrong.password = "not-the-password";
    EXPECT_FALSE(connect(wrong));
    wrong = server().login();
    wrong.userId = "someone";
    EXPECT_FALSE(connect(wrong));

    FtpServerOptions refusing;
    refusing.refuseLogins = true;
    startServer(refusing);
    EXPECT_FALSE(connect());
    EXPECT_EQ(countOf(server().verbs(), "PASS"), 1u);
}

struct EchoedPassword {
    const char* name;
    std::string password;
    const char* reason;  // what the client tells of the server's reply
};

void PrintTo(const EchoedPassword& c, std::ostream* out)
{
    *out << c.name;
}

class EchoedPasswords : public CurlFtp, public testing::WithParamInterface<EchoedPassword> {};

// The server repeats the password in its reply: the reason never shows it, nor a blanked or cut
// form of it, and a password too short to mask leaves the reply's code alone.
TEST_P(EchoedPasswords, AreMaskedBeforeTheReplyIsCutOrCleaned)
{
    const EchoedPassword& c = GetParam();
    FtpServerOptions options;
    options.refuseLogins = true;
    options.echoPassword = true;
    startServer(options);
    FtpLogin login = server().login();
    login.password = c.password;
    const std::unique_ptr<FtpClient> client = m_factory.open("Upgrade");
    ASSERT_TRUE(client);
    EXPECT_FALSE(client->connect(login));
    EXPECT_EQ(client->lastReply(), c.reason);
}

std::string longPassword()
{
    std::string password;
    for (int i = 0; i < 200; ++i)
        password += static_cast<char>(i % 3 == 0 ? '\t' : 0x80 + i % 100);
    return password;
}

INSTANTIATE_TEST_SUITE_P(
    , EchoedPasswords,
    testing::Values(EchoedPassword{"OneDigitOfTheCode", "3", "530"},
                    EchoedPassword{"ThreeBytesTabAndHigh", "\t\xE9\t", "530"},
                    EchoedPassword{"EightBytesWithATab", "pa\tss\xFF\xE9w",
                                   "530 Login refused. ***"},
                    EchoedPassword{"TwoHundredBytesPastTheCut", longPassword(),
                                   "530 Login refused. ***"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(CurlFtp, NoServerOnThePortFailsAtOnce)
{
    // A port that was just free: nothing listens there.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(fd);

    FtpLogin login = server().login();
    login.port = ntohs(address.sin_port);
    const auto start = Clock::now();
    EXPECT_FALSE(connect(login));
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(CurlFtp, AServerThatNeverGreetsCannotHangTheConnect)
{
    // Listening but never accepting: the handshake completes, no greeting ever comes.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);

    FtpTimeouts timeouts = shortFtpTimeouts();
    timeouts.connect = 1s;
    CurlFtpClientFactory impatient(timeouts);
    FtpLogin login = server().login();
    login.port = ntohs(address.sin_port);
    const auto start = Clock::now();
    EXPECT_FALSE(impatient.open("Upgrade")->connect(login));
    const auto elapsed = Clock::now() - start;
    ::close(fd);
    EXPECT_GE(elapsed, 900ms);
    EXPECT_LT(elapsed, 4s);
}

TEST_F(CurlFtp, ChangeDirectorySendsOneAbsoluteCwdAndSurvivesAMissingDirectory)
{
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    EXPECT_TRUE(connection->changeDirectory("/RFA/Doc/"));
    EXPECT_FALSE(connection->changeDirectory("/RFA/Images/"));
    server().writeDeviceFile("/RFA/Doc/manual.pdf", "pdf");
    // The failed CWD left us where we were, on the same connection.
    EXPECT_EQ(connection->listDirectory(), std::vector<std::string>{"manual.pdf"});
    const std::vector<std::string> commands = server().commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], "CWD /RFA/Doc");
    EXPECT_EQ(commands[1], "CWD /RFA/Images");
    EXPECT_EQ(countOf(server().verbs(), "USER"), 0u);
}

TEST_F(CurlFtp, PutStoresTheExactBytesUnderNamesThatNeedEscaping)
{
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    for (const std::string name : {"Addrbook.cpe", "two words.bin", "100%.txt", "a#b?c.dat",
                                   "plus+semi;colon.cfg", "empty.bin"}) {
        const std::string bytes = name == "empty.bin" ? std::string() : allByteValues() + name;
        const std::string source = m_local.write("source", bytes);
        EXPECT_TRUE(connection->putFile(source, name)) << name;
        ASSERT_TRUE(server().deviceFileExists("/RFA/" + name)) << name;
        EXPECT_EQ(server().readDeviceFile("/RFA/" + name), bytes) << name;
    }
    // Putting again replaces the device file.
    EXPECT_TRUE(connection->putFile(m_local.write("short", "new"), "Addrbook.cpe"));
    EXPECT_EQ(server().readDeviceFile("/RFA/Addrbook.cpe"), "new");
}

TEST_F(CurlFtp, PutOfWhatIsNotAReadableFileFailsWithoutSendingIt)
{
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    const std::string fifo = m_local.file("pipe.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(m_local.file("folder.bin"));

    const auto start = Clock::now();
    EXPECT_FALSE(connection->putFile(m_local.file("vanished.cpe"), "Addrbook.cpe"));
    EXPECT_FALSE(connection->putFile(fifo, "pipe.bin"));
    EXPECT_FALSE(connection->putFile(m_local.file("folder.bin"), "folder.bin"));
    EXPECT_LT(Clock::now() - start, 1s) << "a FIFO must not block the upload";
    EXPECT_EQ(countOf(server().verbs(), "STOR"), 0u);
    EXPECT_EQ(server().deviceEntries("/RFA"), std::vector<std::string>{"Doc"});
}

TEST_F(CurlFtp, GetCopiesTheDeviceFileAndFailsForAMissingOneOrAnUnwritablePlace)
{
    server().writeDeviceFile("/RFA/Addrbook.cpe", allByteValues());
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    const std::string target = m_local.write("book.cpe", "old contents that are longer");
    EXPECT_TRUE(connection->getFile("Addrbook.cpe", target));
    EXPECT_EQ(readFileBytes(target), allByteValues());

    EXPECT_FALSE(connection->getFile("Missing.cpe", m_local.file("missing.cpe")));
    server().clearCommands();
    EXPECT_FALSE(connection->getFile("Addrbook.cpe", m_local.file("no/such/folder/book.cpe")));
    EXPECT_EQ(countOf(server().verbs(), "RETR"), 0u) << "nothing to fetch into";
}

TEST_F(CurlFtp, DeleteReportsTheServersAnswerAndKeepsTheConnection)
{
    server().writeDeviceFile("/RFA/old.bin", "x");
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    EXPECT_TRUE(connection->deleteFile("old.bin"));
    EXPECT_FALSE(server().deviceFileExists("/RFA/old.bin"));
    EXPECT_FALSE(connection->deleteFile("old.bin"));
    EXPECT_FALSE(connection->deleteFile("Doc")) << "a directory is not deleted as a file";
    server().writeDeviceFile("/RFA/next.bin", "x");
    EXPECT_TRUE(connection->deleteFile("next.bin"));
    EXPECT_EQ(countOf(server().verbs(), "USER"), 0u) << "a refused DELE must not cost the login";
}

TEST_F(CurlFtp, ListingNamesTheCurrentDirectoryAfreshEachTime)
{
    std::unique_ptr<FtpConnection> connection = connect();
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->listDirectory(), std::vector<std::string>{"RFA"}) << "the login folder";
    ASSERT_TRUE(connection->changeDirectory("/RFA/Doc/"));
    EXPECT_EQ(connection->listDirectory(), std::vector<std::string>{});
    server().writeDeviceFile("/RFA/Doc/a.txt", "a");
    server().writeDeviceFile("/RFA/Doc/B.PDF", "b");
    EXPECT_EQ(connection->listDirectory(), (std::vector<std::string>{"B.PDF", "a.txt"}));
}

TEST_F(CurlFtp, AServerSendingWholeListingLinesIsPassedOnAsItSendsThem)
{
    FtpServerOptions options;
    options.longNameList = true;
    startServer(options);
    server().writeDeviceFile("/RFA/SETUP.BIN", "12345");
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    const auto listing = connection->listDirectory();
    ASSERT_TRUE(listing);
    ASSERT_EQ(listing->size(), 2u);
    EXPECT_EQ((*listing)[0].substr(0, 1), "d");
    EXPECT_NE((*listing)[0].find(" Doc"), std::string::npos);
    EXPECT_EQ((*listing)[1].substr(0, 1), "-");
    EXPECT_EQ((*listing)[1].substr((*listing)[1].size() - 10), " SETUP.BIN");
}

struct HostileName {
    const char* label;
    std::string name;
    // Also unusable as a directory name ("/RFA/<name>/").
    bool badDirectory;
};

void PrintTo(const HostileName& hostile, std::ostream* out)
{
    *out << hostile.label;
}

class HostileNames : public CurlFtp, public testing::WithParamInterface<HostileName> {};

TEST_P(HostileNames, AreRefusedWithoutSendingAnything)
{
    const std::string name = GetParam().name;
    server().writeDeviceFile("/RFA/x.bin", "keep");
    server().writeDeviceFile("/RFA/Doc/y.bin", "keep");
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    const std::string source = m_local.write("source.bin", "payload");
    EXPECT_FALSE(connection->putFile(source, name));
    EXPECT_FALSE(connection->getFile(name, m_local.file("got.bin")));
    EXPECT_FALSE(connection->deleteFile(name));
    if (GetParam().badDirectory) {
        EXPECT_FALSE(connection->changeDirectory("/RFA/" + name + "/"));
    }
    EXPECT_EQ(server().commands(), std::vector<std::string>{});
    EXPECT_TRUE(server().deviceFileExists("/RFA/x.bin"));
    EXPECT_TRUE(server().deviceFileExists("/RFA/Doc/y.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, HostileNames,
    testing::Values(HostileName{"commandInjection", "a.bin\r\nDELE x.bin", true},
                    HostileName{"lineFeed", "a\nb.bin", true},
                    HostileName{"carriageReturn", "a\rb.bin", true},
                    HostileName{"nul", std::string("x.bin\0.txt", 10), true},
                    HostileName{"otherDirectory", "Doc/y.bin", false},
                    HostileName{"parent", "..", true}, HostileName{"self", ".", true},
                    HostileName{"empty", "", false}),
    [](const auto& testCase) { return std::string(testCase.param.label); });

TEST_F(CurlFtp, AConnectionDroppedInTheMiddleOfAPutFailsThePut)
{
    FtpServerOptions options;
    options.dropStoreAfter = 64 * 1024;
    startServer(options);
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    const std::string big = m_local.write("big.bin", std::string(4 << 20, 'F'));
    const auto start = Clock::now();
    EXPECT_FALSE(connection->putFile(big, "big.bin"));
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(CurlFtp, AConnectionDroppedInTheMiddleOfAGetFailsTheGet)
{
    FtpServerOptions options;
    options.dropRetrieveAfter = 64 * 1024;
    startServer(options);
    server().writeDeviceFile("/RFA/Addrbook.cpe", std::string(4 << 20, 'B'));
    std::unique_ptr<FtpConnection> connection = connectInDeviceRoot();
    ASSERT_TRUE(connection);
    const auto start = Clock::now();
    EXPECT_FALSE(connection->getFile("Addrbook.cpe", m_local.file("book.cpe")));
    EXPECT_LT(Clock::now() - start, 5s);
}

struct StalledTransfer {
    const char* name;
    bool put;
};

void PrintTo(const StalledTransfer& c, std::ostream* out)
{
    *out << c.name;
}

class StalledTransfers : public CurlFtp, public testing::WithParamInterface<StalledTransfer> {};

TEST_P(StalledTransfers, AServerThatFallsSilentMidTransferCannotHangUs)
{
    FtpServerOptions options;
    options.stallAfter = 64 * 1024;
    startServer(options);
    server().writeDeviceFile("/RFA/big.bin", std::string(16 << 20, 'g'));
    const std::string local = m_local.write("big.bin", std::string(16 << 20, 'p'));
    FtpTimeouts timeouts = shortFtpTimeouts();
    timeouts.stall = 1s;
    timeouts.response = 1s;
    CurlFtpClientFactory impatient(timeouts);
    const auto client = impatient.open("Upgrade");
    auto connection = client->connect(server().login());
    ASSERT_TRUE(connection);
    ASSERT_TRUE(connection->changeDirectory("/RFA/"));

    const auto start = Clock::now();
    if (GetParam().put) {
        EXPECT_FALSE(connection->putFile(local, "upload.bin"));
    } else {
        EXPECT_FALSE(connection->getFile("big.bin", m_local.file("got.bin")));
    }
    connection.reset();
    const auto elapsed = Clock::now() - start;
    // libcurl judges the speed over its last few seconds, so the first bytes hold the step up
    // to about five seconds past the stall limit.
    EXPECT_GE(elapsed, 1s);
    EXPECT_LT(elapsed, 10s) << "the stall limit must end the step";
}

INSTANTIATE_TEST_SUITE_P(Transfers, StalledTransfers,
                         testing::Values(StalledTransfer{"put", true},
                                         StalledTransfer{"get", false}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// A gateway that stops answering costs its step's limit and at most the QUIT's short wait after
// it; the operator's stop ends any step within about a second, the login included.
TEST_F(CurlFtp, AGatewayThatStopsAnsweringCostsOneLimitAndAStopEndsAnyStep)
{
    struct Case {
        const char* name;
        int freezeAfterStores;  // 0: greets, then never answers the login
        const char* step;       // after a put: "size" or "delete"; "" for the login itself
        bool stop;
        std::chrono::milliseconds most;
    };
    const Case cases[] = {
        {"no answer to SIZE", 1, "size", false, 5500ms},
        {"no answer to DELE", 1, "delete", false, 5500ms},
        {"stop while logging in", 0, "", true, 2500ms},
        {"stop while waiting for SIZE", 1, "size", true, 2500ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FtpServerOptions options;
        options.freezeAfterStores = c.freezeAfterStores;
        startServer(options);
        FtpTimeouts timeouts = shortFtpTimeouts();
        timeouts.response = 4s;
        timeouts.connect = 10s;
        timeouts.quit = 1s;
        CurlFtpClientFactory factory(timeouts);
        const auto client = factory.open("Upgrade");
        std::atomic<bool> stop = false;
        FtpLogin login = server().login();
        login.cancel = &stop;
        std::unique_ptr<FtpConnection> connection;
        if (*c.step != '\0') {
            connection = client->connect(login);
            ASSERT_TRUE(connection);
            ASSERT_TRUE(connection->changeDirectory("/RFA/"));
            ASSERT_TRUE(connection->putFile(m_local.write("a.bin", "abc"), "a.bin"));
        }
        const auto start = Clock::now();
        std::thread stopper([&] {
            std::this_thread::sleep_for(500ms);
            stop = c.stop;
        });
        if (*c.step == '\0')
            EXPECT_FALSE(client->connect(login));
        else if (std::string(c.step) == "size")
            EXPECT_NE(connection->remoteSize("a.bin").kind, RemoteSize::Kind::Known);
        else
            EXPECT_FALSE(connection->deleteFile("a.bin"));
        connection.reset();
        const auto took = Clock::now() - start;
        stopper.join();
        EXPECT_LT(took, c.most);
    }
}

}  // namespace
