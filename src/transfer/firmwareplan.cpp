#include "transfer/firmwareplan.h"

#include "base/settingsfile.h"
#include "base/text.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/devicefolders.h"
#include "transfer/firmwareupload.h"
#include "transfer/ftpclient.h"
#include "transfer/gatewaysession.h"
#include "transfer/outcome.h"

#include <map>
#include <optional>

namespace {

std::string below(const std::string& path, const std::string& root)
{
    std::string rest = path.compare(0, root.size(), root) == 0 ? path.substr(root.size()) : path;
    rest.erase(0, rest.find_first_not_of('/'));
    return rest;
}

FirmwarePlan failedPlan(TransferResult result, std::string reason)
{
    FirmwarePlan plan;
    plan.result = result;
    plan.reason = std::move(reason);
    return plan;
}

// What a removal pass allowed to run would delete, read without deleting.
void readCleaning(FtpConnection& connection, const CleaningStep& step,
                  FirmwarePlan::Cleaning& cleaning)
{
    if (!connection.changeDirectory(step.deviceDirectory))
        cleaning.missing = true;
    else if (const auto listing = connection.listDirectory())
        cleaning.deletions = removableNames(*listing, step.extensions);
    else
        cleaning.unlisted = true;
}

}  // namespace

FirmwarePlan planFirmware(TransferContext& context, const SettingsFile& settings,
                          const std::string& sourcePath, bool fullFirmware,
                          const std::string& gatewayAddress, const std::string& userId,
                          const std::string& password)
{
    // Opened as an upload opens it, so its reasons are the upload's words.
    GatewayOutcome outcome;
    GatewaySession session(context, outcome, "Upgrade");
    if (const TransferResult opened = session.open(gatewayAddress, userId, password);
        opened != TransferResult::Done)
        return failedPlan(opened, outcome.reason);
    FtpConnection& connection = session.connection();
    FirmwarePlan plan;
    const std::string& root = sourcePath;
    std::vector<FirmwareFile> files;
    bool rootUnreadable = false;
    forEachFirmwareFile(
        root, root, [&](const FirmwareFile& file) { files.push_back(file); },
        [&](const std::string& folder) {
            rootUnreadable = rootUnreadable || folder == root;
            plan.unreadableFolders.push_back(below(folder, root));
        });
    // As the upload: with the firmware folder gone nothing would be deleted nor sent.
    if (rootUnreadable)
        return failedPlan(TransferResult::Failed, firmwareFolderUnreadable(root));

    DeviceFolderFinder folders(connection);
    if (fullFirmware) {
        const CleaningDecisions decisions = decideCleaning(folders, settings, sourcePath);
        plan.refusal = decisions.refusal;
        for (const CleaningDecision& pass : decisions.passes) {
            FirmwarePlan::Cleaning cleaning{pass.step.deviceDirectory, false, false, {},
                                            pass.refusal};
            if (pass.refusal.empty())
                readCleaning(connection, pass.step, cleaning);
            plan.cleaning.push_back(std::move(cleaning));
        }
    }

    const ExtensionList putList = readExtensionList(settings, "PutList");
    for (const FirmwareFile& file : files) {
        FirmwarePlan::File planned{below(file.localPath, root), file.deviceDirectory, file.name,
                                   FirmwarePlan::Action::Put, {}};
        const std::optional<std::string> reached = folders.enter(file.deviceDirectory);
        if (!reached) {
            planned.action = FirmwarePlan::Action::FolderMissing;
            planned.reason = withReply("cannot enter " + file.deviceDirectory,
                                       folders.reply(file.deviceDirectory));
        } else {
            planned.deviceDirectory = *reached;
            if (upperCase(file.name) == ProtectedFileName)
                planned.action = FirmwarePlan::Action::Protected;
            else if (!isListedFile(file.name, putList))
                planned.action = FirmwarePlan::Action::NotListed;
        }
        plan.files.push_back(std::move(planned));
    }
    for (std::string& note : folders.takeNotes())
        plan.notes.push_back(std::move(note));

    if (connection.lost())
        return failedPlan(TransferResult::Failed,
                          withReply("connection lost", connection.lastReply()));
    plan.result = TransferResult::Done;
    return plan;
}

std::string firmwarePlanReason(const FirmwarePlan& plan)
{
    if (plan.result != TransferResult::Done)
        return plan.reason;
    if (!plan.refusal.empty())
        return plan.refusal;
    for (const FirmwarePlan::Cleaning& cleaning : plan.cleaning) {
        if (!cleaning.refusal.empty())
            return cleaning.refusal;
    }
    for (const FirmwarePlan::File& file : plan.files) {
        if (file.action == FirmwarePlan::Action::FolderMissing)
            return file.reason;
    }
    if (!plan.unreadableFolders.empty())
        return "local folder " + plan.unreadableFolders.front() + " could not be read";
    return {};
}

std::string firmwarePlanStatus(const FirmwarePlan& plan)
{
    if (plan.result != TransferResult::Done)
        return transferResultName(plan.result);
    return firmwarePlanReason(plan).empty() ? "Planned" : "WouldFail";
}

const char* firmwareActionName(FirmwarePlan::Action action)
{
    switch (action) {
    case FirmwarePlan::Action::Put:
        return "put";
    case FirmwarePlan::Action::NotListed:
    case FirmwarePlan::Action::Protected:
        return "skip";
    case FirmwarePlan::Action::FolderMissing:
        return "fail";
    }
    return "fail";
}

std::string firmwareActionReason(const FirmwarePlan::File& file)
{
    switch (file.action) {
    case FirmwarePlan::Action::Put:
        return {};
    case FirmwarePlan::Action::NotListed:
        return "extension not in PutList";
    case FirmwarePlan::Action::Protected:
        return std::string(ProtectedFileName) + " is never sent";
    case FirmwarePlan::Action::FolderMissing:
        return file.reason.empty() ? "no device folder " + file.deviceDirectory : file.reason;
    }
    return {};
}

std::string firmwarePlanText(const FirmwarePlan& plan)
{
    std::string text;
    const auto line = [&](const std::string& content) { text += "  " + content + "\n"; };
    if (plan.result != TransferResult::Done) {
        line("nothing planned: " + plan.reason);
        return text;
    }
    if (!plan.refusal.empty())
        line("fail " + plan.refusal);
    for (const FirmwarePlan::Cleaning& cleaning : plan.cleaning) {
        if (!cleaning.refusal.empty())
            line("fail " + cleaning.refusal);
        else if (cleaning.missing)
            line("no device folder " + cleaning.deviceDirectory + ": nothing deleted there");
        else if (cleaning.unlisted)
            line(cleaning.deviceDirectory + " can't be listed: nothing deleted there");
        else if (cleaning.deletions.empty())
            line("nothing to delete in " + cleaning.deviceDirectory);
        for (const std::string& name : cleaning.deletions)
            line("delete " + cleaning.deviceDirectory + name);
    }
    for (const FirmwarePlan::File& file : plan.files) {
        std::string content = std::string(firmwareActionName(file.action)) + " "
                              + file.relativePath + " -> " + file.deviceDirectory + file.name;
        if (file.action != FirmwarePlan::Action::Put)
            content += ": " + firmwareActionReason(file);
        line(content);
    }
    for (const std::string& note : plan.notes)
        line("note " + note);
    for (const std::string& folder : plan.unreadableFolders)
        line("fail " + (folder.empty() ? std::string(".") : folder)
             + "/: the folder can't be read, its files are not sent");
    return text;
}
