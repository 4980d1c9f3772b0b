#include "cli/commands.h"

#include "cli/rolloutoptions.h"
#include "transfer/bookfetch.h"

namespace {

// --keep N: 1 to 9999; 0 when not given; nullopt after reporting a bad value.
std::optional<int> keepFrom(const ParsedArguments& parsed, CliIo& io)
{
    const auto option = parsed.options.find("--keep");
    if (option == parsed.options.end())
        return 0;
    const std::string& text = option->second;
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos
        || std::stoi(text) < 1) {
        reportFailure(io, ExitBadUsage, "--keep takes a number from 1 to 9999");
        return std::nullopt;
    }
    return std::stoi(text);
}

}  // namespace

int backupCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args,
                        withOptions(withOptions({{"--to", true}, {"--rows", true}, {"--jobs", true},
                                                 {"--keep", true}, {"--report", true}},
                                                OutputOptions),
                                    TransferOptions),
                        1, commandNamed("backup"), io, parsed))
        return ExitBadUsage;
    Output output(parsed, io);
    BatchStart start;
    if (!readBatchStart(parsed, io, start))
        return ExitBadUsage;
    const std::optional<int> keep = keepFrom(parsed, io);
    if (!keep)
        return ExitBadUsage;
    if (!parsed.has("--to"))
        return reportFailure(io, ExitBadUsage, "give --to DIR, the folder of the copies");
    const BookBackupOptions options{parsed.options.find("--to")->second, *keep};
    if (!isDirectory(options.folder))
        return reportFailure(io, ExitBadUsage, options.folder + " is not a folder.");

    GatewayList list;
    std::optional<std::set<std::size_t>> rows;
    if (const std::optional<int> ended = loadListRows(parsed, io, list, rows))
        return *ended;
    const std::vector<std::size_t> chosen = rowsToWorkOn(list, rows);

    Device device(output.progress, start.limits);
    TransferContext context = device.context();
    BatchReport report;
    PrintingView view(output, list, &report);
    output.progress.startBatch(chosen.size());
    const auto started = std::chrono::steady_clock::now();
    const StopSignals signals;
    context.cancel = &abandonRequested;
    const BatchOutcome outcome = runGatewayBatch(
        list, chosen, "backup",
        [&](std::size_t, const GatewayRecord& gateway) {
            RowEnd end;
            const BookBackupResult result = backUpGatewayBook(
                context, gateway.ipText, gateway.userId, gateway.password, options, end.outcome);
            end.status = statusForBackup(result);
            end.result = bookBackupStatusName(result);
            return end;
        },
        view, signals.control(start.limits.jobs, &report));
    if (outcome == BatchOutcome::NoItemInList)
        return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item in list!");
    const bool stopped = printNotStarted(output, list, rows);
    const int status = view.allGood() && !stopped ? ExitSuccess : ExitFailed;
    return finishBatch(output, report, start.reportPath, status, started);
}
