#include "cli/cli.h"

#include "cli/commands.h"
#include "cli/jsontext.h"
#include "orbiphonversion.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <stdexcept>
#include <string>

namespace {

constexpr std::string_view ProgramName = "orbiphon-cli";

constexpr std::array Commands{
    CliCommand{"book show", "FILE.cpe [--json]",
               "print an address book (gateways and numbered entries)", &bookShow},
    CliCommand{"book from-json", "IN.json OUT.cpe", "write an address book from JSON",
               &bookFromJson},
    CliCommand{"list show", "FILE.obl [--json] [--show-passwords]",
               "print a gateway list; passwords masked unless asked for", &listShow},
    CliCommand{"list from-json", "IN.json OUT.obl", "write a gateway list from JSON",
               &listFromJson},
    CliCommand{"probe", "IP [--json] [--quiet]", "send one echo request and wait for the gateway's answer",
               &probeCommand},
    CliCommand{"download", "IP USER [PASSWORD] OUT.cpe [--json] [--quiet]",
               "fetch the gateway's /RFA/Addrbook.cpe into OUT.cpe", &downloadCommand},
    CliCommand{"upload-book",
               "FILE.cpe IP USER [PASSWORD] [--backup DIR] [--verify] [--json] [--quiet]",
               "put FILE.cpe on the gateway as /RFA/Addrbook.cpe", &uploadBookCommand},
    CliCommand{"upload-firmware",
               "FOLDER IP USER [PASSWORD] (--full|--code) [--verify | --dry-run] [--json] "
               "[--quiet]",
               "bring the gateway in line with a firmware folder (--full deletes listed files "
               "first)",
               &uploadFirmwareCommand},
    CliCommand{"check", "LIST.obl [--jobs N] [--json] [--quiet] [--report FILE]",
               "probe every gateway of the list, N at once (1 to 64, default 1)", &checkCommand},
    CliCommand{"upgrade",
               "LIST.obl (--book FILE.cpe [--backup DIR] | --firmware FOLDER (--full|--code) "
               "[--dry-run]) [--verify] [--only-changed] [--rows 2,4 | --rows failed:REPORT.json] "
               "[--jobs N] [--canary N] [--max-failures N [--count-unreachable]] [--json] "
               "[--quiet] [--report FILE]",
               "upload to every gateway of the list, or to the numbered rows, N at once",
               &upgradeCommand},
    CliCommand{"backup",
               "LIST.obl --to DIR [--rows 2,4 | --rows failed:REPORT.json] [--jobs N] [--keep N] "
               "[--json] [--quiet] [--report FILE]",
               "keep a copy of every gateway's book in DIR/<address>/<UTC stamp>.cpe when it "
               "changed",
               &backupCommand},
    CliCommand{"inventory",
               "LIST.obl [--rows 2,4 | --rows failed:REPORT.json] [--jobs N] [--book FILE.cpe] "
               "[--firmware FOLDER] [--json] [--quiet] [--report FILE]",
               "list the files under /RFA/ of every gateway", &inventoryCommand},
};

std::vector<std::string_view> wordsOf(std::string_view name)
{
    std::vector<std::string_view> words;
    while (!name.empty()) {
        const std::size_t space = name.find(' ');
        words.push_back(name.substr(0, space));
        name.remove_prefix(space == std::string_view::npos ? name.size() : space + 1);
    }
    return words;
}

bool startsWith(const std::vector<std::string>& args, const std::vector<std::string_view>& words)
{
    return args.size() >= words.size() && std::equal(words.begin(), words.end(), args.begin());
}

std::string usageLine(const CliCommand& command)
{
    return std::string(ProgramName) + " " + std::string(command.name) + " "
        + std::string(command.arguments);
}

void printHelp(std::ostream& out)
{
    out << "Usage:\n";
    for (const CliCommand& command : Commands) {
        out << "  " << usageLine(command) << "\n      " << command.summary << "\n";
    }
    out << "  " << ProgramName << " --help\n"
        << "  " << ProgramName << " --version\n"
        << "\n"
           "JSON texts carry the files' single-byte characters as the code points of the same\n"
           "value (U+0000 to U+00FF). from-json checks everything first and writes nothing on\n"
           "bad input; it replaces OUT only once the new file is complete.\n"
           "\n"
           "The device commands log in on port 21 in active mode. When PASSWORD is left out it\n"
           "is taken from the environment variable ORBIPHON_PASSWORD, so that it need not stand\n"
           "on a command line other users can see. Firmware upgrades read their extension lists\n"
           "from Orbiphon.ini beside this program.\n"
           "\n"
           "With --json the device commands print one JSON document with each gateway's\n"
           "outcome (its reason, times and counts) instead of their lines, and their progress\n"
           "on standard error; --quiet drops the progress. --report FILE writes the same\n"
           "report, CSV or JSON by FILE's ending. Without --json a failure's reason is\n"
           "printed on standard error.\n"
           "\n"
           "Exit status: 0 success, 1 the operation failed, 2 bad usage or bad input.\n";
}

}  // namespace

int reportFailure(CliIo& io, ExitStatus status, std::string_view message)
{
    io.err << ProgramName << ": " << withoutControls(message) << "\n";
    return status;
}

const CliCommand& commandNamed(std::string_view name)
{
    for (const CliCommand& command : Commands) {
        if (command.name == name)
            return command;
    }
    throw std::logic_error("no command named " + std::string(name));
}

bool parseArguments(const std::vector<std::string>& args, std::initializer_list<OptionSpec> options,
                    std::size_t operandCount, const CliCommand& command, CliIo& io,
                    ParsedArguments& parsed)
{
    return parseArguments(args, options, operandCount, operandCount, command, io, parsed);
}

bool parseArguments(const std::vector<std::string>& args, std::initializer_list<OptionSpec> options,
                    std::size_t minOperands, std::size_t maxOperands, const CliCommand& command,
                    CliIo& io, ParsedArguments& parsed)
{
    const auto usage = [&](const std::string& problem) {
        reportFailure(io, ExitBadUsage, problem + "; usage: " + usageLine(command));
        return false;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto known = std::find_if(options.begin(), options.end(),
                                       [&](const OptionSpec& o) { return o.name == name; });
        if (known == options.end()) {
            // On a command that takes a password the "option" may be a password that starts
            // with dashes, which must not reach the screen or a log.
            if (command.arguments.find("PASSWORD") != std::string_view::npos)
                return usage("unknown option in argument " + std::to_string(i + 1)
                             + " (put -- before operands that start with --)");
            return usage("unknown option " + name);
        }
        if (parsed.has(name))
            return usage("option " + name + " given twice");
        std::string value;
        if (known->takesValue) {
            if (equals != std::string::npos)
                value = arg.substr(equals + 1);
            else if (i + 1 < args.size())
                value = args[++i];
            else
                return usage("option " + name + " needs a value");
        } else if (equals != std::string::npos) {
            return usage("option " + name + " takes no value");
        }
        parsed.options[name] = value;
    }
    if (parsed.operands.size() < minOperands)
        return usage("missing argument");
    if (parsed.operands.size() > maxOperands)
        return usage("too many arguments");
    return true;
}

int runCli(const std::vector<std::string>& args, CliIo& io)
{
    if (args.empty()) {
        return reportFailure(io, ExitBadUsage,
                             "no command given; see " + std::string(ProgramName) + " --help");
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        printHelp(io.out);
        return ExitSuccess;
    }
    if (args.size() == 1 && args[0] == "--version") {
        io.out << ProgramName << " " << ORBIPHON_VERSION << "\n";
        return ExitSuccess;
    }
    for (const CliCommand& command : Commands) {
        const std::vector<std::string_view> words = wordsOf(command.name);
        if (startsWith(args, words))
            return command.run(std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(words.size()), args.end()), io);
    }
    std::string typed = args[0];
    if (args.size() > 1 && args[1].compare(0, 1, "-") != 0)
        typed += " " + args[1];
    return reportFailure(io, ExitBadUsage,
                         "unknown command '" + typed + "'; see " + std::string(ProgramName)
                             + " --help");
}
