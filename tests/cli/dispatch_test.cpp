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
    for (const char* usage : {"orbiphon-cli book show FILE.cpe [--json | --csv]",
                              "orbiphon-cli book from-json IN.json OUT.cpe",
                              "orbiphon-cli book from-csv IN.csv OUT.cpe",
                              "orbiphon-cli list show FILE.obl [--json | --csv] [--show-passwords]",
                              "orbiphon-cli list from-json IN.json OUT.obl",
                              "orbiphon-cli list from-csv IN.csv OUT.obl"})
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
                  "missing argument; usage: orbiphon-cli book show FILE.cpe [--json | --csv]"},
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
                  "unknown option in argument 3 (put -- before operands that start with --)"},
        UsageCase{"password that looks like a short option",
                  {"download", "127.0.0.1", "admin", "-hunter2", "out.cpe"},
                  "unknown option in argument 3 (put -- before operands that start with -)"},
        UsageCase{"file name that looks like a short option", {"book", "show", "-v"},
                  "unknown option -v"},
        UsageCase{"config given twice", {"--config", "a.ini", "probe", "--config=b.ini", "x"},
                  "option --config given twice"},
        UsageCase{"config without its file", {"probe", "127.0.0.1", "--config"},
                  "option --config needs a value"},
        UsageCase{"missing config file", {"--config", "/nonexistent.ini", "probe", "127.0.0.1"},
                  "/nonexistent.ini was not found."},
        UsageCase{"probe time-out out of range", {"probe", "127.0.0.1", "--probe-timeout", "0"},
                  "--probe-timeout takes milliseconds from 1 to 60000"},
        UsageCase{"retries that are no number", {"probe", "127.0.0.1", "--retries", "3x"},
                  "--retries takes a number from 1 to 10"},
        UsageCase{"data ports running backwards",
                  {"download", "127.0.0.1", "u", "p", "o.cpe", "--data-ports", "50010-50000"},
                  "--data-ports takes LOW-HIGH"},
        UsageCase{"privileged data ports",
                  {"download", "127.0.0.1", "u", "p", "o.cpe", "--data-ports", "20-21"},
                  "--data-ports takes LOW-HIGH"},
        UsageCase{"local address that is no address",
                  {"upload-book", "b.cpe", "127.0.0.1", "u", "p", "--local-address", "127.1"},
                  "--local-address takes an IPv4 address"},
        UsageCase{"stall time-out of zero", {"download", "127.0.0.1", "u", "p", "o.cpe",
                                             "--stall-timeout", "0"},
                  "--stall-timeout takes seconds from 1 to 3600"},
        UsageCase{"a range that runs backwards", {"check", "127.0.0.9-3"},
                  "127.0.0.9-3 is not an IPv4 address"},
        UsageCase{"an address beside a list", {"check", "127.0.0.1", "gateways.obl"},
                  "gateways.obl is not an IPv4 address"},
        UsageCase{"csv and json at once", {"list", "show", "a.obl", "--csv", "--json"},
                  "--json and --csv don't go together"}));

// Every command answers COMMAND --help with its usage, its options and an example, even with
// other arguments around it, and runs nothing.
class CommandHelp : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CommandHelp, PrintsUsageOptionsAndExample)
{
    const ToolRun run = runTool(GetParam());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::string command = GetParam()[0];
    if (command == "book" || command == "list")
        command += " " + GetParam()[1];
    EXPECT_EQ(run.out.rfind("Usage: orbiphon-cli " + command + " ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\nExample:\n  orbiphon-cli " + command + " "), std::string::npos)
        << run.out;
    // Every option of upgrade, the command with the most, is in its help.
    if (command == "upgrade") {
        for (const char* option :
             {"--book", "--firmware", "--full", "--code", "--backup", "--verify", "--dry-run",
              "--rows", "--jobs", "--report", "--probe-timeout", "--retries", "--timeout",
              "--stall-timeout", "--data-ports", "--local-address", "--json", "--quiet",
              "--progress", "--config"})
            EXPECT_NE(run.out.find("  " + std::string(option) + " "), std::string::npos) << option;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandHelp,
    ::testing::Values(std::vector<std::string>{"book", "show", "--help"},
                      std::vector<std::string>{"book", "from-csv", "-h"},
                      std::vector<std::string>{"list", "from-csv", "in.csv", "--help"},
                      std::vector<std::string>{"probe", "--help"},
                      std::vector<std::string>{"download", "127.0.0.1", "--help"},
                      std::vector<std::string>{"upload-firmware", "--help"},
                      std::vector<std::string>{"check", "--help", "--jobs", "99"},
                      std::vector<std::string>{"upgrade", "--help"}));

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
