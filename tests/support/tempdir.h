#pragma once

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

std::string readFileBytes(const std::string& path);
