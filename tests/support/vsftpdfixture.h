#pragma once

#include "support/tempdir.h"
#include "transfer/ftpclient.h"

#include <sys/types.h>

#include <string>

// A second real FTP server beside pyftpdlib: vsftpd, as a gateway that keeps the case of names
// would be. It runs as root inside the test's private network on port 21 of 127.0.0.50, in a
// mount namespace of its own where a throw-away passwd, shadow and PAM service give it one local
// user, chrooted to a tree that holds /RFA/, /RFA/Images/ and /RFA/Doc/. Nothing of the machine's
// own configuration is changed.
//
// When vsftpd can't run here (not root, no vsftpd, no namespaces) it starts nothing and
// skipReason() says why; when it fails to start, startError() says why.
class VsftpdFixture {
public:
    inline static const std::string Address = "127.0.0.50";
    inline static const std::string UserId = "gateway";
    inline static const std::string Password = "vs-secret";

    VsftpdFixture();
    ~VsftpdFixture();
    VsftpdFixture(const VsftpdFixture&) = delete;
    VsftpdFixture& operator=(const VsftpdFixture&) = delete;

    const std::string& skipReason() const { return m_skipReason; }
    const std::string& startError() const { return m_startError; }
    FtpLogin login() const { return {Address, FtpPort, UserId, Password}; }

    // The local path of a device path: "/RFA/Images/A.BMP" lies at the tree's root + that path.
    std::string devicePath(const std::string& path) const;
    // Writes a device file as the FTP user would own it, creating folders on the way.
    void writeDeviceFile(const std::string& path, const std::string& bytes) const;
    bool deviceFileExists(const std::string& path) const;

private:
    void start();
    void stop();
    std::string serverLog() const;

    TempDir m_dir;
    std::string m_root;
    std::string m_skipReason;
    std::string m_startError;
    pid_t m_pid = -1;
};

// In a GoogleTest test: skips with the reason when vsftpd can't run here, fails when it does
// not start.
#define ORBIPHON_REQUIRE_VSFTPD(server)                                                  \
    do {                                                                                 \
        if (!(server).skipReason().empty())                                              \
            GTEST_SKIP() << "needs vsftpd: " << (server).skipReason();                  \
        ASSERT_TRUE((server).startError().empty()) << (server).startError();             \
    } while (false)
