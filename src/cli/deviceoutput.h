#pragma once

#include "cli/cli.h"
#include "gatewaylist/batch.h"
#include "transfer/transferresult.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

struct BatchReport;
struct ReportRow;
struct GatewayOutcome;
class GatewayList;

// Where a device command writes: with --json one document on standard output and the progress
// on standard error; with --quiet no progress at all.
class Output {
public:
    Output(const ParsedArguments& parsed, CliIo& cliIo);

    // A failure's reason on standard error: "orbiphon-cli: 127.0.0.2: cannot log in: 530 ...".
    void reason(const std::string& gateway, const std::string& why) const;

private:
    std::ostream m_nowhere{nullptr};

public:
    const bool json;
    CliIo& io;
    std::ostream& progress;
    std::ostream& lines;
};

// The document of a command about one gateway: {"command":..., "gateway":{...}}.
void printGatewayJson(CliIo& io, const char* command, nlohmann::ordered_json gateway,
                      const GatewayOutcome& outcome);
nlohmann::ordered_json loginJson(const std::string& address, const std::string& userId);

// The result's name as the line of a one-gateway command; its exit status.
int finish(CliIo& io, TransferResult result);

// The end of an upload to one gateway: its line and its reason, or its document.
int finishUpload(const Output& output, const char* command, TransferResult result,
                 const std::string& address, const std::string& userId,
                 const GatewayOutcome& outcome);

// Prints each gateway's line as soon as its row gets its image, as the window shows it, then its
// reason and its notes on standard error. A line that can't be written (standard output closed)
// stops the batch as a first signal does.
class PrintingView final : public BatchView {
public:
    PrintingView(std::ostream& out, const GatewayList& list, const Output* output = nullptr,
                 const BatchReport* report = nullptr);

    void repaintList() override;
    void setBusy(bool) override {}
    void showClosingNotice() override;

    bool allGood() const { return m_allGood; }

private:
    const ReportRow* reportRow(std::size_t row) const;

    std::ostream& m_out;
    const GatewayList& m_list;
    std::vector<RowStatus> m_shown;
    bool m_allGood = true;
    const Output* m_output;
    const BatchReport* m_report;
};

// The rows a stopped batch never started, as "3 10.0.0.3 NotStarted"; true when there were any.
bool printNotStarted(std::ostream& out, const GatewayList& list,
                     const std::optional<std::set<std::size_t>>& rows);

// The end of check and upgrade: the document, the report file, the exit status.
int finishBatch(const Output& output, const BatchReport& report,
                const std::optional<std::string>& reportPath, int status);

// What the back-up and verify steps found, one stderr line each, as "orbiphon-cli: IP: ...".
void printNotes(std::ostream& err, const std::string& address,
                const std::vector<std::string>& notes);
