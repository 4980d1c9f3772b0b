#include "cli/hosts.h"

#include "base/fileerror.h"
#include "base/text.h"
#include "cli/deviceoptions.h"
#include "cli/jsontext.h"
#include "gatewaylist/gatewaylist.h"
#include "transfer/transfersettings.h"

#include <charconv>
#include <fstream>
#include <iostream>

bool addHostAddresses(std::string_view text, std::vector<std::string>& addresses)
{
    const std::size_t dash = text.find('-');
    const std::optional<IpOctets> first = parseExactDottedQuad(text.substr(0, dash));
    if (!first)
        return false;
    int last = (*first)[3];
    if (dash != std::string_view::npos) {
        const std::string_view end = text.substr(dash + 1);
        const auto [stop, error] = std::from_chars(end.data(), end.data() + end.size(), last);
        if (end.empty() || end.size() > 3 || error != std::errc()
            || stop != end.data() + end.size() || last < (*first)[3] || last > 255)
            return false;
    }
    IpOctets octets = *first;
    for (int part = (*first)[3]; part <= last; ++part) {
        octets[3] = static_cast<std::uint8_t>(part);
        addresses.push_back(formatIpText(octets));
    }
    return true;
}

bool looksLikeAddress(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789.-") == std::string_view::npos;
}

std::vector<std::string> readHosts(std::istream& in)
{
    std::vector<std::string> addresses;
    std::size_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string_view text = trimmed(std::string_view(line).substr(0, line.find('#')));
        if (text.empty())
            continue;
        if (!addHostAddresses(text, addresses))
            throw BadInput("line " + std::to_string(number) + ": " + withoutControls(text)
                           + " is not an IPv4 address");
        if (addresses.size() > MaxHosts)
            throw BadInput("more than " + std::to_string(MaxHosts) + " addresses");
    }
    return addresses;
}

std::optional<int> loadCheckTargets(const ParsedArguments& parsed, GatewayList& list,
                                    std::string& name, CliIo& io)
{
    std::vector<std::string> addresses;
    bool allAddresses = true;
    for (const std::string& operand : parsed.operands)
        allAddresses = addHostAddresses(operand, addresses) && allAddresses;
    const auto hosts = parsed.options.find("--hosts");
    if (hosts == parsed.options.end() && parsed.operands.size() == 1 && !allAddresses
        && !looksLikeAddress(parsed.operands[0])) {
        name = parsed.operands[0];
        return loadList(name, list, io);
    }
    if (!allAddresses) {
        for (const std::string& operand : parsed.operands) {
            std::vector<std::string> ignored;
            if (!addHostAddresses(operand, ignored))
                return reportFailure(io, ExitBadUsage,
                                     operand + " is not an IPv4 address; give one LIST.obl, or "
                                               "addresses and ranges");
        }
    }
    if (hosts == parsed.options.end() && parsed.operands.empty())
        return reportFailure(io, ExitBadUsage,
                             "missing argument; give LIST.obl, addresses or --hosts FILE");
    name = parsed.operands.empty() ? hosts->second : parsed.operands[0];
    if (hosts != parsed.options.end()) {
        const std::string& path = hosts->second;
        try {
            if (path == "-") {
                const std::vector<std::string> read = readHosts(std::cin);
                addresses.insert(addresses.end(), read.begin(), read.end());
            } else {
                const FileError error = regularFileCheck(path);
                // A pipe is welcome here: "--hosts <(command)".
                if (error != FileError::None && error != FileError::IsPipe)
                    return reportFailure(io, ExitFailed, fileErrorText(error, path));
                std::ifstream in(path, std::ios::binary);
                if (!in)
                    return reportFailure(io, ExitFailed,
                                         fileErrorText(FileError::AccessDenied, path));
                const std::vector<std::string> read = readHosts(in);
                addresses.insert(addresses.end(), read.begin(), read.end());
            }
        } catch (const BadInput& e) {
            return reportFailure(io, ExitBadUsage, path + ": " + e.what());
        }
    }
    if (addresses.size() > MaxHosts)
        return reportFailure(io, ExitBadUsage,
                             "more than " + std::to_string(MaxHosts) + " addresses to check");
    for (const std::string& address : addresses)
        list.append({address, {}, {}});
    return std::nullopt;
}
