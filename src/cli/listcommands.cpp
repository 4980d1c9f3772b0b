#include "cli/commands.h"

#include "cli/csvtext.h"
#include "cli/jsontext.h"
#include "gatewaylist/listfile.h"
#include "transfer/ftpclient.h"
#include "gatewaylist/listfilereport.h"

#include <iomanip>
#include <limits>
#include <ostream>

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

constexpr std::size_t Unlimited = std::numeric_limits<std::uint32_t>::max() - 1;

std::string shownPassword(const std::string& password, bool showPasswords)
{
    return showPasswords ? password : std::string(password.size(), '*');
}

ordered_json listAsJson(const GatewayList& list, bool showPasswords)
{
    ordered_json gateways = ordered_json::array();
    for (const GatewayRecord& record : list.records()) {
        gateways.push_back(
            {{"ip", jsonTextFromBytes(record.ipText)},
             {"userId", jsonTextFromBytes(record.userId)},
             {"password", jsonTextFromBytes(shownPassword(record.password, showPasswords))}});
    }
    ordered_json document;
    // Marks a document that from-json must not take for real passwords.
    if (!showPasswords)
        document["passwordsMasked"] = true;
    document["gateways"] = gateways;
    return document;
}

void printList(std::ostream& out, const std::string& path, const GatewayList& list,
               bool showPasswords)
{
    out << "Gateway list " << withoutControls(path) << "\n"
        << "Gateways: " << list.size() << "\n";
    if (list.empty())
        return;
    out << std::left << std::setw(5) << "#" << std::setw(18) << "IP Address" << std::setw(14)
        << "UserID" << "Password\n";
    for (std::size_t i = 0; i < list.size(); ++i) {
        const GatewayRecord& record = list.record(i);
        out << std::setw(5) << i + 1 << std::setw(18) << printableText(record.ipText)
            << std::setw(14) << printableText(record.userId)
            << printableText(shownPassword(record.password, showPasswords)) << "\n";
    }
}

std::vector<GatewayRecord> recordsFromJson(const json& document)
{
    requireObject(document, "top level", {"gateways", "passwordsMasked"});
    const auto masked = document.find("passwordsMasked");
    if (masked != document.end() && *masked != false)
        throw BadInput("the passwords are masked; write the JSON with list show --json "
                       "--show-passwords");
    const json& gateways = requireArray(member(document, "gateways", "top level"), "gateways");
    std::vector<GatewayRecord> records;
    for (std::size_t i = 0; i < gateways.size(); ++i) {
        const std::string where = "gateways[" + std::to_string(i) + "]";
        const json& item = gateways[i];
        requireObject(item, where, {"ip", "userId", "password"});
        GatewayRecord record;
        record.ipText = textField(member(item, "ip", where), where + ".ip", Unlimited, true);
        record.userId =
            textField(member(item, "userId", where), where + ".userId", Unlimited, true);
        // A zero byte would end the password when it is read back.
        record.password = textField(member(item, "password", where), where + ".password",
                                    Unlimited / 2, false);
        // Written as it stands, such a text would reach the gateway as commands of its own.
        if (!isSendableLoginText(record.userId))
            throw BadInput(where + ".userId: " + UnsendableLoginText);
        if (!isSendableLoginText(record.password))
            throw BadInput(where + ".password: " + UnsendableLoginText);
        records.push_back(std::move(record));
    }
    return records;
}

// The list as CSV: ip,userId and, only when asked for, password.
void printListCsv(std::ostream& out, const GatewayList& list, bool showPasswords)
{
    out << (showPasswords ? csvLine({"ip", "userId", "password"}) : csvLine({"ip", "userId"}));
    for (const GatewayRecord& record : list.records()) {
        std::vector<std::string> fields{jsonTextFromBytes(record.ipText),
                                        jsonTextFromBytes(record.userId)};
        if (showPasswords)
            fields.push_back(jsonTextFromBytes(record.password));
        out << csvLine(fields);
    }
}

// The rows of a CSV as the document from-json takes, so that both get the same checks.
json listDocumentFromCsv(std::vector<std::vector<std::string>> rows)
{
    const std::vector<int> columns =
        csvColumns(rows, {"ip", "userId", "password"}, {"ip", "userId", "password"});
    json gateways = json::array();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        json gateway = json::object();
        for (const auto& [name, column] : {std::pair{"ip", columns[0]}, {"userId", columns[1]},
                                           {"password", columns[2]}}) {
            if (static_cast<std::size_t>(column) >= rows[i].size())
                throw BadInput("gateways[" + std::to_string(i) + "]: no " + name + " field");
            gateway[name] = rows[i][static_cast<std::size_t>(column)];
        }
        gateways.push_back(std::move(gateway));
    }
    return json{{"gateways", gateways}};
}

// from-json and from-csv: the same checks, then the same writer.
int listFrom(const std::vector<std::string>& args, CliIo& io, bool csv)
{
    std::vector<GatewayRecord> records;
    return convertFile(
        args, io, csv, "list", listDocumentFromCsv,
        [&](const json& document) { records = recordsFromJson(document); },
        [&](const std::string& path) { return saveGatewayList(path, records); });
}

}  // namespace

int convertFile(const std::vector<std::string>& args, CliIo& io, bool csv, const char* noun,
                const std::function<json(CsvRows)>& fromCsv,
                const std::function<void(const json&)>& take,
                const std::function<FileError(const std::string& path)>& save)
{
    const std::string name = std::string(noun) + (csv ? " from-csv" : " from-json");
    ParsedArguments parsed;
    if (!parseArguments(args, {}, 2, commandNamed(name), io, parsed))
        return ExitBadUsage;
    const std::string& input = parsed.operands[0];
    const std::string& output = parsed.operands[1];
    try {
        json document;
        CsvRows rows;
        const FileError error = csv ? readCsvFile(input, rows) : readJsonFile(input, document);
        if (error != FileError::None)
            return reportFailure(io, ExitFailed, fileErrorText(error, input));
        if (csv)
            document = fromCsv(std::move(rows));
        take(document);
    } catch (const BadInput& e) {
        return reportFailure(io, ExitBadUsage, input + ": " + e.what());
    }
    const FileError error = save(output);
    if (error != FileError::None)
        return reportFailure(io, ExitFailed, fileErrorText(error, output));
    return ExitSuccess;
}

std::optional<int> reportUnreadableList(const ListFileReport& report, const std::string& path,
                                        CliIo& io)
{
    if (report.outcome == ListFileOutcome::WrongFormat)
        return reportFailure(io, ExitBadUsage, path + ": " + report.message);
    if (report.outcome == ListFileOutcome::Unreadable)
        return reportFailure(io, ExitFailed, report.message);
    return std::nullopt;
}

int listShow(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, {{"--json"}, {"--csv"}, {"--show-passwords"}}, 1,
                        commandNamed("list show"), io, parsed))
        return ExitBadUsage;
    if (parsed.has("--json") && parsed.has("--csv"))
        return reportFailure(io, ExitBadUsage, "--json and --csv don't go together");
    const std::string& path = parsed.operands[0];
    const bool showPasswords = parsed.has("--show-passwords");

    GatewayList list;
    const ListFileReport report = listFileReport(loadGatewayList(path, list), path, path);
    if (const std::optional<int> failed = reportUnreadableList(report, path, io))
        return *failed;

    // A list cut short still shows the gateways before the cut, as the window does.
    if (parsed.has("--json"))
        io.out << listAsJson(list, showPasswords).dump(2) << "\n";
    else if (parsed.has("--csv"))
        printListCsv(io.out, list, showPasswords);
    else
        printList(io.out, path, list, showPasswords);
    if (report.outcome == ListFileOutcome::CutShort)
        return reportFailure(io, ExitBadUsage, report.message);
    return ExitSuccess;
}

int listFromJson(const std::vector<std::string>& args, CliIo& io)
{
    return listFrom(args, io, false);
}

int listFromCsv(const std::vector<std::string>& args, CliIo& io)
{
    return listFrom(args, io, true);
}
