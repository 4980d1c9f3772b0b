#include "transfer/remotelisting.h"

#include "transfer/ftpclient.h"
#include "transfer/outcome.h"

#include <algorithm>
#include <optional>

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool allDigits(const std::string& text)
{
    return !text.empty() && text.size() <= 18
           && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

// The start of each of the first count words of line, and where the rest begins after them.
std::optional<std::vector<std::size_t>> wordStarts(const std::string& line, std::size_t count)
{
    std::vector<std::size_t> starts;
    std::size_t at = 0;
    while (starts.size() <= count) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string::npos)
            return std::nullopt;
        starts.push_back(at);
        at = line.find(' ', at);
        if (at == std::string::npos)
            at = line.size();
    }
    return starts;
}

std::string wordAt(const std::string& line, std::size_t start)
{
    return line.substr(start, line.find(' ', start) - start);
}

std::optional<ListingEntry> unixLine(const std::string& line)
{
    // type+mode, links, owner, group, size, month, day, time or year, then the name.
    const auto starts = wordStarts(line, 8);
    if (!starts || line.size() < 10 || std::string("-dl").find(line[0]) == std::string::npos)
        return std::nullopt;
    const std::string size = wordAt(line, (*starts)[4]);
    if (line[0] == 'l' || !allDigits(size))
        return std::nullopt;
    ListingEntry entry;
    entry.directory = line[0] == 'd';
    entry.size = entry.directory ? -1 : std::stoll(size);
    entry.modified = line.substr((*starts)[5], (*starts)[8] - (*starts)[5]);
    while (!entry.modified.empty() && entry.modified.back() == ' ')
        entry.modified.pop_back();
    entry.name = line.substr((*starts)[8]);
    return entry;
}

std::optional<ListingEntry> dosLine(const std::string& line)
{
    // date, time, "<DIR>" or size, then the name.
    const auto starts = wordStarts(line, 3);
    if (!starts)
        return std::nullopt;
    const std::string date = wordAt(line, (*starts)[0]);
    const std::string sizeOrDir = wordAt(line, (*starts)[2]);
    if (date.size() < 8 || date.find_first_not_of("0123456789-/.") != std::string::npos
        || (sizeOrDir != "<DIR>" && !allDigits(sizeOrDir)))
        return std::nullopt;
    ListingEntry entry;
    entry.directory = sizeOrDir == "<DIR>";
    entry.size = entry.directory ? -1 : std::stoll(sizeOrDir);
    entry.modified = date + " " + wordAt(line, (*starts)[1]);
    entry.name = line.substr((*starts)[3]);
    return entry;
}

bool isWalkable(const std::string& name)
{
    return !name.empty() && name != "." && name != ".."
           && name.find_first_of(std::string("/\r\n\0", 4)) == std::string::npos;
}

class TreeWalk {
public:
    TreeWalk(FtpConnection& connection, RemoteTree& tree) : m_connection(connection), m_tree(tree)
    {
    }

    bool walk(const std::string& directory, int depth)
    {
        std::optional<std::vector<ListingEntry>> entries = list(directory);
        if (!entries)
            return false;
        std::vector<std::string> folders;
        for (const ListingEntry& entry : *entries) {
            if (!isWalkable(entry.name))
                continue;
            if (m_tree.files.size() + folders.size() >= MaxRemoteFiles)
                return fail("more than " + std::to_string(MaxRemoteFiles) + " files");
            if (entry.directory)
                folders.push_back(directory + entry.name + "/");
            else
                m_tree.files.push_back({directory + entry.name, entry.size, entry.modified});
        }
        for (const std::string& folder : folders) {
            if (depth >= MaxRemoteDepth)
                return fail("folders deeper than " + std::to_string(MaxRemoteDepth) + " levels");
            if (!walk(folder, depth + 1))
                return false;
        }
        return true;
    }

private:
    bool fail(const std::string& why)
    {
        m_tree.reason = why;
        return false;
    }

    // The server does not know the listing (a 5xx), or the connection can't ask for it: the
    // next kind is worth a try on the same connection.
    bool refused() const
    {
        const std::string reply = m_connection.lastReply();
        return !m_connection.lost() && (reply.empty() || reply[0] == '5');
    }

    // The current directory's entries by the first method the server takes; later directories
    // use the one that worked.
    std::optional<std::vector<ListingEntry>> list(const std::string& directory)
    {
        if (m_tree.method.empty() || m_tree.method == "MLSD") {
            if (const auto text =
                    m_connection.listingText(FtpConnection::Listing::Mlsd, directory)) {
                m_tree.method = "MLSD";
                return parseMlsdListing(*text);
            }
            if (!m_tree.method.empty() || !refused())
                return failed(directory);
        }
        if (m_tree.method.empty() || m_tree.method == "LIST") {
            if (const auto text =
                    m_connection.listingText(FtpConnection::Listing::List, directory)) {
                std::vector<ListingEntry> entries = parseListLines(*text);
                // Lines of no known form: the names alone are more use.
                if (!entries.empty() || linesOf(*text).empty() || m_tree.method == "LIST") {
                    m_tree.method = "LIST";
                    return entries;
                }
            } else if (!m_tree.method.empty() || !refused()) {
                return failed(directory);
            }
        }
        m_tree.method = "NLST";
        return namesWithSizes(directory);
    }

    std::optional<std::vector<ListingEntry>> namesWithSizes(const std::string& directory)
    {
        if (!m_connection.changeDirectory(directory)) {
            fail(withReply("cannot enter " + directory, m_connection.lastReply()));
            return std::nullopt;
        }
        const auto names = m_connection.listDirectory();
        if (!names)
            return failed(directory);
        std::vector<ListingEntry> entries;
        for (const std::string& name : *names) {
            if (!isWalkable(name) || entries.size() >= MaxRemoteFiles)
                continue;
            ListingEntry entry;
            entry.name = name;
            const RemoteSize size = m_connection.remoteSize(name);
            if (size.kind == RemoteSize::Kind::Known) {
                entry.size = size.bytes;
            } else if (m_connection.changeDirectory(directory + name + "/")) {
                entry.directory = true;
                if (!m_connection.changeDirectory(directory))
                    return failed(directory);
            }
            if (m_connection.lost())
                return failed(directory);
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    std::nullopt_t failed(const std::string& directory)
    {
        fail(withReply("cannot list " + directory, m_connection.lastReply()));
        return std::nullopt;
    }

    FtpConnection& m_connection;
    RemoteTree& m_tree;
};

std::string mlsdTime(const std::string& value)
{
    if (value.size() < 14 || value.find_first_not_of("0123456789", 0) < 14)
        return value;
    return value.substr(0, 4) + "-" + value.substr(4, 2) + "-" + value.substr(6, 2) + "T"
           + value.substr(8, 2) + ":" + value.substr(10, 2) + ":" + value.substr(12, 2) + "Z";
}

}  // namespace

std::vector<ListingEntry> parseMlsdListing(const std::string& text)
{
    std::vector<ListingEntry> entries;
    for (const std::string& line : linesOf(text)) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos || space == 0)
            continue;
        ListingEntry entry;
        entry.name = line.substr(space + 1);
        std::string type;
        std::size_t start = 0;
        while (start < space) {
            const std::size_t end = std::min(line.find(';', start), space);
            const std::string fact = line.substr(start, end - start);
            const std::size_t equals = fact.find('=');
            if (equals != std::string::npos) {
                const std::string name = lowerCase(fact.substr(0, equals));
                const std::string value = fact.substr(equals + 1);
                if (name == "type")
                    type = lowerCase(value);
                else if (name == "size" && allDigits(value))
                    entry.size = std::stoll(value);
                else if (name == "modify")
                    entry.modified = mlsdTime(value);
            }
            start = end + 1;
        }
        if (type == "cdir" || type == "pdir" || type.empty())
            continue;
        entry.directory = type == "dir";
        if (type != "file" && !entry.directory)
            continue;  // links and devices are no gateway files
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<ListingEntry> parseListLines(const std::string& text)
{
    std::vector<ListingEntry> entries;
    for (const std::string& line : linesOf(text)) {
        if (auto entry = unixLine(line))
            entries.push_back(std::move(*entry));
        else if (auto dos = dosLine(line))
            entries.push_back(std::move(*dos));
    }
    return entries;
}

RemoteTree listRemoteTree(FtpConnection& connection, const std::string& root)
{
    RemoteTree tree;
    TreeWalk walk(connection, tree);
    tree.complete = walk.walk(root.empty() || root.back() == '/' ? root : root + "/", 0);
    return tree;
}
