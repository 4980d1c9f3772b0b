#include "transfer/bookfetch.h"

#include "transfer/devicepaths.h"
#include "transfer/bookacceptance.h"
#include "transfer/bookhistory.h"
#include "transfer/gatewaysession.h"
#include "transfer/outcome.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

std::string temporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && folder[0] == '/' ? folder : "/tmp";
}

FetchedBook fetchBookCopy(FtpConnection& connection, const std::string& folder)
{
    FetchedBook fetched;
    std::string temporary = (folder.empty() ? std::string(".") : folder) + "/.fetching-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        fetched.reason = "no temporary file could be made in " + folder + ": "
                         + std::strerror(errno);
        return fetched;
    }
    ::close(fd);
    const std::string book = std::string(DeviceRoot) + DeviceBookName;
    // Anything longer is no book: the copy would be refused, so it need not arrive whole.
    connection.capDownloads(DeviceBookFileSize + 1);
    const bool got = connection.getFile(DeviceBookName, temporary);
    connection.capDownloads(0);
    if (!got) {
        ::unlink(temporary.c_str());
        const std::string reply = connection.lastReply();
        // Only a refusal of the retrieval itself says the file is not there; a lost connection
        // or a time-out says nothing about it.
        fetched.result = reply.rfind("550", 0) == 0 ? BookFetch::NoBook : BookFetch::Failed;
        fetched.reason = withReply(fetched.result == BookFetch::NoBook
                                       ? "no " + book + " on the gateway"
                                       : "cannot get " + book,
                                   reply);
        return fetched;
    }
    if (const std::string problem = bookCopyProblem(temporary); !problem.empty()) {
        ::unlink(temporary.c_str());
        fetched.reason = "the copy of " + book + " was refused: " + problem;
        return fetched;
    }
    fetched.result = BookFetch::Fetched;
    fetched.path = temporary;
    return fetched;
}

const char* bookBackupStatusName(BookBackupResult result)
{
    switch (result) {
    case BookBackupResult::BackedUp:
        return "BackedUp";
    case BookBackupResult::Unchanged:
        return "Unchanged";
    case BookBackupResult::NoBook:
        return "NoBook";
    case BookBackupResult::NotFound:
        return "NotReachable";
    case BookBackupResult::Failed:
        break;
    }
    return "FtpFailed";
}

BookBackupResult backUpGatewayBook(TransferContext& context, const std::string& address,
                                   const std::string& userId, const std::string& password,
                                   const BookBackupOptions& options, GatewayOutcome& outcome)
{
    outcome.start();
    GatewaySession session(context, outcome, "Backup");
    const auto end = [&](BookBackupResult result, const std::string& why = {}) {
        if (!why.empty())
            outcome.fail(why);
        outcome.abandoned = outcome.abandoned || session.abandoned();
        outcome.finish();
        return result;
    };
    const TransferResult opened = session.open(address, userId, password);
    if (opened != TransferResult::Done)
        return end(opened == TransferResult::NotFound ? BookBackupResult::NotFound
                                                      : BookBackupResult::Failed);
    FtpConnection& connection = session.connection();
    if (!connection.changeDirectory(DeviceRoot))
        return end(BookBackupResult::Failed,
                   withReply(std::string("cannot enter ") + DeviceRoot, connection.lastReply()));
    // Fetched beside the gateways' folders, so that one is made only for a gateway with a book.
    const FetchedBook fetched = fetchBookCopy(connection, options.folder);
    if (fetched.result != BookFetch::Fetched)
        return end(fetched.result == BookFetch::NoBook ? BookBackupResult::NoBook
                                                       : BookBackupResult::Failed,
                   fetched.reason);
    std::string why;
    const std::string folder = historyFolder(options.folder, address, why);
    if (folder.empty()) {
        ::unlink(fetched.path.c_str());
        return end(BookBackupResult::Failed, why);
    }

    const auto pruned = [&](BookBackupResult result, const std::string& note) {
        if (options.keep > 0)
            pruneHistory(folder, options.keep);
        return end(result, note);
    };
    // History without waste: a book that did not change since the newest copy adds nothing.
    const std::vector<std::string> copies = historyCopies(folder);
    if (!copies.empty() && sameFileContents(fetched.path, folder + "/" + copies.back())) {
        ::unlink(fetched.path.c_str());
        return pruned(BookBackupResult::Unchanged, "unchanged since " + stampOfCopy(copies.back()));
    }
    const std::string placed =
        placeCopy(fetched.path, folder, historyStamp(std::time(nullptr)), why);
    if (placed.empty())
        return end(BookBackupResult::Failed, why);
    return pruned(BookBackupResult::BackedUp, "kept as " + folder + "/" + placed);
}
