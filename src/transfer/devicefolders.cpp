#include "transfer/devicefolders.h"

#include "base/settingsfile.h"
#include "base/text.h"
#include "transfer/devicepaths.h"
#include "transfer/ftpclient.h"
#include "transfer/outcome.h"

#include <utility>

namespace {

// "/RFA/IMAGES/" splits into "/RFA/" and "IMAGES".
std::pair<std::string, std::string> parentAndName(const std::string& directory)
{
    std::string trimmed = directory;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos)
        return {{}, trimmed};
    return {trimmed.substr(0, slash + 1), trimmed.substr(slash + 1)};
}

// A listing entry's own name: some servers list "/RFA/Images" or "Images/".
std::string entryName(const std::string& entry)
{
    std::string name = bareNameInListing(entry);
    while (!name.empty() && name.back() == '/')
        name.pop_back();
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

const DeviceFolderFinder::Found& DeviceFolderFinder::find(const std::string& wanted)
{
    m_inFound = false;
    if (const auto known = m_found.find(wanted); known != m_found.end())
        return known->second;
    Found found;
    if (m_connection.changeDirectory(wanted)) {
        found.directory = wanted;
        m_inFound = true;
        return m_found.emplace(wanted, found).first->second;
    }
    found.reply = m_connection.lastReply();
    const auto [parent, name] = parentAndName(wanted);
    // /RFA/ is spelled as every gateway has it; a lost connection tells nothing of case.
    if (wanted == DeviceRoot || parent.empty() || name.empty() || m_connection.lost())
        return m_found.emplace(wanted, found).first->second;
    const std::optional<std::string> parentFound = find(parent).directory;
    m_inFound = false;
    std::optional<std::vector<std::string>> listing;
    if (parentFound && m_connection.changeDirectory(*parentFound))
        listing = m_connection.listDirectory();
    for (const std::string& entry : listing.value_or(std::vector<std::string>{})) {
        const std::string candidate = entryName(entry);
        const std::string path = *parentFound + candidate + "/";
        if (!isSendableRemoteName(candidate) || upperCase(candidate) != upperCase(name)
            || path == wanted)
            continue;
        if (m_connection.changeDirectory(path)) {
            found.directory = path;
            m_inFound = true;
            m_notes.push_back(wanted + " can't be entered: its files go to " + path);
            break;
        }
    }
    return m_found.emplace(wanted, found).first->second;
}

std::optional<std::string> DeviceFolderFinder::enter(const std::string& wanted)
{
    const Found& found = find(wanted);
    // A directory found just now is the current one already.
    if (!found.directory || (!m_inFound && !m_connection.changeDirectory(*found.directory)))
        return std::nullopt;
    return found.directory;
}

bool DeviceFolderFinder::reaches(const std::string& wanted)
{
    return find(wanted).directory.has_value();
}

std::string DeviceFolderFinder::reply(const std::string& wanted) const
{
    const auto known = m_found.find(wanted);
    return known == m_found.end() ? std::string() : known->second.reply;
}

std::vector<std::string> DeviceFolderFinder::takeNotes()
{
    return std::exchange(m_notes, {});
}

std::string firmwareFolderUnreadable(const std::string& sourcePath)
{
    return "firmware folder " + sourcePath + " could not be read";
}

bool holdsPutListFile(const std::string& folder, const ExtensionList& putList)
{
    bool holds = false;
    forEachFirmwareFile(folder, folder, [&](const FirmwareFile& file) {
        holds = holds || isListedFile(file.name, putList);
    });
    return holds;
}

std::string firmwareSourceProblem(const SettingsFile& settings, const std::string& sourcePath)
{
    const ExtensionList putList = readExtensionList(settings, "PutList");
    bool holds = false;
    bool rootUnreadable = false;
    forEachFirmwareFile(
        sourcePath, sourcePath,
        [&](const FirmwareFile& file) { holds = holds || isListedFile(file.name, putList); },
        [&](const std::string& folder) { rootUnreadable = rootUnreadable || folder == sourcePath; });
    if (rootUnreadable)
        return firmwareFolderUnreadable(sourcePath);
    if (putList.empty())
        return "PutList of " + settings.path()
               + " lists no extension: a firmware upgrade would send nothing";
    if (!holds)
        return "no file of " + sourcePath + " has an extension that PutList of "
               + settings.path() + " lists: a firmware upgrade would send nothing";
    return {};
}

CleaningDecisions decideCleaning(DeviceFolderFinder& finder, const SettingsFile& settings,
                                 const std::string& sourcePath)
{
    CleaningDecisions decisions;
    // Listed afresh here: a share unmounted since the batch started leaves an empty folder.
    if (!holdsPutListFile(sourcePath, readExtensionList(settings, "PutList"))) {
        decisions.refusal = std::string(NoPutListFileReason) + "; nothing was deleted";
        return decisions;
    }
    for (CleaningStep& step : cleaningSteps(settings, sourcePath)) {
        CleaningDecision decision{std::move(step), {}};
        for (const std::string& target : decision.step.sourceDirectories) {
            if (decision.refusal.empty() && !finder.reaches(target))
                decision.refusal = withReply("cannot enter " + target, finder.reply(target))
                                   + "; nothing deleted in " + decision.step.deviceDirectory;
        }
        decisions.passes.push_back(std::move(decision));
    }
    return decisions;
}
