#include "transfer/firmwareupload.h"

#include "base/progresssink.h"
#include "transfer/devicefolders.h"
#include "transfer/ftpclient.h"
#include "transfer/gatewaysession.h"
#include "transfer/outcome.h"

TransferResult uploadFirmware(TransferContext& context, const SettingsFile& settings,
                              std::string sourcePath, bool fullFirmware,
                              const std::string& gatewayAddress, const std::string& userId,
                              const std::string& password, const TransferSafety& safety,
                              std::string* notes, GatewayOutcome* outcomeOut)
{
    GatewayOutcome outcome;
    outcome.start();
    std::string found;
    GatewaySession session(context, outcome, "Upgrade");
    const auto end = [&](TransferResult result, const std::string& why = {}) {
        if (!why.empty())
            outcome.fail(why);
        outcome.abandoned = outcome.abandoned || session.abandoned();
        keepNotes(found, notes, outcome);
        return finishedOutcome(result, outcome, outcomeOut);
    };
    if (const TransferResult opened = session.open(gatewayAddress, userId, password);
        opened != TransferResult::Done)
        return end(opened);
    FtpConnection& connection = session.connection();

    const std::size_t fileCount = countFiles(sourcePath);
    // A firmware folder that has vanished or can't be read would have the device emptied and
    // nothing put back.
    if (!canListFolder(sourcePath))
        return end(TransferResult::Failed, firmwareFolderUnreadable(sourcePath));
    DeviceFolderFinder folders(connection);
    bool cleaned = true;
    if (fullFirmware) {
        const CleaningDecisions decisions = decideCleaning(folders, settings, sourcePath);
        if (!decisions.refusal.empty())
            return end(TransferResult::Failed, decisions.refusal);
        for (const CleaningDecision& pass : decisions.passes) {
            if (!pass.refusal.empty()) {
                cleaned = false;
                outcome.fail(pass.refusal);
                continue;
            }
            removeListedFiles(connection, pass.step.deviceDirectory, pass.step.extensions,
                              &outcome);
        }
    }
    context.progress.setRange(ProgressBar::Upper, static_cast<std::uint16_t>(fileCount & 0xffff));
    context.progress.setStep(ProgressBar::Upper, 1);
    const bool allDone = uploadTree(connection, settings, sourcePath, sourcePath,
                                    context.progress, safety, &found, &outcome, &folders);
    if (allDone && cleaned && outcome.filesSent == 0)
        return end(TransferResult::Done, NothingMatchedReason);
    return end(allDone && cleaned ? TransferResult::Done : TransferResult::Failed);
}
