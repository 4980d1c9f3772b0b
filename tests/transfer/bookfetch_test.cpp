#include "transfer/bookfetch.h"

#include "support/fakeftp.h"
#include "support/ftpserverfixture.h"
#include "support/recordingprogress.h"
#include "support/tempdir.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/bookacceptance.h"
#include "transfer/bookhistory.h"
#include "transfer/curlftpclient.h"
#include "transfer/outcome.h"
#include "transfer/remotelisting.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <vector>

namespace {

// A whole book (255 slots) whose every byte tells it apart from another seed's.
std::string wholeBook(int seed)
{
    std::string bytes(13770, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed)) % 256);
    return bytes;
}

TEST(BookAcceptance, OnlyAWholeBookOfTheAnnouncedSizePasses)
{
    struct Case {
        std::size_t size;
        long long announced;
        bool accepted;
    };
    const Case cases[] = {
        {13770, -1, true},      {13770, 13770, true},
        {13770, 13771, false},  // the server said more: the copy was cut short
        {13716, -1, false},     // cut at a slot's end, nothing announced
        {13769, -1, false},     // a slot cut in two
        {13824, -1, false},     {0, -1, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.write("copy.cpe", std::string(c.size, 'x'));
        EXPECT_EQ(bookCopyProblem(path, c.announced).empty(), c.accepted)
            << c.size << " bytes, announced " << c.announced;
    }
    EXPECT_FALSE(bookCopyProblem(dir.path() + "/missing.cpe").empty());
}

// The back-up of one gateway over and over, the gateway's book changing between runs as the
// steps say: the history keeps one copy per change, names never reused, links never followed.
TEST(BookHistory, AChangedBookAddsACopyAnUnchangedOneAddsNothingAndKeepPrunesTheOldest)
{
    struct Step {
        const char* remote;  // the gateway's book: "A", "B", "short", "none"
        int keep;
        BookBackupResult result;
        std::size_t copies;  // kept afterwards
        const char* newest;  // the newest copy's book
    };
    const Step steps[] = {
        {"A", 0, BookBackupResult::BackedUp, 1, "A"},
        {"A", 0, BookBackupResult::Unchanged, 1, "A"},
        {"B", 0, BookBackupResult::BackedUp, 2, "B"},  // the same second: a "-2" name
        {"short", 0, BookBackupResult::Failed, 2, "B"},
        {"none", 0, BookBackupResult::NoBook, 2, "B"},
        {"A", 0, BookBackupResult::BackedUp, 3, "A"},
        {"A", 2, BookBackupResult::Unchanged, 2, "A"},
    };
    TempDir dir;
    const std::string folder = dir.path() + "/127.0.0.1";
    // A dangling link in the way of the first name: it must be neither followed nor replaced.
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    const std::string outside = dir.path() + "/outside.cpe";
    const std::string stamp = historyStamp(std::time(nullptr));
    ASSERT_EQ(::symlink(outside.c_str(), (folder + "/" + stamp + ".cpe").c_str()), 0);

    for (const Step& step : steps) {
        FakeFtp ftp;
        FakeProber prober;
        RecordingProgress progress;
        TransferContext context{prober, ftp, progress, FtpPort};
        const std::string remote = step.remote;
        if (remote == "A" || remote == "B")
            ftp.remoteFiles["Addrbook.cpe"] = wholeBook(remote == "A" ? 1 : 2);
        else if (remote == "short")
            ftp.remoteFiles["Addrbook.cpe"] = wholeBook(3).substr(0, 5000);
        GatewayOutcome outcome;
        const BookBackupResult result = backUpGatewayBook(
            context, "127.0.0.1", "admin", "pw", {dir.path(), step.keep}, outcome);
        EXPECT_EQ(result, step.result) << remote << ": " << outcome.reason;
        const std::vector<std::string> copies = historyCopies(folder);
        ASSERT_EQ(copies.size(), step.copies) << remote;
        EXPECT_EQ(readFileBytes(folder + "/" + copies.back()),
                  wholeBook(std::string(step.newest) == "A" ? 1 : 2));
        if (result == BookBackupResult::Unchanged) {
            EXPECT_EQ(outcome.reason, "unchanged since " + stampOfCopy(copies.back()));
        }
    }
    EXPECT_NE(::access(outside.c_str(), F_OK), 0) << "the link was followed";
    // Only the copies remain: no temporary was left behind in either folder.
    EXPECT_EQ(folderEntries(dir.path()), (std::set<std::string>{"127.0.0.1"}));
}

TEST(BookHistory, CopiesAreOrderedByStampThenByTheirNumberAndOtherFilesAreNoCopies)
{
    TempDir dir;
    for (const char* name : {"20261207T101010Z-10.cpe", "20261207T101010Z-9.cpe",
                             "20261207T101010Z.cpe", "20261206T235959Z.cpe", "notes.txt",
                             "20261207T101010Z-0.cpe", ".fetching-abc123", "2026120T101010Z.cpe"})
        dir.write(name, "x");
    EXPECT_EQ(historyCopies(dir.path()),
              (std::vector<std::string>{"20261206T235959Z.cpe", "20261207T101010Z.cpe",
                                        "20261207T101010Z-9.cpe", "20261207T101010Z-10.cpe"}));
    EXPECT_EQ(pruneHistory(dir.path(), 0), 3);  // never the newest
    EXPECT_EQ(historyCopies(dir.path()), (std::vector<std::string>{"20261207T101010Z-10.cpe"}));
}

TEST(BookHistory, AnAddressThatCouldClimbOutOfTheFolderOrALinkedFolderIsRefused)
{
    TempDir dir;
    TempDir elsewhere;
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), (dir.path() + "/10.0.0.9").c_str()), 0);
    for (const char* address : {"..", "../x", "a/b", "", "10.0.0.9"}) {
        std::string why;
        EXPECT_EQ(historyFolder(dir.path(), address, why), "") << address;
        EXPECT_FALSE(why.empty());
    }
}

// A gateway that streams far more than a book, slowly: the fetch ends at the first byte past a
// complete book instead of waiting for the rest.
TEST(BookHistory, AFileFarLargerThanABookEndsTheFetchEarly)
{
    FtpServerOptions options;
    options.retrieveRate = 200000;
    FtpServerFixture server(options);
    server.writeDeviceFile("/RFA/Addrbook.cpe", std::string(5'000'000, 'x'));
    TempDir dir;
    FakeProber prober;
    CurlFtpClientFactory ftp{shortFtpTimeouts()};
    RecordingProgress progress;
    TransferContext context{prober, ftp, progress, server.port()};
    GatewayOutcome outcome;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(backUpGatewayBook(context, server.address(), "ftp", "secret", {dir.path(), 0},
                                outcome),
              BookBackupResult::Failed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_NE(outcome.reason.find("larger than 13771 bytes"), std::string::npos) << outcome.reason;
    EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{});
}

// upgrade --only-changed over a real FTP server: only a book proven the same is skipped; every
// doubt sends it, and a back-up that can't be made fails the gateway with nothing sent.
TEST(OnlyChanged, EachDoubtSendsTheBook)
{
    struct Case {
        const char* name;
        const char* held;  // "same", "other", "none", "same-but-small"
        FtpServerOptions options;
        bool backup;
        bool badBackupFolder;
        TransferResult result;
        bool unchanged;
        std::size_t stores;
    };
    FtpServerOptions announcedMore;
    announcedMore.announceSizeDelta = 54;
    const Case cases[] = {
        {"the same book is not sent", "same", {}, false, false, TransferResult::Done, true, 0},
        {"the same book, its back-up kept", "same", {}, true, false, TransferResult::Done, true,
         0},
        {"another book is sent", "other", {}, false, false, TransferResult::Done, false, 1},
        {"no book: sent", "none", {}, false, false, TransferResult::Done, false, 1},
        {"a fetch that fails: sent", "same", {}, false, false, TransferResult::Done, false, 1},
        {"a size announced otherwise: sent", "same", announcedMore, false, false,
         TransferResult::Done, false, 1},
        {"no whole book, however equal: sent", "same-but-small", {}, false, false,
         TransferResult::Done, false, 1},
        {"a back-up that fails: nothing sent", "same", {}, true, true, TransferResult::Failed,
         false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir local;
        const bool small = std::string(c.held) == "same-but-small";
        const std::string book = local.write("book.cpe", small ? "tiny" : wholeBook(1));
        FtpServerFixture server(c.options);
        if (std::string(c.held) != "none")
            server.writeDeviceFile("/RFA/Addrbook.cpe",
                                   std::string(c.held) == "other" ? wholeBook(2)
                                                                  : readFileBytes(book));
        FakeProber prober;
        CurlFtpClientFactory ftp{shortFtpTimeouts()};
        RecordingProgress progress;
        TransferContext context{prober, ftp, progress, server.port()};
        TransferSafety safety;
        safety.onlyChanged = true;
        if (c.backup)
            safety.backupFolder = c.badBackupFolder ? local.path() + "/missing" : local.path();
        // The fetch goes to the temporary folder; one that is not there makes it fail.
        const bool fetchFails = std::string(c.name) == "a fetch that fails: sent";
        ::setenv("TMPDIR", fetchFails ? "/nonexistent-orbiphon" : local.path().c_str(), 1);
        GatewayOutcome outcome;
        EXPECT_EQ(uploadAddressBook(context, book, server.address(), "ftp", "secret", safety,
                                    nullptr, &outcome),
                  c.result);
        ::unsetenv("TMPDIR");
        EXPECT_EQ(outcome.unchanged, c.unchanged) << outcome.reason;
        const std::vector<std::string> verbs = server.verbs();
        EXPECT_EQ(static_cast<std::size_t>(std::count(verbs.begin(), verbs.end(), "STOR")),
                  c.stores);
        if (c.unchanged) {
            EXPECT_EQ(outcome.reason, "unchanged: already holds this book");
        }
    }
}

TEST(RemoteListing, ListingLinesOfEachFormYieldNamesSizesAndFolders)
{
    struct Case {
        const char* text;
        bool mlsd;
        std::vector<std::string> expected;  // "name size" or "name/"
    };
    const Case cases[] = {
        {"type=cdir; .\r\ntype=file;size=13770;modify=20261207101500; Addrbook.cpe\r\n"
         "type=dir;modify=20261207101500; Doc\r\nType=File;Size=5; with space.bin\r\n",
         true, {"Addrbook.cpe 13770", "Doc/", "with space.bin 5"}},
        {"total 3\r\n-rw-r--r-- 1 owner group 13770 Dec 07 10:15 Addrbook.cpe\r\n"
         "drwxr-xr-x 2 owner group 4096 Dec 07 10:15 Doc\r\n"
         "lrwxrwxrwx 1 owner group 9 Dec 07 10:15 link -> /etc\r\n"
         "-rw-r--r-- 1 owner group 7 2025 two words.txt\r\ngarbage\r\n",
         false, {"Addrbook.cpe 13770", "Doc/"}},
        {"12-07-26  10:15AM       <DIR>          Images\r\n"
         "12-07-26  10:15AM                13770 Addrbook.cpe\r\n",
         false, {"Images/", "Addrbook.cpe 13770"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const ListingEntry& entry : c.mlsd ? parseMlsdListing(c.text) : parseListLines(c.text))
            got.push_back(entry.directory ? entry.name + "/"
                                          : entry.name + " " + std::to_string(entry.size));
        EXPECT_EQ(got, c.expected) << c.text;
    }
}

// A connection whose server answers each kind of listing as scripted, per folder.
class ScriptedListings final : public FtpConnection {
public:
    bool changeDirectory(const std::string& directory) override
    {
        m_current = directory;
        return names.contains(directory);
    }
    bool putFile(const std::string&, const std::string&) override { return false; }
    bool getFile(const std::string&, const std::string&) override { return false; }
    bool deleteFile(const std::string&) override { return false; }
    std::optional<std::vector<std::string>> listDirectory() override { return names[m_current]; }
    std::optional<std::string> listingText(Listing kind, const std::string& directory) override
    {
        asked.push_back((kind == Listing::Mlsd ? "MLSD " : "LIST ") + directory);
        const auto& texts = kind == Listing::Mlsd ? mlsd : list;
        if (!texts.contains(directory)) {
            m_reply = "500 Unknown command.";
            return std::nullopt;
        }
        return texts.at(directory);
    }
    // A folder has no size, as a real server answers 550 to SIZE of one.
    RemoteSize remoteSize(const std::string& name) override
    {
        if (names.contains(m_current + name + "/"))
            return {RemoteSize::Kind::Refused};
        return {RemoteSize::Kind::Known, 1};
    }
    std::string lastReply() const override { return m_reply; }

    std::map<std::string, std::string> mlsd;
    std::map<std::string, std::string> list;
    std::map<std::string, std::vector<std::string>> names;
    std::vector<std::string> asked;

private:
    std::string m_current;
    std::string m_reply;
};

// The first kind the server takes is kept for every folder; a LIST of no known form gives way
// to the names.
TEST(RemoteListing, TheFirstListingTheServerTakesServesEveryFolder)
{
    struct Case {
        const char* name;
        bool mlsd;
        bool unixList;
        const char* method;
        std::vector<std::string> asked;
    };
    const Case cases[] = {
        {"MLSD", true, true, "MLSD", {"MLSD /RFA/", "MLSD /RFA/Doc/"}},
        {"MLSD refused: LIST", false, true, "LIST", {"MLSD /RFA/", "LIST /RFA/", "LIST /RFA/Doc/"}},
        {"LIST of no known form: names", false, false, "NLST", {"MLSD /RFA/", "LIST /RFA/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedListings connection;
        connection.names = {{"/RFA/", {"A.BIN", "Doc"}}, {"/RFA/Doc/", {"B.DAT"}}};
        if (c.mlsd)
            connection.mlsd = {{"/RFA/", "type=file;size=1; A.BIN\r\ntype=dir; Doc\r\n"},
                               {"/RFA/Doc/", "type=file;size=1; B.DAT\r\n"}};
        connection.list = {
            {"/RFA/", c.unixList ? "-rw-r--r-- 1 o g 1 Dec 07 10:15 A.BIN\r\n"
                                   "drwxr-xr-x 2 o g 0 Dec 07 10:15 Doc\r\n"
                                 : "A.BIN\r\nDoc\r\n"},
            {"/RFA/Doc/", c.unixList ? "-rw-r--r-- 1 o g 1 Dec 07 10:15 B.DAT\r\n" : "B.DAT\r\n"}};
        const RemoteTree tree = listRemoteTree(connection, "/RFA/");
        EXPECT_TRUE(tree.complete) << tree.reason;
        EXPECT_EQ(tree.method, c.method);
        EXPECT_EQ(connection.asked, c.asked);
        std::vector<std::string> files;
        for (const RemoteFile& file : tree.files)
            files.push_back(file.path + " " + std::to_string(file.size));
        EXPECT_EQ(files, (std::vector<std::string>{"/RFA/A.BIN 1", "/RFA/Doc/B.DAT 1"}));
    }
}

// A server that knows neither MLSD nor LIST: names, a SIZE each, and a CWD into each name
// without one to tell a folder.
TEST(RemoteListing, WithoutMlsdOrListNamesAndSizesStillGiveTheWholeTree)
{
    FakeFtp ftp;
    ftp.directories = {"/RFA/", "/RFA/Doc/"};
    ftp.listings = {{"/RFA/", {"Addrbook.cpe", "Doc", ".."}}, {"/RFA/Doc/", {"A.DAT"}}};
    ftp.sizes = {{"Addrbook.cpe", {RemoteSize::Kind::Known, 13770}},
                 {"A.DAT", {RemoteSize::Kind::Known, 5}}};
    const std::unique_ptr<FtpClient> client = ftp.open("Inventory");
    const std::unique_ptr<FtpConnection> connection = client->connect({"127.0.0.1", FtpPort, "admin", "pw"});
    const RemoteTree tree = listRemoteTree(*connection, "/RFA/");
    EXPECT_TRUE(tree.complete) << tree.reason;
    EXPECT_EQ(tree.method, "NLST");
    std::vector<std::string> files;
    for (const RemoteFile& file : tree.files)
        files.push_back(file.path + " " + std::to_string(file.size));
    EXPECT_EQ(files, (std::vector<std::string>{"/RFA/Addrbook.cpe 13770", "/RFA/Doc/A.DAT 5"}));
}

}  // namespace
