#pragma once

#include "transfer/transfercontext.h"
#include "transfer/transferresult.h"

#include <string>

struct GatewayOutcome;

// Where a copy fetched only to be compared goes: $TMPDIR when it is absolute, else /tmp.
std::string temporaryFolder();

enum class BookFetch { Fetched, NoBook, Failed };

struct FetchedBook {
    BookFetch result = BookFetch::Failed;
    std::string path;    // Fetched: a new temporary in the folder asked for; the caller's now
    std::string reason;  // NoBook and Failed: why
};

// Fetches Addrbook.cpe of the connection's current directory (/RFA/) into a new temporary in
// folder and accepts it only as a complete book (bookCopyProblem). A 550 to the retrieval is NoBook:
// the gateway holds none. Nothing is left behind unless the result is Fetched.
FetchedBook fetchBookCopy(FtpConnection& connection, const std::string& folder);

enum class BookBackupResult { BackedUp, Unchanged, NoBook, NotFound, Failed };

struct BookBackupOptions {
    std::string folder;  // DIR: the copies go to DIR/<address>/<stamp>.cpe
    int keep = 0;        // above 0: at most this many copies per gateway are kept
};

// "BackedUp", "Unchanged", "NoBook", "NotReachable", "FtpFailed"
const char* bookBackupStatusName(BookBackupResult result);

// One gateway's back-up: the book is fetched into the gateway's history folder and kept under
// the time's stamp unless it equals the newest copy there ("unchanged since <stamp>"); then
// options.keep prunes the oldest. The outcome tells what was kept or why nothing was.
BookBackupResult backUpGatewayBook(TransferContext& context, const std::string& address,
                                   const std::string& userId, const std::string& password,
                                   const BookBackupOptions& options, GatewayOutcome& outcome);
