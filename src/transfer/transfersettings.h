#pragma once

#include "base/ipaddress.h"
#include "transfer/curlftpclient.h"
#include "transfer/probe.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SettingsFile;

// How a gateway is asked whether it is there: requests echo requests, each waited for up to
// timeoutMs, until one is answered. One request of 1000 ms unless the operator chose otherwise.
struct ProbeSettings {
    int timeoutMs = ProbeTimeoutMs;
    int requests = 1;
};

// Asks prober up to settings.requests times while the gateway stays silent; a probe that can't
// be sent at all is not repeated.
ProbeResult probeWithSettings(Prober& prober, const std::string& address,
                              const ProbeSettings& settings);

// probeWithSettings for several addresses at once (Prober::probeMany): the silent ones are asked
// again together, each result told through done once it is final.
void probeManyWithSettings(Prober& prober, const std::vector<std::string>& addresses,
                           const ProbeSettings& settings, const ProbeDone& done);

// "no answer to the echo request within 1000 ms", or "... to 3 echo requests within 500 ms each".
std::string noEchoReason(const ProbeSettings& settings);
// probeReason, a silent gateway's in the words of noEchoReason.
std::string probeReason(ProbeResult result, const std::string& address,
                        const ProbeSettings& settings);

struct PortRange {
    std::uint16_t low = 0;
    std::uint16_t high = 0;
};

// The limits of the probe and of the FTP transfers the operator may choose ([Batch] keys of
// Orbiphon.ini, and the command-line tool's options of the same meaning).
struct TransferSettings {
    ProbeSettings probe;
    FtpTimeouts ftp;
    // What active mode announces: empty and nothing for the system's choice.
    std::string localAddress;
    std::optional<PortRange> dataPorts;

    // ftp with the active-mode choice in it.
    FtpTimeouts ftpTimeouts() const;
};

// The values the keys and options take; nothing for anything else.
std::optional<int> parseProbeTimeout(std::string_view text);   // 1 to 60000 ms
std::optional<int> parseRetries(std::string_view text);        // 1 to 10 echo requests
std::optional<int> parseTimeoutSeconds(std::string_view text); // 1 to 3600 s
std::optional<PortRange> parseDataPorts(std::string_view text); // "LOW-HIGH", 1024 to 65535
std::optional<std::string> parseLocalAddress(std::string_view text); // a dotted quad
// Exactly four parts of 1 to 3 digits, each at most 255.
std::optional<IpOctets> parseExactDottedQuad(std::string_view text);

// What CURLOPT_FTPPORT takes for an address and ports: "-" (the system's choice) when neither
// is given, else "IP", ":LOW-HIGH" or "IP:LOW-HIGH".
std::string activePortSpec(const std::string& localAddress, const std::optional<PortRange>& ports);

// The [Batch] keys ProbeTimeout, Retries, Timeout, StallTimeout, DataPorts and LocalAddress;
// a key missing or holding a value outside its range keeps its default.
TransferSettings transferSettingsFrom(const SettingsFile& settings);

// The real FTP client with the limits of the settings file, read afresh at every open so that
// an edit counts from the next transfer on, as every other key does.
class SettingsFtpClientFactory final : public FtpClientFactory {
public:
    explicit SettingsFtpClientFactory(const SettingsFile& settings) : m_settings(settings) {}
    std::unique_ptr<FtpClient> open(const std::string& agent) override;

private:
    const SettingsFile& m_settings;
};
