#pragma once

#include "cli/cli.h"
#include "transfer/transfersettings.h"

#include <optional>
#include <string>
#include <vector>

class SettingsFile;

// The options of the device commands that set limits; each has a [Batch] key of the same
// meaning in Orbiphon.ini, which the option overrides.
// --probe-timeout MS, --retries N.
extern const std::vector<OptionSpec> ProbeOptions;
// The probe's, and --timeout S, --stall-timeout S, --data-ports LOW-HIGH, --local-address IP.
extern const std::vector<OptionSpec> TransferOptions;

// own followed by more.
std::vector<OptionSpec> withOptions(std::vector<OptionSpec> own,
                                    const std::vector<OptionSpec>& more);

// The settings file the device commands read: --config FILE, else the one beside the program.
std::string settingsPathFor(const CliIo& io);

// A --config FILE that can't be read is refused (exit 2) rather than taken for an empty profile.
std::optional<int> refuseMissingConfig(CliIo& io);

struct DeviceSettings {
    int jobs = 1;
    TransferSettings transfer;
};

// The [Batch] keys of settings (Jobs and the limits), then the options given in parsed, which
// win; nullopt after reporting an option's bad value.
std::optional<DeviceSettings> deviceSettingsFrom(const ParsedArguments& parsed,
                                                 const SettingsFile& settings, CliIo& io);

// Points settings at the device commands' settings file and reads the limits chosen in it and
// by the options; nullopt after reporting a bad --config or option.
std::optional<DeviceSettings> limitsFrom(const ParsedArguments& parsed, SettingsFile& settings,
                                         CliIo& io);
