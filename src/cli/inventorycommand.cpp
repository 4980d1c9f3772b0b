#include "cli/commands.h"

#include "addressbook/addressbook.h"
#include "base/atomicfile.h"
#include "base/text.h"
#include "cli/rolloutoptions.h"
#include "cli/jsontext.h"
#include "cli/reports.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/bookfetch.h"
#include "transfer/bookhistory.h"
#include "transfer/firmwarerules.h"
#include "transfer/firmwaretree.h"
#include "transfer/gatewaysession.h"
#include "transfer/outcome.h"
#include "transfer/remotelisting.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>

using nlohmann::ordered_json;

namespace {

// What one gateway holds, beside its row of the report.
struct Holding {
    RemoteTree tree;
    long long bookSize = -1;  // -1: no /RFA/Addrbook.cpe listed
    enum class Same { NotAsked, Yes, No, Unknown } sameBook = Same::NotAsked;
    int firmwareSameSize = 0;
};

// A file of the firmware folder that an upgrade would put, by its device path.
struct FirmwareCopy {
    std::string devicePath;
    long long size;
};

std::vector<FirmwareCopy> firmwareCopies(const SettingsFile& settings, const std::string& folder)
{
    const ExtensionList putList = readExtensionList(settings, "PutList");
    std::vector<FirmwareCopy> copies;
    forEachFirmwareFile(folder, folder, [&](const FirmwareFile& file) {
        struct stat status {};
        if (isListedFile(file.name, putList) && ::stat(file.localPath.c_str(), &status) == 0)
            copies.push_back({upperCase(file.deviceDirectory + file.name),
                              static_cast<long long>(status.st_size)});
    });
    return copies;
}

// Lists the gateway's tree, then fetches its book to compare with book when one is given.
RowEnd takeInventory(TransferContext& context, const GatewayRecord& gateway,
                     const std::string& book, const std::vector<FirmwareCopy>& firmware,
                     Holding& holding)
{
    RowEnd end;
    end.outcome.start();
    GatewaySession session(context, end.outcome, "Inventory");
    const TransferResult opened = session.open(gateway.ipText, gateway.userId, gateway.password);
    if (opened != TransferResult::Done) {
        end.outcome.finish();
        end.status = opened == TransferResult::NotFound ? RowStatus::NotReachable
                                                        : RowStatus::FtpFailed;
        end.result = transferResultName(opened);
        return end;
    }
    FtpConnection* connection = &session.connection();
    holding.tree = listRemoteTree(*connection, DeviceRoot);
    const std::string bookPath = upperCase(std::string(DeviceRoot) + DeviceBookName);
    for (const RemoteFile& file : holding.tree.files) {
        if (upperCase(file.path) == bookPath)
            holding.bookSize = file.size;
        for (const FirmwareCopy& copy : firmware) {
            if (copy.devicePath == upperCase(file.path) && copy.size == file.size)
                ++holding.firmwareSameSize;
        }
    }
    if (!book.empty()) {
        holding.sameBook = Holding::Same::Unknown;
        if (connection->changeDirectory(DeviceRoot)) {
            const FetchedBook fetched = fetchBookCopy(*connection, temporaryFolder());
            if (fetched.result == BookFetch::Fetched) {
                holding.sameBook = sameFileContents(fetched.path, book) ? Holding::Same::Yes
                                                                         : Holding::Same::No;
                ::unlink(fetched.path.c_str());
            } else if (fetched.result == BookFetch::NoBook) {
                holding.sameBook = Holding::Same::No;
            }
        }
    }
    end.outcome.finish();
    if (!holding.tree.complete) {
        end.outcome.fail(holding.tree.reason);
        end.status = RowStatus::FtpFailed;
        end.result = "Failed";
        return end;
    }
    end.status = RowStatus::Listed;
    end.result = "Listed";
    return end;
}

const char* sameText(Holding::Same same)
{
    switch (same) {
    case Holding::Same::Yes:
        return "equals --book";
    case Holding::Same::No:
        return "differs from --book";
    case Holding::Same::Unknown:
        return "could not be compared with --book";
    case Holding::Same::NotAsked:
        break;
    }
    return "";
}

std::string bookLine(const Holding& holding)
{
    if (holding.bookSize < 0)
        return "  book: none listed";
    std::string line = "  book: " + std::to_string(holding.bookSize) + " bytes, "
                       + (holding.bookSize == static_cast<long long>(BookFileSize)
                              ? "the size of a .cpe"
                              : "not the size of a .cpe ("
                                    + std::to_string(BookFileSize) + " bytes)");
    if (holding.sameBook != Holding::Same::NotAsked)
        line += std::string("; ") + sameText(holding.sameBook);
    return line;
}

// Prints each gateway's block (its line, then its files) as its row ends.
class InventoryView final : public BatchView {
public:
    InventoryView(Output& output, const GatewayList& list, const BatchReport& report,
                  const std::map<std::size_t, Holding>& holdings, std::mutex& mutex,
                  std::optional<std::size_t> firmwareFiles)
        : m_output(output), m_rows(output, list, &report), m_list(list),
          m_holdings(holdings), m_mutex(mutex), m_printed(list.size(), false),
          m_firmwareFiles(firmwareFiles)
    {
    }

    void repaintList() override
    {
        m_rows.repaintList();
        const std::lock_guard lock(m_mutex);
        for (std::size_t row = 0; row < m_list.size(); ++row) {
            const auto holding = m_holdings.find(row);
            if (m_printed[row] || m_list.status(row) != RowStatus::Listed
                || holding == m_holdings.end())
                continue;
            m_printed[row] = true;
            print(holding->second);
        }
    }
    void setBusy(bool) override {}
    void showClosingNotice() override {}
    bool allGood() const { return m_rows.allGood(); }

private:
    void print(const Holding& holding)
    {
        if (m_output.json)
            return;
        std::ostream& out = m_output.io.out;
        out << "  listed by " << holding.tree.method << ", " << holding.tree.files.size()
            << " files\n";
        for (const RemoteFile& file : holding.tree.files) {
            out << "  " << printableText(file.path) << " "
                << (file.size < 0 ? std::string("?") : std::to_string(file.size));
            if (!file.modified.empty())
                out << " " << printableText(file.modified);
            out << "\n";
        }
        out << bookLine(holding) << "\n";
        if (m_firmwareFiles)
            out << "  firmware: " << holding.firmwareSameSize << " of " << *m_firmwareFiles
                << " files already there with the same size\n";
        out << std::flush;
    }

    Output& m_output;
    PrintingView m_rows;
    const GatewayList& m_list;
    const std::map<std::size_t, Holding>& m_holdings;
    std::mutex& m_mutex;
    std::vector<bool> m_printed;
    std::optional<std::size_t> m_firmwareFiles;
};

ordered_json inventoryJson(const BatchReport& report, const std::map<std::size_t, Holding>& holdings,
                           bool withBook, std::optional<std::size_t> firmwareFiles)
{
    ordered_json document = batchJson(report);
    for (ordered_json& gateway : document["gateways"]) {
        const auto holding = holdings.find(gateway["row"].get<std::size_t>() - 1);
        if (holding == holdings.end() || gateway["status"] != "Listed")
            continue;
        const Holding& held = holding->second;
        gateway["method"] = held.tree.method;
        ordered_json files = ordered_json::array();
        for (const RemoteFile& file : held.tree.files) {
            files.push_back({{"path", jsonTextFromBytes(file.path)},
                             {"size", file.size < 0 ? ordered_json() : ordered_json(file.size)},
                             {"modified", file.modified.empty()
                                              ? ordered_json()
                                              : ordered_json(jsonTextFromBytes(file.modified))}});
        }
        gateway["files"] = std::move(files);
        ordered_json book;
        book["size"] = held.bookSize < 0 ? ordered_json() : ordered_json(held.bookSize);
        book["cpeSize"] = held.bookSize == static_cast<long long>(BookFileSize);
        if (withBook)
            book["equalsBook"] = held.sameBook == Holding::Same::Unknown
                                     ? ordered_json()
                                     : ordered_json(held.sameBook == Holding::Same::Yes);
        gateway["book"] = std::move(book);
        if (firmwareFiles)
            gateway["firmware"] = {{"files", *firmwareFiles},
                                   {"sameSize", held.firmwareSameSize}};
    }
    return document;
}

std::string csvField(const std::string& text)
{
    std::string field = text;
    if (!field.empty() && std::string("=+-@").find(field[0]) != std::string::npos)
        field.insert(0, "'");
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (char c : field)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// One line per file: row, address, path, size, modified; a gateway not listed has one line
// with its status and reason instead.
std::string inventoryCsv(const BatchReport& report, const std::map<std::size_t, Holding>& holdings)
{
    std::string text = "row,address,status,path,size,modified,reason\r\n";
    for (const ReportRow& row : report.rows) {
        const std::string start = std::to_string(row.row + 1) + "," + csvField(row.address) + ","
                                  + row.statusText() + ",";
        const auto holding = holdings.find(row.row);
        if (row.status != RowStatus::Listed || holding == holdings.end()) {
            text += start + ",,," + csvField(row.outcome.reason) + "\r\n";
            continue;
        }
        for (const RemoteFile& file : holding->second.tree.files)
            text += start + csvField(file.path) + ","
                    + (file.size < 0 ? std::string() : std::to_string(file.size)) + ","
                    + csvField(file.modified) + ",\r\n";
    }
    return text;
}

bool endsWithCsv(const std::string& path)
{
    return path.size() >= 4 && upperCase(path.substr(path.size() - 4)) == ".CSV";
}

}  // namespace

int inventoryCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args,
                        withOptions(withOptions({{"--rows", true}, {"--jobs", true},
                                                 {"--book", true}, {"--firmware", true},
                                                 {"--report", true}},
                                                OutputOptions),
                                    TransferOptions),
                        1, commandNamed("inventory"), io, parsed))
        return ExitBadUsage;
    Output output(parsed, io);
    BatchStart start;
    if (!readBatchStart(parsed, io, start))
        return ExitBadUsage;
    const std::optional<std::string>& reportPath = start.reportPath;
    std::string book;
    if (parsed.has("--book")) {
        book = parsed.options.find("--book")->second;
        if (const FileError error = regularFileCheck(book); error != FileError::None)
            return reportFailure(io, ExitBadUsage, fileErrorText(error, book));
    }
    if (parsed.has("--firmware") && !isDirectory(parsed.options.find("--firmware")->second))
        return reportFailure(io, ExitBadUsage,
                             parsed.options.find("--firmware")->second + " is not a folder.");

    GatewayList list;
    std::optional<std::set<std::size_t>> rows;
    if (const std::optional<int> ended = loadListRows(parsed, io, list, rows))
        return *ended;
    const std::vector<std::size_t> chosen = rowsToWorkOn(list, rows);

    Device device(output.progress, start.limits);
    std::vector<FirmwareCopy> firmware;
    std::optional<std::size_t> firmwareFiles;
    if (parsed.has("--firmware")) {
        firmware = firmwareCopies(start.settings, parsed.options.find("--firmware")->second);
        firmwareFiles = firmware.size();
    }
    TransferContext context = device.context();
    std::mutex mutex;
    std::map<std::size_t, Holding> holdings;  // guarded by mutex
    BatchReport report;
    InventoryView view(output, list, report, holdings, mutex, firmwareFiles);
    const StopSignals signals;
    context.cancel = &abandonRequested;
    const auto started = std::chrono::steady_clock::now();
    const BatchOutcome outcome = runGatewayBatch(
        list, chosen, "inventory",
        [&](std::size_t row, const GatewayRecord& gateway) {
            Holding holding;
            RowEnd end = takeInventory(context, gateway, book, firmware, holding);
            const std::lock_guard lock(mutex);
            holdings.emplace(row, std::move(holding));
            return end;
        },
        view, signals.control(start.limits.jobs, &report));
    if (outcome == BatchOutcome::NoItemInList)
        return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item in list!");
    const bool stopped = printNotStarted(output, list, rows);
    const int status = view.allGood() && !stopped ? ExitSuccess : ExitFailed;

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    output.progress.clear();
    ordered_json document = inventoryJson(report, holdings, !book.empty(), firmwareFiles);
    document["summary"] = summaryJson(report, seconds);
    if (output.json)
        io.out << document.dump(2) << "\n";
    output.notice(summaryText(report.command, summaryOf(report, seconds)));
    if (reportPath) {
        const std::string text = endsWithCsv(*reportPath) ? inventoryCsv(report, holdings)
                                                          : document.dump(2) + "\n";
        const FileError error = writeFileAtomically(*reportPath, [&](std::ostream& out) {
            out << text;
            return static_cast<bool>(out);
        });
        if (error != FileError::None)
            return reportFailure(io, ExitFailed, fileErrorText(error, *reportPath));
    }
    return status;
}
