#include "transfer/firmwareupload.h"

#include "base/progresssink.h"
#include "transfer/ftpclient.h"
#include "transfer/outcome.h"
#include "transfer/probe.h"

TransferResult uploadFirmware(TransferContext& context, const SettingsFile& settings,
                              std::string sourcePath, bool fullFirmware,
                              const std::string& gatewayAddress, const std::string& userId,
                              const std::string& password, const TransferSafety& safety,
                              std::string* notes, GatewayOutcome* outcomeOut)
{
    GatewayOutcome outcome;
    outcome.start();
    const auto end = [&](TransferResult result, const std::string& why = {}) {
        if (!why.empty())
            outcome.fail(why);
        return finishedOutcome(result, outcome, outcomeOut);
    };
    if (!context.prober.probe(gatewayAddress, ProbeTimeoutMs))
        return end(TransferResult::NotFound, noEchoReason(ProbeTimeoutMs));
    if (!isSendableLogin(userId, password))
        return end(TransferResult::Failed, UnsendableLoginReason);
    const std::unique_ptr<FtpClient> client = context.ftp.open("Upgrade");
    if (!client)
        return end(TransferResult::Failed, NoFtpClientReason);
    const std::unique_ptr<FtpConnection> connection =
        client->connect({gatewayAddress, context.ftpPort, userId, password});
    if (!connection)
        return end(TransferResult::Failed, withReply("cannot log in", client->lastReply()));

    const std::size_t fileCount = countFiles(sourcePath);
    // A firmware folder that has vanished or can't be read would have the device emptied and
    // nothing put back.
    if (!canListFolder(sourcePath))
        return end(TransferResult::Failed, "firmware folder " + sourcePath + " could not be read");
    if (fullFirmware) {
        for (const CleaningStep& step : cleaningSteps(settings, sourcePath))
            removeListedFiles(*connection, step.deviceDirectory, step.extensions, &outcome);
    }
    context.progress.setRange(ProgressBar::Upper, static_cast<std::uint16_t>(fileCount & 0xffff));
    context.progress.setStep(ProgressBar::Upper, 1);
    const bool allDone = uploadTree(*connection, settings, sourcePath, sourcePath,
                                    context.progress, safety, notes, &outcome);
    if (allDone && outcome.filesSent == 0)
        return end(TransferResult::Done, NothingMatchedReason);
    return end(allDone ? TransferResult::Done : TransferResult::Failed);
}
