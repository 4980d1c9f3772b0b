#include "transfer/addressbooktransfer.h"

#include "base/atomicfile.h"
#include "base/progresssink.h"
#include "transfer/probe.h"
#include "transfer/transfersafety.h"

#include <unistd.h>

namespace {

const std::string BookStatusLine = std::string("FTP : ") + DeviceRoot + DeviceBookName;

// The book's two steps on an open connection: enter /RFA/ (bar at 1), then the transfer itself
// (bar at 2). False as soon as a step fails.
template <typename Transfer>
bool transferBook(FtpConnection& connection, ProgressSink& progress, Transfer transfer)
{
    if (!connection.changeDirectory(DeviceRoot))
        return false;
    progress.setLine1(BookStatusLine);
    progress.setPosition(ProgressBar::Upper, 1);
    progress.refresh();
    if (!transfer())
        return false;
    progress.setPosition(ProgressBar::Upper, 2);
    progress.refresh();
    return true;
}

void startBookProgress(ProgressSink& progress)
{
    progress.setLine1("Connecting...");
    progress.setRange(ProgressBar::Upper, 2);
    progress.refresh();
}

// Fetches into a temporary beside localPath and renames it into place only when complete.
bool fetchBook(FtpConnection& connection, const std::string& localPath)
{
    FileError error = FileError::None;
    const std::string temporary = createTemporaryBeside(localPath, error);
    if (temporary.empty())
        return false;
    if (!connection.getFile(DeviceBookName, temporary)) {
        ::unlink(temporary.c_str());
        return false;
    }
    return replaceWithTemporary(temporary, localPath) == FileError::None;
}

}  // namespace

TransferResult uploadAddressBook(TransferContext& context, std::string localPath,
                                 const std::string& gatewayAddress, const std::string& userId,
                                 const std::string& password, const TransferSafety& safety,
                                 std::string* notes)
{
    if (!context.prober.probe(gatewayAddress, ProbeTimeoutMs))
        return TransferResult::NotFound;
    if (!isSendableLogin(userId, password))
        return TransferResult::Failed;
    const std::unique_ptr<FtpClient> client = context.ftp.open("Upgrade");
    if (!client)
        return TransferResult::Failed;
    startBookProgress(context.progress);
    const std::unique_ptr<FtpConnection> connection =
        client->connect({gatewayAddress, context.ftpPort, userId, password});
    if (!connection)
        return TransferResult::Failed;
    if (!safety.backupFolder.empty()
        && backUpBook(*connection, safety.backupFolder, gatewayAddress, notes)
               == BackupResult::Failed)
        return TransferResult::Failed;
    const bool done = transferBook(*connection, context.progress, [&] {
        return putAndVerify(*connection, localPath, DeviceRoot, DeviceBookName, safety, notes);
    });
    return done ? TransferResult::Done : TransferResult::Failed;
}

DownloadResult downloadAddressBook(TransferContext& context, const std::string& gatewayAddress,
                                   const std::string& userId, const std::string& password,
                                   const std::string& localPath,
                                   const std::function<void()>& reportFailure)
{
    const std::unique_ptr<FtpClient> client = context.ftp.open("Download");
    ProgressSink& progress = context.progress;
    progress.reset();
    progress.setCaption("Download AddressBook");
    bool done = false;
    {
        std::unique_ptr<FtpConnection> connection;
        if (client && isSendableLogin(userId, password)) {
            startBookProgress(progress);
            connection = client->connect(
                {gatewayAddress, context.ftpPort, userId, password, context.cancel});
        }
        done = connection && transferBook(*connection, progress, [&] {
                   return fetchBook(*connection, localPath);
               });
        if (!done && reportFailure)
            reportFailure();
    }
    progress.hide();
    return done ? DownloadResult::Done : DownloadResult::FtpFailure;
}
