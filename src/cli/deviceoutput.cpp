#include "cli/deviceoutput.h"

#include "cli/jsontext.h"
#include "cli/reports.h"
#include "cli/stopsignals.h"
#include "gatewaylist/batchreport.h"
#include "gatewaylist/gatewaylist.h"
#include "gatewaylist/stagegate.h"
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
        gateway["status"] =
            outcome.abandoned ? "Abandoned" : rowStatusName(statusForResult(result));
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
            const ReportRow* entry = reportRow(row);
            const std::string address = printableText(m_list.record(row).ipText);
            m_out << row + 1 << " " << address << " "
                  << (entry ? entry->statusText() : std::string(rowStatusName(status))) << "\n"
                  << std::flush;
            if (m_output && !m_output->json)
                stopForClosedOutput(m_output->io.out);
            if (entry && (status == RowStatus::FtpFailed || status == RowStatus::NotReachable))
                m_output->reason(std::to_string(row + 1) + " " + address, entry->outcome.reason);
            if (entry)
                printNotes(m_output->io.err, m_list.record(row).ipText, entry->outcome.notes);
            m_allGood = m_allGood && isSuccessStatus(status);
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

const ReportRow* PrintingView::reportRow(std::size_t row) const
{
    if (!m_output || !m_report)
        return nullptr;
    for (const ReportRow& entry : m_report->rows) {
        if (entry.row == row && entry.started)
            return &entry;
    }
    return nullptr;
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

void printNotes(std::ostream& err, const std::string& address,
                const std::vector<std::string>& notes)
{
    for (const std::string& note : notes)
        err << "orbiphon-cli: " << printableText(address) << ": " << withoutControls(note) << "\n";
    err << std::flush;
}
