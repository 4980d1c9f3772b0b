#pragma once

#include <set>
#include <string>

// A folder under the system's temporary directory, removed with everything in it when the
// object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string file(const std::string& name) const;
    // Writes bytes to name (creating folders on the way) and returns its full path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

// The whole file, byte for byte; throws when it can't be read.
std::string readFileBytes(const std::string& path);
// Writes bytes to path, replacing what was there; throws when it can't (a missing folder too).
void writeFileBytes(const std::string& path, const std::string& bytes);
// The names in folder, sorted; throws when the folder can't be read.
std::set<std::string> folderEntries(const std::string& folder);
