#pragma once

#include <functional>
#include <string>

// Where and how the file associations are written; the defaults come from the running program
// and the XDG environment. Tests point dataHome at a temporary folder.
struct FileTypeEnvironment {
    std::string dataHome;        // $XDG_DATA_HOME, else ~/.local/share
    std::string executablePath;  // what the desktop entry runs
    std::string applicationTitle;
    // Refreshes the desktop's databases after a new association; by default runs
    // update-mime-database and update-desktop-database when they are installed.
    std::function<void(const std::string& dataHome)> notifyChanged;

    static FileTypeEnvironment current();
};

// Associates files ending in extension (".cpe") with this program under typeName
// ("CPE.AddressBook"), with the document icon iconIndex (1 address book, 3 gateway list).
// Returns false, writing nothing, when the extension is registered already and force is clear.
// The desktop is notified only when the association is new.
bool registerFileType(const std::string& extension, const std::string& typeName, int iconIndex,
                      bool force, const FileTypeEnvironment& environment);

bool registerFileType(const std::string& extension, const std::string& typeName, int iconIndex,
                      bool force);

// The Exec value of the desktop entry: the executable quoted and escaped by the desktop-entry
// rules where it needs it, then the %f field code.
std::string desktopExecLine(const std::string& executablePath);
