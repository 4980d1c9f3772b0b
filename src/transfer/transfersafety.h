#pragma once

#include "base/fileerror.h"

#include <ctime>
#include <string>

class FtpConnection;
struct GatewayOutcome;

// The operator's safety choices for an upload; the defaults change nothing.
struct TransferSafety {
    // Where an address-book upgrade first keeps each gateway's current book; empty: no back-up.
    std::string backupFolder;
    // After each put, ask the server for the file's size and compare it with the local one.
    bool verify = false;
    // An address-book upgrade first fetches the gateway's book (the back-up's copy when there
    // is one) and sends nothing when it is byte for byte the book to send. Any doubt sends.
    bool onlyChanged = false;
};

// Adds one line to the notes a transfer hands back to the operator (nothing when notes is null).
void addNote(std::string* notes, const std::string& line);
// Hands the notes a transfer gathered (lines) to the caller's text, when given, and to the
// gateway's outcome, one line each.
void keepNotes(const std::string& found, std::string* notes, GatewayOutcome& outcome);

// Puts localPath as remoteName into the current directory (deviceDirectory names it in notes),
// then, with safety.verify, compares the server's size with the local file's. False when the put
// failed, or the sizes differ, or the size could not be read; a server that refuses SIZE leaves
// the file counted as sent, with the note "not verified: <file> (the gateway tells no size)".
bool putAndVerify(FtpConnection& connection, const std::string& localPath,
                  const std::string& deviceDirectory, const std::string& remoteName,
                  const TransferSafety& safety, std::string* notes);

enum class BackupResult { Saved, NoBook, Failed };

// Creates "<address>-<YYYYMMDD-HHMMSS>.cpe" in folder, empty, exclusively and never through a
// link, taking "-2", "-3"... while the name is taken, so an earlier copy (or a file someone
// placed under the name to come) is never replaced. "" with error set when none could be made.
std::string createBackupFile(const std::string& folder, const std::string& gatewayAddress,
                             std::time_t when, FileError& error);

// The size of every complete address book (.cpe) the program reads and writes.
inline constexpr long long DeviceBookFileSize = 13770;

// Why folder can't take back-ups: missing, not a folder, or no file can be made in it. Empty
// when it can.
std::string backupFolderProblem(const std::string& folder);

// Fetches the gateway's /RFA/Addrbook.cpe into a new file of folder. Only the server's 550 to
// the retrieval means the gateway has no book (NoBook): a listing may name it by its path, or
// not at all. A copy counts only when it is a whole address book (DeviceBookFileSize bytes) and
// matches the size the server announced; otherwise it is removed and the result is Failed. A
// note says where the copy went, that there was none, or why it failed; savedPath, when given,
// gets where the copy went. The rule of a whole copy is bookCopyProblem, shared with back-ups.
BackupResult backUpBook(FtpConnection& connection, const std::string& folder,
                        const std::string& gatewayAddress, std::string* notes,
                        std::string* savedPath = nullptr);
