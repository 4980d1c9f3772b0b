#include "transfer/addressbooktransfer.h"
#include "transfer/devicefolders.h"

#include "support/fakeftp.h"
#include "support/ftpserverfixture.h"
#include "support/recordingprogress.h"
#include "support/tempdir.h"
#include "transfer/curlftpclient.h"
#include "transfer/firmwareupload.h"
#include "transfer/outcome.h"
#include "base/settingsfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <utility>

namespace {

using Log = std::vector<std::string>;

// --- order of steps and progress, over fakes ----------------------------------------------

struct Fakes {
    Log log;
    FakeProber prober{log};
    FakeFtp ftp{log};
    RecordingProgress progress{log};
    std::atomic<bool> stop = false;
    TransferContext context{prober, ftp, progress, FtpPort, &stop};
};

const Log UploadPrefix{"probe(10.0.0.7,1000)", "open(Upgrade)",  "setLine1(Connecting...)",
                       "setRange(upper,2)",    "refresh",        "connect(10.0.0.7:21,ftp,secret)"};

Log concat(Log head, const Log& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

struct UploadCase {
    const char* name;
    std::function<void(Fakes&)> arrange;
    Log expectedLog;
    TransferResult expected;
};

void PrintTo(const UploadCase& c, std::ostream* out)
{
    *out << c.name;
}

class UploadOrder : public testing::TestWithParam<UploadCase> {};

TEST_P(UploadOrder, StepsProgressAndResult)
{
    const UploadCase& c = GetParam();
    Fakes fakes;
    TempDir local;
    const std::string book = local.write("mybook.cpe", "book");
    c.arrange(fakes);
    EXPECT_EQ(uploadAddressBook(fakes.context, book, "10.0.0.7", "ftp", "secret"), c.expected);
    EXPECT_EQ(fakes.log, c.expectedLog);
}

INSTANTIATE_TEST_SUITE_P(
    AddressBook, UploadOrder,
    testing::Values(
        UploadCase{"done", [](Fakes&) {},
                   concat(UploadPrefix,
                          {"cd(/RFA/)", "setLine1(FTP : /RFA/Addrbook.cpe)", "setPosition(upper,1)",
                           "refresh", "put(Addrbook.cpe)", "setPosition(upper,2)", "refresh",
                           "close", "closeClient"}),
                   TransferResult::Done},
        UploadCase{"silentGatewayOpensNoClient",
                   [](Fakes& f) { f.prober.silent.insert("10.0.0.7"); },
                   {"probe(10.0.0.7,1000)"}, TransferResult::NotFound},
        UploadCase{"clientCannotOpen", [](Fakes& f) { f.ftp.openFails = true; },
                   {"probe(10.0.0.7,1000)", "open(Upgrade)"}, TransferResult::Failed},
        UploadCase{"loginRefused", [](Fakes& f) { f.ftp.connectFails = true; },
                   concat(UploadPrefix, {"closeClient"}), TransferResult::Failed},
        UploadCase{"stopBeforeTheLoginConnectsNothing", [](Fakes& f) { f.stop = true; },
                   concat(Log(UploadPrefix.begin(), UploadPrefix.end() - 1), {"closeClient"}),
                   TransferResult::Failed},
        UploadCase{"noDeviceRoot", [](Fakes& f) { f.ftp.directories = {"/RFA/Doc/"}; },
                   concat(UploadPrefix, {"cd(/RFA/)", "close", "closeClient"}),
                   TransferResult::Failed},
        UploadCase{"putFails", [](Fakes& f) { f.ftp.failingPuts = {"Addrbook.cpe"}; },
                   concat(UploadPrefix,
                          {"cd(/RFA/)", "setLine1(FTP : /RFA/Addrbook.cpe)", "setPosition(upper,1)",
                           "refresh", "put(Addrbook.cpe)", "close", "closeClient"}),
                   TransferResult::Failed}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct DownloadCase {
    const char* name;
    std::function<void(Fakes&)> arrange;
    Log expectedLog;
    DownloadResult expected;
};

void PrintTo(const DownloadCase& c, std::ostream* out)
{
    *out << c.name;
}

const Log DownloadPrefix{"open(Download)",
                         "reset",
                         "setCaption(Download AddressBook)",
                         "setLine1(Connecting...)",
                         "setRange(upper,2)",
                         "refresh",
                         "connect(10.0.0.7:21,ftp,secret)"};
const Log DownloadEntered{"cd(/RFA/)", "setLine1(FTP : /RFA/Addrbook.cpe)",
                          "setPosition(upper,1)", "refresh", "get(Addrbook.cpe)"};

class DownloadOrder : public testing::TestWithParam<DownloadCase> {};

TEST_P(DownloadOrder, StepsProgressFailureReportAndResult)
{
    const DownloadCase& c = GetParam();
    Fakes fakes;
    fakes.ftp.remoteFiles["Addrbook.cpe"] = "device book";
    TempDir local;
    c.arrange(fakes);
    const DownloadResult result =
        downloadAddressBook(fakes.context, "10.0.0.7", "ftp", "secret", local.file("out.cpe"),
                            [&] { fakes.log.push_back("reportFailure"); });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(fakes.log, c.expectedLog);
    EXPECT_FALSE(fakes.progress.visible());
    if (result == DownloadResult::Done) {
        EXPECT_EQ(readFileBytes(local.file("out.cpe")), "device book");
    }
}

INSTANTIATE_TEST_SUITE_P(
    AddressBook, DownloadOrder,
    testing::Values(
        DownloadCase{"done", [](Fakes&) {},
                     concat(concat(DownloadPrefix, DownloadEntered),
                            {"setPosition(upper,2)", "refresh", "close", "hide", "closeClient"}),
                     DownloadResult::Done},
        DownloadCase{"loginRefused", [](Fakes& f) { f.ftp.connectFails = true; },
                     concat(DownloadPrefix, {"reportFailure", "hide", "closeClient"}),
                     DownloadResult::FtpFailure},
        DownloadCase{"noDeviceRoot", [](Fakes& f) { f.ftp.directories = {"/RFA/Doc/"}; },
                     concat(DownloadPrefix, {"cd(/RFA/)", "reportFailure", "close", "hide",
                                             "closeClient"}),
                     DownloadResult::FtpFailure},
        DownloadCase{"getFails", [](Fakes& f) { f.ftp.failingGets = {"Addrbook.cpe"}; },
                     concat(concat(DownloadPrefix, DownloadEntered),
                            {"reportFailure", "close", "hide", "closeClient"}),
                     DownloadResult::FtpFailure},
        DownloadCase{"clientCannotOpen", [](Fakes& f) { f.ftp.openFails = true; },
                     {"open(Download)", "reset", "setCaption(Download AddressBook)",
                      "reportFailure", "hide"},
                     DownloadResult::FtpFailure}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(AddressBookTransfer, UsesTheContextsPortForTheConnection)
{
    Fakes fakes;
    fakes.context.ftpPort = 2121;
    TempDir local;
    uploadAddressBook(fakes.context, local.write("b.cpe", "b"), "10.0.0.7", "u", "p");
    EXPECT_NE(std::find(fakes.log.begin(), fakes.log.end(), "connect(10.0.0.7:2121,u,p)"),
              fakes.log.end());
}

// --- against a real FTP server ------------------------------------------------------------

class BookOverFtp : public testing::Test {
protected:
    void SetUp() override { start({}); }

    void start(FtpServerOptions options)
    {
        m_server.reset();
        m_server = std::make_unique<FtpServerFixture>(std::move(options));
        m_context.ftpPort = m_server->port();
    }

    FtpServerFixture& server() { return *m_server; }

    TransferResult upload(const std::string& localPath, const std::string& password = "secret")
    {
        return uploadAddressBook(m_context, localPath, server().address(), "ftp", password);
    }

    DownloadResult download(const std::string& localPath, const std::string& password = "secret")
    {
        return downloadAddressBook(m_context, server().address(), "ftp", password, localPath);
    }

    TempDir m_local;
    FakeProber m_prober;
    CurlFtpClientFactory m_ftp{shortFtpTimeouts()};
    RecordingProgress m_progress;
    TransferContext m_context{m_prober, m_ftp, m_progress};
    std::unique_ptr<FtpServerFixture> m_server;
};

TEST_F(BookOverFtp, UploadStoresTheLocalFileAsAddrbookCpeWhateverItsName)
{
    server().writeDeviceFile("/RFA/Addrbook.cpe", "the device's old book");
    const std::string book = m_local.write("mybook.cpe", std::string(13770, '\0') + "\xff\r\n");
    EXPECT_EQ(upload(book), TransferResult::Done);
    EXPECT_EQ(server().readDeviceFile("/RFA/Addrbook.cpe"), readFileBytes(book));
    EXPECT_EQ(server().deviceEntries("/RFA"), std::vector<std::string>{"Addrbook.cpe"});
    EXPECT_EQ(m_progress.shownLine1(), "FTP : /RFA/Addrbook.cpe");
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).position(), 2);
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).maximum(), 2);
    EXPECT_TRUE(m_progress.visible()) << "the batch hides the progress display, not the upload";
}

TEST_F(BookOverFtp, UploadToASilentGatewayTouchesNoServer)
{
    m_prober.silent.insert(server().address());
    EXPECT_EQ(upload(m_local.write("b.cpe", "b")), TransferResult::NotFound);
    EXPECT_EQ(server().commands(), std::vector<std::string>{});
    EXPECT_EQ(m_progress.calls(), std::vector<std::string>{});
}

TEST_F(BookOverFtp, UploadWithAWrongPasswordFails)
{
    EXPECT_EQ(upload(m_local.write("b.cpe", "b"), "wrong"), TransferResult::Failed);
    EXPECT_FALSE(server().deviceFileExists("/RFA/Addrbook.cpe"));
}

TEST_F(BookOverFtp, UploadFailsWithoutTheDeviceRootOrTheLocalFile)
{
    std::filesystem::remove_all(server().devicePath("/RFA"));
    EXPECT_EQ(upload(m_local.write("b.cpe", "b")), TransferResult::Failed);
    server().makeDeviceDirectory("/RFA");
    EXPECT_EQ(upload(m_local.file("vanished.cpe")), TransferResult::Failed);
    EXPECT_FALSE(server().deviceFileExists("/RFA/Addrbook.cpe"));
}

TEST_F(BookOverFtp, UploadCutOffInTheMiddleFails)
{
    FtpServerOptions options;
    options.dropStoreAfter = 32 * 1024;
    start(options);
    EXPECT_EQ(upload(m_local.write("big.cpe", std::string(4 << 20, 'x'))), TransferResult::Failed);
}

TEST_F(BookOverFtp, DownloadReplacesTheLocalFileWithTheDevicesBook)
{
    const std::string deviceBook = std::string(13770, '\x01') + "\r\n\x1a";
    server().writeDeviceFile("/RFA/Addrbook.cpe", deviceBook);
    const std::string target = m_local.write("Addrbook.cpe", "operator's older copy");
    ::chmod(target.c_str(), 0640);
    EXPECT_EQ(download(target), DownloadResult::Done);
    EXPECT_EQ(readFileBytes(target), deviceBook);
    EXPECT_EQ(folderEntries(m_local.path()), std::set<std::string>{"Addrbook.cpe"});
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u) << "the replaced file keeps its permissions";
    EXPECT_EQ(m_progress.caption(), "Download AddressBook");
    EXPECT_FALSE(m_progress.visible());
}

TEST_F(BookOverFtp, DownloadIntoANewFileCreatesAnOrdinaryFile)
{
    server().writeDeviceFile("/RFA/Addrbook.cpe", "book");
    const mode_t previous = ::umask(022);
    const DownloadResult result = download(m_local.file("new.cpe"));
    ::umask(previous);
    ASSERT_EQ(result, DownloadResult::Done);
    struct stat status {};
    ASSERT_EQ(::stat(m_local.file("new.cpe").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

struct FailedDownload {
    const char* name;
    FtpServerOptions options;
    bool deviceHasBook;
    const char* password;
    std::size_t bookSize = 4 << 20;
};

void PrintTo(const FailedDownload& c, std::ostream* out)
{
    *out << c.name;
}

class FailedDownloads : public BookOverFtp, public testing::WithParamInterface<FailedDownload> {};

TEST_P(FailedDownloads, KeepTheOperatorsFileAndLeaveNoTemporary)
{
    const FailedDownload& c = GetParam();
    start(c.options);
    if (c.deviceHasBook)
        server().writeDeviceFile("/RFA/Addrbook.cpe", std::string(c.bookSize, 'd'));
    const std::string target = m_local.write("Addrbook.cpe", "operator's only copy");
    EXPECT_EQ(download(target, c.password), DownloadResult::FtpFailure);
    EXPECT_EQ(readFileBytes(target), "operator's only copy");
    EXPECT_EQ(folderEntries(m_local.path()), std::set<std::string>{"Addrbook.cpe"});
    EXPECT_FALSE(m_progress.visible());
}

FtpServerOptions droppingRetrieve()
{
    FtpServerOptions options;
    options.dropRetrieveAfter = 64 * 1024;
    return options;
}

FtpServerOptions announcing(int delta, bool sizeReply)
{
    FtpServerOptions options;
    options.announceSizeDelta = delta;
    options.noSize = !sizeReply;
    return options;
}

FtpServerOptions trickling(int bytesPerSecond)
{
    FtpServerOptions options;
    options.retrieveRate = bytesPerSecond;
    return options;
}

INSTANTIATE_TEST_SUITE_P(
    AddressBook, FailedDownloads,
    testing::Values(FailedDownload{"noBookOnTheDevice", {}, false, "secret"},
                    FailedDownload{"wrongPassword", {}, true, "wrong"},
                    FailedDownload{"cutOffInTheMiddle", droppingRetrieve(), true, "secret"},
                    FailedDownload{"sizeReplyAnnouncesMore", announcing(5, true), true, "secret",
                                   2000},
                    FailedDownload{"sizeReplyAnnouncesLess", announcing(-5, true), true, "secret",
                                   2000},
                    FailedDownload{"openingReplyAloneAnnouncesMore", announcing(5, false), true,
                                   "secret", 2000},
                    FailedDownload{"openingReplyAloneAnnouncesLess", announcing(-5, false), true,
                                   "secret", 2000},
                    // Less than 1 KiB within the 3 s stall limit of the short time-outs.
                    FailedDownload{"drippingTwoBytesASecond", trickling(2), true, "secret", 40}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(BookOverFtp, DownloadIntoAFolderThatIsNotThereFailsWithoutFetching)
{
    server().writeDeviceFile("/RFA/Addrbook.cpe", "book");
    EXPECT_EQ(download(m_local.file("gone/Addrbook.cpe")), DownloadResult::FtpFailure);
    const std::vector<std::string> verbs = server().verbs();
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "RETR"), 0);
}

TEST_F(BookOverFtp, ADownloadThatKeepsMovingIsNeverCut)
{
    start(trickling(4096));
    // About four seconds at 4 KiB a second, past the 3 s stall limit.
    server().writeDeviceFile("/RFA/Addrbook.cpe", std::string(16 << 10, 'k'));
    const std::string target = m_local.file("Addrbook.cpe");
    EXPECT_EQ(download(target), DownloadResult::Done);
    EXPECT_EQ(readFileBytes(target), std::string(16 << 10, 'k'));
}

TEST_F(BookOverFtp, LoginsCarryingCommandsReachNoServer)
{
    server().writeDeviceFile("/RFA/Addrbook.cpe", "device book");
    const std::string book = m_local.write("b.cpe", "b");
    const std::string target = m_local.write("Addrbook.cpe", "mine");
    const std::vector<std::pair<std::string, std::string>> logins{
        {"ftp", "secret\r\nDELE /RFA/Addrbook.cpe"},
        {"ftp\nRMD /RFA", "secret"},
        {"ftp", std::string("sec\0ret", 7)}};
    for (const auto& [userId, password] : logins) {
        EXPECT_EQ(uploadAddressBook(m_context, book, server().address(), userId, password),
                  TransferResult::Failed);
        EXPECT_EQ(downloadAddressBook(m_context, server().address(), userId, password, target),
                  DownloadResult::FtpFailure);
        EXPECT_FALSE(m_ftp.open("Upgrade")->connect({server().address(), server().port(), userId,
                                                     password}));
    }
    EXPECT_EQ(server().commands(), std::vector<std::string>{});
    EXPECT_EQ(server().readDeviceFile("/RFA/Addrbook.cpe"), "device book");
    EXPECT_EQ(readFileBytes(target), "mine");
}

// --- outcomes: what each way of ending tells, over fakes -----------------------------------

struct OutcomeCase {
    const char* name;
    std::function<void(Fakes&, std::string& localPath)> arrange;
    TransferResult result;
    std::string reason;  // "{local}" stands for the local path
    int filesSent;
    int filesFailed;
};

void PrintTo(const OutcomeCase& c, std::ostream* out)
{
    *out << c.name;
}

class UploadOutcomes : public testing::TestWithParam<OutcomeCase> {};

TEST_P(UploadOutcomes, TellWhatHappened)
{
    const OutcomeCase& c = GetParam();
    Fakes fakes;
    TempDir local;
    std::string path = local.write("book.cpe", "twelve bytes");
    c.arrange(fakes, path);
    GatewayOutcome outcome;
    EXPECT_EQ(uploadAddressBook(fakes.context, path, "10.0.0.7", "ftp", "secret", {}, nullptr,
                                &outcome),
              c.result);
    std::string reason = c.reason;
    if (const std::size_t at = reason.find("{local}"); at != std::string::npos)
        reason.replace(at, 7, path);
    EXPECT_EQ(outcome.reason, reason);
    EXPECT_EQ(outcome.filesSent, c.filesSent);
    EXPECT_EQ(outcome.filesFailed, c.filesFailed);
    EXPECT_EQ(outcome.bytesSent, c.filesSent == 1 ? 12u : 0u);
    EXPECT_NE(startedText(outcome.started), "");
    EXPECT_GE(outcome.seconds, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Book, UploadOutcomes,
    testing::Values(
        OutcomeCase{"Done", [](Fakes&, std::string&) {}, TransferResult::Done, "", 1, 0},
        OutcomeCase{"Silent", [](Fakes& f, std::string&) { f.prober.allSilent = true; },
                    TransferResult::NotFound, "no answer to the echo request within 1000 ms", 0,
                    0},
        OutcomeCase{"NoClient", [](Fakes& f, std::string&) { f.ftp.openFails = true; },
                    TransferResult::Failed, "no FTP client could be opened", 0, 0},
        OutcomeCase{"RefusedLogin", [](Fakes& f, std::string&) { f.ftp.connectFails = true; },
                    TransferResult::Failed, "cannot log in: 530 Login incorrect.", 0, 0},
        OutcomeCase{"NoDeviceRoot",
                    [](Fakes& f, std::string&) { f.ftp.directories = {"/RFA/Doc/"}; },
                    TransferResult::Failed,
                    "cannot enter /RFA/: 550 No such file or directory.", 0, 0},
        OutcomeCase{"RefusedPut",
                    [](Fakes& f, std::string&) { f.ftp.failingPuts = {"Addrbook.cpe"}; },
                    TransferResult::Failed,
                    "cannot put /RFA/Addrbook.cpe: 553 Could not create file.", 0, 1},
        OutcomeCase{"VanishedLocalFile",
                    [](Fakes&, std::string& path) { std::filesystem::remove(path); },
                    TransferResult::Failed, "local file {local} could not be read", 0, 1}),
    [](const auto& test) { return std::string(test.param.name); });

// A firmware upgrade counts what it deleted, sent and failed; a full one whose folder holds no
// file that PutList uploads deletes nothing and fails.
TEST(FirmwareOutcomes, CountDeletedSentAndFailedFiles)
{
    TempDir root;
    root.write("fw/SETUP.BIN", "0123456789");
    root.write("fw/bad.bin", "x");
    root.write("fw/README", "not listed");
    struct Case {
        const char* putList;
        std::set<std::string> failingPuts;
        TransferResult result;
        std::string reason;
        int sent;
        int failed;
        std::uint64_t bytes;
        int deleted = 1;  // OLD.BIN; NVRAM.TXT never
    };
    for (const Case& c :
         {Case{"Ext1=BIN\n", {}, TransferResult::Done, "", 2, 0, 11},
          Case{"Ext1=BIN\n", {"bad.bin"}, TransferResult::Failed,
               "cannot put /RFA/bad.bin: 553 Could not create file.", 1, 1, 10},
          Case{"Ext1=PDF\n", {}, TransferResult::Failed,
               std::string(NoPutListFileReason) + "; nothing was deleted", 0, 0, 0, 0}}) {
        Fakes fakes;
        fakes.ftp.failingPuts = c.failingPuts;
        fakes.ftp.listings["/RFA/"] = {"OLD.BIN", "NVRAM.TXT", "KEEP.CFG"};
        SettingsFile settings;
        settings.setPath(
            root.write("Orbiphon.ini", std::string("[RemoveFromRFA]\nExt1=BIN\nExt2=TXT\n")
                                           + "[PutList]\n" + c.putList));
        GatewayOutcome outcome;
        EXPECT_EQ(uploadFirmware(fakes.context, settings, root.file("fw"), true, "10.0.0.7", "ftp",
                                 "secret", {}, nullptr, &outcome),
                  c.result) << c.putList;
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.filesDeleted, c.deleted);
        EXPECT_EQ(outcome.filesSent, c.sent);
        EXPECT_EQ(outcome.filesFailed, c.failed);
        EXPECT_EQ(outcome.bytesSent, c.bytes);
    }
}

}  // namespace
