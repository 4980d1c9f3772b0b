#include "cli/commands.h"

#include "addressbook/addressbook.h"
#include "cli/csvtext.h"
#include "cli/jsontext.h"

#include <charconv>

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

// The book as CSV: a header, the two gateways, then the entries.
void printBookCsv(std::ostream& out, const AddressBook& book)
{
    out << csvLine({"kind", "ip", "port", "telephone"});
    for (const GatewaySetting& gateway : book.gateways())
        out << csvLine(
            {"gateway", formatIpText(gateway.address), std::to_string(gateway.port), ""});
    for (const AddressEntry& entry : book.entries())
        out << csvLine({"entry", jsonTextFromBytes(entry.ipText), std::to_string(entry.port),
                        jsonTextFromBytes(entry.telephone)});
}

// A port cell: empty for the port new rows get, else a whole number for the checks to judge.
json portFromCsv(const std::string& text, const std::string& where)
{
    if (text.empty())
        return DefaultPort;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw BadInput(where + ".port: must be a whole number");
    return value;
}

// The rows of a CSV as the document from-json takes, so that both get the same checks.
json bookDocumentFromCsv(std::vector<std::vector<std::string>> rows)
{
    const std::vector<int> columns =
        csvColumns(rows, {"kind", "ip", "port", "telephone"}, {"kind", "ip"});
    json gateways = json::array();
    json entries = json::array();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto cell = [&](std::size_t name) -> std::string {
            const int column = columns[name];
            return column >= 0 && static_cast<std::size_t>(column) < rows[i].size()
                ? rows[i][static_cast<std::size_t>(column)]
                : std::string();
        };
        const std::string kind = cell(0);
        if (kind == "gateway") {
            const std::string where = "gateways[" + std::to_string(gateways.size()) + "]";
            gateways.push_back({{"address", cell(1)}, {"port", portFromCsv(cell(2), where)}});
        } else if (kind == "entry") {
            const std::string where = "entries[" + std::to_string(entries.size()) + "]";
            entries.push_back({{"ip", cell(1)},
                               {"port", portFromCsv(cell(2), where)},
                               {"telephone", cell(3)}});
        } else {
            throw BadInput("row " + std::to_string(i + 1)
                           + ": the kind must be gateway or entry");
        }
    }
    return json{{"gateways", gateways}, {"entries", entries}};
}

int bookFrom(const std::vector<std::string>& args, CliIo& io, bool csv)
{
    AddressBook book;
    return convertFile(
        args, io, csv, "book", bookDocumentFromCsv,
        [&](const json& document) { book = bookFromJson(document); },
        [&](const std::string& path) { return saveAddressBook(path, book); });
}

}  // namespace

int bookShow(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, {{"--json"}, {"--csv"}}, 1, commandNamed("book show"), io, parsed))
        return ExitBadUsage;
    if (parsed.has("--json") && parsed.has("--csv"))
        return reportFailure(io, ExitBadUsage, "--json and --csv don't go together");
    const std::string& path = parsed.operands[0];

    AddressBook book;
    const FileError error = loadAddressBook(path, book);
    if (error != FileError::None)
        return reportFailure(io, ExitFailed, fileErrorText(error, path));

    if (parsed.has("--json"))
        io.out << bookAsJson(book).dump(2) << "\n";
    else if (parsed.has("--csv"))
        printBookCsv(io.out, book);
    else
        printBook(io.out, path, book);
    return ExitSuccess;
}

int bookFromJson(const std::vector<std::string>& args, CliIo& io)
{
    return bookFrom(args, io, false);
}

int bookFromCsv(const std::vector<std::string>& args, CliIo& io)
{
    return bookFrom(args, io, true);
}
