#include "base/pathutils.h"

#include <unistd.h>

#include <vector>

std::string joinStrings(std::initializer_list<const char*> pieces)
{
    std::string result;
    bool first = true;
    for (const char* piece : pieces) {
        if (first) {
            first = false;
            if (piece)
                result = piece;
            continue;
        }
        if (!piece || !*piece)
            break;
        result += piece;
    }
    return result;
}

std::string directoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string executablePath()
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string executableDirectory()
{
    const std::string path = executablePath();
    if (path.find('/') == std::string::npos)
        return {};
    return directoryOf(path);
}

std::string applicationTitle()
{
    std::string name = fileNameOf(executablePath());
    const std::size_t dot = name.rfind('.');
    // A leading dot marks a hidden file, not an extension.
    if (dot != std::string::npos && dot != 0)
        name.erase(dot);
    return name;
}

std::string settingsFilePath()
{
    const std::string directory = executableDirectory();
    if (!directory.empty() && directory.back() == '/')
        return directory + "Orbiphon.ini";
    return directory + "/Orbiphon.ini";
}
