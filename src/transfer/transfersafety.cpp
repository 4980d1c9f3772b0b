#include "transfer/transfersafety.h"

#include "base/atomicfile.h"
#include "transfer/devicepaths.h"
#include "transfer/firmwarerules.h"
#include "transfer/ftpclient.h"
#include "transfer/outcome.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace {

std::optional<long long> localSize(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return static_cast<long long>(status.st_size);
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool exists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

}  // namespace

void addNote(std::string* notes, const std::string& line)
{
    if (!notes)
        return;
    if (!notes->empty())
        *notes += "\n";
    *notes += line;
}

void keepNotes(const std::string& found, std::string* notes, GatewayOutcome& outcome)
{
    if (found.empty())
        return;
    addNote(notes, found);
    std::size_t start = 0;
    while (start <= found.size()) {
        const std::size_t end = std::min(found.find('\n', start), found.size());
        outcome.notes.push_back(found.substr(start, end - start));
        start = end + 1;
    }
}

bool putAndVerify(FtpConnection& connection, const std::string& localPath,
                  const std::string& deviceDirectory, const std::string& remoteName,
                  const TransferSafety& safety, std::string* notes)
{
    if (!connection.putFile(localPath, remoteName))
        return false;
    if (!safety.verify)
        return true;
    const std::string where = deviceDirectory + remoteName;
    const std::optional<long long> sent = localSize(localPath);
    const RemoteSize held = connection.remoteSize(remoteName);
    switch (held.kind) {
    case RemoteSize::Kind::Known:
        if (sent && held.bytes == *sent)
            return true;
        addNote(notes, where + ": the gateway holds " + std::to_string(held.bytes) + " bytes, "
                           + std::to_string(sent.value_or(-1)) + " were sent");
        return false;
    case RemoteSize::Kind::Refused:
    case RemoteSize::Kind::NotAsked:
        addNote(notes, "not verified: " + where + " (the gateway tells no size)");
        return true;
    case RemoteSize::Kind::Failed:
        break;
    }
    addNote(notes, where + ": sent, but its size could not be read back");
    return false;
}

std::string backupPathFor(const std::string& folder, const std::string& gatewayAddress,
                          std::time_t when)
{
    std::tm local {};
    ::localtime_r(&when, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = (folder.empty() || folder.back() == '/' ? folder : folder + "/")
                             + gatewayAddress + "-" + stamp;
    std::string path = stem + ".cpe";
    for (int copy = 2; exists(path); ++copy)
        path = stem + "-" + std::to_string(copy) + ".cpe";
    return path;
}

BackupResult backUpBook(FtpConnection& connection, const std::string& folder,
                        const std::string& gatewayAddress, std::string* notes)
{
    const std::string book = std::string(DeviceRoot) + DeviceBookName;
    const auto failed = [&](const std::string& why) {
        addNote(notes, "back-up of " + book + " failed: " + why + "; nothing was uploaded");
        return BackupResult::Failed;
    };
    if (!connection.changeDirectory(DeviceRoot))
        return failed(std::string(DeviceRoot) + " can't be entered");
    const std::optional<std::vector<std::string>> listing = connection.listDirectory();
    if (!listing)
        return failed(std::string(DeviceRoot) + " can't be listed");
    bool present = false;
    for (const std::string& entry : *listing)
        present = present || sameNameIgnoringCase(bareNameInListing(entry), DeviceBookName);
    if (!present) {
        addNote(notes, "no " + book + " on the gateway, nothing to back up");
        return BackupResult::NoBook;
    }

    const std::string target = backupPathFor(folder, gatewayAddress, std::time(nullptr));
    FileError error = FileError::None;
    const std::string temporary = createTemporaryBeside(target, error);
    if (temporary.empty())
        return failed(fileErrorText(error, target));
    if (!connection.getFile(DeviceBookName, temporary)) {
        ::unlink(temporary.c_str());
        return failed("the gateway's book could not be fetched");
    }
    error = replaceWithTemporary(temporary, target);
    if (error != FileError::None)
        return failed(fileErrorText(error, target));
    addNote(notes, book + " backed up to " + target);
    return BackupResult::Saved;
}
