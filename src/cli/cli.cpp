#include "cli/cli.h"

#include "cli/commands.h"
#include "cli/helptexts.h"
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
    CliCommand{"book show", "FILE.cpe [--json | --csv]",
               "print an address book (gateways and numbered entries)", &bookShow, BookShowHelp},
    CliCommand{"book from-json", "IN.json OUT.cpe", "write an address book from JSON",
               &bookFromJson, BookFromJsonHelp},
    CliCommand{"book from-csv", "IN.csv OUT.cpe", "write an address book from CSV", &bookFromCsv,
               BookFromCsvHelp},
    CliCommand{"list show", "FILE.obl [--json | --csv] [--show-passwords]",
               "print a gateway list; passwords masked unless asked for", &listShow,
               ListShowHelp},
    CliCommand{"list from-json", "IN.json OUT.obl", "write a gateway list from JSON",
               &listFromJson, ListFromJsonHelp},
    CliCommand{"list from-csv", "IN.csv OUT.obl", "write a gateway list from CSV", &listFromCsv,
               ListFromCsvHelp},
    CliCommand{"probe", "IP [--probe-timeout MS] [--retries N] [--json] [--quiet]",
               "send echo requests and wait for the gateway's answer", &probeCommand, ProbeHelp},
    CliCommand{"download", "IP USER [PASSWORD] OUT.cpe [LIMITS] [--json] [--quiet] [--progress]",
               "fetch the gateway's /RFA/Addrbook.cpe into OUT.cpe", &downloadCommand,
               DownloadHelp},
    CliCommand{"upload-book",
               "FILE.cpe IP USER [PASSWORD] [--backup DIR] [--verify] [LIMITS] [--json] "
               "[--quiet] [--progress]",
               "put FILE.cpe on the gateway as /RFA/Addrbook.cpe", &uploadBookCommand,
               UploadBookHelp},
    CliCommand{"upload-firmware",
               "FOLDER IP USER [PASSWORD] (--full|--code) [--verify | --dry-run] [LIMITS] "
               "[--json] [--quiet] [--progress]",
               "bring the gateway in line with a firmware folder (--full deletes listed files "
               "first)",
               &uploadFirmwareCommand, UploadFirmwareHelp},
    CliCommand{"check",
               "(LIST.obl | ADDRESS... | --hosts FILE) [--jobs N] [--probe-timeout MS] "
               "[--retries N] [--json] [--quiet] [--progress] [--report FILE]",
               "probe every gateway, N at once (1 to 64, default 1)", &checkCommand, CheckHelp},
    CliCommand{"upgrade",
               "LIST.obl (--book FILE.cpe [--backup DIR] | --firmware FOLDER (--full|--code) "
               "[--dry-run]) [--verify] [--only-changed] [--rows 1-40,45,!12 | --rows failed:REPORT.json] "
               "[--jobs N] [--canary N] [--max-failures N [--count-unreachable]] [LIMITS] [--json] [--quiet] [--progress] [--report FILE]",
               "upload to every gateway of the list, or to the numbered rows, N at once",
               &upgradeCommand, UpgradeHelp},
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
    out << "  " << ProgramName << " COMMAND --help\n"
        << "  " << ProgramName << " --help\n"
        << "  " << ProgramName << " --version\n"
        << "\n"
           "JSON texts carry the files' single-byte characters as the code points of the same\n"
           "value (U+0000 to U+00FF). from-json and from-csv check everything first and write\n"
           "nothing on bad input; they replace OUT only once the new file is complete.\n"
           "\n"
           "The device commands log in on port 21 in active mode. When PASSWORD is left out it\n"
           "is taken from the environment variable ORBIPHON_PASSWORD, so that it need not stand\n"
           "on a command line other users can see; an operand starting with - goes after --.\n"
           "They read Orbiphon.ini beside this program, or the FILE of --config FILE: the\n"
           "firmware extension lists and the [Batch] keys, which their options override\n"
           "(LIMITS: --probe-timeout MS --retries N --timeout S --stall-timeout S\n"
           "--data-ports LOW-HIGH --local-address IP).\n"
           "\n"
           "Standard output holds only the results: a line per gateway, or with --json one\n"
           "JSON document. Reasons, notes, the notice, the summary and the progress go to\n"
           "standard error; the progress only on a terminal or with --progress, and --quiet\n"
           "drops the progress, the notice and the summary. --report FILE writes the report,\n"
           "CSV or JSON by FILE's ending.\n"
           "\n"
           "Exit status: 0 success, 1 the operation failed, 2 bad usage or bad input.\n";
}

// "--config FILE" or "--config=FILE" anywhere before "--", taken out of args.
bool takeConfigOption(std::vector<std::string>& args, CliIo& io)
{
    for (std::size_t i = 0; i < args.size() && args[i] != "--";) {
        const bool separate = args[i] == "--config";
        if (!separate && args[i].rfind("--config=", 0) != 0) {
            ++i;
            continue;
        }
        if (!io.configPath.empty()) {
            reportFailure(io, ExitBadUsage, "option --config given twice");
            return false;
        }
        if (separate && i + 1 == args.size()) {
            reportFailure(io, ExitBadUsage, "option --config needs a value");
            return false;
        }
        io.configPath = separate ? args[i + 1] : args[i].substr(std::string("--config=").size());
        if (io.configPath.empty()) {
            reportFailure(io, ExitBadUsage, "option --config needs a value");
            return false;
        }
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + (separate ? 2 : 1)));
    }
    return true;
}

bool asksForHelp(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            return false;
        if (arg == "--help" || arg == "-h")
            return true;
    }
    return false;
}

void printCommandHelp(std::ostream& out, const CliCommand& command)
{
    out << "Usage: " << usageLine(command) << "\n"
        << "  " << command.summary << "\n\n";
    // The options the device commands share go before the example.
    const std::size_t example = std::min(command.help.find("\nExample:"), command.help.size());
    out << command.help.substr(0, example);
    const bool ftp = command.arguments.find("LIMITS") != std::string_view::npos;
    if (ftp || command.arguments.find("--probe-timeout") != std::string_view::npos)
        out << LimitsHelp;
    if (ftp)
        out << FtpLimitsHelp;
    if (command.arguments.find("--quiet") != std::string_view::npos)
        out << OutputHelp;
    out << command.help.substr(example);
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

bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
                    std::size_t operandCount, const CliCommand& command, CliIo& io,
                    ParsedArguments& parsed)
{
    return parseArguments(args, options, operandCount, operandCount, command, io, parsed);
}

bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
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
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // On a command that takes a password the "option" may be a password, which must not
        // reach the screen or a log.
        const bool mayBePassword = command.arguments.find("PASSWORD") != std::string_view::npos;
        if (arg.compare(0, 2, "--") != 0) {
            if (mayBePassword)
                return usage("unknown option in argument " + std::to_string(i + 1)
                             + " (put -- before operands that start with -)");
            return usage("unknown option " + arg + " (put -- before operands that start with -)");
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto known = std::find_if(options.begin(), options.end(),
                                       [&](const OptionSpec& o) { return o.name == name; });
        if (known == options.end()) {
            if (mayBePassword)
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

int runCli(const std::vector<std::string>& givenArgs, CliIo& io)
{
    std::vector<std::string> args = givenArgs;
    if (!takeConfigOption(args, io))
        return ExitBadUsage;
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
        if (!startsWith(args, words))
            continue;
        const std::vector<std::string> rest(
            args.begin() + static_cast<std::ptrdiff_t>(words.size()), args.end());
        if (asksForHelp(rest)) {
            printCommandHelp(io.out, command);
            return ExitSuccess;
        }
        return command.run(rest, io);
    }
    std::string typed = args[0];
    if (args.size() > 1 && args[1].compare(0, 1, "-") != 0)
        typed += " " + args[1];
    return reportFailure(io, ExitBadUsage,
                         "unknown command '" + typed + "'; see " + std::string(ProgramName)
                             + " --help");
}
