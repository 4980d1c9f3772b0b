#include "cli/deviceoutput.h"

#include "cli/jsontext.h"
#include "cli/reports.h"
#include "gatewaylist/batchreport.h"
#include "gatewaylist/gatewaylist.h"
#include "transfer/outcome.h"

using nlohmann::ordered_json;

Output::Output(const ParsedArguments& parsed, CliIo& cliIo)
    : json(parsed.has("--json")),
      io(cliIo),
      progress(parsed.has("--quiet") ? m_nowhere : json ? cliIo.err : cliIo.out),
      lines(json ? m_nowhere : cliIo.out)
{
}

void Output::reason(const std::string& gateway, const std::string& why) const
{
    if (json || why.empty())
        return;
    io.out << std::flush;
    io.err << "orbiphon-cli: " << gateway << ": " << printableText(why) << "\n" << std::flush;
}

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

PrintingView::PrintingView(std::ostream& out, const GatewayList& list, const Output* output,
                           const BatchReport* report)
    : m_out(out), m_list(list), m_shown(list.size(), RowStatus::None), m_output(output),
      m_report(report)
{
}

void PrintingView::repaintList()
{
    for (std::size_t row = 0; row < m_list.size(); ++row) {
        const RowStatus status = m_list.status(row);
        if (status != m_shown[row] && status != RowStatus::None) {
            m_out << row + 1 << " " << printableText(m_list.record(row).ipText) << " "
                  << rowStatusName(status) << "\n"
                  << std::flush;
            printReason(row, status);
            m_allGood = m_allGood && (status == RowStatus::Reachable ||
                                      status == RowStatus::Uploaded);
        }
        m_shown[row] = status;
    }
}

void PrintingView::showClosingNotice()
{
    std::string notice = ClosingNotice;
    notice.replace(notice.find("\r\n"), 2, "\n");
    (m_output && m_output->json ? m_output->progress : m_out) << notice << "\n";
}

void PrintingView::printReason(std::size_t row, RowStatus status) const
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

void NotesPrinter::print(const std::string& address, const std::string& notes)
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

GatewayNotesHandler NotesPrinter::handler()
{
    return [this](const GatewayRecord& gateway, const std::string& notes) {
        print(gateway.ipText, notes);
    };
}
