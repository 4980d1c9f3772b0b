#include "cli/commands.h"

#include "cli/deviceoptions.h"
#include "cli/deviceoutput.h"
#include "cli/jsontext.h"
#include "cli/planoutput.h"
#include "cli/stopsignals.h"
#include "base/atomicfile.h"
#include "base/pathutils.h"
#include "base/settingsfile.h"
#include "gatewaylist/batch.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/firmwareupload.h"
#include "transfer/gatewaysession.h"
#include "transfer/outcome.h"
#include "transfer/probe.h"

#include <ostream>

// The commands about one gateway: probe, download, upload-book and upload-firmware.

using nlohmann::ordered_json;

int probeCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, withOptions(OutputOptions, ProbeOptions), 1, commandNamed("probe"),
                        io, parsed))
        return ExitBadUsage;
    Output output(parsed, io);
    SettingsFile settings;
    const std::optional<DeviceSettings> limits = limitsFrom(parsed, settings, io);
    if (!limits)
        return ExitBadUsage;
    const std::string& address = parsed.operands[0];
    if (const std::optional<int> refused = refuseNonAddress(address, io))
        return *refused;
    GatewayOutcome outcome;
    outcome.start();
    IcmpProber prober;
    const ProbeResult probed = probeWithSettings(prober, address, limits->transfer.probe);
    outcome.finish();
    const bool present = probed == ProbeResult::Answered;
    outcome.fail(probeReason(probed, address, limits->transfer.probe));
    if (output.json) {
        ordered_json gateway{{"address", jsonTextFromBytes(address)},
                             {"status", present ? "Reachable" : "NotReachable"},
                             {"result", present ? "present" : "not present"}};
        printGatewayJson(io, "probe", std::move(gateway), outcome);
    } else {
        output.line(printableText(address) + (present ? " present" : " not present"));
        output.reason(printableText(address), outcome.reason);
    }
    return present ? ExitSuccess : ExitFailed;
}

int downloadCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, withOptions(OutputOptions, TransferOptions), 3, 4,
                        commandNamed("download"), io, parsed))
        return ExitBadUsage;
    Output output(parsed, io);
    SettingsFile settings;
    const std::optional<DeviceSettings> limits = limitsFrom(parsed, settings, io);
    if (!limits)
        return ExitBadUsage;
    const std::string& address = parsed.operands[0];
    const std::string& userId = parsed.operands[1];
    const std::string& localPath = parsed.operands.back();
    if (const std::optional<int> refused = refuseNonAddress(address, io))
        return *refused;
    const std::optional<std::string> password = passwordFrom(parsed, 2, 4);
    if (!password)
        return missingPassword(io);
    if (const std::optional<int> refused = refuseUnsendableLogin(userId, *password, io))
        return *refused;
    // A protected file, a folder, a pipe or a device is refused before anything is fetched.
    if (const FileError refused = checkSaveTarget(localPath); refused != FileError::None)
        return reportFailure(io, ExitFailed, fileErrorText(refused, localPath));
    // A new file needs a folder it can be made in; else the book would be fetched for nothing.
    if (const FileError refused = checkNewFileFolder(localPath); refused != FileError::None)
        return reportFailure(io, ExitFailed, fileErrorText(refused, directoryOf(localPath)));

    Device device(output.progress, *limits);
    output.progress.gatewayStarted(address);
    GatewayOutcome outcome;
    // The document of the download; its text lines keep the program's own two messages.
    const auto finishDownload = [&](TransferResult result) -> int {
        if (!output.json)
            return finish(output, result);
        ordered_json gateway = loginJson(address, userId);
        gateway["result"] = transferResultName(result);
        printGatewayJson(io, "download", std::move(gateway), outcome);
        return result == TransferResult::Done ? ExitSuccess : ExitFailed;
    };
    // A download has one gateway: the first signal abandons it, in whichever step it is.
    const StopSignals signals(true);
    TransferContext context = device.context();
    context.cancel = &abandonRequested;
    outcome.start();
    if (!GatewaySession(context, outcome, "Download").probe(address)) {
        outcome.finish();
        output.progress.clear();
        if (!output.json)
            io.err << "orbiphon-cli: " << printableText(address) << ": Orbiphon not found!\n";
        return finishDownload(TransferResult::NotFound);
    }
    const DownloadResult result = downloadAddressBook(context, address, userId, *password,
                                                      localPath, [&] {
        output.progress.clear();
        if (abandonRequested)
            io.err << "orbiphon-cli: download stopped; " << printableText(localPath)
                   << " is as it was\n";
        else if (!output.json)
            io.err << "orbiphon-cli: " << printableText(address) << ": FTP failure!\n";
    }, &outcome);
    if (result != DownloadResult::Done && !abandonRequested)
        output.reason(printableText(address), outcome.reason);
    return finishDownload(result == DownloadResult::Done ? TransferResult::Done
                                                         : TransferResult::Failed);
}

int uploadBookCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args,
                        withOptions(withOptions({{"--backup", true}, {"--verify"}}, OutputOptions),
                                    TransferOptions),
                        3, 4, commandNamed("upload-book"), io, parsed))
        return ExitBadUsage;
    Output output(parsed, io);
    if (const std::optional<int> refused = refuseNonAddress(parsed.operands[1], io))
        return *refused;
    SettingsFile settings;
    const std::optional<DeviceSettings> limits = limitsFrom(parsed, settings, io);
    if (!limits)
        return ExitBadUsage;
    const std::optional<std::string> password = passwordFrom(parsed, 3, 4);
    if (!password)
        return missingPassword(io);
    if (const std::optional<int> refused = refuseUnsendableLogin(parsed.operands[2], *password, io))
        return *refused;
    if (const FileError error = regularFileCheck(parsed.operands[0]); isSpecialSource(error))
        return reportFailure(io, ExitBadUsage, fileErrorText(error, parsed.operands[0]));

    const std::optional<TransferSafety> safety = safetyFrom(parsed, settings, true, io);
    if (!safety)
        return ExitBadUsage;

    Device device(output.progress, *limits);
    output.progress.gatewayStarted(parsed.operands[1]);
    const StopSignals signals;
    TransferContext context = device.context();
    context.cancel = &abandonRequested;
    GatewayOutcome outcome;
    const TransferResult result = uploadAddressBook(context, parsed.operands[0],
                                                    parsed.operands[1], parsed.operands[2],
                                                    *password, *safety, nullptr, &outcome);
    printNotes(output, parsed.operands[1], outcome.notes);
    return finishUpload(output, "upload-book", result, parsed.operands[1], parsed.operands[2],
                        outcome);
}

int uploadFirmwareCommand(const std::vector<std::string>& args, CliIo& io)
{
    const CliCommand& command = commandNamed("upload-firmware");
    ParsedArguments parsed;
    if (!parseArguments(args,
                        withOptions(withOptions({{"--full"}, {"--code"}, {"--verify"},
                                                 {"--dry-run"}},
                                                OutputOptions),
                                    TransferOptions),
                        3, 4, command, io, parsed))
        return ExitBadUsage;
    Output output(parsed, io);
    if (parsed.has("--full") == parsed.has("--code"))
        return reportFailure(io, ExitBadUsage, "give one of --full and --code");
    if (parsed.has("--verify") && parsed.has("--dry-run"))
        return reportFailure(io, ExitBadUsage, "--verify and --dry-run don't go together");
    if (const std::optional<int> refused = refuseNonAddress(parsed.operands[1], io))
        return *refused;
    const std::optional<std::string> password = passwordFrom(parsed, 3, 4);
    if (!password)
        return missingPassword(io);
    if (const std::optional<int> refused = refuseUnsendableLogin(parsed.operands[2], *password, io))
        return *refused;

    SettingsFile settings;
    const std::optional<DeviceSettings> limits = limitsFrom(parsed, settings, io);
    if (!limits)
        return ExitBadUsage;
    Device device(output.progress, *limits);
    UpgradeOptions options;
    options.mode = UpgradeMode::FirmwareUpgrade;
    options.sourcePath = parsed.operands[0];
    if (!isDirectory(options.sourcePath))
        return notAFolder(io, options.sourcePath);
    if (const std::optional<int> refused = refuseUnreadableSettings(options, settings, io))
        return *refused;
    output.progress.gatewayStarted(parsed.operands[1]);
    const StopSignals signals;
    TransferContext context = device.context();
    context.cancel = &abandonRequested;
    if (parsed.has("--dry-run")) {
        const FirmwarePlan plan =
            planFirmware(context, settings, parsed.operands[0], parsed.has("--full"),
                         parsed.operands[1], parsed.operands[2], *password);
        output.progress.clear();
        return printDryRun(io, parsed.has("--json"),
                           {"upload-firmware", false,
                            {{0, {parsed.operands[1], parsed.operands[2], *password}, plan}},
                            {}},
                           std::nullopt);
    }
    GatewayOutcome outcome;
    const TransferResult result = uploadFirmware(
        context, settings, parsed.operands[0], parsed.has("--full"), parsed.operands[1],
        parsed.operands[2], *password,
        {{}, transferSafetyFrom(settings).verify || parsed.has("--verify")}, nullptr, &outcome);
    printNotes(output, parsed.operands[1], outcome.notes);
    return finishUpload(output, "upload-firmware", result, parsed.operands[1],
                        parsed.operands[2], outcome);
}
