#include "transfer/firmwareupload.h"

#include "base/progresssink.h"
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
        return end(TransferResult::Failed, "firmware folder " + sourcePath + " could not be read");
    if (fullFirmware) {
        for (const CleaningStep& step : cleaningSteps(settings, sourcePath))
            removeListedFiles(connection, step.deviceDirectory, step.extensions, &outcome);
    }
    context.progress.setRange(ProgressBar::Upper, static_cast<std::uint16_t>(fileCount & 0xffff));
    context.progress.setStep(ProgressBar::Upper, 1);
    const bool allDone = uploadTree(connection, settings, sourcePath, sourcePath,
                                    context.progress, safety, &found, &outcome);
    if (allDone && outcome.filesSent == 0)
        return end(TransferResult::Done, NothingMatchedReason);
    return end(allDone ? TransferResult::Done : TransferResult::Failed);
}
