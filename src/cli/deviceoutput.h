#pragma once

#include "cli/cli.h"
#include "cli/progressline.h"
#include "gatewaylist/batch.h"
#include "transfer/probe.h"
#include "transfer/transferresult.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

struct BatchReport;
struct ReportRow;
struct GatewayOutcome;
class GatewayList;

// Where a device command writes. Standard output holds only the results: the result lines, or
// with --json the one document. Progress, notices, reasons and notes go to standard error; the
// progress as one line in place on a terminal, elsewhere only with --progress; --quiet drops
// the progress, the notice and the summary.
class Output {
public:
    Output(const ParsedArguments& parsed, CliIo& cliIo);

    // A failure's reason on standard error: "orbiphon-cli: 127.0.0.2: cannot log in: 530 ...".
    void reason(const std::string& gateway, const std::string& why);
    // One result line on standard output (nothing with --json).
    void line(const std::string& text);
    // A line for the operator on standard error that --quiet drops.
    void notice(const std::string& text);

    const bool json;
    const bool quiet;
    CliIo& io;
    ProgressLine progress;
};

// The options every device command takes for its output.
extern const std::vector<OptionSpec> OutputOptions;  // --json --quiet --progress

// The document of a command about one gateway: {"command":..., "gateway":{...}}.
void printGatewayJson(CliIo& io, const char* command, nlohmann::ordered_json gateway,
                      const GatewayOutcome& outcome);
nlohmann::ordered_json loginJson(const std::string& address, const std::string& userId);

// The result's name as the line of a one-gateway command; its exit status.
int finish(Output& output, TransferResult result);

// The end of an upload to one gateway: its line and its reason, or its document.
int finishUpload(Output& output, const char* command, TransferResult result,
                 const std::string& address, const std::string& userId,
                 const GatewayOutcome& outcome);

// Prints each gateway's line as soon as its row gets its image, as the window shows it, then its
// reason and its notes on standard error. A line that can't be written (standard output closed)
// stops the batch as a first signal does.
class PrintingView final : public BatchView {
public:
    PrintingView(Output& output, const GatewayList& list, const BatchReport* report = nullptr);

    void repaintList() override;
    void setBusy(bool) override {}
    void showClosingNotice() override;

    bool allGood() const { return m_allGood; }

private:
    const ReportRow* reportRow(std::size_t row) const;

    Output& m_output;
    const GatewayList& m_list;
    std::vector<RowStatus> m_shown;
    bool m_allGood = true;
    const BatchReport* m_report;
};

// The rows a stopped batch never started, as "3 10.0.0.3 NotStarted"; true when there were any.
bool printNotStarted(Output& output, const GatewayList& list,
                     const std::optional<std::set<std::size_t>>& rows);

// The end of check and upgrade: the document, the summary, the report file, the exit status.
int finishBatch(Output& output, const BatchReport& report,
                const std::optional<std::string>& reportPath, int status,
                std::chrono::steady_clock::time_point started);

// What the back-up and verify steps found, one stderr line each, as "orbiphon-cli: IP: ...".
void printNotes(Output& output, const std::string& address,
                const std::vector<std::string>& notes);

// The uploader and prober of a batch, telling the progress line which gateways are in hand and
// (the uploader) each one's steps, whatever progress the batch hands them.
class CountingUploader final : public GatewayUploader {
public:
    CountingUploader(GatewayUploader& inner, ProgressLine& line) : m_inner(inner), m_line(line) {}
    TransferResult upload(const GatewayRecord& gateway, ProgressSink& progress) override;
    TransferResult uploadWithOutcome(const GatewayRecord& gateway, ProgressSink& progress,
                                     GatewayOutcome& outcome) override;

private:
    GatewayUploader& m_inner;
    ProgressLine& m_line;
};

class CountingProber final : public Prober {
public:
    CountingProber(Prober& inner, ProgressLine& line) : m_inner(inner), m_line(line) {}
    ProbeResult probe(const std::string& gatewayAddress, int timeoutMs) override;
    void probeMany(const std::vector<std::string>& gatewayAddresses, int timeoutMs,
                   const ProbeDone& done) override;
    bool probesTogether() const override { return m_inner.probesTogether(); }

private:
    Prober& m_inner;
    ProgressLine& m_line;
};
