#include "cli/deviceoutput.h"

#include "cli/jsontext.h"
#include "cli/reports.h"
#include "cli/stopsignals.h"
#include "gatewaylist/batchreport.h"
#include "gatewaylist/gatewaylist.h"
#include "gatewaylist/stagegate.h"
#include "transfer/outcome.h"

using nlohmann::ordered_json;

namespace {

ProgressLine::Mode progressMode(const ParsedArguments& parsed, const CliIo& io)
{
    if (parsed.has("--quiet"))
        return ProgressLine::Mode::Off;
    if (io.errIsTerminal)
        return ProgressLine::Mode::InPlace;
    return parsed.has("--progress") ? ProgressLine::Mode::Lines : ProgressLine::Mode::Off;
}

}  // namespace

const std::vector<OptionSpec> OutputOptions{{"--json"}, {"--quiet"}, {"--progress"}};

Output::Output(const ParsedArguments& parsed, CliIo& cliIo)
    : json(parsed.has("--json")),
      quiet(parsed.has("--quiet")),
      io(cliIo),
      progress(cliIo.err, progressMode(parsed, cliIo))
{
}

void Output::reason(const std::string& gateway, const std::string& why)
{
    if (json || why.empty())
        return;
    progress.above([&] {
        io.out << std::flush;
        io.err << "orbiphon-cli: " << gateway << ": " << printableText(why) << "\n" << std::flush;
    });
}

void Output::line(const std::string& text)
{
    if (json)
        return;
    progress.above([&] { io.out << text << "\n" << std::flush; });
}

void Output::notice(const std::string& text)
{
    if (quiet)
        return;
    progress.above([&] { io.err << text << "\n" << std::flush; });
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

int finish(Output& output, TransferResult result)
{
    output.progress.clear();
    output.line(transferResultName(result));
    return result == TransferResult::Done ? ExitSuccess : ExitFailed;
}

int finishUpload(Output& output, const char* command, TransferResult result,
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
    const int status = finish(output, result);
    if (result != TransferResult::Done)
        output.reason(printableText(address), outcome.reason);
    return status;
}

PrintingView::PrintingView(Output& output, const GatewayList& list, const BatchReport* report)
    : m_output(output), m_list(list), m_shown(list.size(), RowStatus::None), m_report(report)
{
}

void PrintingView::repaintList()
{
    for (std::size_t row = 0; row < m_list.size(); ++row) {
        const RowStatus status = m_list.status(row);
        if (status != m_shown[row] && status != RowStatus::None) {
            const ReportRow* entry = reportRow(row);
            const std::string address = printableText(m_list.record(row).ipText);
            m_output.line(std::to_string(row + 1) + " " + address + " "
                          + (entry ? entry->statusText() : std::string(rowStatusName(status))));
            if (!m_output.json)
                stopForClosedOutput(m_output.io.out);
            if (entry && (status == RowStatus::FtpFailed || status == RowStatus::NotReachable))
                m_output.reason(std::to_string(row + 1) + " " + address, entry->outcome.reason);
            if (entry)
                printNotes(m_output, m_list.record(row).ipText, entry->outcome.notes);
            m_output.progress.gatewayEnded();
            m_allGood = m_allGood && (isSuccessStatus(status));
        }
        m_shown[row] = status;
    }
}

void PrintingView::showClosingNotice()
{
    std::string notice = ClosingNotice;
    notice.replace(notice.find("\r\n"), 2, "\n");
    m_output.progress.clear();
    m_output.notice(notice);
}

const ReportRow* PrintingView::reportRow(std::size_t row) const
{
    if (!m_report)
        return nullptr;
    for (const ReportRow& entry : m_report->rows) {
        if (entry.row == row && entry.started)
            return &entry;
    }
    return nullptr;
}

bool printNotStarted(Output& output, const GatewayList& list,
                     const std::optional<std::set<std::size_t>>& rows)
{
    bool any = false;
    for (std::size_t row = 0; row < list.size(); ++row) {
        if ((rows && !rows->contains(row)) || list.status(row) != RowStatus::None)
            continue;
        output.line(std::to_string(row + 1) + " " + printableText(list.record(row).ipText)
                    + " NotStarted");
        any = true;
    }
    return any;
}

int finishBatch(Output& output, const BatchReport& report,
                const std::optional<std::string>& reportPath, int status,
                std::chrono::steady_clock::time_point started)
{
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    output.progress.clear();
    if (output.json)
        output.io.out << batchJsonWithSummary(report, seconds).dump(2) << "\n";
    output.notice(summaryText(report.command, summaryOf(report, seconds)));
    if (reportPath) {
        if (const FileError error = saveReportWithSummary(*reportPath, report, seconds);
            error != FileError::None)
            return reportFailure(output.io, ExitFailed, fileErrorText(error, *reportPath));
    }
    return status;
}

void printNotes(Output& output, const std::string& address, const std::vector<std::string>& notes)
{
    if (notes.empty())
        return;
    output.progress.above([&] {
        for (const std::string& note : notes)
            output.io.err << "orbiphon-cli: " << printableText(address) << ": "
                          << withoutControls(note) << "\n";
        output.io.err << std::flush;
    });
}

namespace {

// One gateway's steps, told to the progress line with its address; several gateways at once
// each have their own.
class GatewaySteps final : public ProgressSink {
public:
    GatewaySteps(ProgressLine& line, std::string address)
        : m_line(line), m_address(std::move(address))
    {
    }

    void reset() override { m_upper.reset(); }
    void setCaption(const std::string&) override {}
    void setLine1(const std::string& text) override { m_step = text; }
    void setLine2(const std::string&) override {}
    void setRange(ProgressBar bar, std::uint16_t maximum) override
    {
        if (bar == ProgressBar::Upper)
            m_upper.setRange(maximum);
    }
    void setPosition(ProgressBar bar, int position) override
    {
        if (bar == ProgressBar::Upper)
            m_upper.setPosition(position);
    }
    void setStep(ProgressBar bar, int step) override
    {
        if (bar == ProgressBar::Upper)
            m_upper.setStep(step);
    }
    void stepIt(ProgressBar bar) override
    {
        if (bar == ProgressBar::Upper)
            m_upper.stepIt();
    }
    void refresh() override
    {
        m_line.gatewayStep(m_address, m_step, m_upper.position(), m_upper.maximum());
    }
    void hide() override {}

private:
    ProgressLine& m_line;
    std::string m_address;
    std::string m_step;
    ProgressBarState m_upper;
};

}  // namespace

TransferResult CountingUploader::upload(const GatewayRecord& gateway, ProgressSink&)
{
    m_line.gatewayStarted(gateway.ipText);
    GatewaySteps steps(m_line, gateway.ipText);
    const TransferResult result = m_inner.upload(gateway, steps);
    m_line.gatewayLeft(gateway.ipText);
    return result;
}

TransferResult CountingUploader::uploadWithOutcome(const GatewayRecord& gateway, ProgressSink&,
                                                   GatewayOutcome& outcome)
{
    m_line.gatewayStarted(gateway.ipText);
    GatewaySteps steps(m_line, gateway.ipText);
    const TransferResult result = m_inner.uploadWithOutcome(gateway, steps, outcome);
    m_line.gatewayLeft(gateway.ipText);
    return result;
}

ProbeResult CountingProber::probe(const std::string& gatewayAddress, int timeoutMs)
{
    m_line.gatewayStarted(gatewayAddress);
    const ProbeResult result = m_inner.probe(gatewayAddress, timeoutMs);
    m_line.gatewayLeft(gatewayAddress);
    return result;
}

void CountingProber::probeMany(const std::vector<std::string>& gatewayAddresses, int timeoutMs,
                               const ProbeDone& done)
{
    for (const std::string& address : gatewayAddresses)
        m_line.gatewayStarted(address);
    m_inner.probeMany(gatewayAddresses, timeoutMs, [&](std::size_t i, ProbeResult result) {
        m_line.gatewayLeft(gatewayAddresses[i]);
        done(i, result);
    });
}
