#include "runtool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class HelpRequest : public ::testing::TestWithParam<const char*> {};

TEST_P(HelpRequest, PrintsEveryCommandAndSucceeds)
{
    const ToolRun run = runTool({GetParam()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    for (const char* usage : {"orbiphon-cli book show FILE.cpe [--json]",
                              "orbiphon-cli book from-json IN.json OUT.cpe",
                              "orbiphon-cli list show FILE.obl [--json] [--show-passwords]",
                              "orbiphon-cli list from-json IN.json OUT.obl"})
        EXPECT_NE(run.out.find(usage), std::string::npos) << usage;
    EXPECT_NE(run.out.find("Exit status: 0"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Spellings, HelpRequest, ::testing::Values("--help", "-h", "help"));

struct UsageCase {
    const char* behaviour;
    std::vector<std::string> args;
    const char* message;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.behaviour; }

class BadUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(BadUsage, ExitsTwoWithOneLineSayingWhy)
{
    const ToolRun run = runTool(GetParam().args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(isOneLineMessage(run.err)) << run.err;
    EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("hunter2"), std::string::npos) << "a password was printed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadUsage,
    ::testing::Values(
        UsageCase{"no command", {}, "no command given"},
        UsageCase{"unknown command", {"frobnicate"}, "unknown command 'frobnicate'"},
        UsageCase{"unknown subcommand", {"book", "burn", "x.cpe"}, "unknown command 'book burn'"},
        UsageCase{"group without subcommand", {"list"}, "unknown command 'list'"},
        UsageCase{"missing file", {"book", "show"},
                  "missing argument; usage: orbiphon-cli book show FILE.cpe [--json]"},
        UsageCase{"extra operand", {"book", "show", "a.cpe", "b.cpe"}, "too many arguments"},
        UsageCase{"unknown option", {"list", "show", "a.obl", "--xml"}, "unknown option --xml"},
        UsageCase{"value given to a flag", {"book", "show", "a.cpe", "--json=yes"},
                  "option --json takes no value"},
        UsageCase{"option of another command", {"book", "show", "a.cpe", "--show-passwords"},
                  "unknown option --show-passwords"},
        UsageCase{"help with more words", {"help", "book"}, "unknown command 'help book'"},
        UsageCase{"repeated flag", {"book", "show", "a.cpe", "--json", "--json"},
                  "option --json given twice"},
        UsageCase{"repeated option with a value",
                  {"upgrade", "l.obl", "--book", "a.cpe", "--book", "b.cpe"},
                  "option --book given twice"},
        UsageCase{"password that looks like an option",
                  {"download", "127.0.0.1", "admin", "--hunter2", "out.cpe"},
                  "unknown option in argument 3 (put -- before operands that start with --)"}));

TEST(Dispatch, ControlCharactersInAMessageAreEscaped)
{
    const ToolRun run = runTool({"book", "show", "evil\n\x1b[2Jname.cpe"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orbiphon-cli: evil\\x0A\\x1B[2Jname.cpe was not found.\n");
}

TEST(Dispatch, DoubleDashLetsAFileNameStartWithDashes)
{
    const ToolRun run = runTool({"book", "show", "--", "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orbiphon-cli: --json was not found.\n");
}

TEST(Dispatch, UnwritableStandardOutputIsAFailure)
{
    const ToolRun run = runTool({"--help"}, "/dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(isOneLineMessage(run.err)) << run.err;
}

}  // namespace
