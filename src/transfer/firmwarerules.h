#pragma once

#include <cstddef>
#include <string>
#include <vector>

class SettingsFile;

inline constexpr std::size_t MaxListedExtensions = 128;
inline constexpr const char* ProtectedFileName = "NVRAM.TXT";

// Extensions from one settings section, Ext1 up to the first gap, at most 128.
using ExtensionList = std::vector<std::string>;

ExtensionList readExtensionList(const SettingsFile& settings, const std::string& section);
// True when the upper-cased bare name's extension (the text after its last '.', or the whole
// name without one) is listed exactly. NVRAM.TXT never is.
bool isListedFile(const std::string& bareName, const ExtensionList& list);

// The bare name in a listing entry: trailing spaces cut, then the text after the last space,
// so a server that sends whole `ls -l` lines still yields the name.
std::string bareNameInListing(std::string entry);
// The names of a device directory's listing that a full upgrade deletes there.
std::vector<std::string> removableNames(const std::vector<std::string>& listing,
                                        const ExtensionList& list);

// One device directory a full upgrade cleans, with the extensions it deletes there.
struct CleaningStep {
    std::string deviceDirectory;
    ExtensionList extensions;
    // Where the matching local folders' files are sent, spelled as they are ("/RFA/IMAGES/");
    // empty for /RFA/.
    std::vector<std::string> sourceDirectories;
};
// The directories a full upgrade of sourcePath cleans, in order: /RFA/, then Doc/, Images/ and
// User/ for the firmware folders that have them.
std::vector<CleaningStep> cleaningSteps(const SettingsFile& settings,
                                        const std::string& sourcePath);
