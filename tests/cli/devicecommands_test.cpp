#include "cli/runtool.h"
#include "gatewaylist/listfile.h"
#include "support/childprocess.h"
#include "support/programrun.h"
#include "support/simulatorfixture.h"
#include "support/tempdir.h"

#include <signal.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using ToolResult = ProgramRun;

bool hasLine(const std::string& text, const std::string& line)
{
    const Lines lines = linesOf(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The "FTP : ..." steps of the progress lines on standard error, after that prefix.
Lines fileSteps(const std::string& err)
{
    Lines steps;
    for (const std::string& line : linesOf(err)) {
        if (const std::size_t at = line.find(" FTP : "); at != std::string::npos)
            steps.push_back(line.substr(at + 7));
    }
    return steps;
}

// A copy of orbiphon-cli in a folder of its own, so that it reads the tests' Orbiphon.ini
// beside it.
class DeviceCommands : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_tool = new TempDir;
        fs::copy_file(ORBIPHON_CLI, s_tool->file("orbiphon-cli"));
        fs::permissions(s_tool->file("orbiphon-cli"), fs::perms::owner_all);
    }

    static void TearDownTestSuite()
    {
        delete s_tool;
        s_tool = nullptr;
    }

    void SetUp() override { s_tool->write("Orbiphon.ini", SimulatorFixture::FirmwareIni); }

    // Runs the tool with args; ORBIPHON_PASSWORD is taken from the environment only when
    // given in variables.
    static ToolResult run(const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& variables = {},
                   const std::vector<std::chrono::milliseconds>& interruptAfter = {},
                   int signalNumber = SIGINT);

    // A firmware folder: SETUP.BIN, NVRAM.TXT, README, DOC/MANUAL.PDF, IMAGES/LOGO.BMP.
    std::string firmwareFolder() const
    {
        m_dir.write("firmware/SETUP.BIN", "new firmware");
        m_dir.write("firmware/NVRAM.TXT", "local nvram");
        m_dir.write("firmware/README", "not listed");
        m_dir.write("firmware/DOC/MANUAL.PDF", "%PDF manual");
        m_dir.write("firmware/IMAGES/LOGO.BMP", "BM logo");
        return m_dir.file("firmware");
    }

    static TempDir* s_tool;
    TempDir m_dir;
};

TempDir* DeviceCommands::s_tool = nullptr;

ToolResult DeviceCommands::run(const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& variables,
                        const std::vector<std::chrono::milliseconds>& interruptAfter,
                        int signalNumber)
{
    std::vector<std::string> environment;
    for (const std::string& variable : processEnvironment()) {
        if (variable.rfind("ORBIPHON_PASSWORD=", 0) != 0)
            environment.push_back(variable);
    }
    for (const auto& [name, value] : variables)
        environment.push_back(name + "=" + value);
    return runProgram(s_tool->file("orbiphon-cli"), args, environment, {}, interruptAfter,
                      signalNumber);
}

// args with each placeholder that values names replaced by its value.
std::vector<std::string> filled(std::vector<std::string> args,
                                const std::map<std::string, std::string>& values)
{
    for (std::string& arg : args) {
        if (const auto found = values.find(arg); found != values.end())
            arg = found->second;
    }
    return args;
}

SimulatorOptions gateways(int count)
{
    SimulatorOptions options;
    options.gateways = count;
    return options;
}

// --- probe, and everything that meets a silent gateway -------------------------------------

TEST_F(DeviceCommands, ProbeAnswersPresentForAnAnsweringGateway)
{
    SimulatorFixture simulator(gateways(1));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const ToolResult probe = run({"probe", "127.0.0.2"});
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.out, "127.0.0.2 present\n");
    EXPECT_EQ(probe.err, "");
}

TEST_F(DeviceCommands, SilentGatewayIsNotPresentNotFoundAndNotReachable)
{
    SimulatorOptions options = gateways(2);
    options.silent = {2};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);

    const ToolResult probe = run({"probe", "127.0.0.3"});
    EXPECT_EQ(probe.status, 1);
    EXPECT_EQ(probe.out, "127.0.0.3 not present\n");
    // The full time-out, once: no retry.
    EXPECT_GE(probe.took.count(), 950);
    EXPECT_LT(probe.took.count(), 1900);

    const std::string out = m_dir.file("out.cpe");
    const ToolResult download = run({"download", "127.0.0.3", SimulatorFixture::UserId,
                              SimulatorFixture::Password, out});
    EXPECT_EQ(download.status, 1);
    EXPECT_EQ(linesOf(download.out).back(), "NotFound");
    EXPECT_EQ(download.err, "orbiphon-cli: 127.0.0.3: Orbiphon not found!\n");
    EXPECT_FALSE(fs::exists(out));

    const ToolResult check = run({"check", simulator.listPath()});
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out, "1 127.0.0.2 Reachable\n2 127.0.0.3 NotReachable\n");
}

// --- download ------------------------------------------------------------------------------

TEST_F(DeviceCommands, DownloadFetchesTheDevicesBookByteForByte)
{
    SimulatorFixture simulator(gateways(1));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    writeFileBytes(simulator.deviceFile(1, "Addrbook.cpe"), bookBytes('d'));
    // Replaces an existing file of that name.
    const std::string out = m_dir.write("books/Addrbook.cpe", "older book");

    const ToolResult download = run({"download", "127.0.0.2", SimulatorFixture::UserId,
                              SimulatorFixture::Password, out, "--progress"});
    EXPECT_EQ(download.status, 0) << download.err;
    EXPECT_EQ(download.out, "Done\n");
    EXPECT_EQ(linesOf(download.err),
              (Lines{"127.0.0.2", "127.0.0.2 Connecting... [0/2]",
                     "127.0.0.2 FTP : /RFA/Addrbook.cpe [1/2]",
                     "127.0.0.2 FTP : /RFA/Addrbook.cpe [2/2]"}));
    EXPECT_EQ(readFileBytes(out), bookBytes('d'));
    EXPECT_EQ(folderEntries(m_dir.file("books")), std::set<std::string>{"Addrbook.cpe"});
}

struct FailedDownload {
    const char* name;
    bool wrongPassword;
    bool deviceLacksBook;
    const char* reason;
};

void PrintTo(const FailedDownload& c, std::ostream* out)
{
    *out << c.name;
}

class FailedDownloads : public DeviceCommands,
                        public testing::WithParamInterface<FailedDownload> {};

TEST_P(FailedDownloads, KeepTheOperatorsFileUntouched)
{
    SimulatorFixture simulator(gateways(1));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    if (GetParam().deviceLacksBook)
        fs::remove(simulator.deviceFile(1, "Addrbook.cpe"));
    const std::string out = m_dir.write("books/Addrbook.cpe", "the operator's own book");

    const ToolResult download = run({"download", "127.0.0.2", SimulatorFixture::UserId,
                              GetParam().wrongPassword ? "wrong" : SimulatorFixture::Password,
                              out});
    EXPECT_EQ(download.status, 1);
    EXPECT_EQ(linesOf(download.out).back(), "Failed");
    EXPECT_EQ(download.err, "orbiphon-cli: 127.0.0.2: FTP failure!\norbiphon-cli: 127.0.0.2: "
                                + std::string(GetParam().reason) + "\n");
    EXPECT_EQ(readFileBytes(out), "the operator's own book");
    // No partial or temporary file is left beside it.
    EXPECT_EQ(folderEntries(m_dir.file("books")), std::set<std::string>{"Addrbook.cpe"});
}

INSTANTIATE_TEST_SUITE_P(Device, FailedDownloads,
                         testing::Values(FailedDownload{"WrongPassword", true, false,
                                                        "cannot log in: 530 Authentication failed."},
                                         FailedDownload{"NoBookOnTheDevice", false, true,
                                                        "cannot get /RFA/Addrbook.cpe: 550 No such "
                                                        "file or directory."}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(DeviceCommands, PasswordLeftOutComesFromTheEnvironment)
{
    SimulatorFixture simulator(gateways(1));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string out = m_dir.file("out.cpe");

    const ToolResult download = run({"download", "127.0.0.2", SimulatorFixture::UserId, out},
                             {{"ORBIPHON_PASSWORD", SimulatorFixture::Password}});
    EXPECT_EQ(download.status, 0) << download.err;
    EXPECT_EQ(readFileBytes(out), readFileBytes(simulator.deviceFile(1, "Addrbook.cpe")));

    const std::string book = m_dir.write("mybook.cpe", bookBytes('u'));
    const ToolResult upload = run({"upload-book", book, "127.0.0.2", SimulatorFixture::UserId},
                           {{"ORBIPHON_PASSWORD", SimulatorFixture::Password}});
    EXPECT_EQ(upload.status, 0) << upload.err;
    EXPECT_EQ(readFileBytes(simulator.deviceFile(1, "Addrbook.cpe")), bookBytes('u'));

    // The environment's password is the one used: a wrong one fails the login.
    const ToolResult wrong = run({"upload-book", book, "127.0.0.2", SimulatorFixture::UserId},
                          {{"ORBIPHON_PASSWORD", "wrong"}});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(linesOf(wrong.out).back(), "Failed");

    const ToolResult missing = run({"download", "127.0.0.2", SimulatorFixture::UserId,
                             m_dir.file("other.cpe")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("ORBIPHON_PASSWORD"), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(m_dir.file("other.cpe")));
}

// --- upload-book ---------------------------------------------------------------------------

TEST_F(DeviceCommands, UploadBookPutsTheFileAsAddrbookCpe)
{
    SimulatorFixture simulator(gateways(1));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::set<std::string> before = folderEntries(simulator.rfaFolder(1));
    const std::string book = m_dir.write("mybook.cpe", bookBytes('b'));

    const ToolResult upload = run({"upload-book", book, "127.0.0.2", SimulatorFixture::UserId,
                            SimulatorFixture::Password});
    EXPECT_EQ(upload.status, 0) << upload.err;
    EXPECT_EQ(upload.out, "Done\n");
    EXPECT_EQ(upload.err, "");
    EXPECT_EQ(readFileBytes(simulator.deviceFile(1, "Addrbook.cpe")), bookBytes('b'));
    EXPECT_EQ(folderEntries(simulator.rfaFolder(1)), before);
}

TEST_F(DeviceCommands, UploadBookFailuresLeaveTheDeviceBook)
{
    SimulatorFixture simulator(gateways(1));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string deviceBook = readFileBytes(simulator.deviceFile(1, "Addrbook.cpe"));
    const std::string book = m_dir.write("mybook.cpe", bookBytes('b'));

    const ToolResult wrongPassword = run({"upload-book", book, "127.0.0.2", SimulatorFixture::UserId,
                                   "wrong"});
    EXPECT_EQ(wrongPassword.status, 1);
    EXPECT_EQ(linesOf(wrongPassword.out).back(), "Failed");

    // A book that disappeared after it was chosen: the put fails.
    const ToolResult vanished = run({"upload-book", m_dir.file("gone.cpe"), "127.0.0.2",
                              SimulatorFixture::UserId, SimulatorFixture::Password});
    EXPECT_EQ(vanished.status, 1);
    EXPECT_EQ(linesOf(vanished.out).back(), "Failed");

    EXPECT_EQ(readFileBytes(simulator.deviceFile(1, "Addrbook.cpe")), deviceBook);
}

// --- upload-firmware -----------------------------------------------------------------------

TEST_F(DeviceCommands, CodeUpgradeUploadsListedFilesAndDeletesNothing)
{
    SimulatorFixture simulator(gateways(1));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string rfa = simulator.rfaFolder(1);
    writeFileBytes(rfa + "/OLD.BIN", "old");
    const std::string nvram = readFileBytes(rfa + "/NVRAM.TXT");

    const ToolResult upgrade = run({"upload-firmware", firmwareFolder(), "127.0.0.2",
                             SimulatorFixture::UserId, SimulatorFixture::Password, "--code",
                             "--progress"});
    EXPECT_EQ(upgrade.status, 0) << upgrade.err;
    EXPECT_EQ(upgrade.out, "Done\n");
    // Every file steps the bar, listed or not, in the walk's order.
    const Lines steps = fileSteps(upgrade.err);
    std::set<std::string> named;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::string tail = " [" + std::to_string(i + 1) + "/5]";
        ASSERT_TRUE(steps[i].ends_with(tail)) << steps[i];
        named.insert(steps[i].substr(0, steps[i].size() - tail.size()));
    }
    EXPECT_EQ(named, (std::set<std::string>{"/RFA/SETUP.BIN", "/RFA/NVRAM.TXT", "/RFA/README",
                                            "/RFA/DOC/MANUAL.PDF", "/RFA/IMAGES/LOGO.BMP"}));

    EXPECT_EQ(readFileBytes(rfa + "/SETUP.BIN"), "new firmware");
    EXPECT_EQ(readFileBytes(rfa + "/Doc/MANUAL.PDF"), "%PDF manual");
    EXPECT_EQ(readFileBytes(rfa + "/Images/LOGO.BMP"), "BM logo");
    EXPECT_EQ(readFileBytes(rfa + "/NVRAM.TXT"), nvram);
    EXPECT_FALSE(fs::exists(rfa + "/README"));
    // A code upgrade deletes nothing, whatever the Remove sections list.
    EXPECT_EQ(readFileBytes(rfa + "/OLD.BIN"), "old");
    EXPECT_TRUE(fs::exists(rfa + "/Doc/OLD.DAT"));
    EXPECT_TRUE(fs::exists(rfa + "/Images/OLD.DAT"));
}

struct FullUpgradeCase {
    const char* name;
    bool listingLines;
};

void PrintTo(const FullUpgradeCase& c, std::ostream* out)
{
    *out << c.name;
}

class FullUpgrades : public DeviceCommands,
                     public testing::WithParamInterface<FullUpgradeCase> {};

TEST_P(FullUpgrades, DeleteListedKindsPerDeviceFolderThenUpload)
{
    SimulatorOptions options = gateways(1);
    if (GetParam().listingLines)
        options.listingLines = {1};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string rfa = simulator.rfaFolder(1);
    writeFileBytes(rfa + "/OLD.BIN", "old");
    writeFileBytes(rfa + "/KEEP.CFG", "kept");
    writeFileBytes(rfa + "/Doc/KEEP.PDF.TXT", "txt is not listed for Doc");
    const std::string nvram = readFileBytes(rfa + "/NVRAM.TXT");

    const ToolResult upgrade = run({"upload-firmware", firmwareFolder(), "127.0.0.2",
                             SimulatorFixture::UserId, SimulatorFixture::Password, "--full"});
    EXPECT_EQ(upgrade.status, 0) << upgrade.err;
    EXPECT_EQ(linesOf(upgrade.out).back(), "Done");

    EXPECT_EQ(folderEntries(rfa), (std::set<std::string>{"Addrbook.cpe", "Doc", "Images",
                                                         "KEEP.CFG", "NVRAM.TXT", "SETUP.BIN",
                                                         "User"}));
    EXPECT_EQ(folderEntries(rfa + "/Doc"),
              (std::set<std::string>{"KEEP.PDF.TXT", "MANUAL.PDF"}));
    EXPECT_EQ(folderEntries(rfa + "/Images"), std::set<std::string>{"LOGO.BMP"});
    // No USER folder in the firmware: User/ is not cleaned.
    EXPECT_EQ(folderEntries(rfa + "/User"), std::set<std::string>{"OLD.DAT"});
    EXPECT_EQ(readFileBytes(rfa + "/NVRAM.TXT"), nvram);
    EXPECT_EQ(readFileBytes(rfa + "/SETUP.BIN"), "new firmware");
}

INSTANTIATE_TEST_SUITE_P(Device, FullUpgrades,
                         testing::Values(FullUpgradeCase{"NameListing", false},
                                         FullUpgradeCase{"WholeListingLines", true}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(DeviceCommands, MissingDeviceFolderFailsTheUpgradeButTheOtherFilesArrive)
{
    SimulatorOptions options = gateways(1);
    options.lackFolder = {{1, "Doc"}};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string rfa = simulator.rfaFolder(1);

    const ToolResult upgrade = run({"upload-firmware", firmwareFolder(), "127.0.0.2",
                             SimulatorFixture::UserId, SimulatorFixture::Password, "--full"});
    EXPECT_EQ(upgrade.status, 1);
    EXPECT_EQ(linesOf(upgrade.out).back(), "Failed");
    EXPECT_EQ(upgrade.out.find("MANUAL.PDF"), std::string::npos) << upgrade.out;
    EXPECT_EQ(readFileBytes(rfa + "/SETUP.BIN"), "new firmware");
    EXPECT_EQ(folderEntries(rfa + "/Images"), std::set<std::string>{"LOGO.BMP"});
    EXPECT_FALSE(fs::exists(rfa + "/Doc"));
    EXPECT_FALSE(fs::exists(rfa + "/MANUAL.PDF"));
}

TEST_F(DeviceCommands, RefusedLoginFailsWithoutTouchingTheDevice)
{
    SimulatorOptions options = gateways(1);
    options.refuseLogin = {1};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string rfa = simulator.rfaFolder(1);
    const std::string setup = readFileBytes(rfa + "/SETUP.BIN");

    const ToolResult upgrade = run({"upload-firmware", firmwareFolder(), "127.0.0.2",
                             SimulatorFixture::UserId, SimulatorFixture::Password, "--full"});
    EXPECT_EQ(upgrade.status, 1);
    EXPECT_EQ(upgrade.out, "Failed\n");
    EXPECT_EQ(readFileBytes(rfa + "/SETUP.BIN"), setup);
    EXPECT_TRUE(fs::exists(rfa + "/Doc/OLD.DAT"));
}

// --- check and upgrade over a list ---------------------------------------------------------

TEST_F(DeviceCommands, CheckOfAnsweringGatewaysSucceeds)
{
    SimulatorFixture simulator(gateways(3));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const ToolResult check = run({"check", simulator.listPath()});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out, "1 127.0.0.2 Reachable\n2 127.0.0.3 Reachable\n3 127.0.0.4 Reachable\n");
}

TEST_F(DeviceCommands, UpgradeRowsReachesOnlyThoseRowsInListOrder)
{
    SimulatorFixture simulator(gateways(5));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    std::vector<std::string> before;
    for (int gateway = 1; gateway <= 5; ++gateway)
        before.push_back(readFileBytes(simulator.deviceFile(gateway, "Addrbook.cpe")));
    const std::string book = m_dir.write("mybook.cpe", bookBytes('r'));

    const ToolResult upgrade =
        run({"upgrade", simulator.listPath(), "--book", book, "--rows", "4,2", "--progress"});
    EXPECT_EQ(upgrade.status, 0) << upgrade.err;
    // Standard output holds the results alone; the rest is on standard error.
    EXPECT_EQ(upgrade.out, "2 127.0.0.3 Uploaded\n4 127.0.0.5 Uploaded\n");
    const Lines lines = linesOf(upgrade.err);
    EXPECT_TRUE(hasLine(upgrade.err, "0/2 \u00B7 1 in progress \u00B7 127.0.0.3 FTP : "
                                     "/RFA/Addrbook.cpe [1/2]")) << upgrade.err;
    EXPECT_TRUE(hasLine(upgrade.err, "1/2 \u00B7 1 in progress \u00B7 127.0.0.5 FTP : "
                                     "/RFA/Addrbook.cpe [2/2]")) << upgrade.err;
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Lines(lines.end() - 3, lines.end() - 1),
              (Lines{"Turn-off and Turn-on the Orbiphons to activate the new settings.",
                     "Spegnere e riaccendere i Orbiphon per rendere attive le nuove "
                     "impostazioni."}));
    EXPECT_EQ(lines.back().rfind("2 gateways: 2 uploaded, 0 failed, 0 not reachable, 0 not "
                                 "started; ", 0), 0u) << lines.back();
    for (int gateway = 1; gateway <= 5; ++gateway) {
        const bool chosen = gateway == 2 || gateway == 4;
        EXPECT_EQ(readFileBytes(simulator.deviceFile(gateway, "Addrbook.cpe")),
                  chosen ? bookBytes('r') : before[gateway - 1])
            << "gateway " << gateway;
    }
}

TEST_F(DeviceCommands, UpgradeListGoesOnPastAFailingGatewayAndExitsOne)
{
    SimulatorOptions options = gateways(3);
    options.refuseLogin = {2};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string book = m_dir.write("mybook.cpe", bookBytes('l'));

    const ToolResult upgrade = run({"upgrade", simulator.listPath(), "--book", book});
    EXPECT_EQ(upgrade.status, 1);
    EXPECT_EQ(linesOf(upgrade.out),
              (Lines{"1 127.0.0.2 Uploaded", "2 127.0.0.3 FtpFailed", "3 127.0.0.4 Uploaded"}));
    EXPECT_TRUE(hasLine(upgrade.err,
                        "Turn-off and Turn-on the Orbiphons to activate the new settings."));
    // --quiet leaves the reasons alone on standard error.
    const ToolResult quiet = run({"upgrade", simulator.listPath(), "--book", book, "--quiet"});
    EXPECT_EQ(quiet.out, upgrade.out);
    EXPECT_EQ(quiet.err, "orbiphon-cli: 2 127.0.0.3: cannot log in: 530 Authentication failed.\n");
    EXPECT_EQ(readFileBytes(simulator.deviceFile(1, "Addrbook.cpe")), bookBytes('l'));
    EXPECT_EQ(readFileBytes(simulator.deviceFile(3, "Addrbook.cpe")), bookBytes('l'));
    EXPECT_NE(readFileBytes(simulator.deviceFile(2, "Addrbook.cpe")), bookBytes('l'));
}

TEST_F(DeviceCommands, FirmwareUpgradeOverTheList)
{
    SimulatorOptions options = gateways(2);
    options.lackFolder = {{2, "Images"}};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string folder = firmwareFolder();

    const ToolResult code = run({"upgrade", simulator.listPath(), "--firmware", folder, "--code",
                          "--rows", "1"});
    EXPECT_EQ(code.status, 0) << code.err;
    EXPECT_EQ(gatewayLines(code.out), Lines{"1 127.0.0.2 Uploaded"});
    EXPECT_TRUE(fs::exists(simulator.rfaFolder(1) + "/Doc/OLD.DAT"));

    const ToolResult full = run({"upgrade", simulator.listPath(), "--firmware", folder, "--full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(gatewayLines(full.out), (Lines{"1 127.0.0.2 Uploaded", "2 127.0.0.3 FtpFailed"}));
    EXPECT_FALSE(fs::exists(simulator.rfaFolder(1) + "/Doc/OLD.DAT"));
    EXPECT_FALSE(fs::exists(simulator.rfaFolder(2) + "/Doc/OLD.DAT"));
    EXPECT_EQ(readFileBytes(simulator.rfaFolder(2) + "/Doc/MANUAL.PDF"), "%PDF manual");
}

// Gateway 1 takes seconds for a book; Ctrl+C comes while it is in progress.
TEST_F(DeviceCommands, CtrlCStartsNoFurtherGatewayAndASecondAbandonsAtOnce)
{
    using std::chrono::milliseconds;
    SimulatorOptions options = gateways(3);
    options.rate = {{1, 3000}};
    const std::string book = m_dir.write("mybook.cpe", bookBytes('s'));

    {
        SCOPED_TRACE("one Ctrl+C: the gateway in progress ends, the others are not started");
        SimulatorFixture simulator(options);
        ORBIPHON_REQUIRE_SIMULATOR(simulator);
        const ToolResult upgrade = run({"upgrade", simulator.listPath(), "--book", book}, {},
                                       {milliseconds(1000)});
        EXPECT_EQ(upgrade.status, 1);
        EXPECT_EQ(gatewayLines(upgrade.out),
                  (Lines{"1 127.0.0.2 Uploaded", "2 127.0.0.3 NotStarted",
                         "3 127.0.0.4 NotStarted"}));
        EXPECT_EQ(readFileBytes(simulator.deviceFile(1, "Addrbook.cpe")), bookBytes('s'));
        EXPECT_NE(readFileBytes(simulator.deviceFile(2, "Addrbook.cpe")), bookBytes('s'));
    }
    {
        SCOPED_TRACE("a download stops and leaves the local file as it was, with no temporary");
        SimulatorFixture simulator(options);
        ORBIPHON_REQUIRE_SIMULATOR(simulator);
        const std::string mine = m_dir.write("local/mine.cpe", "my own book");
        const ToolResult download =
            run({"download", SimulatorFixture::address(1), SimulatorFixture::UserId,
                 SimulatorFixture::Password, mine},
                {}, {milliseconds(1000)});
        EXPECT_EQ(download.status, 1);
        EXPECT_EQ(readFileBytes(mine), "my own book");
        EXPECT_EQ(folderEntries(m_dir.file("local")), std::set<std::string>{"mine.cpe"});
    }
}

// However a batch is stopped (a dropped terminal, a second Ctrl+C, a reader of its output that
// went away), it ends with its row lines and its report, and no temporary stays anywhere. A
// gateway cut off mid-transfer says which file was cut and how much of it went.
TEST_F(DeviceCommands, EveryStopStillEndsWithTheRowsAndTheReport)
{
    using std::chrono::milliseconds;
    struct Case {
        const char* name;
        int signalNumber;
        std::vector<milliseconds> after;
        bool backup;
        bool closedOutput;  // the first reader of standard output leaves after one line
        const char* firstRow;
        const char* reason;
    };
    const Case cases[] = {
        {"hang-up", SIGHUP, {milliseconds(1000)}, false, false, "Uploaded", ""},
        {"second Ctrl+C", SIGINT, {milliseconds(1000), milliseconds(1300)}, false, false,
         "Abandoned", "1 127.0.0.2: cut: /RFA/Addrbook.cpe, "},
        {"second Ctrl+C in a back-up", SIGINT, {milliseconds(1000), milliseconds(1300)}, true,
         false, "Abandoned", "1 127.0.0.2: back-up of /RFA/Addrbook.cpe failed"},
        {"closed output", SIGINT, {}, false, true, "Uploaded", ""},
    };
    const std::string book = m_dir.write("mybook.cpe", bookBytes('s'));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatorFixture simulator({.gateways = 3, .rate = {{1, 3000}}});
        ORBIPHON_REQUIRE_SIMULATOR(simulator);
        writeFileBytes(simulator.deviceFile(1, "Addrbook.cpe"), bookBytes('d'));
        const std::string report = m_dir.file(std::string(c.name) + ".json");
        const std::string backups = m_dir.file(std::string("backups ") + c.name);
        fs::create_directories(backups);
        std::vector<std::string> args{"upgrade", simulator.listPath(), "--book", book,
                                      "--report", report};
        if (c.backup)
            args.insert(args.end(), {"--backup", backups});
        ToolResult upgrade;
        if (c.closedOutput) {
            args.insert(args.begin(), {"-c", "\"$0\" \"$@\" | head -1", s_tool->file("orbiphon-cli")});
            upgrade = runProgram("/bin/sh", args, processEnvironment());
        } else {
            upgrade = run(args, {}, c.after, c.signalNumber);
            EXPECT_EQ(upgrade.status, 1);
            EXPECT_EQ(gatewayLines(upgrade.out),
                      (Lines{std::string("1 127.0.0.2 ") + c.firstRow, "2 127.0.0.3 NotStarted",
                             "3 127.0.0.4 NotStarted"}));
            EXPECT_NE(upgrade.err.find(c.reason), std::string::npos) << upgrade.err;
        }
        const nlohmann::json written = nlohmann::json::parse(readFileBytes(report));
        EXPECT_TRUE(written["stopped"].get<bool>());
        EXPECT_EQ(written["gateways"][0]["status"], c.firstRow);
        EXPECT_EQ(written["gateways"][2]["status"], "NotStarted");
        for (const std::string& name : folderEntries(backups))
            EXPECT_NE(name[0], '.') << name;
        EXPECT_LT(upgrade.took, std::chrono::seconds(8));
    }
}

// A dry run over several gateways at once leaves their trees as they were and names what a real
// run would do (a plan with a fail line would fail: WouldFail, exit 1); a book upgrade with --backup keeps every gateway's previous book.
TEST_F(DeviceCommands, DryRunAndBackupOverTheList)
{
    SimulatorOptions options = gateways(2);
    options.lackFolder = {{2, "Images"}};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string folder = firmwareFolder();
    const auto trees = [&] {
        std::map<std::string, std::string> files;
        for (int gateway = 1; gateway <= 2; ++gateway) {
            for (const auto& entry : fs::recursive_directory_iterator(simulator.rfaFolder(gateway)))
                files[entry.path().string()] =
                    entry.is_regular_file() ? readFileBytes(entry.path().string()) : "/";
        }
        return files;
    };
    const auto before = trees();

    const ToolResult plan = run({"upgrade", simulator.listPath(), "--firmware", folder, "--full",
                                 "--dry-run", "--json", "--jobs", "2", "--report",
                                 m_dir.file("plan.csv")});
    const std::string report = readFileBytes(m_dir.file("plan.csv"));
    EXPECT_NE(report.find("\r\n1,127.0.0.2,admin,Planned,,"), std::string::npos) << report;
    EXPECT_NE(report.find("\r\n2,127.0.0.3,admin,WouldFail,cannot enter /RFA/IMAGES/: 550 "),
              std::string::npos) << report;
    EXPECT_EQ(plan.status, 1) << plan.err;
    EXPECT_EQ(trees(), before);
    const nlohmann::json document = nlohmann::json::parse(plan.out);
    EXPECT_EQ(document["command"], "upgrade");
    EXPECT_EQ(document["stopped"], false);
    ASSERT_EQ(document["gateways"].size(), 2u);
    for (const nlohmann::json& gateway : document["gateways"]) {
        EXPECT_EQ(gateway["result"], gateway["row"] == 2 ? "WouldFail" : "Planned");
        EXPECT_EQ(gateway["status"], gateway["result"]) << "read by --rows failed:";
        std::map<std::string, std::string> actions;
        for (const nlohmann::json& file : gateway["files"])
            actions[file["file"]] = file["action"];
        EXPECT_EQ(actions["NVRAM.TXT"], "skip");
        EXPECT_EQ(actions["README"], "skip");
        EXPECT_EQ(actions["IMAGES/LOGO.BMP"], gateway["row"] == 2 ? "fail" : "put");
    }
    // NVRAM.TXT is listed for removal by extension but never deleted.
    const nlohmann::json& rfa = document["gateways"][0]["clean"][0];
    EXPECT_EQ(rfa["folder"], "/RFA/");
    EXPECT_EQ(rfa["delete"], nlohmann::json{"SETUP.BIN"});
    EXPECT_EQ(document["gateways"][1]["clean"][2]["refused"].get<std::string>().rfind(
                  "cannot enter /RFA/IMAGES/: 550 ", 0),
              0u);

    const std::string book = m_dir.write("mybook.cpe", bookBytes('n'));
    const std::string backups = m_dir.file("backups");
    fs::create_directory(backups);
    const std::multiset<std::string> previous{
        readFileBytes(simulator.rfaFolder(1) + "/Addrbook.cpe"),
        readFileBytes(simulator.rfaFolder(2) + "/Addrbook.cpe")};
    // The back-up, verify and jobs of [Batch], as the window reads them.
    s_tool->write("Orbiphon.ini", SimulatorFixture::FirmwareIni + "[Batch]\nJobs=2\nVerify=1\n"
                                      + "BackupFolder=" + backups + "\n");
    const ToolResult upgrade = run({"upgrade", simulator.listPath(), "--book", book});
    EXPECT_EQ(upgrade.status, 0) << upgrade.err;
    std::multiset<std::string> kept;
    for (const auto& entry : fs::directory_iterator(backups))
        kept.insert(readFileBytes(entry.path().string()));
    EXPECT_EQ(kept, previous);
    EXPECT_NE(upgrade.err.find("orbiphon-cli: 127.0.0.3: /RFA/Addrbook.cpe backed up to "),
              std::string::npos)
        << upgrade.err;
    EXPECT_EQ(readFileBytes(simulator.rfaFolder(2) + "/Addrbook.cpe"), bookBytes('n'));
}

// --- list files and usage ------------------------------------------------------------------

std::string listFile(const TempDir& dir, const std::string& name, int rows)
{
    std::vector<GatewayRecord> records;
    for (int row = 1; row <= rows; ++row)
        records.push_back({SimulatorFixture::address(row), "admin", "orbiphon"});
    const std::string path = dir.file(name);
    EXPECT_EQ(saveGatewayList(path, records), FileError::None);
    return path;
}

struct ListProblem {
    const char* name;
    std::string bytes;  // empty: no file at all
    int status;
    std::string message;
};

void PrintTo(const ListProblem& c, std::ostream* out)
{
    *out << c.name;
}

class ListProblems : public DeviceCommands, public testing::WithParamInterface<ListProblem> {};

TEST_P(ListProblems, AreReportedBeforeAnyGatewayIsReached)
{
    const std::string path = m_dir.file("gateways.obl");
    if (!GetParam().bytes.empty())
        m_dir.write("gateways.obl", GetParam().bytes);
    const std::string book = m_dir.write("mybook.cpe", bookBytes('p'));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check", path},
          std::vector<std::string>{"upgrade", path, "--book", book}}) {
        const ToolResult tool = run(args);
        EXPECT_EQ(tool.status, GetParam().status) << args[0];
        EXPECT_EQ(tool.out, "") << args[0];
        std::string message = GetParam().message;
        message.replace(message.find("%1"), 2, path);
        EXPECT_EQ(tool.err, "orbiphon-cli: " + message + "\n") << args[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ListProblems,
    testing::Values(
        ListProblem{"Missing", "", 1, "%1 was not found."},
        ListProblem{"Empty", std::string("\x09OBL101002\0\0\0\0", 14), 1, "%1: No item in list!"},
        ListProblem{"NotAList", "\x05hello", 2, "%1: OBL Format not recognized!"},
        ListProblem{"OtherVersion", std::string("\x09OBL101001\0\0\0\0", 14), 2,
                    "%1: Different OBL file version, can't read the file!"},
        ListProblem{"Truncated", std::string("\x09OBL101002\x01\0\0\0\x09", 15), 2,
                    "An attempt was made to access %1 past its end."}),
    [](const auto& test) { return std::string(test.param.name); });

struct BadUsage {
    const char* name;
    std::vector<std::string> args;  // "{list}", "{book}", "{folder}" stand for real paths
};

void PrintTo(const BadUsage& c, std::ostream* out)
{
    *out << c.name;
}

class BadUsages : public DeviceCommands, public testing::WithParamInterface<BadUsage> {};

TEST_P(BadUsages, ExitTwoWithOneLine)
{
    const std::string list = listFile(m_dir, "gateways.obl", 3);
    const std::string book = m_dir.write("mybook.cpe", bookBytes('x'));
    const std::string folder = firmwareFolder();
    const std::string rowZero = m_dir.write(
        "row0.json", R"({"gateways":[{"row":0,"address":"127.0.0.2","status":"FtpFailed"}]})");
    // Valid JSON, but larger than any report of 253 gateways.
    const std::string huge = m_dir.write(
        "huge.json", R"({"gateways":[]})" + std::string(3 * 1024 * 1024, ' '));
    const std::string dangling = m_dir.file("dangling.json");
    fs::create_symlink("/nonexistent/report.json", dangling);
    const std::vector<std::string> args =
        filled(GetParam().args, {{"{list}", list}, {"{book}", book}, {"{folder}", folder},
                                 {"{dangling}", dangling}, {"failed:{row0}", "failed:" + rowZero},
                                 {"failed:{huge}", "failed:" + huge}});
    const ToolResult tool = run(args, {{"ORBIPHON_PASSWORD", "orbiphon"}});
    EXPECT_EQ(tool.status, 2) << tool.out << tool.err;
    EXPECT_EQ(tool.out, "");
    EXPECT_EQ(tool.err.rfind("orbiphon-cli: ", 0), 0u) << tool.err;
    EXPECT_EQ(std::count(tool.err.begin(), tool.err.end(), '\n'), 1) << tool.err;
    EXPECT_EQ(tool.err.find("SECRET"), std::string::npos) << "a password is never shown";
}

INSTANTIATE_TEST_SUITE_P(
    Usage, BadUsages,
    testing::Values(
        BadUsage{"ProbeWithoutAddress", {"probe"}},
        BadUsage{"ProbeWithTwoAddresses", {"probe", "127.0.0.2", "127.0.0.3"}},
        BadUsage{"DownloadWithTooFewOperands", {"download", "127.0.0.2", "admin"}},
        BadUsage{"DownloadWithTooManyOperands",
                 {"download", "127.0.0.2", "admin", "pw", "out.cpe", "extra"}},
        BadUsage{"UploadBookWithTooFewOperands", {"upload-book", "{book}", "127.0.0.2"}},
        BadUsage{"UploadFirmwareWithoutKind",
                 {"upload-firmware", "{folder}", "127.0.0.2", "admin", "pw"}},
        BadUsage{"UploadFirmwareWithBothKinds",
                 {"upload-firmware", "{folder}", "127.0.0.2", "admin", "pw", "--full", "--code"}},
        BadUsage{"UploadFirmwareWithUnknownOption",
                 {"upload-firmware", "{folder}", "127.0.0.2", "admin", "pw", "--fast"}},
        BadUsage{"CheckWithoutList", {"check"}},
        BadUsage{"UpgradeWithoutSource", {"upgrade", "{list}"}},
        BadUsage{"UpgradeWithBothSources",
                 {"upgrade", "{list}", "--book", "{book}", "--firmware", "{folder}", "--code"}},
        BadUsage{"UpgradeBookWithKind", {"upgrade", "{list}", "--book", "{book}", "--full"}},
        BadUsage{"UpgradeFirmwareWithoutKind", {"upgrade", "{list}", "--firmware", "{folder}"}},
        BadUsage{"UpgradeFirmwareWithBothKinds",
                 {"upgrade", "{list}", "--firmware", "{folder}", "--full", "--code"}},
        BadUsage{"UpgradeMissingBook", {"upgrade", "{list}", "--book", "/nonexistent/a.cpe"}},
        BadUsage{"UpgradeFirmwareNotAFolder",
                 {"upgrade", "{list}", "--firmware", "{book}", "--code"}},
        BadUsage{"DryRunOfABook", {"upgrade", "{list}", "--book", "{book}", "--dry-run"}},
        BadUsage{"BackupOfFirmware",
                 {"upgrade", "{list}", "--firmware", "{folder}", "--code", "--backup", "{folder}"}},
        BadUsage{"BackupIntoAMissingFolder",
                 {"upload-book", "{book}", "127.0.0.2", "admin", "--backup", "/nonexistent/b"}},
        // A report that could not be saved is refused before any gateway is probed.
        BadUsage{"ReportInAMissingFolder", {"check", "{list}", "--report", "/nonexistent/r.csv"}},
        BadUsage{"ReportWhereNoFileCanBe",
                 {"upgrade", "{list}", "--book", "{book}", "--report", "/proc/r.json"}},
        BadUsage{"ReportThroughADanglingLink",
                 {"upgrade", "{list}", "--book", "{book}", "--report", "{dangling}"}},
        BadUsage{"RowZero", {"upgrade", "{list}", "--book", "{book}", "--rows", "0"}},
        BadUsage{"RowPastTheList", {"upgrade", "{list}", "--book", "{book}", "--rows", "4"}},
        BadUsage{"EmptyRowNumber", {"upgrade", "{list}", "--book", "{book}", "--rows", "1,,2"}},
        BadUsage{"RowNotANumber", {"upgrade", "{list}", "--book", "{book}", "--rows", "two"}},
        BadUsage{"RowsWithoutValue", {"upgrade", "{list}", "--book", "{book}", "--rows"}},
        BadUsage{"FailedRowZeroOfAReport",
                 {"upgrade", "{list}", "--book", "{book}", "--rows", "failed:{row0}"}},
        BadUsage{"FailedRowsOfAnOversizedReport",
                 {"upgrade", "{list}", "--book", "{book}", "--rows", "failed:{huge}"}},
        BadUsage{"ProbeOfThreeParts", {"probe", "127.0.0"}},
        BadUsage{"ProbeWithACommandAfterTheAddress", {"probe", "127.0.0.2\r\nDELE X"}},
        BadUsage{"DownloadFromAHexAddress", {"download", "0x7f.1", "admin", "pw", "out.cpe"}},
        BadUsage{"UploadBookToAName", {"upload-book", "{book}", "localhost", "admin", "pw"}},
        BadUsage{"DownloadWithAPasswordCarryingACommand",
                 {"download", "127.0.0.2", "admin", "SECRET\r\nDELE /RFA/NVRAM.TXT", "out.cpe"}},
        BadUsage{"UploadBookWithAUserIdCarryingACommand",
                 {"upload-book", "{book}", "127.0.0.2", "admin\nRMD /RFA/Doc", "SECRET"}},
        BadUsage{"UploadFirmwareWithACarriageReturnInThePassword",
                 {"upload-firmware", "{folder}", "127.0.0.2", "admin", "SECRET\rDELE x.bin",
                  "--code"}}),
    [](const auto& test) { return std::string(test.param.name); });

// Without its settings file, or with a PutList that sends no file of the folder, a firmware
// upgrade would send nothing and report Done: it does not start, nor does its dry run.
TEST_F(DeviceCommands, AFirmwareUpgradeThatWouldSendNothingDoesNotStart)
{
    const std::string list = listFile(m_dir, "gateways.obl", 2);
    const std::string folder = firmwareFolder();
    const std::string ini = s_tool->file("Orbiphon.ini");
    using Args = std::vector<std::string>;
    for (const auto& [settings, message] : std::vector<std::pair<const char*, std::string>>{
             {nullptr, ini + " was not found."},  // no settings file
             {"; every key commented out\n;[PutList]\n;Ext1=BIN\n",
              "PutList of " + ini + " lists no extension: a firmware upgrade would send nothing"},
             {"[PutList]\nExt1=ZIP\n",
              "no file of " + folder + " has an extension that PutList of " + ini
                  + " lists: a firmware upgrade would send nothing"}}) {
        fs::remove(ini);
        if (settings)
            s_tool->write("Orbiphon.ini", settings);
        for (const Args& args :
             {Args{"upload-firmware", folder, "127.0.0.2", "admin", "pw", "--full"},
              Args{"upgrade", list, "--firmware", folder, "--full"},
              Args{"upgrade", list, "--firmware", folder, "--code", "--dry-run"}}) {
            const ToolResult tool = run(args);
            EXPECT_EQ(tool.status, 2) << args[0];
            EXPECT_EQ(tool.out, "") << args[0];
            EXPECT_EQ(tool.err, "orbiphon-cli: " + message + "\n") << args[0];
        }
    }
}

// --- outcomes: --json, reasons, reports, retrying the failed rows ---------------------------

// Each way a gateway fails has its own reason, in the JSON document and after the text line;
// no password reaches either.
TEST_F(DeviceCommands, EachFailureKindGivesItsOwnReason)
{
    SimulatorOptions options = gateways(5);
    options.silent = {1};
    options.refuseLogin = {2};
    options.lackFolder = {{3, "Doc"}};
    options.dropPut = {4};
    // A password no path, message or reply would hold by chance.
    options.password = "Kq7-pw-zX";
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string book = m_dir.write("book.cpe", bookBytes('o'));
    const std::string folder = firmwareFolder();
    const std::string user = SimulatorFixture::UserId;
    const std::string password = options.password;

    struct Case {
        const char* kind;
        std::vector<std::string> args;
        const char* result;
        std::string reason;  // the reason starts with this
    };
    const std::vector<Case> cases{
        {"silent gateway", {"upload-book", book, "127.0.0.2", user, password}, "NotFound",
         "no answer to the echo request within 1000 ms"},
        {"refused login", {"upload-book", book, "127.0.0.3", user, password}, "Failed",
         "cannot log in: 530 "},
        {"missing device folder",
         {"upload-firmware", folder, "127.0.0.4", user, password, "--full"}, "Failed",
         "cannot enter /RFA/DOC/: 550 "},
        {"dropped connection", {"upload-book", book, "127.0.0.5", user, password}, "Failed",
         "cannot put /RFA/Addrbook.cpe: the connection dropped"},
        {"vanished local file",
         {"upload-book", m_dir.file("gone.cpe"), "127.0.0.6", user, password}, "Failed",
         "local file " + m_dir.file("gone.cpe") + " could not be read"},
    };
    for (const Case& test : cases) {
        std::vector<std::string> args = test.args;
        const ToolResult text = run(args);
        EXPECT_EQ(text.status, 1) << test.kind;
        EXPECT_EQ(linesOf(text.out).back(), test.result) << test.kind;
        EXPECT_EQ(text.err.rfind("orbiphon-cli: " + args[2] + ": " + test.reason, 0), 0u)
            << test.kind << ": " << text.err;

        args.push_back("--json");
        const ToolResult json = run(args);
        EXPECT_EQ(json.status, 1) << test.kind;
        const nlohmann::json document = nlohmann::json::parse(json.out);
        const nlohmann::json& gateway = document["gateway"];
        EXPECT_EQ(document["command"], args[0]) << test.kind;
        EXPECT_EQ(gateway["result"], test.result) << test.kind;
        EXPECT_EQ(gateway["reason"].get<std::string>().rfind(test.reason, 0), 0u)
            << test.kind << ": " << gateway["reason"];
        for (const std::string& shown : {json.out, json.err, text.err})
            EXPECT_EQ(shown.find(password), std::string::npos) << shown;
    }
    // A dry run opens a gateway as an upload does, and says why in the same words.
    for (const Case& test : {cases[0], cases[1]}) {
        const ToolResult plan = run({"upload-firmware", folder, test.args[2], user, password,
                                     "--code", "--dry-run", "--json"});
        const nlohmann::json gateway = nlohmann::json::parse(plan.out)["gateways"][0];
        EXPECT_EQ(gateway["result"], test.result) << test.kind;
        EXPECT_EQ(gateway["reason"].get<std::string>().rfind(test.reason, 0), 0u) << plan.out;
    }
}

// upgrade --report and --rows failed:REPORT.json: only the rows the report marks as not done
// run again; a report of another list sends nothing.
TEST_F(DeviceCommands, UpgradeRetriesTheFailedRowsOfItsReport)
{
    SimulatorOptions options = gateways(4);
    options.silent = {2};
    options.refuseLogin = {4};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string book = m_dir.write("book.cpe", bookBytes('r'));
    const std::string report = m_dir.file("report.json");
    const std::string csv = m_dir.file("report.csv");

    // Three at once: the outcomes come back from the worker threads with their results.
    const ToolResult first = run({"upgrade", simulator.listPath(), "--book", book, "--report",
                                  report, "--json", "--quiet", "--jobs", "3"});
    EXPECT_EQ(first.status, 1) << first.err;
    EXPECT_EQ(first.err, "");
    const nlohmann::json document = nlohmann::json::parse(first.out);
    EXPECT_EQ(nlohmann::json::parse(readFileBytes(report)), document);
    std::vector<std::string> statuses;
    for (const nlohmann::json& gateway : document["gateways"])
        statuses.push_back(gateway["status"]);
    EXPECT_EQ(statuses, (Lines{"Uploaded", "NotReachable", "Uploaded", "FtpFailed"}));
    EXPECT_EQ(document["stopped"], false);
    EXPECT_EQ(document["gateways"][0]["bytesSent"], 13770);
    EXPECT_EQ(document["gateways"][0]["filesSent"], 1);
    for (const auto& [key, count] : std::map<std::string, int>{
             {"gateways", 4}, {"uploaded", 2}, {"failed", 1}, {"notReachable", 1}, {"notStarted", 0}})
        EXPECT_EQ(document["summary"][key], count) << key;

    // The text lines stay as they were; the reasons follow on standard error.
    const ToolResult again = run({"upgrade", simulator.listPath(), "--book", book, "--rows",
                                  "failed:" + report, "--report", csv});
    EXPECT_EQ(again.status, 1) << again.err;
    EXPECT_EQ(gatewayLines(again.out), (Lines{"2 127.0.0.3 NotReachable", "4 127.0.0.5 FtpFailed"}));
    EXPECT_EQ(again.err.rfind("orbiphon-cli: 2 127.0.0.3: no answer to the echo request within "
                              "1000 ms\norbiphon-cli: 4 127.0.0.5: cannot log in: 530 "
                              "Authentication failed.\n", 0), 0u) << again.err;
    EXPECT_EQ(linesOf(again.err).back().rfind("2 gateways: 0 uploaded, 1 failed, 1 not reachable, "
                                              "0 not started; 1.", 0), 0u) << again.err;
    const Lines csvLines = linesOf(readFileBytes(csv));
    ASSERT_EQ(csvLines.size(), 3u);
    EXPECT_EQ(csvLines[0], "row,address,user ID,status,reason,start time,seconds,files sent,"
                           "files failed,files deleted,bytes sent,notes\r");
    EXPECT_EQ(csvLines[1].rfind("2,127.0.0.3,admin,NotReachable,no answer to the echo request "
                                "within 1000 ms,", 0), 0u) << csvLines[1];

    // A report whose row 3 names another address: nothing is sent.
    std::string other = readFileBytes(report);
    other.replace(other.find("127.0.0.4"), 9, "127.0.0.9");
    const std::string otherReport = m_dir.write("other.json", other);
    fs::remove(simulator.deviceFile(1, "Addrbook.cpe"));
    const ToolResult refused = run({"upgrade", simulator.listPath(), "--book", book, "--rows",
                                    "failed:" + otherReport});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("row 3 of the list is not 127.0.0.9"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(simulator.deviceFile(1, "Addrbook.cpe")));
}

// --- limits, from the options, from [Batch] and from --config FILE --------------------------

// Gateway 2 is silent to echo requests and gateway 3 hangs after accepting FTP connections.
TEST_F(DeviceCommands, LimitsTakeTheOptionOverTheSettingsFileOverTheDefault)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;  // CONFIG stands for the other file, OUT for a local file
        std::string batchKeys;          // [Batch] of the Orbiphon.ini beside the program
        std::string configKeys;         // [Batch] of the file --config names
        const char* reason;             // what standard error says about 127.0.0.3
        long minMs;
        long maxMs;
    };
    const Case cases[] = {
        {"RetriesAndProbeTimeoutOptions",
         {"probe", "127.0.0.3", "--retries", "3", "--probe-timeout", "500"}, "", "",
         "127.0.0.3: no answer to 3 echo requests within 500 ms each", 1450, 4000},
        {"BatchKeys", {"probe", "127.0.0.3"}, "Retries=2\nProbeTimeout=800\n", "",
         "no answer to 2 echo requests within 800 ms each", 1550, 4000},
        {"OptionOverKey", {"probe", "127.0.0.3", "--retries", "1"},
         "Retries=2\nProbeTimeout=800\n", "", "no answer to the echo request within 800 ms", 750,
         1550},
        {"ConfigFileInsteadOfTheOneBeside", {"--config", "CONFIG", "probe", "127.0.0.3"},
         "Retries=4\n", "ProbeTimeout=250\n", "no answer to the echo request within 250 ms", 200,
         1500},
        {"LoginTimeoutOption",
         {"download", "127.0.0.4", "admin", "orbiphon", "OUT", "--timeout", "1"}, "", "",
         "127.0.0.4: FTP failure!", 900, 4000},
        {"LoginTimeoutKey", {"download", "127.0.0.4", "admin", "orbiphon", "OUT"}, "Timeout=1\n",
         "", "127.0.0.4: FTP failure!", 900, 4000},
    };
    SimulatorFixture simulator({.gateways = 3, .silent = {2}, .hang = {3}});
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s_tool->write("Orbiphon.ini", SimulatorFixture::FirmwareIni + "[Batch]\n" + c.batchKeys);
        const std::string config = m_dir.write("other.ini", "[Batch]\n" + c.configKeys);
        const ToolResult result =
            run(filled(c.args, {{"CONFIG", config}, {"OUT", m_dir.file("out.cpe")}}));
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_GE(result.took.count(), c.minMs);
        EXPECT_LT(result.took.count(), c.maxMs);
    }
}

// --data-ports and --local-address choose what active mode announces: a range whose only port
// the test holds leaves no port to listen on, and the transfer fails.
TEST_F(DeviceCommands, DataPortsAreTheOnlyPortsActiveModeListensOn)
{
    SimulatorFixture simulator(gateways(1));
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const std::string out = m_dir.file("out.cpe");
    const std::vector<std::string> download{"download",        "127.0.0.2", SimulatorFixture::UserId,
                                            SimulatorFixture::Password, out, "--local-address",
                                            "127.0.0.1",       "--data-ports", "47001-47001"};
    const ToolResult free = run(download);
    EXPECT_EQ(free.status, 0) << free.err;

    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(47001);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    const ToolResult taken = run(download);
    ::close(holder);
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find("FTP failure!"), std::string::npos) << taken.err;
}

// check without a list: addresses and ranges as operands, and a hosts file on standard input.
TEST_F(DeviceCommands, CheckTakesAddressesRangesAndAHostsFile)
{
    SimulatorFixture simulator({.gateways = 3, .silent = {2}});
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    const ToolResult check = runProgram(
        "/bin/sh",
        {"-c", "printf '# the fleet\\n\\n 127.0.0.3-4  # two\\n' | \"$0\" check 127.0.0.2 "
               "--hosts - --probe-timeout 300 --json",
         s_tool->file("orbiphon-cli")},
        processEnvironment());
    EXPECT_EQ(check.status, 1) << check.err;
    const nlohmann::json document = nlohmann::json::parse(check.out);
    Lines rows;
    for (const nlohmann::json& gateway : document["gateways"])
        rows.push_back(gateway["address"].get<std::string>() + " " + gateway["status"].get<std::string>());
    EXPECT_EQ(rows, (Lines{"127.0.0.2 Reachable", "127.0.0.3 NotReachable", "127.0.0.4 Reachable"}));
    EXPECT_EQ(document["summary"]["reachable"], 2);
    EXPECT_EQ(linesOf(check.err).back().rfind("3 gateways: 2 reachable, 1 not reachable, 0 not "
                                              "started; 0.", 0), 0u) << check.err;

    // On a terminal the progress is one line rewritten in place: standard error gets no line end
    // but the summary's, while standard output (a file here) gets the results alone.
    const std::string out = m_dir.file("out.txt");
    const ToolResult onTerminal = runProgram(
        "/usr/bin/script",
        {"-qfec", s_tool->file("orbiphon-cli") + " check 127.0.0.2 127.0.0.4 > " + out, "/dev/null"},
        processEnvironment());
    EXPECT_EQ(onTerminal.status, 0) << onTerminal.out;
    EXPECT_EQ(readFileBytes(out), "1 127.0.0.2 Reachable\n2 127.0.0.4 Reachable\n");
    EXPECT_NE(onTerminal.out.find("\r0/2 \u00B7 "), std::string::npos) << onTerminal.out;
    EXPECT_EQ(std::count(onTerminal.out.begin(), onTerminal.out.end(), '\n'), 1) << onTerminal.out;
    EXPECT_NE(onTerminal.out.find("\x1b[K2 gateways: 2 reachable"), std::string::npos)
        << onTerminal.out;
}

// A download into a folder that is not there, or that takes no new files, is refused before the
// gateway is asked at all.
TEST_F(DeviceCommands, DownloadRefusesAFolderItCannotWriteBeforeItConnects)
{
    SimulatorFixture simulator({.gateways = 1, .silent = {1}});
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    // Root ignores file modes: the tool runs as an ordinary user.
    fs::permissions(m_dir.path(), fs::perms(0755));
    const std::string closed = m_dir.file("closed");
    fs::create_directory(closed);
    fs::permissions(closed, fs::perms(0505));
    for (const std::string& folder : {m_dir.file("gone"), closed}) {
        std::vector<std::string> args = asOrdinaryUserPrefix();
        // Asked, the silent gateway would cost five seconds.
        args.insert(args.end(), {reachableByOrdinaryUser(ORBIPHON_CLI), "download",
                                 "--probe-timeout", "5000", "127.0.0.2", SimulatorFixture::UserId,
                                 SimulatorFixture::Password, folder + "/out.cpe"});
        const ToolResult refused =
            runProgram(args[0], {args.begin() + 1, args.end()}, processEnvironment());
        EXPECT_EQ(refused.status, 1);
        EXPECT_LT(refused.took.count(), 3000);
        if (folder != closed) {
            EXPECT_EQ(refused.err, "orbiphon-cli: " + folder + " was not found.\n");
            continue;
        }
        EXPECT_EQ(refused.err.rfind("orbiphon-cli: ", 0), 0u) << refused.err;
        EXPECT_NE(refused.err.find(closed), std::string::npos) << refused.err;
        EXPECT_EQ(refused.err.find("not found"), std::string::npos) << refused.err;
    }
}

} // namespace
