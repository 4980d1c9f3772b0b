#include "base/settingsfile.h"

#include "base/fdstream.h"
#include "base/text.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <istream>

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::string_view withoutQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
        && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string cut(std::string_view value)
{
    return std::string(value.substr(0, SettingsFile::MaxValueLength));
}

}  // namespace

void SettingsFile::setPath(std::string path)
{
    // Kept whole: a path cut to the classic 259 characters would silently name another file.
    m_path = std::move(path);
}

FileError SettingsFile::readError() const
{
    struct stat status {};
    if (::stat(m_path.c_str(), &status) != 0)
        return fileErrorFromErrno(errno);
    // Opening a FIFO would wait for a writer; a folder or a device is no settings file either.
    if (!S_ISREG(status.st_mode))
        return FileError::NotFound;
    return readFileWith(m_path, [](std::istream& in) { in.peek(); });
}

std::string SettingsFile::readString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue) const
{
    const std::string_view wantedSection = trimmed(section);
    const std::string_view wantedKey = trimmed(key);

    std::string content;
    const FileError error = readFileWith(m_path, [&content](std::istream& in) {
        char chunk[4096];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            content.append(chunk, static_cast<std::size_t>(in.gcount()));
    });
    if (error != FileError::None)
        return cut(defaultValue);

    std::string_view rest(content);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);

    bool inWantedSection = false;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = trimmed(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);

        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
            inWantedSection = sameName(trimmed(name), wantedSection);
            continue;
        }
        if (!inWantedSection)
            continue;

        const std::size_t equals = line.find('=');
        const std::string_view name = trimmed(line.substr(0, equals));
        if (!sameName(name, wantedKey))
            continue;
        if (equals == std::string_view::npos)
            return {};
        return cut(withoutQuotes(trimmed(line.substr(equals + 1))));
    }
    return cut(defaultValue);
}
