#include "transfer/firmwareupload.h"

#include "base/settingsfile.h"
#include "support/fakeftp.h"
#include "support/ftpserverfixture.h"
#include "support/recordingprogress.h"
#include "support/tempdir.h"
#include "transfer/curlftpclient.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Log = std::vector<std::string>;
using Names = std::vector<std::string>;

SettingsFile settingsAt(const TempDir& dir, const std::string& ini)
{
    SettingsFile settings;
    settings.setPath(dir.write("Orbiphon.ini", ini));
    return settings;
}

std::size_t countOf(const Log& log, const std::string& item)
{
    return static_cast<std::size_t>(std::count(log.begin(), log.end(), item));
}

// --- extension lists ----------------------------------------------------------------------

struct ListCase {
    const char* name;
    std::string ini;
    ExtensionList expected;
};

void PrintTo(const ListCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string manyKeys(int count)
{
    std::string ini = "[PutList]\n";
    for (int i = 1; i <= count; ++i)
        ini += "Ext" + std::to_string(i) + "=E" + std::to_string(i) + "\n";
    return ini;
}

ExtensionList manyExtensions(int count)
{
    ExtensionList list;
    for (int i = 1; i <= count; ++i)
        list.push_back("E" + std::to_string(i));
    return list;
}

class ExtensionLists : public testing::TestWithParam<ListCase> {};

TEST_P(ExtensionLists, AreTheUnbrokenRunFromExt1)
{
    TempDir dir;
    const SettingsFile settings = settingsAt(dir, GetParam().ini);
    EXPECT_EQ(readExtensionList(settings, "PutList"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ExtensionLists,
    testing::Values(
        ListCase{"inKeyOrder", "[PutList]\nExt2=PDF\nExt1=BIN\nExt3=TXT\n", {"BIN", "PDF", "TXT"}},
        ListCase{"stopsAtTheFirstGap", "[PutList]\nExt1=BIN\nExt2=PDF\nExt4=TXT\n", {"BIN", "PDF"}},
        ListCase{"noExt1MeansEmpty", "[PutList]\nExt2=PDF\nExt3=TXT\n", {}},
        ListCase{"emptyExt1MeansEmpty", "[PutList]\nExt1=\nExt2=PDF\n", {}},
        ListCase{"valuesAsTheReaderGivesThem",
                 "[putlist]\r\next1 = \"bin\"\r\nEXT2=Tx T\r\n", {"bin", "Tx T"}},
        ListCase{"otherSectionsDontCount", "[RemoveFromRFA]\nExt1=BIN\n", {}},
        ListCase{"atMost128", manyKeys(130), manyExtensions(128)},
        ListCase{"exactly128", manyKeys(128), manyExtensions(128)}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ExtensionListsFile, MissingSettingsFileGivesEmptyLists)
{
    SettingsFile settings;
    settings.setPath("/nonexistent/Orbiphon.ini");
    EXPECT_EQ(readExtensionList(settings, "PutList"), ExtensionList{});
}

struct ListedCase {
    const char* name;
    std::string fileName;
    ExtensionList list;
    bool listed;
};

void PrintTo(const ListedCase& c, std::ostream* out)
{
    *out << c.name;
}

class ListedFiles : public testing::TestWithParam<ListedCase> {};

TEST_P(ListedFiles, MatchTheUpperCasedExtensionExactly)
{
    EXPECT_EQ(isListedFile(GetParam().fileName, GetParam().list), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ListedFiles,
    testing::Values(ListedCase{"lowerCaseName", "setup.bin", {"BIN"}, true},
                    ListedCase{"upperCaseName", "SETUP.BIN", {"BIN"}, true},
                    ListedCase{"lowerCaseEntryMatchesNothing", "setup.bin", {"bin"}, false},
                    ListedCase{"mixedCaseEntryMatchesNothing", "SETUP.BIN", {"Bin"}, false},
                    ListedCase{"lastDotCounts", "fw.tar.gz", {"TAR.GZ"}, false},
                    ListedCase{"lastDotCountsToo", "fw.tar.gz", {"GZ"}, true},
                    ListedCase{"noDotIsItsOwnExtension", "readme", {"README"}, true},
                    ListedCase{"noDotPartialName", "readme", {"ME"}, false},
                    ListedCase{"trailingDot", "file.", {"FILE"}, false},
                    ListedCase{"protectedFile", "NVRAM.TXT", {"TXT"}, false},
                    ListedCase{"protectedFileAnyCase", "nvram.txt", {"TXT", "NVRAM.TXT"}, false},
                    ListedCase{"protectionIsByWholeName", "nvram.txt.bak", {"BAK"}, true},
                    ListedCase{"emptyList", "setup.bin", {}, false}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// --- local folders ------------------------------------------------------------------------

TEST(LocalTree, CountFilesCountsEveryFileOfTheTreeListedOrNot)
{
    TempDir root;
    root.write("a.bin", "a");
    root.write("NVRAM.TXT", "n");
    root.write("Doc/manual.pdf", "m");
    root.write("Images/x/y/deep.bmp", "d");
    root.write("Images/x/README", "r");
    fs::create_directories(root.file("empty/inner"));
    EXPECT_EQ(countFiles(root.path()), 5u);
    EXPECT_EQ(countFiles(root.file("Images")), 2u);
    EXPECT_EQ(countFiles(root.file("empty")), 0u);
    EXPECT_EQ(countFiles(root.file("missing")), 0u);
    EXPECT_EQ(countFiles(root.file("a.bin")), 0u) << "a file is not a folder";
}

TEST(LocalTree, SymbolicLinksAreFollowedButACycleIsWalkedOnce)
{
    TempDir root;
    root.write("a.bin", "a");
    root.write("Doc/b.pdf", "b");
    root.write("outside/c.bmp", "c");
    fs::create_directory_symlink("..", root.file("Doc/back"));
    fs::create_directory_symlink(root.path(), root.file("Doc/self"));
    fs::create_directory_symlink(root.file("outside"), root.file("Images"));
    fs::create_symlink(root.file("a.bin"), root.file("alias.bin"));
    // a.bin, alias.bin, Doc/b.pdf, outside/c.bmp and Images/c.bmp.
    EXPECT_EQ(countFiles(root.path()), 5u);
}

TEST(LocalTree, DeviceFoldersAreFolderNamesDirectlyInTheRootInAnyCase)
{
    TempDir root;
    fs::create_directories(root.file("doc"));
    fs::create_directories(root.file("Images"));
    root.write("USER", "a file, not a folder");
    root.write("x/User/deep.wav", "w");
    const DeviceFolders found = findDeviceFolders(root.path());
    EXPECT_TRUE(found.doc);
    EXPECT_TRUE(found.images);
    EXPECT_FALSE(found.user);

    TempDir other;
    fs::create_directories(other.file("Documents"));
    fs::create_directory_symlink(other.file("Documents"), other.file("uSeR"));
    const DeviceFolders linked = findDeviceFolders(other.path());
    EXPECT_FALSE(linked.doc);
    EXPECT_FALSE(linked.images);
    EXPECT_TRUE(linked.user);
    const DeviceFolders none = findDeviceFolders(other.file("missing"));
    EXPECT_FALSE(none.doc || none.images || none.user);
}

// --- removal pass, over a fake ------------------------------------------------------------

// A name that carries a path is never sent: the dry run, which shares the rule, never shows it.
TEST(RemovalPass, DeletesListedNamesFromTheListingInItsOrder)
{
    FakeFtp ftp;
    ftp.listings["/RFA/"] = {"SETUP.BIN",
                             "-rw-r--r--   1 owner group   5120 Jan 01 10:00 OLD.BIN   ",
                             "drwxr-xr-x   2 owner group      0 Jan 01 10:00 Doc",
                             "Images",
                             "nvram.txt",
                             "readme.txt",
                             "notes.cfg",
                             "lower.bin",
                             "my file.bin",
                             "../../etc/passwd.BIN",
                             "/RFA/NVRAM.BIN"};
    ftp.failingDeletes = {"OLD.BIN"};
    {
        const auto client = ftp.open("Upgrade");
        const auto connection = client->connect({"10.0.0.7", 21, "ftp", "secret"});
        removeListedFiles(*connection, "/RFA/", {"BIN", "TXT", "cfg"});
    }
    EXPECT_EQ(ftp.log(), (Log{"open(Upgrade)", "connect(10.0.0.7:21,ftp,secret)", "cd(/RFA/)",
                              "list", "delete(SETUP.BIN)", "delete(OLD.BIN)",
                              "delete(readme.txt)", "delete(lower.bin)", "delete(file.bin)",
                              "close", "closeClient"}));
}

TEST(RemovalPass, DeletesNothingWhenTheDirectoryOrItsListingFails)
{
    FakeFtp ftp;
    ftp.directories = {"/RFA/"};
    ftp.listings["/RFA/"] = {"SETUP.BIN"};
    {
        const auto client = ftp.open("Upgrade");
        const auto connection = client->connect({"10.0.0.7", 21, "ftp", "secret"});
        removeListedFiles(*connection, "/RFA/Doc/", {"BIN"});
        ftp.listFails = true;
        removeListedFiles(*connection, "/RFA/", {"BIN"});
    }
    EXPECT_EQ(countOf(ftp.log(), "cd(/RFA/Doc/)"), 1u);
    EXPECT_EQ(countOf(ftp.log(), "list"), 1u) << "no listing after a failed directory change";
    EXPECT_EQ(countOf(ftp.log(), "delete(SETUP.BIN)"), 0u);
}

// --- upload walk, over a fake -------------------------------------------------------------

// The log of one walk cut into one group per file: each starts with its directory change.
std::map<std::string, Log> groupsByFile(const Log& log)
{
    std::map<std::string, Log> groups;
    Log current;
    auto flush = [&] {
        if (current.empty())
            return;
        std::string key = current.size() > 1 ? current[1] : current[0];
        groups[key] = current;
        current.clear();
    };
    for (const std::string& entry : log) {
        if (entry == "close" || entry == "closeClient")
            continue;
        if (entry.rfind("cd(", 0) == 0)
            flush();
        if (!current.empty() || entry.rfind("cd(", 0) == 0)
            current.push_back(entry);
    }
    flush();
    return groups;
}

Log uploadedGroup(const std::string& directory, const std::string& name, bool put)
{
    Log group{"cd(" + directory + ")", "setLine1(FTP : " + directory + name + ")",
              "stepIt(upper)", "refresh"};
    if (put)
        group.push_back("put(" + name + ")");
    return group;
}

class UploadWalk : public testing::Test {
protected:
    Log m_log;
    FakeFtp m_ftp{m_log};
    RecordingProgress m_progress{m_log};
    TempDir m_root;
    TempDir m_config;

    bool walk(const std::string& putList)
    {
        const SettingsFile settings = settingsAt(m_config, "[PutList]\n" + putList);
        const auto client = m_ftp.open("Upgrade");
        const auto connection = client->connect({"10.0.0.7", 21, "ftp", "secret"});
        m_log.clear();
        m_progress.setRange(ProgressBar::Upper, 100);
        m_progress.setStep(ProgressBar::Upper, 1);
        m_log.clear();
        return uploadTree(*connection, settings, m_root.path(), m_root.path(), m_progress);
    }
};

TEST_F(UploadWalk, EachReachableFileStepsTheBarAndOnlyListedOnesGoUp)
{
    m_root.write("app.bin", "a");
    m_root.write("NVRAM.TXT", "n");
    m_root.write("notes.txt", "t");
    m_root.write("local.cfg", "c");
    m_root.write("IMAGES/logo.bmp", "l");
    m_root.write("Doc/en/manual.pdf", "m");
    m_root.write("README", "r");
    EXPECT_TRUE(walk("Ext1=BIN\nExt2=TXT\nExt3=PDF\nExt4=BMP\nExt5=cfg\nExt6=README\n"));

    const std::map<std::string, Log> groups = groupsByFile(m_log);
    const std::map<std::string, Log> expected{
        {"setLine1(FTP : /RFA/app.bin)", uploadedGroup("/RFA/", "app.bin", true)},
        {"setLine1(FTP : /RFA/NVRAM.TXT)", uploadedGroup("/RFA/", "NVRAM.TXT", false)},
        {"setLine1(FTP : /RFA/notes.txt)", uploadedGroup("/RFA/", "notes.txt", true)},
        {"setLine1(FTP : /RFA/local.cfg)", uploadedGroup("/RFA/", "local.cfg", false)},
        {"setLine1(FTP : /RFA/README)", uploadedGroup("/RFA/", "README", true)},
        {"setLine1(FTP : /RFA/IMAGES/logo.bmp)", uploadedGroup("/RFA/IMAGES/", "logo.bmp", true)},
        {"setLine1(FTP : /RFA/Doc/en/manual.pdf)",
         uploadedGroup("/RFA/Doc/en/", "manual.pdf", true)}};
    EXPECT_EQ(groups, expected);
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).position(), 7);
    EXPECT_EQ(m_ftp.uploaded["/RFA/Doc/en/manual.pdf"], "m");
}

TEST_F(UploadWalk, ASubFolderIsWalkedAtOnceBetweenTheFilesOfItsParent)
{
    m_root.write("Doc/a.pdf", "a");
    m_root.write("Doc/b.pdf", "b");
    m_root.write("Doc/c.pdf", "c");
    m_root.write("Doc/inner/x.pdf", "x");
    m_root.write("Doc/inner/y.pdf", "y");
    EXPECT_TRUE(walk("Ext1=PDF\n"));
    Log directories;
    for (const std::string& entry : m_log) {
        if (entry.rfind("cd(", 0) == 0 && (directories.empty() || directories.back() != entry))
            directories.push_back(entry);
    }
    // However the file system orders them, the inner folder's files come as one run.
    EXPECT_EQ(countOf(directories, "cd(/RFA/Doc/inner/)"), 1u);
}

TEST_F(UploadWalk, AMissingDeviceDirectorySkipsItsFilesAndFailsTheWalk)
{
    m_ftp.directories = {"/RFA/", "/RFA/Doc/"};
    m_root.write("app.bin", "a");
    m_root.write("USER/greeting.wav", "g");
    m_root.write("Doc/manual.pdf", "m");
    EXPECT_FALSE(walk("Ext1=BIN\nExt2=WAV\nExt3=PDF\n"));
    const std::map<std::string, Log> groups = groupsByFile(m_log);
    EXPECT_EQ(groups.at("cd(/RFA/USER/)"), Log{"cd(/RFA/USER/)"});
    EXPECT_EQ(groups.at("setLine1(FTP : /RFA/app.bin)"), uploadedGroup("/RFA/", "app.bin", true));
    EXPECT_EQ(groups.at("setLine1(FTP : /RFA/Doc/manual.pdf)"),
              uploadedGroup("/RFA/Doc/", "manual.pdf", true));
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).position(), 2) << "the skipped file takes no step";
}

TEST_F(UploadWalk, AFailedPutFailsTheWalkWhichGoesOn)
{
    m_ftp.failingPuts = {"bad.bin"};
    m_root.write("bad.bin", "x");
    m_root.write("good.bin", "y");
    EXPECT_FALSE(walk("Ext1=BIN\n"));
    EXPECT_EQ(m_ftp.uploaded.count("/RFA/good.bin"), 1u);
}

TEST_F(UploadWalk, AnEmptyPutListUploadsNothingButStepsEveryFile)
{
    m_root.write("a.bin", "a");
    m_root.write("Doc/b.pdf", "b");
    EXPECT_TRUE(walk(""));
    EXPECT_TRUE(m_ftp.uploaded.empty());
    EXPECT_EQ(countOf(m_log, "stepIt(upper)"), 2u);
}

TEST_F(UploadWalk, ASymbolicLinkCycleIsNotWalkedForEver)
{
    m_root.write("a.bin", "a");
    m_root.write("Doc/b.bin", "b");
    fs::create_directory_symlink("..", m_root.file("Doc/loop"));
    EXPECT_TRUE(walk("Ext1=BIN\n"));
    EXPECT_EQ(countOf(m_log, "stepIt(upper)"), countFiles(m_root.path()));
    EXPECT_EQ(countOf(m_log, "put(a.bin)"), 1u);
}

// --- the whole upgrade, over fakes --------------------------------------------------------

const char* const FullIni = "[RemoveFromRFA]\nExt1=BIN\n"
                            "[RemoveFromDoc]\nExt1=PDF\n"
                            "[RemoveFromImages]\nExt1=BMP\n"
                            "[RemoveFromUser]\nExt1=WAV\n"
                            "[PutList]\nExt1=BIN\nExt2=BMP\n";

class FirmwareOrder : public testing::Test {
protected:
    Log m_log;
    FakeProber m_prober{m_log};
    FakeFtp m_ftp{m_log};
    RecordingProgress m_progress{m_log};
    TransferContext m_context{m_prober, m_ftp, m_progress};
    TempDir m_root;
    TempDir m_config;

    TransferResult upgrade(bool full)
    {
        const SettingsFile settings = settingsAt(m_config, FullIni);
        return uploadFirmware(m_context, settings, m_root.path(), full, "10.0.0.7", "ftp",
                              "secret");
    }
};

TEST_F(FirmwareOrder, FullUpgradeCleansTheDeviceFoldersThenWalksTheTree)
{
    m_root.write("images/logo.bmp", "l");
    m_root.write("DOC/manual.pdf", "m");
    m_ftp.listings["/RFA/"] = {"old.bin"};
    m_ftp.listings["/RFA/Doc/"] = {"old.pdf"};
    m_ftp.listings["/RFA/Images/"] = {"old.bmp"};
    EXPECT_EQ(upgrade(true), TransferResult::Done);
    ASSERT_GE(m_log.size(), 16u);
    EXPECT_EQ(Log(m_log.begin(), m_log.begin() + 16),
              (Log{"probe(10.0.0.7,1000)", "open(Upgrade)", "connect(10.0.0.7:21,ftp,secret)",
                   "cd(/RFA/DOC/)", "cd(/RFA/images/)",
                   "cd(/RFA/)", "list", "delete(old.bin)", "cd(/RFA/Doc/)", "list",
                   "delete(old.pdf)", "cd(/RFA/Images/)", "list", "delete(old.bmp)",
                   "setRange(upper,2)", "setStep(upper,1)"}));
    EXPECT_EQ(countOf(m_log, "cd(/RFA/User/)"), 0u) << "no USER folder, no User pass";
    EXPECT_EQ(Log(m_log.end() - 2, m_log.end()), (Log{"close", "closeClient"}));
    EXPECT_EQ(countOf(m_log, "stepIt(upper)"), 2u);
    EXPECT_EQ(countOf(m_log, "setLine1(FTP : /RFA/images/logo.bmp)"), 1u);
}

TEST_F(FirmwareOrder, CodeUpgradeNeverListsOrDeletes)
{
    m_root.write("app.bin", "a");
    m_root.write("USER/x.wav", "x");
    m_ftp.listings["/RFA/"] = {"old.bin"};
    EXPECT_EQ(upgrade(false), TransferResult::Done);
    EXPECT_EQ(Log(m_log.begin(), m_log.begin() + 5),
              (Log{"probe(10.0.0.7,1000)", "open(Upgrade)", "connect(10.0.0.7:21,ftp,secret)",
                   "setRange(upper,2)", "setStep(upper,1)"}));
    EXPECT_EQ(countOf(m_log, "list"), 0u);
    for (const std::string& entry : m_log)
        EXPECT_NE(entry.rfind("delete(", 0), 0u) << entry;
}

TEST_F(FirmwareOrder, FailuresBeforeTheWalk)
{
    m_root.write("app.bin", "a");
    m_prober.silent.insert("10.0.0.7");
    EXPECT_EQ(upgrade(true), TransferResult::NotFound);
    EXPECT_EQ(m_log, Log{"probe(10.0.0.7,1000)"});

    m_log.clear();
    m_prober.silent.clear();
    m_ftp.connectFails = true;
    EXPECT_EQ(upgrade(true), TransferResult::Failed);
    EXPECT_EQ(m_log, (Log{"probe(10.0.0.7,1000)", "open(Upgrade)",
                          "connect(10.0.0.7:21,ftp,secret)", "closeClient"}));

    m_log.clear();
    m_ftp.openFails = true;
    EXPECT_EQ(upgrade(true), TransferResult::Failed);
    EXPECT_EQ(m_log, (Log{"probe(10.0.0.7,1000)", "open(Upgrade)"}));
}

TEST_F(FirmwareOrder, MoreThan65535FilesSetTheBarToTheCountsLow16Bits)
{
    // 256 links to one folder of 257 files: 65,792 files to walk, 256 after the cut.
    const std::string shared = m_config.file("shared");
    fs::create_directories(shared);
    for (int i = 0; i < 257; ++i)
        std::ofstream(shared + "/" + std::to_string(i));
    for (int i = 0; i < 256; ++i)
        fs::create_directory_symlink(shared, m_root.file("F" + std::to_string(i)));
    EXPECT_EQ(upgrade(false), TransferResult::Done);
    EXPECT_EQ(countOf(m_log, "setRange(upper,256)"), 1u);
    EXPECT_EQ(countOf(m_log, "stepIt(upper)"), 65792u);
}

// --- against a real FTP server ------------------------------------------------------------

const char* const DeviceIni = "; what a full upgrade removes, and what both kinds put\r\n"
                              "[RemoveFromRFA]\r\n"
                              "Ext1 = BIN\r\n"
                              "Ext2 = TXT\r\n"
                              "Ext3 = cfg\r\n"
                              "\r\n"
                              "[RemoveFromDoc]\r\n"
                              "Ext1=PDF\r\n"
                              "[RemoveFromImages]\r\n"
                              "Ext1=BMP\r\n"
                              "[RemoveFromUser]\r\n"
                              "Ext1=WAV\r\n"
                              "[PutList]\r\n"
                              "Ext1=BIN\r\n"
                              "Ext2=PDF\r\n"
                              "Ext3=BMP\r\n"
                              "Ext4=TXT\r\n"
                              "Ext5=WAV\r\n"
                              "Ext6=cfg\r\n";

class FirmwareOverFtp : public testing::Test {
protected:
    void SetUp() override
    {
        start({});
        m_settings.setPath(m_config.write("Orbiphon.ini", DeviceIni));
    }

    void start(FtpServerOptions options)
    {
        m_server.reset();
        m_server = std::make_unique<FtpServerFixture>(std::move(options));
        m_context.ftpPort = m_server->port();
        for (const char* file : {"/RFA/OLD.BIN", "/RFA/lower.bin", "/RFA/NVRAM.TXT",
                                 "/RFA/notes.txt", "/RFA/setup.cfg", "/RFA/Addrbook.cpe",
                                 "/RFA/Doc/old.pdf", "/RFA/Doc/keep.txt", "/RFA/Images/old.bmp",
                                 "/RFA/User/old.wav"})
            m_server->writeDeviceFile(file, "device");
    }

    void writeFirmware()
    {
        m_root.write("app.bin", "new app");
        m_root.write("NVRAM.TXT", "local nvram");
        m_root.write("readme.txt", "read me");
        m_root.write("local.cfg", "cfg");
        m_root.write("Doc/manual.pdf", "manual");
        m_root.write("Images/logo.bmp", "logo");
    }

    TransferResult upgrade(bool full, const std::string& password = "secret")
    {
        return uploadFirmware(m_context, m_settings, m_root.path(), full, server().address(),
                              "ftp", password);
    }

    FtpServerFixture& server() { return *m_server; }

    Log deletions() const
    {
        Log deleted;
        for (const std::string& command : m_server->commands()) {
            if (command.rfind("DELE ", 0) == 0)
                deleted.push_back(command.substr(5));
        }
        std::sort(deleted.begin(), deleted.end());
        return deleted;
    }

    TempDir m_root;
    TempDir m_config;
    SettingsFile m_settings;
    FakeProber m_prober;
    CurlFtpClientFactory m_ftp{shortFtpTimeouts()};
    RecordingProgress m_progress;
    TransferContext m_context{m_prober, m_ftp, m_progress};
    std::unique_ptr<FtpServerFixture> m_server;
};

TEST_F(FirmwareOverFtp, FullUpgradeCleansEachDeviceFolderAndPutsTheListedFiles)
{
    writeFirmware();
    EXPECT_EQ(upgrade(true), TransferResult::Done);
    // Upper-cased device names meet the upper-case entries; "cfg" matches nothing; NVRAM.TXT and
    // the Doc folder stay; /RFA/User/ is not cleaned because the firmware has no USER folder.
    EXPECT_EQ(deletions(), (Log{"OLD.BIN", "lower.bin", "notes.txt", "old.bmp", "old.pdf"}));
    EXPECT_EQ(server().deviceEntries("/RFA"),
              (Names{"Addrbook.cpe", "Doc", "Images", "NVRAM.TXT", "User", "app.bin", "readme.txt",
                     "setup.cfg"}));
    EXPECT_EQ(server().readDeviceFile("/RFA/NVRAM.TXT"), "device") << "never replaced";
    EXPECT_EQ(server().readDeviceFile("/RFA/app.bin"), "new app");
    EXPECT_EQ(server().deviceEntries("/RFA/Doc"), (Names{"keep.txt", "manual.pdf"}));
    EXPECT_EQ(server().deviceEntries("/RFA/Images"), Names{"logo.bmp"});
    EXPECT_EQ(server().deviceEntries("/RFA/User"), Names{"old.wav"});
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).maximum(), 6);
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).position(), 6);
}

TEST_F(FirmwareOverFtp, CodeUpgradeDeletesNothing)
{
    writeFirmware();
    EXPECT_EQ(upgrade(false), TransferResult::Done);
    EXPECT_EQ(deletions(), Log{});
    EXPECT_TRUE(server().deviceFileExists("/RFA/OLD.BIN"));
    EXPECT_TRUE(server().deviceFileExists("/RFA/Doc/old.pdf"));
    EXPECT_EQ(server().readDeviceFile("/RFA/Images/logo.bmp"), "logo");
    EXPECT_EQ(server().readDeviceFile("/RFA/NVRAM.TXT"), "device");
}

TEST_F(FirmwareOverFtp, AMissingDeviceFolderFailsTheUpgradeWhileTheOtherFilesStillGoUp)
{
    writeFirmware();
    m_root.write("User/greeting.wav", "hello");
    fs::remove_all(server().devicePath("/RFA/User"));
    EXPECT_EQ(upgrade(true), TransferResult::Failed);
    EXPECT_EQ(server().readDeviceFile("/RFA/app.bin"), "new app");
    EXPECT_EQ(server().readDeviceFile("/RFA/Doc/manual.pdf"), "manual");
    EXPECT_EQ(server().readDeviceFile("/RFA/Images/logo.bmp"), "logo");
    EXPECT_EQ(deletions(), (Log{"OLD.BIN", "lower.bin", "notes.txt", "old.bmp", "old.pdf"}));
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).maximum(), 7);
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).position(), 6);
}

TEST_F(FirmwareOverFtp, LowerCaseImagesCleansImagesAndUploadsToItsOwnName)
{
    m_root.write("images/logo.bmp", "logo");
    server().makeDeviceDirectory("/RFA/images");
    EXPECT_EQ(upgrade(true), TransferResult::Done);
    EXPECT_FALSE(server().deviceFileExists("/RFA/Images/old.bmp"));
    EXPECT_EQ(server().readDeviceFile("/RFA/images/logo.bmp"), "logo");
}

TEST_F(FirmwareOverFtp, AServerSendingWholeListingLinesStillHasItsFilesRemoved)
{
    FtpServerOptions options;
    options.longNameList = true;
    start(options);
    server().writeDeviceFile("/RFA/SETUP.BIN", "old setup");
    m_root.write("app.bin", "new app");
    EXPECT_EQ(upgrade(true), TransferResult::Done);
    EXPECT_EQ(deletions(), (Log{"OLD.BIN", "SETUP.BIN", "lower.bin", "notes.txt"}));
    EXPECT_TRUE(server().deviceFileExists("/RFA/NVRAM.TXT"));
    EXPECT_EQ(server().deviceEntries("/RFA"),
              (Names{"Addrbook.cpe", "Doc", "Images", "NVRAM.TXT", "User", "app.bin",
                     "setup.cfg"}));
}

TEST_F(FirmwareOverFtp, AWrongPasswordChangesNothing)
{
    writeFirmware();
    EXPECT_EQ(upgrade(true, "wrong"), TransferResult::Failed);
    EXPECT_EQ(deletions(), Log{});
    EXPECT_FALSE(server().deviceFileExists("/RFA/app.bin"));
    EXPECT_EQ(m_progress.calls(), Log{}) << "the bar is not set up without a connection";
}

TEST_F(FirmwareOverFtp, ASilentGatewayGetsNoFtpTraffic)
{
    writeFirmware();
    m_prober.silent.insert(server().address());
    EXPECT_EQ(upgrade(true), TransferResult::NotFound);
    EXPECT_EQ(server().commands(), Log{});
}

TEST_F(FirmwareOverFtp, AConnectionDroppedInTheMiddleOfAPutFailsTheUpgrade)
{
    FtpServerOptions options;
    options.dropStoreAfter = 64 * 1024;
    start(options);
    m_root.write("big.bin", std::string(4 << 20, 'b'));
    m_root.write("small.txt", "s");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(upgrade(false), TransferResult::Failed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

// Runs body as an ordinary user, in a child process when the test runs as root (root lists
// every folder whatever its mode); returns what body returned.
int asOrdinaryUser(const std::function<int()>& body)
{
    if (::geteuid() != 0)
        return body();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0
            || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

enum class Damage { None, RootVanished, RootLocked, ImagesLocked };

struct Refusal {
    const char* name;
    std::string userId;
    std::string password;
    Damage damage;
    bool anythingSent;
    Log deleted;
    Log stored;
};

void PrintTo(const Refusal& c, std::ostream* out)
{
    *out << c.name;
}

class Refusals : public FirmwareOverFtp, public testing::WithParamInterface<Refusal> {};

TEST_P(Refusals, FailWithoutSendingWhatTheyMustNot)
{
    const Refusal& c = GetParam();
    writeFirmware();
    for (const std::string& path : {m_root.path(), m_config.path(), m_root.file("Doc"),
                                    m_root.file("Images")})
        ::chmod(path.c_str(), 0755);
    if (c.damage == Damage::RootVanished)
        fs::remove_all(m_root.path());
    if (c.damage == Damage::RootLocked)
        ::chmod(m_root.path().c_str(), 0);
    if (c.damage == Damage::ImagesLocked)
        ::chmod(m_root.file("Images").c_str(), 0);

    const int result = asOrdinaryUser([&] {
        return static_cast<int>(uploadFirmware(m_context, m_settings, m_root.path(), true,
                                               server().address(), c.userId, c.password));
    });
    ::chmod(m_root.path().c_str(), 0755);
    ::chmod(m_root.file("Images").c_str(), 0755);

    EXPECT_EQ(result, static_cast<int>(TransferResult::Failed));
    if (!c.anythingSent) {
        EXPECT_EQ(server().commands(), Log{});
    }
    EXPECT_EQ(deletions(), c.deleted);
    Log stored;
    for (const std::string& command : server().commands()) {
        if (command.rfind("STOR ", 0) == 0)
            stored.push_back(command.substr(5));
    }
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, c.stored);
    EXPECT_EQ(server().readDeviceFile("/RFA/NVRAM.TXT"), "device");
    EXPECT_TRUE(fs::is_directory(server().devicePath("/RFA/Doc")));
}

const Log AllButImages{"app.bin", "manual.pdf", "readme.txt"};
const Log RfaAndDocCleaned{"OLD.BIN", "lower.bin", "notes.txt", "old.pdf"};

INSTANTIATE_TEST_SUITE_P(
    Firmware, Refusals,
    testing::Values(
        Refusal{"passwordDeletingNvram", "ftp", "secret\r\nDELE /RFA/NVRAM.TXT", Damage::None,
                false, {}, {}},
        Refusal{"userIdRemovingAFolder", "ftp\r\nRMD /RFA/Doc", "secret", Damage::None, false,
                {}, {}},
        Refusal{"lineFeedOnly", "ftp", "secret\nDELE NVRAM.TXT", Damage::None, false, {}, {}},
        Refusal{"nulInPassword", "ftp", std::string("sec\0ret", 7), Damage::None, false, {}, {}},
        Refusal{"rootVanished", "ftp", "secret", Damage::RootVanished, true, {}, {}},
        Refusal{"rootUnreadable", "ftp", "secret", Damage::RootLocked, true, {}, {}},
        Refusal{"imagesUnreadable", "ftp", "secret", Damage::ImagesLocked, true,
                RfaAndDocCleaned, AllButImages}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FirmwareOverFtp, AGatewayThatFreezesAfterItsFirstPutCostsOneTimeOut)
{
    FtpServerOptions options;
    options.freezeAfterStores = 1;
    start(options);
    for (int i = 0; i < 10; ++i)
        m_root.write("file" + std::to_string(i) + ".bin", "firmware " + std::to_string(i));
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(upgrade(false), TransferResult::Failed);
    const auto took = std::chrono::steady_clock::now() - began;
    // The short time-outs are 3 s; logging in again for every file would cost 3 s more each.
    EXPECT_LT(took, 6s);
    EXPECT_EQ(m_progress.bar(ProgressBar::Upper).position(), 10) << "the bar still runs out";
    const Log verbs = server().verbs();
    EXPECT_EQ(countOf(verbs, "USER"), 1u) << "no second login";
    EXPECT_EQ(countOf(verbs, "STOR"), 1u);
}

}  // namespace
