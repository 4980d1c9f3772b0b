#include "cli/commands.h"

#include "cli/consoleprogress.h"
#include "cli/jsontext.h"
#include "cli/reports.h"
#include "gatewaylist/batch.h"
#include "gatewaylist/listfile.h"
#include "base/atomicfile.h"
#include "base/pathutils.h"
#include "base/settingsfile.h"
#include "gatewaylist/listfilereport.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/curlftpclient.h"
#include "transfer/firmwareupload.h"
#include "transfer/outcome.h"
#include "transfer/probe.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <ostream>

namespace {

constexpr const char* PasswordVariable = "ORBIPHON_PASSWORD";

using nlohmann::ordered_json;

// Where a device command writes: with --json one document on standard output and the progress
// on standard error; with --quiet no progress at all.
class Output {
public:
    Output(const ParsedArguments& parsed, CliIo& cliIo)
        : json(parsed.has("--json")),
          io(cliIo),
          progress(parsed.has("--quiet") ? m_nowhere : json ? cliIo.err : cliIo.out),
          lines(json ? m_nowhere : cliIo.out)
    {
    }

    // A failure's reason on standard error: "orbiphon-cli: 127.0.0.2: cannot log in: 530 ...".
    void reason(const std::string& gateway, const std::string& why) const
    {
        if (json || why.empty())
            return;
        io.out << std::flush;
        io.err << "orbiphon-cli: " << gateway << ": " << printableText(why) << "\n" << std::flush;
    }

private:
    std::ostream m_nowhere{nullptr};

public:
    const bool json;
    CliIo& io;
    std::ostream& progress;
    std::ostream& lines;
};

// The document of a command about one gateway: {"command":..., "gateway":{...}}.
void printGatewayJson(CliIo& io, const char* command, ordered_json gateway,
                      const GatewayOutcome& outcome)
{
    addOutcome(gateway, outcome);
    ordered_json document;
    document["command"] = command;
    document["gateway"] = std::move(gateway);
    io.out << document.dump(2) << "\n";
}

ordered_json loginJson(const std::string& address, const std::string& userId)
{
    return {{"address", jsonTextFromBytes(address)}, {"userId", jsonTextFromBytes(userId)}};
}

// What the device commands talk to: the real probe, FTP and settings beside the executable.
struct Device {
    explicit Device(std::ostream& out) : progress(out) { settings.setPath(settingsFilePath()); }

    TransferContext context() { return {prober, ftp, progress, FtpPort}; }

    IcmpProber prober;
    CurlFtpClientFactory ftp;
    SettingsFile settings;
    ConsoleProgress progress;
};

// The login's password: the operand when given, else the environment.
std::optional<std::string> passwordFrom(const ParsedArguments& parsed, std::size_t index,
                                        std::size_t withPassword)
{
    if (parsed.operands.size() == withPassword)
        return parsed.operands[index];
    if (const char* value = std::getenv(PasswordVariable))
        return std::string(value);
    return std::nullopt;
}

// A login that could smuggle commands to the gateway is refused before anything is sent; the
// message never repeats the password.
std::optional<int> refuseUnsendableLogin(const std::string& userId, const std::string& password,
                                         CliIo& io)
{
    if (isSendableLogin(userId, password))
        return std::nullopt;
    return reportFailure(io, ExitBadUsage, UnsendableLoginMessage);
}

// A firmware upgrade without its settings file would send nothing and report Done.
std::optional<int> refuseUnreadableSettings(const UpgradeOptions& options,
                                            const SettingsFile& settings, CliIo& io)
{
    const FileError error = upgradeSettingsError(options, settings);
    if (error == FileError::None)
        return std::nullopt;
    return reportFailure(io, ExitBadUsage, fileErrorText(error, settings.path()));
}

int missingPassword(CliIo& io)
{
    return reportFailure(io, ExitBadUsage,
                         std::string("no PASSWORD given and ") + PasswordVariable + " is not set");
}

bool isDirectory(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A firmware folder that is missing, or is something else.
int notAFolder(CliIo& io, const std::string& path)
{
    const FileError error = regularFileCheck(path);
    if (error == FileError::None || error == FileError::IsPipe || error == FileError::IsSpecialFile)
        return reportFailure(io, ExitBadUsage, path + " is not a folder.");
    return reportFailure(io, ExitBadUsage, fileErrorText(error, path));
}

// A source that exists but is a folder, pipe or device: a transfer would hang or fail on it.
bool isSpecialSource(FileError error)
{
    return error == FileError::IsFolder || error == FileError::IsPipe
        || error == FileError::IsSpecialFile;
}

int finish(CliIo& io, TransferResult result)
{
    io.out << transferResultName(result) << "\n";
    return result == TransferResult::Done ? ExitSuccess : ExitFailed;
}

// The end of an upload to one gateway: its line and its reason, or its document.
int finishUpload(const Output& output, const char* command, TransferResult result,
                 const std::string& address, const std::string& userId,
                 const GatewayOutcome& outcome)
{
    if (output.json) {
        ordered_json gateway = loginJson(address, userId);
        gateway["status"] = rowStatusName(statusForResult(result));
        gateway["result"] = transferResultName(result);
        printGatewayJson(output.io, command, std::move(gateway), outcome);
        return result == TransferResult::Done ? ExitSuccess : ExitFailed;
    }
    const int status = finish(output.io, result);
    if (result != TransferResult::Done)
        output.reason(printableText(address), outcome.reason);
    return status;
}

const char* statusName(RowStatus status)
{
    return rowStatusName(status);
}

// Prints each gateway's line as soon as its row gets its image, as the window shows it.
class PrintingView final : public BatchView {
public:
    PrintingView(std::ostream& out, const GatewayList& list, const Output* output = nullptr,
                 const BatchReport* report = nullptr)
        : m_out(out), m_list(list), m_shown(list.size(), RowStatus::None), m_output(output),
          m_report(report)
    {
    }

    void repaintList() override
    {
        for (std::size_t row = 0; row < m_list.size(); ++row) {
            const RowStatus status = m_list.status(row);
            if (status != m_shown[row] && status != RowStatus::None) {
                m_out << row + 1 << " " << printableText(m_list.record(row).ipText) << " "
                      << statusName(status) << "\n"
                      << std::flush;
                printReason(row, status);
                m_allGood = m_allGood && (status == RowStatus::Reachable ||
                                          status == RowStatus::Uploaded);
            }
            m_shown[row] = status;
        }
    }

    void setBusy(bool) override {}

    void showClosingNotice() override
    {
        std::string notice = ClosingNotice;
        notice.replace(notice.find("\r\n"), 2, "\n");
        (m_output && m_output->json ? m_output->progress : m_out) << notice << "\n";
    }

    bool allGood() const { return m_allGood; }

private:
    void printReason(std::size_t row, RowStatus status) const
    {
        if (!m_output || !m_report
            || (status != RowStatus::FtpFailed && status != RowStatus::NotReachable))
            return;
        for (const ReportRow& entry : m_report->rows) {
            if (entry.row == row)
                m_output->reason(std::to_string(row + 1) + " "
                                     + printableText(m_list.record(row).ipText),
                                 entry.outcome.reason);
        }
    }

    std::ostream& m_out;
    const GatewayList& m_list;
    std::vector<RowStatus> m_shown;
    bool m_allGood = true;
    const Output* m_output;
    const BatchReport* m_report;
};

std::atomic<bool> stopRequested = false;
std::atomic<int> stopSignals = 0;
std::atomic<bool> abandonOnSecondSignal = true;

// The first SIGINT or SIGTERM lets the gateways in progress end and starts no further one; a
// second abandons them at once. A download stops at the first, and its temporary must still
// go, so a second changes nothing there.
extern "C" void onStopSignal(int)
{
    if (stopSignals.fetch_add(1) == 0 || !abandonOnSecondSignal) {
        stopRequested = true;
        return;
    }
    static const char message[] = "orbiphon-cli: stopped, the gateways in progress abandoned\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(ExitFailed);
}

// SIGINT and SIGTERM stop the batch while it runs; a shell that started us in the background
// may have set them ignored, so the handler is installed whatever they were.
class StopSignals {
public:
    explicit StopSignals(bool abandonOnSecond = true)
    {
        stopRequested = false;
        stopSignals = 0;
        abandonOnSecondSignal = abandonOnSecond;
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &m_interrupt);
        ::sigaction(SIGTERM, &action, &m_terminate);
    }
    ~StopSignals()
    {
        ::sigaction(SIGINT, &m_interrupt, nullptr);
        ::sigaction(SIGTERM, &m_terminate, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    BatchControl control(int jobs, BatchReport* report = nullptr) const
    {
        return {jobs, &stopRequested, nullptr, report};
    }

private:
    struct sigaction m_interrupt {};
    struct sigaction m_terminate {};
};

// The rows a stopped batch never started, as "3 10.0.0.3 NotStarted"; true when there were any.
bool printNotStarted(std::ostream& out, const GatewayList& list,
                     const std::optional<std::set<std::size_t>>& rows)
{
    bool any = false;
    for (std::size_t row = 0; row < list.size(); ++row) {
        if ((rows && !rows->contains(row)) || list.status(row) != RowStatus::None)
            continue;
        out << row + 1 << " " << printableText(list.record(row).ipText) << " NotStarted\n";
        any = true;
    }
    return any;
}

// --jobs N, 1 when not given; nullopt after reporting a bad value.
std::optional<int> jobsFrom(const ParsedArguments& parsed, CliIo& io)
{
    const auto option = parsed.options.find("--jobs");
    if (option == parsed.options.end())
        return MinJobs;
    if (const std::optional<int> jobs = parseJobs(option->second))
        return jobs;
    reportFailure(io, ExitBadUsage, "--jobs takes a number from 1 to 64");
    return std::nullopt;
}

// Reads a gateway list as the Upgrade window would; nullopt after reporting why it can't.
std::optional<int> loadList(const std::string& path, GatewayList& list, CliIo& io)
{
    const ListFileReport report = listFileReport(loadGatewayList(path, list), path, path);
    if (const std::optional<int> failed = reportUnreadableList(report, path, io))
        return failed;
    if (report.outcome == ListFileOutcome::CutShort)
        return reportFailure(io, ExitBadUsage, report.message);
    return std::nullopt;
}

// "2,4" to the 0-based rows {1, 3}; nullopt when a number is not a row of the list.
std::optional<std::set<std::size_t>> rowsFrom(const std::string& text, std::size_t count)
{
    std::set<std::size_t> rows;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string number = text.substr(start, comma - start);
        if (number.empty() || number.size() > 9 ||
            number.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const std::size_t row = std::stoul(number);
        if (row < 1 || row > count)
            return std::nullopt;
        rows.insert(row - 1);
        start = comma + 1;
    }
    return rows;
}

// The --backup and --verify choices; nullopt after reporting a back-up folder that is not one.
std::optional<TransferSafety> safetyFrom(const ParsedArguments& parsed, CliIo& io)
{
    TransferSafety safety;
    safety.verify = parsed.has("--verify");
    if (const auto backup = parsed.options.find("--backup"); backup != parsed.options.end()) {
        safety.backupFolder = backup->second;
        if (!isDirectory(safety.backupFolder)) {
            notAFolder(io, safety.backupFolder);
            return std::nullopt;
        }
    }
    return safety;
}

// What the back-up and verify steps found, one stderr line each, as "orbiphon-cli: IP: ...".
// Uploads of several gateways at once report from their own threads.
class NotesPrinter {
public:
    explicit NotesPrinter(std::ostream& err) : m_err(err) {}

    void print(const std::string& address, const std::string& notes)
    {
        const std::lock_guard lock(m_mutex);
        std::size_t start = 0;
        while (start < notes.size()) {
            const std::size_t end = std::min(notes.find('\n', start), notes.size());
            m_err << "orbiphon-cli: " << printableText(address) << ": "
                  << withoutControls(notes.substr(start, end - start)) << "\n";
            start = end + 1;
        }
        m_err << std::flush;
    }

    GatewayNotesHandler handler()
    {
        return [this](const GatewayRecord& gateway, const std::string& notes) {
            print(gateway.ipText, notes);
        };
    }

private:
    std::ostream& m_err;
    std::mutex m_mutex;
};

nlohmann::json planJson(std::size_t row, const std::string& address, const FirmwarePlan& plan)
{
    nlohmann::json gateway = {{"address", jsonTextFromBytes(address)},
                              {"result", plan.result == TransferResult::Done
                                             ? "Planned"
                                             : transferResultName(plan.result)}};
    if (row > 0)
        gateway["row"] = row;
    if (plan.result != TransferResult::Done) {
        gateway["reason"] = plan.reason;
        return gateway;
    }
    nlohmann::json cleaning = nlohmann::json::array();
    for (const FirmwarePlan::Cleaning& folder : plan.cleaning) {
        nlohmann::json names = nlohmann::json::array();
        for (const std::string& name : folder.deletions)
            names.push_back(jsonTextFromBytes(name));
        cleaning.push_back({{"folder", folder.deviceDirectory},
                            {"missing", folder.missing},
                            {"unlisted", folder.unlisted},
                            {"delete", names}});
    }
    nlohmann::json files = nlohmann::json::array();
    for (const FirmwarePlan::File& file : plan.files) {
        nlohmann::json entry = {{"file", jsonTextFromBytes(file.relativePath)},
                                {"to", jsonTextFromBytes(file.deviceDirectory + file.name)},
                                {"action", firmwareActionName(file.action)}};
        if (file.action != FirmwarePlan::Action::Put)
            entry["reason"] = jsonTextFromBytes(firmwareActionReason(file));
        files.push_back(std::move(entry));
    }
    nlohmann::json unreadable = nlohmann::json::array();
    for (const std::string& folder : plan.unreadableFolders)
        unreadable.push_back(jsonTextFromBytes(folder));
    gateway["clean"] = cleaning;
    gateway["files"] = files;
    gateway["unreadableFolders"] = unreadable;
    return gateway;
}

// Prints the plans, as text or as one JSON document; exit 0 when every gateway could be planned.
int printPlans(CliIo& io, const std::vector<RowPlan>& plans, bool json, bool numbered)
{
    bool allPlanned = true;
    nlohmann::json document = {{"gateways", nlohmann::json::array()}};
    for (const RowPlan& planned : plans) {
        allPlanned = allPlanned && planned.plan.result == TransferResult::Done;
        if (json) {
            document["gateways"].push_back(
                planJson(numbered ? planned.row + 1 : 0, planned.gateway.ipText, planned.plan));
            continue;
        }
        if (numbered)
            io.out << planned.row + 1 << " ";
        io.out << printableText(planned.gateway.ipText) << " "
               << (planned.plan.result == TransferResult::Done
                       ? "Planned"
                       : transferResultName(planned.plan.result))
               << "\n";
        const std::string text = firmwarePlanText(planned.plan);
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            io.out << printableText(text.substr(start, end - start)) << "\n";
            start = end + 1;
        }
    }
    if (json)
        io.out << document.dump(2) << "\n";
    return allPlanned ? ExitSuccess : ExitFailed;
}

// --report FILE: a name ending in .csv or .json that can be saved to; nullopt after reporting
// why not (or when not given).
std::optional<std::string> reportPathFrom(const ParsedArguments& parsed, CliIo& io)
{
    const auto option = parsed.options.find("--report");
    if (option == parsed.options.end())
        return std::nullopt;
    const std::string& path = option->second;
    if (!isReportName(path)) {
        reportFailure(io, ExitBadUsage, "--report takes a FILE ending in .csv or .json");
        return std::nullopt;
    }
    if (const FileError error = checkSaveTarget(path); error != FileError::None) {
        reportFailure(io, ExitBadUsage, fileErrorText(error, path));
        return std::nullopt;
    }
    return path;
}

// The end of check and upgrade: the document, the report file, the exit status.
int finishBatch(const Output& output, const BatchReport& report,
                const std::optional<std::string>& reportPath, int status)
{
    if (output.json)
        output.io.out << batchJson(report).dump(2) << "\n";
    if (reportPath) {
        if (const FileError error = saveReport(*reportPath, report); error != FileError::None)
            return reportFailure(output.io, ExitFailed, fileErrorText(error, *reportPath));
    }
    return status;
}

constexpr const char* FailedRowsPrefix = "failed:";

// The rows a report marks as not done; a report of another list is bad input.
std::optional<int> failedRowsFrom(const std::string& path, const GatewayList& list, CliIo& io,
                                  std::optional<std::set<std::size_t>>& rows)
{
    try {
        nlohmann::json document;
        const FileError error = readJsonFile(path, document);
        if (error != FileError::None)
            return reportFailure(io, ExitFailed, fileErrorText(error, path));
        rows = failedRowsOf(document, list);
    } catch (const BadInput& e) {
        return reportFailure(io, ExitBadUsage, path + ": " + e.what());
    }
    return std::nullopt;
}

} // namespace

int probeCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, {{"--json"}, {"--quiet"}}, 1, commandNamed("probe"), io, parsed))
        return ExitBadUsage;
    const Output output(parsed, io);
    const std::string& address = parsed.operands[0];
    GatewayOutcome outcome;
    outcome.start();
    const bool present = probeGateway(address, ProbeTimeoutMs);
    outcome.finish();
    if (!present)
        outcome.fail(noEchoReason(ProbeTimeoutMs));
    if (output.json) {
        ordered_json gateway{{"address", jsonTextFromBytes(address)},
                             {"status", present ? "Reachable" : "NotReachable"},
                             {"result", present ? "present" : "not present"}};
        printGatewayJson(io, "probe", std::move(gateway), outcome);
    } else {
        io.out << printableText(address) << (present ? " present" : " not present") << "\n";
        output.reason(printableText(address), outcome.reason);
    }
    return present ? ExitSuccess : ExitFailed;
}

int downloadCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, {{"--json"}, {"--quiet"}}, 3, 4, commandNamed("download"), io,
                        parsed))
        return ExitBadUsage;
    const Output output(parsed, io);
    const std::string& address = parsed.operands[0];
    const std::string& userId = parsed.operands[1];
    const std::string& localPath = parsed.operands.back();
    const std::optional<std::string> password = passwordFrom(parsed, 2, 4);
    if (!password)
        return missingPassword(io);
    if (const std::optional<int> refused = refuseUnsendableLogin(userId, *password, io))
        return *refused;
    // A protected file, a folder, a pipe or a device is refused before anything is fetched.
    if (const FileError refused = checkSaveTarget(localPath); refused != FileError::None)
        return reportFailure(io, ExitFailed, fileErrorText(refused, localPath));

    Device device(output.progress);
    GatewayOutcome outcome;
    // The document of the download; its text lines keep the program's own two messages.
    const auto finishDownload = [&](TransferResult result) -> int {
        if (!output.json)
            return finish(io, result);
        ordered_json gateway = loginJson(address, userId);
        gateway["result"] = transferResultName(result);
        printGatewayJson(io, "download", std::move(gateway), outcome);
        return result == TransferResult::Done ? ExitSuccess : ExitFailed;
    };
    outcome.start();
    if (!device.prober.probe(address, ProbeTimeoutMs)) {
        outcome.finish();
        outcome.fail(noEchoReason(ProbeTimeoutMs));
        if (!output.json)
            io.err << "orbiphon-cli: " << printableText(address) << ": Orbiphon not found!\n";
        return finishDownload(TransferResult::NotFound);
    }
    const StopSignals signals(false);
    TransferContext context = device.context();
    context.cancel = &stopRequested;
    const DownloadResult result = downloadAddressBook(context, address, userId, *password,
                                                      localPath, [&] {
        if (stopRequested)
            io.err << "orbiphon-cli: download stopped; " << printableText(localPath)
                   << " is as it was\n";
        else if (!output.json)
            io.err << "orbiphon-cli: " << printableText(address) << ": FTP failure!\n";
    }, &outcome);
    return finishDownload(result == DownloadResult::Done ? TransferResult::Done
                                                         : TransferResult::Failed);
}

int uploadBookCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args, {{"--backup", true}, {"--verify"}, {"--json"}, {"--quiet"}}, 3, 4,
                        commandNamed("upload-book"), io, parsed))
        return ExitBadUsage;
    const Output output(parsed, io);
    const std::optional<std::string> password = passwordFrom(parsed, 3, 4);
    if (!password)
        return missingPassword(io);
    if (const std::optional<int> refused = refuseUnsendableLogin(parsed.operands[2], *password, io))
        return *refused;
    if (const FileError error = regularFileCheck(parsed.operands[0]); isSpecialSource(error))
        return reportFailure(io, ExitBadUsage, fileErrorText(error, parsed.operands[0]));

    const std::optional<TransferSafety> safety = safetyFrom(parsed, io);
    if (!safety)
        return ExitBadUsage;

    Device device(output.progress);
    TransferContext context = device.context();
    GatewayOutcome outcome;
    std::string notes;
    const TransferResult result = uploadAddressBook(context, parsed.operands[0],
                                                    parsed.operands[1], parsed.operands[2],
                                                    *password, *safety, &notes, &outcome);
    NotesPrinter(io.err).print(parsed.operands[1], notes);
    return finishUpload(output, "upload-book", result, parsed.operands[1], parsed.operands[2],
                        outcome);
}

int uploadFirmwareCommand(const std::vector<std::string>& args, CliIo& io)
{
    const CliCommand& command = commandNamed("upload-firmware");
    ParsedArguments parsed;
    if (!parseArguments(args,
                        {{"--full"}, {"--code"}, {"--verify"}, {"--dry-run"}, {"--json"},
                         {"--quiet"}},
                        3, 4, command, io, parsed))
        return ExitBadUsage;
    const Output output(parsed, io);
    if (parsed.has("--full") == parsed.has("--code"))
        return reportFailure(io, ExitBadUsage, "give one of --full and --code");
    if (parsed.has("--verify") && parsed.has("--dry-run"))
        return reportFailure(io, ExitBadUsage, "--verify and --dry-run don't go together");
    const std::optional<std::string> password = passwordFrom(parsed, 3, 4);
    if (!password)
        return missingPassword(io);
    if (const std::optional<int> refused = refuseUnsendableLogin(parsed.operands[2], *password, io))
        return *refused;

    Device device(output.progress);
    UpgradeOptions options;
    options.mode = UpgradeMode::FirmwareUpgrade;
    if (const std::optional<int> refused = refuseUnreadableSettings(options, device.settings, io))
        return *refused;
    TransferContext context = device.context();
    if (parsed.has("--dry-run")) {
        const FirmwarePlan plan =
            planFirmware(context, device.settings, parsed.operands[0], parsed.has("--full"),
                         parsed.operands[1], parsed.operands[2], *password);
        return printPlans(io, {{0, {parsed.operands[1], parsed.operands[2], *password}, plan}},
                          parsed.has("--json"), false);
    }
    GatewayOutcome outcome;
    std::string notes;
    const TransferResult result = uploadFirmware(
        context, device.settings, parsed.operands[0], parsed.has("--full"), parsed.operands[1],
        parsed.operands[2], *password, {{}, parsed.has("--verify")}, &notes, &outcome);
    NotesPrinter(io.err).print(parsed.operands[1], notes);
    return finishUpload(output, "upload-firmware", result, parsed.operands[1],
                        parsed.operands[2], outcome);
}

int checkCommand(const std::vector<std::string>& args, CliIo& io)
{
    ParsedArguments parsed;
    if (!parseArguments(args,
                        {{"--jobs", true}, {"--json"}, {"--quiet"}, {"--report", true}}, 1,
                        commandNamed("check"), io, parsed))
        return ExitBadUsage;
    const Output output(parsed, io);
    const std::optional<int> jobs = jobsFrom(parsed, io);
    if (!jobs)
        return ExitBadUsage;
    const std::optional<std::string> reportPath = reportPathFrom(parsed, io);
    if (parsed.has("--report") && !reportPath)
        return ExitBadUsage;
    GatewayList list;
    if (const std::optional<int> failed = loadList(parsed.operands[0], list, io))
        return *failed;

    IcmpProber prober;
    BatchReport report;
    PrintingView view(output.lines, list, &output, &report);
    const StopSignals signals;
    if (checkConnections(list, prober, view, signals.control(*jobs, &report)) ==
        BatchOutcome::NoItemInList)
        return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item in list!");
    const bool stopped = printNotStarted(output.lines, list, std::nullopt);
    const int status = view.allGood() && !stopped ? ExitSuccess : ExitFailed;
    return finishBatch(output, report, reportPath, status);
}

int upgradeCommand(const std::vector<std::string>& args, CliIo& io)
{
    const CliCommand& command = commandNamed("upgrade");
    ParsedArguments parsed;
    if (!parseArguments(args,
                        {{"--book", true}, {"--firmware", true}, {"--full"}, {"--code"},
                         {"--rows", true}, {"--jobs", true}, {"--backup", true}, {"--verify"},
                         {"--dry-run"}, {"--json"}, {"--quiet"}, {"--report", true}},
                        1, command, io, parsed))
        return ExitBadUsage;
    const Output output(parsed, io);
    const std::optional<int> jobs = jobsFrom(parsed, io);
    if (!jobs)
        return ExitBadUsage;
    const std::optional<std::string> reportPath = reportPathFrom(parsed, io);
    if (parsed.has("--report") && !reportPath)
        return ExitBadUsage;

    UpgradeOptions options;
    if (parsed.has("--book") == parsed.has("--firmware"))
        return reportFailure(io, ExitBadUsage, "give one of --book FILE.cpe and --firmware FOLDER");
    if (parsed.has("--book")) {
        if (parsed.has("--full") || parsed.has("--code"))
            return reportFailure(io, ExitBadUsage, "--full and --code go with --firmware");
        if (parsed.has("--dry-run"))
            return reportFailure(io, ExitBadUsage, "--dry-run goes with --firmware");
        options.mode = UpgradeMode::AddressBookUpgrade;
        options.sourcePath = parsed.options.find("--book")->second;
        if (const FileError error = regularFileCheck(options.sourcePath); error != FileError::None)
            return reportFailure(io, ExitBadUsage, fileErrorText(error, options.sourcePath));
    } else {
        if (parsed.has("--full") == parsed.has("--code"))
            return reportFailure(io, ExitBadUsage, "give one of --full and --code");
        if (parsed.has("--backup"))
            return reportFailure(io, ExitBadUsage, "--backup goes with --book");
        options.mode = UpgradeMode::FirmwareUpgrade;
        options.fullFirmware = parsed.has("--full");
        options.sourcePath = parsed.options.find("--firmware")->second;
        if (!isDirectory(options.sourcePath))
            return notAFolder(io, options.sourcePath);
    }

    if (parsed.has("--verify") && parsed.has("--dry-run"))
        return reportFailure(io, ExitBadUsage, "--verify and --dry-run don't go together");
    const std::optional<TransferSafety> safety = safetyFrom(parsed, io);
    if (!safety)
        return ExitBadUsage;

    GatewayList list;
    if (const std::optional<int> failed = loadList(parsed.operands[0], list, io))
        return *failed;
    std::optional<std::set<std::size_t>> rows;
    if (parsed.has("--rows")) {
        const std::string& text = parsed.options.find("--rows")->second;
        if (text.rfind(FailedRowsPrefix, 0) == 0) {
            if (const std::optional<int> failed =
                    failedRowsFrom(text.substr(std::string(FailedRowsPrefix).size()), list, io,
                                   rows))
                return *failed;
            if (rows->empty()) {
                io.err << "orbiphon-cli: " << withoutControls(text.substr(std::string(FailedRowsPrefix).size()))
                       << ": no failed rows, nothing to do\n";
                return ExitSuccess;
            }
        } else {
            rows = rowsFrom(text, list.size());
            if (!rows)
                return reportFailure(io, ExitBadUsage,
                                     "--rows takes row numbers 1 to "
                                         + std::to_string(list.size())
                                         + " separated by commas, or failed:REPORT.json");
        }
    }

    Device device(output.progress);
    if (const std::optional<int> refused = refuseUnreadableSettings(options, device.settings, io))
        return *refused;
    TransferContext context = device.context();
    if (parsed.has("--dry-run")) {
        if (list.empty())
            return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item in list!");
        std::vector<std::size_t> planned;
        for (std::size_t row = 0; row < list.size(); ++row) {
            if (!rows || rows->contains(row))
                planned.push_back(row);
        }
        const StopSignals signals;
        return printPlans(io,
                          planRows(list, planned, context, device.settings, options,
                                   signals.control(*jobs)),
                          parsed.has("--json"), true);
    }
    NotesPrinter notes(io.err);
    TransferUploader uploader(context, device.settings, options, *safety, notes.handler());
    BatchReport report;
    PrintingView view(output.lines, list, &output, &report);
    const StopSignals signals;
    const BatchControl control = signals.control(*jobs, &report);
    const BatchOutcome outcome =
        rows ? upgradeSelection(list, *rows, uploader, device.progress, view, control)
             : upgradeList(list, uploader, device.progress, view, control);
    if (outcome == BatchOutcome::NoItemInList)
        return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item in list!");
    if (outcome == BatchOutcome::NoItemSelected)
        return reportFailure(io, ExitFailed, parsed.operands[0] + ": No item selected!");
    const bool stopped = printNotStarted(output.lines, list, rows);
    const int status = view.allGood() && !stopped ? ExitSuccess : ExitFailed;
    return finishBatch(output, report, reportPath, status);
}
