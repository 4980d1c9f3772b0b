#include "cli/limitoptions.h"

#include "base/fileerror.h"
#include "base/pathutils.h"
#include "base/settingsfile.h"
#include "gatewaylist/batch.h"

const std::vector<OptionSpec> ProbeOptions{{"--probe-timeout", true}, {"--retries", true}};

const std::vector<OptionSpec> TransferOptions = withOptions(
    ProbeOptions, {{"--timeout", true}, {"--stall-timeout", true}, {"--data-ports", true},
                   {"--local-address", true}});

std::vector<OptionSpec> withOptions(std::vector<OptionSpec> own,
                                    const std::vector<OptionSpec>& more)
{
    own.insert(own.end(), more.begin(), more.end());
    return own;
}

std::string settingsPathFor(const CliIo& io)
{
    return io.configPath.empty() ? settingsFilePath() : io.configPath;
}

std::optional<int> refuseMissingConfig(CliIo& io)
{
    if (io.configPath.empty())
        return std::nullopt;
    if (const FileError error = regularFileCheck(io.configPath); error != FileError::None)
        return reportFailure(io, ExitBadUsage, fileErrorText(error, io.configPath));
    return std::nullopt;
}

namespace {

// Applies the option's value with parse; false after reporting a value it refuses.
template <typename Value, typename Parse, typename Apply>
bool applyOption(const ParsedArguments& parsed, const char* name, Parse parse, const char* takes,
                 CliIo& io, Apply apply)
{
    const auto option = parsed.options.find(name);
    if (option == parsed.options.end())
        return true;
    const std::optional<Value> value = parse(option->second);
    if (!value) {
        reportFailure(io, ExitBadUsage, std::string(name) + " takes " + takes);
        return false;
    }
    apply(*value);
    return true;
}

}  // namespace

std::optional<DeviceSettings> deviceSettingsFrom(const ParsedArguments& parsed,
                                                 const SettingsFile& settings, CliIo& io)
{
    DeviceSettings result;
    result.jobs = parseJobs(settings.readString("Batch", "Jobs", "")).value_or(MinJobs);
    result.transfer = transferSettingsFrom(settings);
    TransferSettings& transfer = result.transfer;
    const bool ok =
        applyOption<int>(parsed, "--jobs", parseJobs, "a number from 1 to 64", io,
                         [&](int jobs) { result.jobs = jobs; })
        && applyOption<int>(parsed, "--probe-timeout", parseProbeTimeout,
                            "milliseconds from 1 to 60000", io,
                            [&](int ms) { transfer.probe.timeoutMs = ms; })
        && applyOption<int>(parsed, "--retries", parseRetries, "a number from 1 to 10", io,
                            [&](int n) { transfer.probe.requests = n; })
        && applyOption<int>(parsed, "--timeout", parseTimeoutSeconds, "seconds from 1 to 3600",
                            io, [&](int s) { transfer.ftp.connect = std::chrono::seconds(s); })
        && applyOption<int>(parsed, "--stall-timeout", parseTimeoutSeconds,
                            "seconds from 1 to 3600", io,
                            [&](int s) { transfer.ftp.stall = std::chrono::seconds(s); })
        && applyOption<PortRange>(parsed, "--data-ports", parseDataPorts,
                                  "LOW-HIGH, ports from 1024 to 65535", io,
                                  [&](PortRange range) { transfer.dataPorts = range; })
        && applyOption<std::string>(parsed, "--local-address", parseLocalAddress,
                                    "an IPv4 address (four numbers 0 to 255)", io,
                                    [&](const std::string& address) {
                                        transfer.localAddress = address;
                                    });
    if (!ok)
        return std::nullopt;
    return result;
}

std::optional<DeviceSettings> limitsFrom(const ParsedArguments& parsed, SettingsFile& settings,
                                         CliIo& io)
{
    if (refuseMissingConfig(io))
        return std::nullopt;
    settings.setPath(settingsPathFor(io));
    return deviceSettingsFrom(parsed, settings, io);
}
