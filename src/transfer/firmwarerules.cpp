#include "transfer/firmwarerules.h"

#include "base/settingsfile.h"
#include "base/text.h"
#include "transfer/devicepaths.h"
#include "transfer/firmwaretree.h"
#include "transfer/ftpclient.h"

#include <algorithm>

ExtensionList readExtensionList(const SettingsFile& settings, const std::string& section)
{
    ExtensionList list;
    while (list.size() < MaxListedExtensions) {
        std::string value =
            settings.readString(section, "Ext" + std::to_string(list.size() + 1), "");
        if (value.empty())
            break;
        list.push_back(std::move(value));
    }
    return list;
}

bool isListedFile(const std::string& bareName, const ExtensionList& list)
{
    const std::string name = upperCase(bareName);
    if (name == ProtectedFileName)
        return false;
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? name : name.substr(dot + 1);
    return std::find(list.begin(), list.end(), extension) != list.end();
}

std::string bareNameInListing(std::string entry)
{
    entry.erase(entry.find_last_not_of(' ') + 1);
    const std::size_t space = entry.rfind(' ');
    return space == std::string::npos ? entry : entry.substr(space + 1);
}

std::vector<std::string> removableNames(const std::vector<std::string>& listing,
                                        const ExtensionList& list)
{
    std::vector<std::string> names;
    for (const std::string& entry : listing) {
        std::string name = bareNameInListing(entry);
        // A name with a path in it ("/RFA/NVRAM.BIN", "../x.BIN") is never sent.
        if (name.find('.') == std::string::npos || !isSendableRemoteName(name))
            continue;
        if (isListedFile(name, list))
            names.push_back(std::move(name));
    }
    return names;
}

std::vector<CleaningStep> cleaningSteps(const SettingsFile& settings,
                                        const std::string& sourcePath)
{
    DeviceFolders folders = findDeviceFolders(sourcePath);
    std::vector<CleaningStep> steps{{DeviceRoot, readExtensionList(settings, "RemoveFromRFA"), {}}};
    const auto add = [&](bool present, const char* directory, const char* section,
                         const char* upperName) {
        if (!present)
            return;
        std::vector<std::string> targets;
        for (const std::string& name : folders.names[upperName])
            targets.push_back(std::string(DeviceRoot) + name + "/");
        steps.push_back({directory, readExtensionList(settings, section), std::move(targets)});
    };
    add(folders.doc, "/RFA/Doc/", "RemoveFromDoc", "DOC");
    add(folders.images, "/RFA/Images/", "RemoveFromImages", "IMAGES");
    add(folders.user, "/RFA/User/", "RemoveFromUser", "USER");
    return steps;
}
