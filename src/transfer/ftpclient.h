#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int FtpPort = 21;

// A user ID or password travels inside one command line of the FTP dialogue: a CR or LF in it
// would end that line and send the rest as a command of its own (a DELE of a protected file),
// and a NUL would cut it. Such a text is refused wherever it is entered or used, before
// anything is sent.
bool isSendableLoginText(std::string_view text);
bool isSendableLogin(std::string_view userId, std::string_view password);
// A bare file name that can be sent in one command and names a file of the current directory:
// not empty, not "." or "..", no '/', CR, LF or NUL. Other names are never sent.
bool isSendableRemoteName(std::string_view name);

struct FtpLogin {
    std::string address;  // dotted IPv4 text
    int port = FtpPort;   // the program always uses 21; tests put servers elsewhere
    std::string userId;
    std::string password;
    // Once set, the step in progress is abandoned (the operator stopped it), whichever it is.
    const std::atomic<bool>* cancel = nullptr;
};

// The answer to a size question: the size, a refusal (a 5xx reply: the server does not know
// the command or will not tell), or a failed step (time-out, lost connection, other reply).
struct RemoteSize {
    enum class Kind { Known, Refused, Failed, NotAsked };
    Kind kind = Kind::NotAsked;
    long long bytes = -1;
};

// One logged-in control connection to a gateway's FTP server, active mode, binary transfers.
// Files are named bare, relative to the current directory set by changeDirectory. Every step
// reports success or failure; closing happens in the destructor.
class FtpConnection {
public:
    virtual ~FtpConnection() = default;

    // directory is absolute on the device, e.g. "/RFA/" or "/RFA/Doc/".
    virtual bool changeDirectory(const std::string& directory) = 0;
    virtual bool putFile(const std::string& localPath, const std::string& remoteName) = 0;
    virtual bool getFile(const std::string& remoteName, const std::string& localPath) = 0;
    virtual bool deleteFile(const std::string& remoteName) = 0;
    // The entries of the current directory as the server names them, read afresh each time.
    virtual std::optional<std::vector<std::string>> listDirectory() = 0;
    // The whole text of a listing of directory (absolute, e.g. "/RFA/Doc/"): MLSD (a line of
    // facts per entry) or LIST (the server's own lines), named in the command itself so that no
    // CWD is spent on it; the current directory is left as it was. nullopt when the step failed;
    // lastReply tells why, a 5xx reply meaning the server does not know the command. A
    // connection that can't ask fails.
    enum class Listing { Mlsd, List };
    virtual std::optional<std::string> listingText(Listing /*kind*/,
                                                   const std::string& /*directory*/)
    {
        return std::nullopt;
    }
    // The size the server gives for a file of the current directory (SIZE). A connection that
    // can't ask says NotAsked, so the file counts as sent but not verified.
    virtual RemoteSize remoteSize(const std::string& /*remoteName*/) { return {}; }
    // Every later getFile fails as soon as more than maxBytes arrive (0: no cap), so a server
    // that streams without end neither fills the disk nor holds the batch.
    virtual void capDownloads(long long /*maxBytes*/) {}
    // True once a step timed out or the connection was lost. Every later step then fails at
    // once without sending anything: a frozen gateway costs one time-out, not one per file.
    virtual bool lost() const { return false; }
    // True once a step was cut short because the login's cancel flag was set.
    virtual bool stopped() const { return false; }
    // The bytes the last put had sent when it ended (all of them when it succeeded).
    virtual long long lastPutBytes() const { return 0; }
    // Why the last step failed, in one line: the server's reply ("550 No such file or
    // directory.") or, when the server gave none, what went wrong on the way. Empty when nothing
    // can be told.
    virtual std::string lastReply() const { return {}; }
};

// An FTP client instance, opened by each transfer under an agent name ("Download", "Upgrade").
class FtpClient {
public:
    virtual ~FtpClient() = default;
    // nullptr when the server cannot be reached or refuses the login, or when the login is not
    // sendable (nothing is sent then).
    virtual std::unique_ptr<FtpConnection> connect(const FtpLogin& login) = 0;
    // Why the last connect failed, as FtpConnection::lastReply tells a step's failure.
    virtual std::string lastReply() const { return {}; }
};

// Opens client instances; the transfers ask it for one per operation.
class FtpClientFactory {
public:
    virtual ~FtpClientFactory() = default;
    // nullptr when no client can be opened.
    virtual std::unique_ptr<FtpClient> open(const std::string& agent) = 0;
};
