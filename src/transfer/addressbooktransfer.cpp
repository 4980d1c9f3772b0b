#include "transfer/addressbooktransfer.h"

#include "base/atomicfile.h"
#include "base/progresssink.h"
#include "transfer/gatewaysession.h"
#include "transfer/bookacceptance.h"
#include "transfer/bookfetch.h"
#include "transfer/bookhistory.h"
#include "transfer/outcome.h"
#include "transfer/transfersafety.h"
#include "transfer/uploadsteps.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

namespace {

const std::string BookStatusLine = std::string("FTP : ") + DeviceRoot + DeviceBookName;

// The book's two steps on an open connection: enter /RFA/ (bar at 1), then the transfer itself
// (bar at 2). False as soon as a step fails.
template <typename Transfer>
bool transferBook(FtpConnection& connection, ProgressSink& progress, Transfer transfer,
                  GatewayOutcome& outcome)
{
    if (!connection.changeDirectory(DeviceRoot)) {
        outcome.fail(withReply(std::string("cannot enter ") + DeviceRoot, connection.lastReply()));
        return false;
    }
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
bool fetchBook(FtpConnection& connection, const std::string& localPath,
               const std::function<bool()>& mayReplace, GatewayOutcome& outcome)
{
    FileError error = FileError::None;
    const std::string temporary = createTemporaryBeside(localPath, error);
    if (temporary.empty()) {
        outcome.fail("local file " + localPath + " could not be written");
        return false;
    }
    if (!connection.getFile(DeviceBookName, temporary)) {
        ::unlink(temporary.c_str());
        outcome.fail(withReply(std::string("cannot get ") + DeviceRoot + DeviceBookName,
                               connection.lastReply()));
        return false;
    }
    if (mayReplace && !mayReplace()) {
        ::unlink(temporary.c_str());
        outcome.fail("stopped before " + localPath + " was replaced");
        return false;
    }
    if (replaceWithTemporary(temporary, localPath) != FileError::None) {
        outcome.fail("local file " + localPath + " could not be written");
        return false;
    }
    return true;
}

// True only when the gateway's book is proven byte for byte localPath: a copy the back-up kept
// (heldCopy) or else one fetched now, accepted as a whole book. No book, a short or failed fetch
// all leave it false, so the book is sent.
bool gatewayHoldsBook(FtpConnection& connection, const std::string& localPath,
                      const std::string& heldCopy)
{
    if (!heldCopy.empty())
        return bookCopyProblem(heldCopy).empty() && sameFileContents(heldCopy, localPath);
    if (!connection.changeDirectory(DeviceRoot))
        return false;
    const FetchedBook fetched = fetchBookCopy(connection, temporaryFolder());
    if (fetched.result != BookFetch::Fetched)
        return false;
    const bool same = sameFileContents(fetched.path, localPath);
    ::unlink(fetched.path.c_str());
    return same;
}

}  // namespace

TransferResult uploadAddressBook(TransferContext& context, std::string localPath,
                                 const std::string& gatewayAddress, const std::string& userId,
                                 const std::string& password, const TransferSafety& safety,
                                 std::string* notes, GatewayOutcome* outcomeOut)
{
    GatewayOutcome outcome;
    outcome.start();
    std::string found;
    GatewaySession session(context, outcome, "Upgrade");
    const auto end = [&](TransferResult result, const std::string& why = {}) {
        if (!why.empty())
            outcome.fail(why);
        outcome.abandoned = outcome.abandoned || session.abandoned();
        keepNotes(found, notes, outcome);
        return finishedOutcome(result, outcome, outcomeOut);
    };
    if (!session.probe(gatewayAddress))
        return end(TransferResult::NotFound);
    if (!session.logIn(gatewayAddress, userId, password,
                       [&] { startBookProgress(context.progress); }))
        return end(TransferResult::Failed);
    FtpConnection& connection = session.connection();
    std::string heldCopy;  // the gateway's book as kept by the back-up, for onlyChanged
    if (!safety.backupFolder.empty()) {
        std::string backupNote;
        const BackupResult backup = backUpBook(connection, safety.backupFolder, gatewayAddress,
                                               &backupNote, &heldCopy);
        addNote(&found, backupNote);
        if (backup == BackupResult::Failed)
            return end(TransferResult::Failed, backupNote);
        // A gateway without a book is upgraded all the same; its outcome says there was none.
        if (backup == BackupResult::NoBook)
            outcome.fail(backupNote);
    }
    if (safety.onlyChanged && gatewayHoldsBook(connection, localPath, heldCopy)) {
        outcome.unchanged = true;
        return end(TransferResult::Done, UnchangedBookReason);
    }
    const bool done = transferBook(connection, context.progress, [&] {
        return putCounted(connection, localPath, DeviceRoot, DeviceBookName, safety, &found,
                          outcome);
    }, outcome);
    return end(done ? TransferResult::Done : TransferResult::Failed);
}

DownloadResult downloadAddressBook(TransferContext& context, const std::string& gatewayAddress,
                                   const std::string& userId, const std::string& password,
                                   const std::string& localPath,
                                   const std::function<void()>& reportFailure,
                                   GatewayOutcome* outcomeOut)
{
    GatewayOutcome outcome;
    outcome.start();
    GatewaySession session(context, outcome, "Download");
    const bool clientOpened = session.openClient();
    ProgressSink& progress = context.progress;
    progress.reset();
    progress.setCaption("Download AddressBook");
    const bool done = clientOpened
                      && session.logIn(gatewayAddress, userId, password,
                                       [&] { startBookProgress(progress); })
                      && transferBook(session.connection(), progress, [&] {
                             return fetchBook(session.connection(), localPath,
                                              context.mayReplace, outcome);
                         }, outcome);
    outcome.abandoned = session.abandoned();
    if (!done && reportFailure)
        reportFailure();
    session.closeConnection();
    progress.hide();
    return finishedOutcome(done ? DownloadResult::Done : DownloadResult::FtpFailure, outcome, outcomeOut);
}
