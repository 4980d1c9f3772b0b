#include "transfer/transfersettings.h"

#include "base/settingsfile.h"
#include <algorithm>

#include <charconv>

namespace {

std::optional<int> numberIn(std::string_view text, int minimum, int maximum)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < minimum
        || value > maximum)
        return std::nullopt;
    return value;
}

constexpr const char* Section = "Batch";

}  // namespace

ProbeResult probeWithSettings(Prober& prober, const std::string& address,
                              const ProbeSettings& settings)
{
    ProbeResult result = ProbeResult::Silent;
    for (int request = 0; request < std::max(1, settings.requests); ++request) {
        result = prober.probe(address, settings.timeoutMs);
        if (result != ProbeResult::Silent)
            break;
    }
    return result;
}

void probeManyWithSettings(Prober& prober, const std::vector<std::string>& addresses,
                           const ProbeSettings& settings, const ProbeDone& done)
{
    std::vector<std::size_t> asked(addresses.size());
    for (std::size_t i = 0; i < asked.size(); ++i)
        asked[i] = i;
    for (int request = 1; !asked.empty(); ++request) {
        const bool last = request >= std::max(1, settings.requests);
        std::vector<std::string> round;
        for (std::size_t i : asked)
            round.push_back(addresses[i]);
        std::vector<std::size_t> silent;
        prober.probeMany(round, settings.timeoutMs, [&](std::size_t i, ProbeResult result) {
            if (result == ProbeResult::Silent && !last)
                silent.push_back(asked[i]);
            else
                done(asked[i], result);
        });
        asked = std::move(silent);
    }
}

std::string probeReason(ProbeResult result, const std::string& address,
                        const ProbeSettings& settings)
{
    if (result == ProbeResult::Silent)
        return noEchoReason(settings);
    return probeReason(result, address, settings.timeoutMs);
}

std::string noEchoReason(const ProbeSettings& settings)
{
    if (settings.requests <= 1)
        return "no answer to the echo request within " + std::to_string(settings.timeoutMs) + " ms";
    return "no answer to " + std::to_string(settings.requests) + " echo requests within "
        + std::to_string(settings.timeoutMs) + " ms each";
}

std::optional<int> parseProbeTimeout(std::string_view text)
{
    return numberIn(text, 1, 60000);
}

std::optional<int> parseRetries(std::string_view text)
{
    return numberIn(text, 1, 10);
}

std::optional<int> parseTimeoutSeconds(std::string_view text)
{
    return numberIn(text, 1, 3600);
}

std::optional<PortRange> parseDataPorts(std::string_view text)
{
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    const std::optional<int> low = numberIn(text.substr(0, dash), 1024, 65535);
    const std::optional<int> high = numberIn(text.substr(dash + 1), 1024, 65535);
    if (!low || !high || *low > *high)
        return std::nullopt;
    return PortRange{static_cast<std::uint16_t>(*low), static_cast<std::uint16_t>(*high)};
}

std::optional<IpOctets> parseExactDottedQuad(std::string_view text)
{
    IpOctets octets{};
    for (std::size_t part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos || dot == 0 || dot > 3)
            return std::nullopt;
        const std::optional<int> value = numberIn(text.substr(0, dot), 0, 255);
        if (!value)
            return std::nullopt;
        octets[part] = static_cast<std::uint8_t>(*value);
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return octets;
}

std::optional<std::string> parseLocalAddress(std::string_view text)
{
    if (const std::optional<IpOctets> octets = parseExactDottedQuad(text))
        return formatIpText(*octets);
    return std::nullopt;
}

std::string activePortSpec(const std::string& localAddress, const std::optional<PortRange>& ports)
{
    // An empty address before the ports lets libcurl pick its default address; "-" would be
    // taken for a host name there.
    if (!ports)
        return localAddress.empty() ? "-" : localAddress;
    return localAddress + ":" + std::to_string(ports->low) + "-" + std::to_string(ports->high);
}

TransferSettings transferSettingsFrom(const SettingsFile& settings)
{
    TransferSettings result;
    const auto read = [&](const char* key) { return settings.readString(Section, key, ""); };
    if (const auto timeout = parseProbeTimeout(read("ProbeTimeout")))
        result.probe.timeoutMs = *timeout;
    if (const auto retries = parseRetries(read("Retries")))
        result.probe.requests = *retries;
    if (const auto connect = parseTimeoutSeconds(read("Timeout")))
        result.ftp.connect = std::chrono::seconds(*connect);
    if (const auto stall = parseTimeoutSeconds(read("StallTimeout")))
        result.ftp.stall = std::chrono::seconds(*stall);
    result.localAddress = parseLocalAddress(read("LocalAddress")).value_or("");
    result.dataPorts = parseDataPorts(read("DataPorts"));
    return result;
}

FtpTimeouts TransferSettings::ftpTimeouts() const
{
    FtpTimeouts timeouts = ftp;
    timeouts.activePort = activePortSpec(localAddress, dataPorts);
    return timeouts;
}

std::unique_ptr<FtpClient> SettingsFtpClientFactory::open(const std::string& agent)
{
    return CurlFtpClientFactory(transferSettingsFrom(m_settings).ftpTimeouts()).open(agent);
}
