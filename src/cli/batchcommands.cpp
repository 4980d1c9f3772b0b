#include "cli/commands.h"

#include "cli/deviceoptions.h"
#include "cli/deviceoutput.h"
#include "cli/hosts.h"
#include "cli/jsontext.h"
#include "cli/planoutput.h"
#include "cli/reports.h"
#include "cli/rowselection.h"
#include "cli/rolloutoptions.h"
#include "cli/stopsignals.h"
#include "gatewaylist/batch.h"
#include "gatewaylist/gatewaylist.h"
#include "transfer/probe.h"

#include <chrono>
#include <ostream>

// The commands over a gateway list: check and upgrade.

int checkCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args,
                        withOptions(withOptions({{"--jobs", true}, {"--report", true},
                                                 {"--hosts", true}},
                                                OutputOptions),
                                    ProbeOptions),
                        0, MaxHosts, commandNamed("check"), io, parsed))
        return ExitBadUsage;
    Output output(parsed, io);
    BatchStart start;
    if (!readBatchStart(parsed, io, start))
        return ExitBadUsage;
    const DeviceSettings& limits = start.limits;
    GatewayList list;
    std::string listName;
    if (const std::optional<int> failed = loadCheckTargets(parsed, list, listName, io))
        return *failed;

    IcmpProber icmp;
    CountingProber prober(icmp, output.progress);
    BatchReport report;
    PrintingView view(output, list, &report);
    output.progress.startBatch(list.size());
    const auto started = std::chrono::steady_clock::now();
    const StopSignals signals;
    BatchControl control = signals.control(limits.jobs, &report);
    control.probe = limits.transfer.probe;
    if (checkConnections(list, prober, view, control) == BatchOutcome::NoItemInList)
        return reportFailure(io, ExitFailed, listName + ": No item in list!");
    const bool stopped = printNotStarted(output, list, std::nullopt);
    const int status = view.allGood() && !stopped ? ExitSuccess : ExitFailed;
    return finishBatch(output, report, start.reportPath, status, started);
}

int upgradeCommand(const std::vector<std::string>& args, CliIo& io)
{
    const CliCommand& command = commandNamed("upgrade");
    ParsedArguments parsed;
    const std::vector<OptionSpec> own{{"--book", true},   {"--firmware", true}, {"--full"},
                                      {"--code"},         {"--rows", true},     {"--jobs", true},
                                      {"--backup", true}, {"--verify"},         {"--dry-run"},
                                      {"--report", true},
                                      {"--only-changed"}, {"--canary", true},
                                      {"--max-failures", true}, {"--count-unreachable"}};
    if (!parseArguments(args, withOptions(withOptions(own, OutputOptions), TransferOptions), 1,
                        command, io, parsed))
        return ExitBadUsage;
    Output output(parsed, io);
    BatchStart start;
    if (!readBatchStart(parsed, io, start))
        return ExitBadUsage;
    const SettingsFile& settings = start.settings;
    const DeviceSettings& limits = start.limits;
    const std::optional<std::string>& reportPath = start.reportPath;

    UpgradeOptions options;
    if (parsed.has("--book") == parsed.has("--firmware"))
        return reportFailure(io, ExitBadUsage, "give one of --book FILE.cpe and --firmware FOLDER");
    if (parsed.has("--book")) {
        if (parsed.has("--full") || parsed.has("--code"))
            return reportFailure(io, ExitBadUsage, "--full and --code go with --firmware");
        if (parsed.has("--dry-run"))
            return reportFailure(io, ExitBadUsage, "--dry-run goes with --firmware");
        options.mode = UpgradeMode::AddressBookUpgrade;
        options.sourcePath = parsed.options.find("--book")->second;
        if (const FileError error = regularFileCheck(options.sourcePath); error != FileError::None)
            return reportFailure(io, ExitBadUsage, fileErrorText(error, options.sourcePath));
    } else {
        if (parsed.has("--full") == parsed.has("--code"))
            return reportFailure(io, ExitBadUsage, "give one of --full and --code");
        if (parsed.has("--backup"))
            return reportFailure(io, ExitBadUsage, "--backup goes with --book");
        if (parsed.has("--only-changed"))
            return reportFailure(io, ExitBadUsage, "--only-changed goes with --book");
        options.mode = UpgradeMode::FirmwareUpgrade;
        options.fullFirmware = parsed.has("--full");
        options.sourcePath = parsed.options.find("--firmware")->second;
        if (!isDirectory(options.sourcePath))
            return notAFolder(io, options.sourcePath);
    }

    if (parsed.has("--verify") && parsed.has("--dry-run"))
        return reportFailure(io, ExitBadUsage, "--verify and --dry-run don't go together");
    std::optional<TransferSafety> safety =
        safetyFrom(parsed, settings, options.mode == UpgradeMode::AddressBookUpgrade, io);
    if (!safety)
        return ExitBadUsage;
    safety->onlyChanged = parsed.has("--only-changed");
    BatchControl stages;
    if (!stagesFrom(parsed, io, stages))
        return ExitBadUsage;

    GatewayList list;
    std::optional<std::set<std::size_t>> rows;
    if (const std::optional<int> ended = loadListRows(parsed, io, list, rows))
        return *ended;

    Device device(output.progress, limits);
    if (const std::optional<int> refused = refuseUnreadableSettings(options, settings, io))
        return *refused;
    TransferContext context = device.context();
    if (parsed.has("--dry-run")) {
        if (list.empty())
            return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item in list!");
        const std::vector<std::size_t> planned = rowsToWorkOn(list, rows);
        const StopSignals signals;
        context.cancel = &abandonRequested;
        DryRunResult run{"upgrade", true,
                         planRows(list, planned, context, settings, options,
                                  signals.control(limits.jobs)),
                         {}};
        noteRowsNotReached(run, list, planned);
        output.progress.clear();
        return printDryRun(io, parsed.has("--json"), run, reportPath);
    }
    const StopSignals signals;
    context.cancel = &abandonRequested;
    TransferUploader transfers(context, settings, options, *safety);
    CountingUploader uploader(transfers, output.progress);
    BatchReport report;
    PrintingView view(output, list, &report);
    output.progress.startBatch(rows ? rows->size() : list.size());
    const auto started = std::chrono::steady_clock::now();
    BatchControl control = signals.control(limits.jobs, &report);
    control.canary = stages.canary;
    control.maxFailures = stages.maxFailures;
    control.countUnreachable = stages.countUnreachable;
    const BatchOutcome outcome =
        rows ? upgradeSelection(list, *rows, uploader, device.progress, view, control)
             : upgradeList(list, uploader, device.progress, view, control);
    if (outcome == BatchOutcome::NoItemInList)
        return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item in list!");
    if (outcome == BatchOutcome::NoItemSelected)
        return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item selected!");
    const bool stopped = printNotStarted(output, list, rows);
    printStopReason(output, report);
    const int status = view.allGood() && !stopped ? ExitSuccess : ExitFailed;
    return finishBatch(output, report, reportPath, status, started);
}
