#include "cli/commands.h"

#include "addressbook/addressbook.h"
#include "cli/jsontext.h"

#include <iomanip>
#include <ostream>

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

constexpr std::int64_t MaxGatewayPort = 4294967295;

ordered_json bookAsJson(const AddressBook& book)
{
    ordered_json gateways = ordered_json::array();
    for (const GatewaySetting& gateway : book.gateways())
        gateways.push_back({{"address", formatIpText(gateway.address)}, {"port", gateway.port}});
    ordered_json entries = ordered_json::array();
    for (const AddressEntry& entry : book.entries()) {
        entries.push_back({{"ip", jsonTextFromBytes(entry.ipText)},
                           {"port", entry.port},
                           {"telephone", jsonTextFromBytes(entry.telephone)}});
    }
    return ordered_json{{"gateways", gateways}, {"entries", entries}};
}

void printBook(std::ostream& out, const std::string& path, const AddressBook& book)
{
    out << "Address book " << withoutControls(path) << "\n";
    for (std::size_t i = 0; i < book.gateways().size(); ++i) {
        const GatewaySetting& gateway = book.gateways()[i];
        out << "Gateway " << i + 1 << ": " << formatIpText(gateway.address) << " port "
            << gateway.port << "\n";
    }
    out << "Entries: " << book.size() << "\n";
    if (book.entries().empty())
        return;
    out << std::left << std::setw(5) << "#" << std::setw(18) << "IP Address" << std::setw(8)
        << "Port" << "Telephone\n";
    for (std::size_t i = 0; i < book.size(); ++i) {
        const AddressEntry& entry = book.entries()[i];
        out << std::setw(5) << i + 1 << std::setw(18) << printableText(entry.ipText)
            << std::setw(8) << entry.port << printableText(entry.telephone) << "\n";
    }
}

AddressBook bookFromJson(const json& document)
{
    requireObject(document, "top level", {"gateways", "entries"});
    const json& gateways = requireArray(member(document, "gateways", "top level"), "gateways");
    if (gateways.size() != 2)
        throw BadInput("gateways: expected exactly 2, found " + std::to_string(gateways.size()));
    const json& entries = requireArray(member(document, "entries", "top level"), "entries");
    if (entries.size() > MaxEntries)
        throw BadInput("entries: " + std::to_string(entries.size()) + " entries, at most "
                       + std::to_string(MaxEntries) + " fit in the file");

    AddressBook book;
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string where = "gateways[" + std::to_string(i) + "]";
        const json& gateway = gateways[i];
        requireObject(gateway, where, {"address", "port"});
        book.gateways()[i].address =
            dottedQuadField(member(gateway, "address", where), where + ".address");
        book.gateways()[i].port = static_cast<std::uint32_t>(
            integerField(member(gateway, "port", where), where + ".port", 0, MaxGatewayPort));
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string where = "entries[" + std::to_string(i) + "]";
        const json& item = entries[i];
        requireObject(item, where, {"ip", "port", "telephone"});
        AddressEntry entry;
        entry.ipText = textField(member(item, "ip", where), where + ".ip", IpTextFieldSize, false);
        // Ports above 32767 are the same two bytes as their negative counterparts.
        entry.port = static_cast<std::int16_t>(static_cast<std::uint16_t>(
            integerField(member(item, "port", where), where + ".port", -32768, 65535) & 0xFFFF));
        entry.telephone = textField(member(item, "telephone", where), where + ".telephone",
                                    TelephoneFieldSize, false);
        if (entry.ipText.empty() && entry.port == 0 && entry.telephone.empty())
            throw BadInput(where + ": an entry with no address, port or telephone is an empty "
                                   "slot, which readers skip");
        book.entries().push_back(std::move(entry));
    }
    return book;
}

}  // namespace

int bookShow(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, {{"--json"}}, 1, commandNamed("book show"), io, parsed))
        return ExitBadUsage;
    const std::string& path = parsed.operands[0];

    AddressBook book;
    const FileError error = loadAddressBook(path, book);
    if (error != FileError::None)
        return reportFailure(io, ExitFailed, fileErrorText(error, path));

    if (parsed.has("--json"))
        io.out << bookAsJson(book).dump(2) << "\n";
    else
        printBook(io.out, path, book);
    return ExitSuccess;
}

int bookFromJson(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, {}, 2, commandNamed("book from-json"), io, parsed))
        return ExitBadUsage;
    const std::string& input = parsed.operands[0];
    const std::string& output = parsed.operands[1];

    AddressBook book;
    try {
        json document;
        const FileError error = readJsonFile(input, document);
        if (error != FileError::None)
            return reportFailure(io, ExitFailed, fileErrorText(error, input));
        book = bookFromJson(document);
    } catch (const BadInput& e) {
        return reportFailure(io, ExitBadUsage, input + ": " + e.what());
    }

    const FileError error = saveAddressBook(output, book);
    if (error != FileError::None)
        return reportFailure(io, ExitFailed, fileErrorText(error, output));
    return ExitSuccess;
}
