#include "gatewaylist/batch.h"

#include "gatewaylist/stagegate.h"
#include "base/progresssink.h"
#include "base/settingsfile.h"
#include "gatewaylist/batchrunner.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/firmwareupload.h"
#include "transfer/gatewaysession.h"
#include "transfer/outcome.h"
#include "transfer/probe.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// Reports nothing: the gateways of a batch that works on several at once share one display,
// which the batch itself keeps.
class QuietProgress final : public ProgressSink {
public:
    void reset() override {}
    void setCaption(const std::string&) override {}
    void setLine1(const std::string&) override {}
    void setLine2(const std::string&) override {}
    void setRange(ProgressBar, std::uint16_t) override {}
    void setPosition(ProgressBar, int) override {}
    void setStep(ProgressBar, int) override {}
    void stepIt(ProgressBar) override {}
    void refresh() override {}
    void hide() override {}
};

// Echo requests one thread of Check connections keeps in flight at most.
constexpr std::size_t MostProbesPerThread = 16;

bool stopRequested(const BatchControl& control)
{
    return control.stop != nullptr && control.stop->load();
}

// Runs work(row) for every row (see runRows), keeping each row's result for end(row, result).
// A row whose work throws ends with failure(why). The gate, when given, holds starts back.
template <typename Result>
void runBatchRows(const std::vector<std::size_t>& rows, const BatchControl& control,
                  const std::function<void(std::size_t)>& begin,
                  const std::function<Result(std::size_t)>& work,
                  const std::function<void(std::size_t, Result)>& end,
                  const std::function<Result(const std::string&)>& failure,
                  const StageGate* gate = nullptr)
{
    std::map<std::size_t, Result> results;
    for (std::size_t row : rows)
        results.emplace(row, Result{});
    runRows(rows, control.jobs, control.stop, control.waiter,
            {begin, [&](std::size_t row) { results.at(row) = work(row); },
             [&](std::size_t row, const std::string& why) { results.at(row) = failure(why); },
             [&](std::size_t row) { end(row, std::move(results.at(row))); },
             [&](std::size_t started) { return gate == nullptr || gate->mayStart(started); }});
}

// "Done 3 of 32" and the addresses in progress, for a batch over several gateways at once.
void showFleetProgress(ProgressSink& progress, const GatewayList& list,
                       const std::set<std::size_t>& inProgress, std::size_t done,
                       std::size_t count)
{
    progress.setLine1("Done " + std::to_string(done) + " of " + std::to_string(count));
    std::vector<std::string> addresses;
    for (std::size_t row : inProgress)
        addresses.push_back(list.record(row).ipText);
    progress.setLine2(inProgressLine(addresses));
    progress.setPosition(ProgressBar::Lower, static_cast<int>(done));
    progress.refresh();
}

// Step 0 of every batch: no image of the last batch may survive into this one.
void clearEarlierStatuses(GatewayList& list, BatchView& view)
{
    if (!list.statusShown())
        return;
    list.clearStatuses();
    view.repaintList();
}

void startProgress(ProgressSink& progress, const std::string& caption, std::size_t count)
{
    progress.reset();
    progress.setCaption(caption);
    progress.setRange(ProgressBar::Lower, static_cast<std::uint16_t>(count));
}

void showGateway(ProgressSink& progress, const GatewayRecord& gateway)
{
    progress.setLine1("Connecting...");
    progress.setLine2("Ugrade " + gateway.ipText);
    progress.setPosition(ProgressBar::Upper, 0);
}

using UploadEnd = std::pair<TransferResult, GatewayOutcome>;
using ProbeEnd = std::pair<bool, GatewayOutcome>;

UploadEnd failedUpload(const std::string& why)
{
    UploadEnd end{TransferResult::Failed, {}};
    end.second.fail(why);
    return end;
}

// The report's rows before the batch starts: all not started.
void startReport(const BatchControl& control, const char* command, const GatewayList& list,
                 const std::vector<std::size_t>& rows)
{
    if (!control.report)
        return;
    BatchReport& report = *control.report;
    report = BatchReport{command, {}, false, {}};
    for (std::size_t row : rows)
        report.rows.push_back({row, list.record(row).ipText, list.record(row).userId, false,
                               RowStatus::None, {}, {}, {}});
}

void reportRow(const BatchControl& control, const GatewayList& list, std::size_t row,
               std::string result, const GatewayOutcome& outcome)
{
    if (!control.report)
        return;
    for (ReportRow& entry : control.report->rows) {
        if (entry.row != row)
            continue;
        entry.started = true;
        entry.status = list.status(row);
        entry.result = std::move(result);
        entry.outcome = outcome;
    }
}

void endReport(const BatchControl& control, const std::string& stopReason = {})
{
    if (!control.report)
        return;
    control.report->stopped = stopRequested(control) || !stopReason.empty();
    control.report->stopReason = stopReason;
}

void applyResult(GatewayList& list, std::size_t row, TransferResult result,
                 const GatewayOutcome& outcome)
{
    switch (result) {
    case TransferResult::Done:
        list.setStatus(row, outcome.unchanged ? RowStatus::Unchanged : RowStatus::Uploaded);
        break;
    case TransferResult::Failed:
    case TransferResult::NotFound:
        list.setStatus(row, statusForResult(result));
        break;
    }
}

// The end of an upgrade batch; a batch stopped before its first gateway has nothing to notice.
void finish(GatewayList& list, ProgressSink& progress, BatchView& view, int full, bool reached)
{
    list.setStatusShown();
    view.setBusy(false);
    progress.setPosition(ProgressBar::Lower, full);
    progress.refresh();
    if (reached)
        view.showClosingNotice();
    progress.hide();
}

std::vector<GatewayRecord> recordsOf(const GatewayList& list)
{
    std::vector<GatewayRecord> records;
    for (std::size_t row = 0; row < list.size(); ++row)
        records.push_back(list.record(row));
    return records;
}

// Uploads to rows, one by one with the per-file progress, or several at once with a count of the
// gateways done. stepLower: the lower bar steps after each gateway (Upgrade selection) instead of
// standing at the row's index while it is worked on (Upgrade list). stopReason: why the stages
// held the rest back, when they did.
std::size_t uploadRows(GatewayList& list, const std::vector<std::size_t>& rows,
                       GatewayUploader& uploader, ProgressSink& progress, BatchView& view,
                       const BatchControl& control, bool stepLower, std::string& stopReason)
{
    // A copy: the uploads must not see a row change under them.
    const std::vector<GatewayRecord> records = recordsOf(list);
    std::size_t done = 0;
    StageGate gate(control, rows);
    const auto ended = [&](std::size_t row, const UploadEnd& end) {
        applyResult(list, row, end.first, end.second);
        gate.ended(row, list.status(row));
        reportRow(control, list, row,
                  end.second.unchanged ? std::string("Unchanged") : transferResultName(end.first),
                  end.second);
    };
    const auto reason = [&] { return gate.reason(done == rows.size()); };
    if (control.jobs <= MinJobs) {
        runBatchRows<UploadEnd>(
            rows, control,
            [&](std::size_t row) {
                showGateway(progress, records[row]);
                if (!stepLower)
                    progress.setPosition(ProgressBar::Lower, static_cast<int>(row));
                progress.refresh();
            },
            [&](std::size_t row) {
                UploadEnd end;
                end.first = uploader.uploadWithOutcome(records[row], progress, end.second);
                return end;
            },
            [&](std::size_t row, UploadEnd end) {
                ended(row, end);
                if (stepLower)
                    progress.stepIt(ProgressBar::Lower);
                view.repaintList();
                ++done;
            },
            failedUpload, &gate);
        stopReason = reason();
        return done;
    }

    std::set<std::size_t> inProgress;
    runBatchRows<UploadEnd>(
        rows, control,
        [&](std::size_t row) {
            inProgress.insert(row);
            showFleetProgress(progress, list, inProgress, done, rows.size());
        },
        [&](std::size_t row) {
            QuietProgress quiet;
            UploadEnd end;
            end.first = uploader.uploadWithOutcome(records[row], quiet, end.second);
            return end;
        },
        [&](std::size_t row, UploadEnd end) {
            ended(row, end);
            inProgress.erase(row);
            ++done;
            view.repaintList();
            showFleetProgress(progress, list, inProgress, done, rows.size());
        },
        failedUpload, &gate);
    stopReason = reason();
    return done;
}

} // namespace

TransferUploader::TransferUploader(TransferContext& context, const SettingsFile& settings,
                                   UpgradeOptions options, TransferSafety safety)
    : m_context(context),
      m_settings(settings),
      m_options(std::move(options)),
      m_safety(std::move(safety))
{
}

TransferResult GatewayUploader::uploadWithOutcome(const GatewayRecord& gateway,
                                                  ProgressSink& progress, GatewayOutcome& outcome)
{
    outcome.start();
    const TransferResult result = upload(gateway, progress);
    outcome.finish();
    if (result == TransferResult::NotFound)
        outcome.fail(noEchoReason(ProbeTimeoutMs));
    else if (result == TransferResult::Failed)
        outcome.fail("the transfer failed");
    return result;
}

TransferResult TransferUploader::upload(const GatewayRecord& gateway, ProgressSink& progress)
{
    GatewayOutcome outcome;
    return uploadWithOutcome(gateway, progress, outcome);
}

TransferResult TransferUploader::uploadWithOutcome(const GatewayRecord& gateway,
                                                   ProgressSink& progress, GatewayOutcome& outcome)
{
    TransferContext context{m_context.prober, m_context.ftp, progress, m_context.ftpPort,
                            m_context.cancel, nullptr, m_context.probe};
    if (m_options.mode == UpgradeMode::FirmwareUpgrade) {
        // A firmware folder has no book to keep: only the verify choice applies.
        const TransferSafety safety{{}, m_safety.verify};
        return uploadFirmware(context, m_settings, m_options.sourcePath, m_options.fullFirmware,
                              gateway.ipText, gateway.userId, gateway.password, safety, nullptr,
                              &outcome);
    }
    return uploadAddressBook(context, m_options.sourcePath, gateway.ipText, gateway.userId,
                             gateway.password, m_safety, nullptr, &outcome);
}

TransferSafety transferSafetyFrom(const SettingsFile& settings)
{
    return {settings.readString("Batch", "BackupFolder", ""),
            settings.readString("Batch", "Verify", "0") == "1",
            settings.readString("Batch", "OnlyChanged", "0") == "1"};
}

std::vector<RowPlan> planRows(const GatewayList& list, const std::vector<std::size_t>& rows,
                              TransferContext& context, const SettingsFile& settings,
                              const UpgradeOptions& options, const BatchControl& control,
                              ProgressSink* progress)
{
    const std::vector<GatewayRecord> records = recordsOf(list);
    std::map<std::size_t, FirmwarePlan> plans;
    std::vector<std::size_t> valid;
    for (std::size_t row : rows) {
        if (row < records.size())
            valid.push_back(row);
    }
    QuietProgress quietDisplay;
    ProgressSink& display = progress ? *progress : quietDisplay;
    startProgress(display, "Preview selection", valid.size());
    display.setStep(ProgressBar::Lower, 1);
    runBatchRows<FirmwarePlan>(
        valid, control,
        [&](std::size_t row) {
            display.setLine1("Reading " + records[row].ipText);
            display.refresh();
        },
        [&](std::size_t row) {
            QuietProgress quiet;
            TransferContext own{context.prober, context.ftp, quiet, context.ftpPort,
                                context.cancel, nullptr, context.probe};
            const GatewayRecord& gateway = records[row];
            return planFirmware(own, settings, options.sourcePath, options.fullFirmware,
                                gateway.ipText, gateway.userId, gateway.password);
        },
        [&](std::size_t row, FirmwarePlan plan) {
            plans.emplace(row, std::move(plan));
            display.stepIt(ProgressBar::Lower);
            display.refresh();
        },
        [](const std::string& why) {
            FirmwarePlan plan;
            plan.reason = why;
            return plan;
        });
    display.hide();
    std::vector<RowPlan> ordered;
    for (auto& [row, plan] : plans)
        ordered.push_back({row, records[row], std::move(plan)});
    return ordered;
}

FileError upgradeSettingsError(const UpgradeOptions& options, const SettingsFile& settings)
{
    if (options.mode != UpgradeMode::FirmwareUpgrade)
        return FileError::None;
    return settings.readError();
}

RowStatus statusForBackup(BookBackupResult result)
{
    switch (result) {
    case BookBackupResult::BackedUp:
        return RowStatus::BackedUp;
    case BookBackupResult::Unchanged:
        return RowStatus::Unchanged;
    case BookBackupResult::NoBook:
        return RowStatus::NoBook;
    case BookBackupResult::NotFound:
        return RowStatus::NotReachable;
    case BookBackupResult::Failed:
        break;
    }
    return RowStatus::FtpFailed;
}

RowStatus statusForResult(TransferResult result)
{
    switch (result) {
    case TransferResult::Done:
        return RowStatus::Uploaded;
    case TransferResult::Failed:
        return RowStatus::FtpFailed;
    case TransferResult::NotFound:
        return RowStatus::NotReachable;
    }
    return RowStatus::None;
}

std::optional<int> parseJobs(const std::string& text)
{
    int jobs = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, jobs);
    if (error != std::errc() || end != last || jobs < MinJobs || jobs > MaxJobs)
        return std::nullopt;
    return jobs;
}

BatchOutcome checkConnections(GatewayList& list, Prober& prober, BatchView& view,
                              const BatchControl& control)
{
    clearEarlierStatuses(list, view);
    if (list.empty())
        return BatchOutcome::NoItemInList;

    view.setBusy(true);
    const std::vector<GatewayRecord> records = recordsOf(list);
    std::vector<std::size_t> rows(list.size());
    for (std::size_t row = 0; row < rows.size(); ++row)
        rows[row] = row;
    startReport(control, "check", list, rows);
    std::vector<ProbeEnd> results(rows.size());
    const auto probed = [&](std::size_t row, ProbeResult result) {
        ProbeEnd& end = results[row];
        end.second.finish();
        end.first = result == ProbeResult::Answered;
        end.second.fail(probeReason(result, records[row].ipText, control.probe));
    };
    RowSteps steps{[](std::size_t) {},
                   [&](std::size_t row) {
                       results[row].second.start();
                       probed(row, probeWithSettings(prober, records[row].ipText, control.probe));
                   },
                   [&](std::size_t row, const std::string& why) {
                       results[row] = ProbeEnd{false, {}};
                       results[row].second.fail(why);
                   },
                   [&](std::size_t row) {
                       const bool present = results[row].first;
                       list.setStatus(row, present ? RowStatus::Reachable : RowStatus::NotReachable);
                       reportRow(control, list, row, present ? "present" : "not present",
                                 results[row].second);
                       view.repaintList();
                   }};
    // An echo request costs nothing to keep waiting: each thread keeps a group of them in flight
    // where the prober can, so that a list larger than its jobs still takes about one time-out.
    // One job asks one gateway after the other, as always.
    if (control.jobs > MinJobs && prober.probesTogether()) {
        const std::size_t jobs = static_cast<std::size_t>(std::min(control.jobs, MaxJobs));
        steps.groupSize = std::clamp<std::size_t>((rows.size() + jobs - 1) / jobs, 1,
                                                  MostProbesPerThread);
        steps.workTogether = [&](const std::vector<std::size_t>& group,
                                 const std::function<void(std::size_t)>& ended) {
            std::vector<std::string> addresses;
            for (std::size_t row : group) {
                results[row].second.start();
                addresses.push_back(records[row].ipText);
            }
            probeManyWithSettings(prober, addresses, control.probe,
                                  [&](std::size_t i, ProbeResult result) {
                                      probed(group[i], result);
                                      ended(group[i]);
                                  });
        };
    }
    runRows(rows, control.jobs, control.stop, control.waiter, steps);
    endReport(control);
    list.setStatusShown();
    view.setBusy(false);
    return BatchOutcome::Ran;
}

BatchOutcome upgradeList(GatewayList& list, GatewayUploader& uploader, ProgressSink& progress,
                         BatchView& view, const BatchControl& control)
{
    clearEarlierStatuses(list, view);
    const std::size_t count = list.size();
    if (count == 0)
        return BatchOutcome::NoItemInList;

    startProgress(progress, "Upgrade List", count);
    progress.refresh();
    view.setBusy(true);

    std::vector<std::size_t> rows(count);
    for (std::size_t row = 0; row < count; ++row)
        rows[row] = row;
    startReport(control, "upgrade", list, rows);
    std::string stopReason;
    const std::size_t reached =
        uploadRows(list, rows, uploader, progress, view, control, false, stopReason);
    endReport(control, stopReason);

    finish(list, progress, view, static_cast<int>(reached < count ? reached : count),
           reached > 0);
    return BatchOutcome::Ran;
}

BatchOutcome upgradeSelection(GatewayList& list, const std::set<std::size_t>& selected,
                              GatewayUploader& uploader, ProgressSink& progress,
                              BatchView& view, const BatchControl& control)
{
    clearEarlierStatuses(list, view);
    std::vector<std::size_t> rows;
    for (std::size_t row : selected) {
        if (row < list.size())
            rows.push_back(row);
    }
    if (rows.empty())
        return BatchOutcome::NoItemSelected;

    const std::size_t count = rows.size();
    startProgress(progress, "Upgrade Selection", count);
    progress.setStep(ProgressBar::Lower, 1);
    progress.refresh();
    view.setBusy(true);

    startReport(control, "upgrade", list, rows);
    std::string stopReason;
    const std::size_t reached =
        uploadRows(list, rows, uploader, progress, view, control, true, stopReason);
    endReport(control, stopReason);

    finish(list, progress, view, static_cast<int>(reached < count ? reached : count),
           reached > 0);
    return BatchOutcome::Ran;
}

BatchOutcome runGatewayBatch(GatewayList& list, const std::vector<std::size_t>& rows,
                             const char* command, const RowWork& work, BatchView& view,
                             const BatchControl& control)
{
    clearEarlierStatuses(list, view);
    if (list.empty())
        return BatchOutcome::NoItemInList;
    std::vector<std::size_t> valid;
    for (std::size_t row : rows) {
        if (row < list.size())
            valid.push_back(row);
    }
    if (valid.empty())
        return BatchOutcome::NoItemSelected;

    view.setBusy(true);
    const std::vector<GatewayRecord> records = recordsOf(list);
    startReport(control, command, list, valid);
    StageGate gate(control, valid);
    std::size_t done = 0;
    runBatchRows<RowEnd>(
        valid, control, [](std::size_t) {},
        [&](std::size_t row) { return work(row, records[row]); },
        [&](std::size_t row, RowEnd end) {
            list.setStatus(row, end.status);
            gate.ended(row, end.status);
            reportRow(control, list, row, std::move(end.result), end.outcome);
            view.repaintList();
            ++done;
        },
        [](const std::string& why) {
            RowEnd end{RowStatus::FtpFailed, "Failed", {}};
            end.outcome.fail(why);
            return end;
        },
        &gate);
    endReport(control, gate.reason(done == valid.size()));
    list.setStatusShown();
    view.setBusy(false);
    return BatchOutcome::Ran;
}
