#pragma once

#include "support/tempdir.h"
#include "transfer/ftpclient.h"

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

struct FtpTimeouts;

struct FtpServerOptions {
    std::string userId = "ftp";
    std::string password = "secret";
    // Every login is answered 530, whatever the credentials.
    bool refuseLogins = false;
    // Both connections are dropped once this many bytes of a STOR (RETR) have gone through.
    std::optional<std::size_t> dropStoreAfter;
    std::optional<std::size_t> dropRetrieveAfter;
    // The whole server stops, connections open, once this many bytes of a STOR or RETR have
    // gone through.
    std::optional<std::size_t> stallAfter;
    // The whole server stops answering, connections open, once this many STORs have completed.
    std::optional<int> freezeAfterStores;
    // A RETR trickles out at this many bytes a second.
    std::optional<int> retrieveRate;
    // A RETR is announced as this many bytes longer (negative: shorter) than the file it sends:
    // in the SIZE reply, and as "(N bytes)" in the reply that opens the transfer.
    std::optional<int> announceSizeDelta;
    // SIZE is answered 502, so only the reply that opens a transfer can tell its size.
    bool noSize = false;
    // Every stored file loses this many bytes from its end once the STOR has been acknowledged,
    // as on a device whose storage is full.
    std::optional<int> truncateStoredBy;
    // NLST answers with whole `ls -l` lines, as some gateways do.
    bool longNameList = false;
    // Every reply after PASS ends in the password as it was sent, byte for byte.
    bool echoPassword = false;
    // A RETR sends only this many bytes and ends with 226, announcing no size.
    std::optional<std::size_t> cutRetrieveAfter;
    // NLST names each entry by its full path ("paths") or answers an empty list ("none").
    std::string nameList;
};

// Time limits for a client of the local server: short, so that a fault fails the test within
// seconds instead of hanging it.
FtpTimeouts shortFtpTimeouts();

// A real FTP server (pyftpdlib) on 127.0.0.1 and a free port, serving a temporary root that
// holds /RFA/. The constructor returns once the server listens and throws when it can't start;
// the destructor stops it. It starts inside the test's private network when one can be had.
class FtpServerFixture {
public:
    explicit FtpServerFixture(FtpServerOptions options = {});
    ~FtpServerFixture();
    FtpServerFixture(const FtpServerFixture&) = delete;
    FtpServerFixture& operator=(const FtpServerFixture&) = delete;

    const std::string& address() const { return m_address; }
    int port() const { return m_port; }
    // The login the server accepts (unless it refuses all).
    FtpLogin login() const;

    // The local path of a device path: "/RFA/Doc/a.txt" lies at root + "/RFA/Doc/a.txt".
    std::string devicePath(const std::string& path) const;
    // Writes a device file, creating directories on the way; returns its local path.
    std::string writeDeviceFile(const std::string& path, const std::string& bytes) const;
    void makeDeviceDirectory(const std::string& path) const;
    bool deviceFileExists(const std::string& path) const;
    std::string readDeviceFile(const std::string& path) const;
    // The device directory's entries, sorted.
    std::vector<std::string> deviceEntries(const std::string& path) const;

    // Every command line the server received so far, in order ("USER ftp", "CWD /RFA"...).
    std::vector<std::string> commands() const;
    // The commands, each cut to its verb ("USER", "CWD"...).
    std::vector<std::string> verbs() const;
    void clearCommands() const;

private:
    void stop();

    TempDir m_dir;
    std::string m_address = "127.0.0.1";
    std::string m_root;
    std::string m_logPath;
    FtpServerOptions m_options;
    pid_t m_pid = -1;
    int m_port = 0;
};
