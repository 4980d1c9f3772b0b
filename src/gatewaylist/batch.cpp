#include "gatewaylist/batch.h"

#include "base/progresssink.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/firmwareupload.h"
#include "transfer/probe.h"

#include <utility>

#include <cstdint>

namespace {

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

void applyResult(GatewayList& list, std::size_t row, TransferResult result)
{
    switch (result) {
    case TransferResult::Done:
    case TransferResult::Failed:
    case TransferResult::NotFound:
        list.setStatus(row, statusForResult(result));
        break;
    }
}

void finish(GatewayList& list, ProgressSink& progress, BatchView& view, int full)
{
    list.setStatusShown();
    view.setBusy(false);
    progress.setPosition(ProgressBar::Lower, full);
    progress.refresh();
    view.showClosingNotice();
    progress.hide();
}

} // namespace

TransferUploader::TransferUploader(TransferContext& context, const SettingsFile& settings,
                                   UpgradeOptions options)
    : m_context(context), m_settings(settings), m_options(std::move(options))
{
}

TransferResult TransferUploader::upload(const GatewayRecord& gateway)
{
    if (m_options.mode == UpgradeMode::FirmwareUpgrade)
        return uploadFirmware(m_context, m_settings, m_options.sourcePath, m_options.fullFirmware,
                              gateway.ipText, gateway.userId, gateway.password);
    return uploadAddressBook(m_context, m_options.sourcePath, gateway.ipText, gateway.userId,
                             gateway.password);
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

BatchOutcome checkConnections(GatewayList& list, Prober& prober, BatchView& view)
{
    clearEarlierStatuses(list, view);
    if (list.empty())
        return BatchOutcome::NoItemInList;

    view.setBusy(true);
    for (std::size_t row = 0; row < list.size(); ++row) {
        const bool present = prober.probe(list.record(row).ipText, ProbeTimeoutMs);
        list.setStatus(row, present ? RowStatus::Reachable : RowStatus::NotReachable);
        view.repaintList();
    }
    list.setStatusShown();
    view.setBusy(false);
    return BatchOutcome::Ran;
}

BatchOutcome upgradeList(GatewayList& list, GatewayUploader& uploader, ProgressSink& progress,
                         BatchView& view)
{
    clearEarlierStatuses(list, view);
    const std::size_t count = list.size();
    if (count == 0)
        return BatchOutcome::NoItemInList;

    startProgress(progress, "Upgrade List", count);
    progress.refresh();
    view.setBusy(true);

    for (std::size_t row = 0; row < count; ++row) {
        // A copy: the uploader must not see the row change under it.
        const GatewayRecord gateway = list.record(row);
        showGateway(progress, gateway);
        progress.setPosition(ProgressBar::Lower, static_cast<int>(row));
        progress.refresh();
        applyResult(list, row, uploader.upload(gateway));
        view.repaintList();
    }

    finish(list, progress, view, static_cast<int>(count));
    return BatchOutcome::Ran;
}

BatchOutcome upgradeSelection(GatewayList& list, const std::set<std::size_t>& selected,
                              GatewayUploader& uploader, ProgressSink& progress,
                              BatchView& view)
{
    clearEarlierStatuses(list, view);
    std::size_t count = 0;
    for (std::size_t row : selected)
        count += row < list.size() ? 1 : 0;
    if (count == 0)
        return BatchOutcome::NoItemSelected;

    startProgress(progress, "Upgrade Selection", count);
    progress.setStep(ProgressBar::Lower, 1);
    progress.refresh();
    view.setBusy(true);

    for (std::size_t row = 0; row < list.size(); ++row) {
        if (!selected.contains(row))
            continue;
        const GatewayRecord gateway = list.record(row);
        showGateway(progress, gateway);
        progress.refresh();
        applyResult(list, row, uploader.upload(gateway));
        progress.stepIt(ProgressBar::Lower);
        view.repaintList();
    }

    finish(list, progress, view, static_cast<int>(count));
    return BatchOutcome::Ran;
}
