#pragma once

#include "base/fileerror.h"

#include <string>
#include <string_view>

// The read-only profile file beside the executable ("Orbiphon.ini"). Every read goes to the
// file afresh, so an operator's edit is seen by the next upgrade without restarting.
class SettingsFile {
public:
    // Longest value readString returns; longer values are cut.
    static constexpr std::size_t MaxValueLength = 254;

    SettingsFile() = default;
    virtual ~SettingsFile() = default;

    void setPath(std::string path);
    const std::string& path() const { return m_path; }

    // The key's value in the section, or defaultValue when the file, section or key is missing.
    // Section and key names match without regard to case; white space around names and value
    // is dropped; one pair of enclosing quotes (' or ") is removed; lines starting with ';' are
    // comments.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;

    // Why the file can't be read (NotFound also for what is not a regular file), or None. The
    // readers take a file that can't be read as empty; a firmware upgrade asks first.
    FileError readError() const;

private:
    std::string m_path;
};
