#include "cli/runtool.h"
#include "support/simulatorfixture.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

// The row lines in row order, whatever order the jobs finished in.
Lines rowsOf(const std::string& out)
{
    Lines lines = gatewayLines(out);
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(FleetCommands, BackupKeepsOneCopyPerChangeAndExitsZeroOnlyWhenEveryRowDidItsJob)
{
    SimulatorFixture simulator({.gateways = 3, .refuseLogin = {2}});
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    ::unlink(simulator.deviceFile(3, "Addrbook.cpe").c_str());
    TempDir dir;
    const std::string to = dir.path();

    struct Run {
        const char* rows;
        int status;
        Lines lines;
        std::size_t copiesOfGateway1;
    };
    const Run runs[] = {
        {"1,2,3", 1, {"1 127.0.0.2 BackedUp", "2 127.0.0.3 FtpFailed", "3 127.0.0.4 NoBook"}, 1},
        {"1,3", 0, {"1 127.0.0.2 Unchanged", "3 127.0.0.4 NoBook"}, 1},
        {"1", 0, {"1 127.0.0.2 BackedUp"}, 2},  // after the gateway's book changed
    };
    for (const Run& run : runs) {
        if (std::string(run.rows) == "1")
            writeFileBytes(simulator.deviceFile(1, "Addrbook.cpe"), bookBytes('x'));
        const ProgramRun backup =
            runTool({"backup", simulator.listPath(), "--to", to, "--rows", run.rows, "--jobs", "4"});
        SCOPED_TRACE(backup.err);
        EXPECT_EQ(backup.status, run.status);
        EXPECT_EQ(rowsOf(backup.out), run.lines);
        EXPECT_EQ(folderEntries(to + "/127.0.0.2").size(), run.copiesOfGateway1);
    }
    // No folder for a gateway that gave no book.
    EXPECT_EQ(folderEntries(to), (std::set<std::string>{"127.0.0.2"}));
}

TEST(FleetCommands, ACanaryThatFailsStopsTheRolloutAndOnlyChangedSkipsWhatIsThere)
{
    SimulatorFixture simulator({.gateways = 4, .refuseLogin = {2}});
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    TempDir dir;
    const std::string newBook = dir.write("new.cpe", bookBytes('n'));

    const ProgramRun staged = runTool({"upgrade", simulator.listPath(), "--book", newBook,
                                       "--canary", "2", "--jobs", "4", "--json", "--quiet"});
    EXPECT_EQ(staged.status, 1);
    const nlohmann::json report = nlohmann::json::parse(staged.out);
    EXPECT_EQ(report["stopReason"], "Stopped: the first 2 gateways did not all succeed.");
    std::vector<std::string> statuses;
    for (const auto& gateway : report["gateways"])
        statuses.push_back(gateway["status"]);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Uploaded", "FtpFailed", "NotStarted",
                                                  "NotStarted"}));

    const ProgramRun onlyChanged = runTool({"upgrade", simulator.listPath(), "--book", newBook,
                                            "--rows", "1,3", "--only-changed", "--quiet"});
    EXPECT_EQ(onlyChanged.status, 0) << onlyChanged.err;
    EXPECT_EQ(rowsOf(onlyChanged.out), (Lines{"1 127.0.0.2 Unchanged", "3 127.0.0.4 Uploaded"}));
    EXPECT_EQ(readFileBytes(simulator.deviceFile(3, "Addrbook.cpe")), bookBytes('n'));
}

TEST(FleetCommands, InventoryListsEveryFileUnderRfaWithItsSize)
{
    SimulatorFixture simulator({.gateways = 2});
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    TempDir dir;
    const std::string csv = dir.file("inventory.csv");
    // A name a spreadsheet would run, with a separator and a quote in it.
    writeFileBytes(simulator.rfaFolder(2) + "/=SUM(A1),\"x\".BIN", "12");
    const ProgramRun inventory =
        runTool({"inventory", simulator.listPath(), "--jobs", "2", "--json", "--report", csv,
                 "--book", simulator.deviceFile(1, "Addrbook.cpe")});
    ASSERT_EQ(inventory.status, 0) << inventory.err;
    const nlohmann::json document = nlohmann::json::parse(inventory.out);
    for (const auto& gateway : document["gateways"]) {
        std::set<std::string> files;
        for (const auto& file : gateway["files"])
            files.insert(file["path"].get<std::string>() + " " + file["size"].dump());
        std::set<std::string> expected{"/RFA/Addrbook.cpe 13770", "/RFA/NVRAM.TXT 15",
                                       "/RFA/SETUP.BIN 15",        "/RFA/Doc/OLD.DAT 13",
                                       "/RFA/Images/OLD.DAT 16",   "/RFA/User/OLD.DAT 14"};
        if (gateway["row"] == 2)
            expected.insert("/RFA/=SUM(A1),\"x\".BIN 2");
        EXPECT_EQ(files, expected);
        EXPECT_EQ(gateway["book"]["equalsBook"], gateway["row"] == 1);
    }
    // One line per file after the header; the odd name quoted and kept from running.
    const std::string lines = readFileBytes(csv);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 14);
    EXPECT_NE(lines.find("2,127.0.0.3,Listed,\"/RFA/=SUM(A1),\"\"x\"\".BIN\",2,"),
              std::string::npos)
        << lines;
}

}  // namespace
