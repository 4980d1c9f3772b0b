#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Where a command writes: its results to out, its one-line failure message, reasons, notes and
// progress to err.
struct CliIo {
    std::ostream& out;
    std::ostream& err;
    // Standard error is a terminal: progress is one line rewritten in place there.
    bool errIsTerminal = false;
    // --config FILE: the Orbiphon.ini to read instead of the one beside the program.
    std::string configPath = {};
};

enum ExitStatus : int {
    ExitSuccess = 0,
    ExitFailed = 1,    // the operation was tried and failed (a file could not be read or written)
    ExitBadUsage = 2,  // the command line or the input is not acceptable; nothing was done
};

// A command gets the arguments after its own name.
using CommandFunction = int (*)(const std::vector<std::string>& args, CliIo& io);

struct CliCommand {
    std::string_view name;       // one or more words: "probe", "book show"
    std::string_view arguments;  // shown in the usage: "FILE.cpe [--json]"
    std::string_view summary;
    CommandFunction run;
    // For COMMAND --help: what the options do, and an example.
    std::string_view help = {};
};

// The whole tool: args are the command-line arguments without the program name.
int runCli(const std::vector<std::string>& args, CliIo& io);

// Writes "orbiphon-cli: <message>" as one line on err and returns status.
int reportFailure(CliIo& io, ExitStatus status, std::string_view message);

struct OptionSpec {
    std::string_view name;  // with its dashes: "--json"
    bool takesValue = false;
};

struct ParsedArguments {
    std::vector<std::string> operands;
    std::map<std::string, std::string, std::less<>> options;  // name to value ("" for flags)

    bool has(std::string_view option) const { return options.find(option) != options.end(); }
};

// Splits args into operands and the allowed options ("--name value" or "--name=value"); "--"
// ends the options. Before it, an operand that starts with '-' (other than "-" alone) is bad
// usage: a mistyped option must not become a password or a file name. On anything unexpected,
// including an operand count other than operandCount, reports the command's usage and returns
// false.
bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
                    std::size_t operandCount, const CliCommand& command, CliIo& io,
                    ParsedArguments& parsed);

// As above, taking between minOperands and maxOperands operands.
bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
                    std::size_t minOperands, std::size_t maxOperands, const CliCommand& command,
                    CliIo& io, ParsedArguments& parsed);

// The command of the table with this name, for usage messages.
const CliCommand& commandNamed(std::string_view name);
