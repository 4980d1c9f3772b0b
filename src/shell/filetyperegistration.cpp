#include "shell/filetyperegistration.h"

#include "resourcedata.h"
#include "base/atomicfile.h"
#include "base/fdstream.h"
#include "base/pathutils.h"
#include "base/text.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr const char* DefaultApplications = "[Default Applications]";
constexpr const char* MimeNamespace = "http://www.freedesktop.org/standards/shared-mime-info";

// "CPE.AddressBook" -> "application/x-cpe-addressbook": the type name stays the identifier.
std::string mimeTypeFor(const std::string& typeName)
{
    std::string mime = "application/x-";
    for (const char c : typeName) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u))
            mime += static_cast<char>(std::tolower(u));
        else if (c == '.' || c == '-' || c == '_' || c == ' ')
            mime += '-';
    }
    return mime;
}

// The icon name the shared MIME database gives a type by default.
std::string iconNameFor(const std::string& mimeType)
{
    std::string name = mimeType;
    for (char& c : name) {
        if (c == '/')
            c = '-';
    }
    return name;
}

std::string xmlEscaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The general escapes of a desktop-entry string value.
std::string desktopStringEscaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// mode: permissions of the file; when absent an existing file keeps its own.
bool writeWholeFile(const std::string& path, const std::string& contents,
                    std::optional<mode_t> mode = static_cast<mode_t>(0644))
{
    // Every start rewrites the association; a file that already says the same is left alone,
    // which spares the start-up a dozen synchronous writes.
    std::string existing;
    if (readWholeFile(path, existing) == FileError::None && existing == contents)
        return true;
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    const FileError error = writeFileAtomically(
        path,
        [&contents](std::ostream& out) {
            out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
            return static_cast<bool>(out);
        },
        mode);
    return error == FileError::None;
}

// The <mime-type> elements of a package this program wrote, each kept verbatim.
struct MimeTypeBlock {
    std::string type;
    std::string text;
};

std::vector<MimeTypeBlock> mimeTypeBlocks(const std::string& package)
{
    std::vector<MimeTypeBlock> blocks;
    const std::string open = "<mime-type type=\"";
    const std::string close = "</mime-type>";
    std::size_t at = 0;
    while ((at = package.find(open, at)) != std::string::npos) {
        const std::size_t typeEnd = package.find('"', at + open.size());
        const std::size_t end = package.find(close, at);
        if (typeEnd == std::string::npos || end == std::string::npos)
            break;
        blocks.push_back({package.substr(at + open.size(), typeEnd - at - open.size()),
                          package.substr(at, end + close.size() - at)});
        at = end + close.size();
    }
    return blocks;
}

std::string globPattern(const std::string& extension)
{
    return "<glob pattern=\"" + xmlEscaped("*" + extension) + "\"/>";
}

std::string mimeTypeBlock(const std::string& mimeType, const std::string& typeName,
                          const std::string& extension, bool withIcon)
{
    std::string block = "<mime-type type=\"" + xmlEscaped(mimeType) + "\">\n";
    block += "    <!-- " + xmlEscaped(typeName) + " -->\n";
    block += "    <comment>" + xmlEscaped(typeName) + "</comment>\n";
    if (withIcon)
        block += "    <icon name=\"" + xmlEscaped(iconNameFor(mimeType)) + "\"/>\n";
    block += "    " + globPattern(extension) + "\n";
    block += "  </mime-type>";
    return block;
}

std::string mimePackage(const std::vector<MimeTypeBlock>& blocks)
{
    std::string package = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    package += "<mime-info xmlns=\"" + std::string(MimeNamespace) + "\">\n";
    for (const MimeTypeBlock& block : blocks)
        package += "  " + block.text + "\n";
    package += "</mime-info>\n";
    return package;
}

std::string desktopEntry(const FileTypeEnvironment& environment,
                         const std::vector<MimeTypeBlock>& blocks)
{
    std::string mimeTypes;
    for (const MimeTypeBlock& block : blocks)
        mimeTypes += block.type + ";";
    std::string entry = "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=" + desktopStringEscaped(environment.applicationTitle) + "\n";
    entry += "Comment=Address books, gateway lists and firmware of Orbiphon gateways\n";
    entry += "Exec=" + desktopExecLine(environment.executablePath) + "\n";
    entry += "Icon=" + desktopStringEscaped(environment.applicationTitle) + "\n";
    entry += "Terminal=false\n";
    entry += "Categories=Network;\n";
    entry += "MimeType=" + mimeTypes + "\n";
    return entry;
}

bool isSectionHeader(const std::string& line)
{
    std::size_t first = line.find_first_not_of(" \t");
    return first != std::string::npos && line[first] == '[';
}

// mimeapps.list lines: blanks and a CR left by a CRLF file.
constexpr std::string_view LineBlanks = " \t\r";

// Sets "mimeType=desktopFile;" under [Default Applications], keeping every other line.
std::string withDefaultApplication(const std::string& mimeApps, const std::string& mimeType,
                                   const std::string& desktopFile)
{
    std::vector<std::string> lines;
    std::istringstream in(mimeApps);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);

    const std::string assignment = mimeType + "=" + desktopFile + ";";
    std::size_t section = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (trimmed(lines[i], LineBlanks) == DefaultApplications) {
            section = i;
            break;
        }
    }
    if (section == lines.size()) {
        if (!lines.empty() && !trimmed(lines.back(), LineBlanks).empty())
            lines.emplace_back();
        lines.emplace_back(DefaultApplications);
        lines.push_back(assignment);
    } else {
        std::size_t end = section + 1;
        while (end < lines.size() && !isSectionHeader(lines[end]))
            ++end;
        bool replaced = false;
        for (std::size_t i = section + 1; i < end; ++i) {
            const std::string line(trimmed(lines[i], LineBlanks));
            const std::size_t equals = line.find('=');
            if (equals != std::string::npos && trimmed(std::string_view(line).substr(0, equals), LineBlanks) == mimeType) {
                lines[i] = assignment;
                replaced = true;
            }
        }
        if (!replaced) {
            // After the section's last non-blank line, so a blank line before the next section
            // stays where it was.
            std::size_t insertAt = end;
            while (insertAt > section + 1 && trimmed(lines[insertAt - 1], LineBlanks).empty())
                --insertAt;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), assignment);
        }
    }

    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

void writeIcons(const std::string& dataHome, int iconIndex, const std::string& context,
                const std::string& name)
{
    for (const EmbeddedIcon& icon : embeddedIcons(iconIndex)) {
        const std::string size = std::to_string(icon.size);
        const std::string path =
            dataHome + "/icons/hicolor/" + size + "x" + size + "/" + context + "/" + name + ".png";
        writeWholeFile(path, std::string(reinterpret_cast<const char*>(icon.data), icon.length));
    }
}

std::string userDataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    // The base-directory rules ignore a relative XDG_DATA_HOME.
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    std::string homeDirectory = home && home[0] == '/' ? home : "";
    if (homeDirectory.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
            homeDirectory = entry->pw_dir;
    }
    if (homeDirectory.empty())
        return {};
    return homeDirectory + "/.local/share";
}

// Runs program with arguments, without a shell, its output discarded; a program that is not
// installed is simply skipped.
void runQuietly(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int started = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

void refreshDesktopDatabases(const std::string& dataHome)
{
    runQuietly({"update-mime-database", dataHome + "/mime"});
    runQuietly({"update-desktop-database", dataHome + "/applications"});
}

}  // namespace

std::string desktopExecLine(const std::string& executablePath)
{
    // An argument holding a reserved character must be quoted; inside the quotes the characters
    // " ` $ and the backslash take a backslash. A literal % is written %%. The string escapes of the file come last, so
    // a backslash in the path ends up as four.
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string argument = executablePath;
    if (argument.empty() || argument.find_first_of(reserved) != std::string::npos) {
        std::string quoted = "\"";
        for (const char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
        argument = quoted;
    }
    std::string withPercents;
    for (const char c : argument) {
        withPercents += c;
        if (c == '%')
            withPercents += '%';
    }
    // %f stands unquoted: the desktop-entry rules forbid quoting field codes.
    return desktopStringEscaped(withPercents) + " %f";
}

FileTypeEnvironment FileTypeEnvironment::current()
{
    FileTypeEnvironment environment;
    environment.dataHome = userDataHome();
    environment.executablePath = ::executablePath();
    environment.applicationTitle = ::applicationTitle();
    environment.notifyChanged = refreshDesktopDatabases;
    return environment;
}

bool registerFileType(const std::string& extension, const std::string& typeName, int iconIndex,
                      bool force, const FileTypeEnvironment& environment)
{
    if (environment.dataHome.empty())
        return force;
    const std::string title =
        environment.applicationTitle.empty() ? "Orbiphon" : environment.applicationTitle;
    const std::string mimeType = mimeTypeFor(typeName);
    const std::string packagePath = environment.dataHome + "/mime/packages/" + title + ".xml";

    std::string package;
    const bool packageRead = readWholeFile(packagePath, package) == FileError::None;
    std::vector<MimeTypeBlock> blocks = packageRead ? mimeTypeBlocks(package)
                                                    : std::vector<MimeTypeBlock>{};
    const std::string glob = globPattern(extension);
    bool registered = false;
    for (const MimeTypeBlock& block : blocks)
        registered = registered || block.text.find(glob) != std::string::npos;
    if (registered && !force)
        return false;

    // This type replaces whatever claimed the extension or the type name before, in its place,
    // so that registering again in the same order writes the same files.
    const bool hasIcon = !embeddedIcons(iconIndex).empty();
    const MimeTypeBlock ours{mimeType, mimeTypeBlock(mimeType, typeName, extension, hasIcon)};
    auto claims = [&](const MimeTypeBlock& block) {
        return block.type == mimeType || block.text.find(glob) != std::string::npos;
    };
    const auto first = std::find_if(blocks.begin(), blocks.end(), claims);
    if (first == blocks.end()) {
        blocks.push_back(ours);
    } else {
        *first = ours;
        blocks.erase(std::remove_if(std::next(first), blocks.end(), claims), blocks.end());
    }
    // Like a registry key that could not be created: nothing new to announce.
    const bool newAssociation = writeWholeFile(packagePath, mimePackage(blocks)) && !registered;

    writeIcons(environment.dataHome, iconIndex, "mimetypes", iconNameFor(mimeType));
    writeIcons(environment.dataHome, 0, "apps", title);

    const std::string desktopFile = title + ".desktop";
    writeWholeFile(environment.dataHome + "/applications/" + desktopFile,
                   desktopEntry(environment, blocks));

    const std::string mimeAppsPath = environment.dataHome + "/applications/mimeapps.list";
    std::string mimeApps;
    std::error_code ignored;
    // The operator's other defaults live in the same file: never rewrite one we could not read.
    if (readWholeFile(mimeAppsPath, mimeApps) == FileError::None || !fs::exists(mimeAppsPath, ignored)) {
        writeWholeFile(mimeAppsPath, withDefaultApplication(mimeApps, mimeType, desktopFile),
                       std::nullopt);
    }

    if (newAssociation && environment.notifyChanged)
        environment.notifyChanged(environment.dataHome);
    return true;
}

bool registerFileType(const std::string& extension, const std::string& typeName, int iconIndex,
                      bool force)
{
    return registerFileType(extension, typeName, iconIndex, force,
                            FileTypeEnvironment::current());
}
