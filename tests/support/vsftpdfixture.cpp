#include "support/vsftpdfixture.h"

#include "support/childprocess.h"
#include "support/privatenetwork.h"

#include <arpa/inet.h>
#include <crypt.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr const char* VsftpdProgram = "/usr/sbin/vsftpd";
// The FTP user's own numbers: no account of the machine has them.
constexpr uid_t FtpUserId = 64021;
constexpr gid_t FtpGroupId = 64021;
constexpr std::chrono::seconds ReadyTimeout{15};

bool accepts(const std::string& address, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &target.sin_addr);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
    ::close(fd);
    return connected;
}

void ownByFtpUser(const std::string& path)
{
    if (::chown(path.c_str(), FtpUserId, FtpGroupId) != 0)
        throw std::runtime_error("cannot hand " + path + " to the FTP user");
}

}  // namespace

VsftpdFixture::VsftpdFixture()
{
    if (::geteuid() != 0)
        m_skipReason = "it must be started as root";
    else if (::access(VsftpdProgram, X_OK) != 0)
        m_skipReason = std::string(VsftpdProgram) + " is not installed (Debian package vsftpd)";
    else
        m_skipReason = enterPrivateNetwork();
    if (m_skipReason.empty())
        start();
}

VsftpdFixture::~VsftpdFixture()
{
    stop();
}

void VsftpdFixture::start()
{
    // The user's chroot must be reachable by it: the temporary folder is closed to others.
    fs::permissions(m_dir.path(), fs::perms(0755));
    m_root = m_dir.file("home");
    for (const char* folder : {"", "/RFA", "/RFA/Images", "/RFA/Doc"}) {
        fs::create_directories(m_root + folder);
        ownByFtpUser(m_root + folder);
    }
    fs::create_directories(m_dir.file("empty"));
    const std::string hash = ::crypt(Password.c_str(), "$6$orbiphon$");
    m_dir.write("passwd", "root:x:0:0:root:/root:/bin/sh\n"
                          "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n"
                          + UserId + ":x:" + std::to_string(FtpUserId) + ":"
                          + std::to_string(FtpGroupId) + "::" + m_root + ":/bin/sh\n");
    m_dir.write("shadow", "root:*:19000:0:99999:7:::\nnobody:*:19000:0:99999:7:::\n" + UserId
                              + ":" + hash + ":19000:0:99999:7:::\n");
    m_dir.write("pam.d/orbiphon-vsftpd", "auth required pam_unix.so\n"
                                         "account required pam_unix.so\n"
                                         "session required pam_permit.so\n");
    m_dir.write("vsftpd.conf", "listen=YES\nlisten_ipv6=NO\nlisten_address=" + Address
                                   + "\nlisten_port=21\nbackground=NO\n"
                                   "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
                                   "local_umask=022\nchroot_local_user=YES\n"
                                   "allow_writeable_chroot=YES\nlocal_root=" + m_root + "\n"
                                   "pam_service_name=orbiphon-vsftpd\ncheck_shell=NO\n"
                                   "userlist_enable=NO\nseccomp_sandbox=NO\n"
                                   "secure_chroot_dir=" + m_dir.file("empty") + "\n"
                                   "xferlog_enable=YES\nlog_ftp_protocol=YES\n"
                                   "xferlog_std_format=NO\nvsftpd_log_file="
                                   + m_dir.file("vsftpd.log") + "\n");

    // The throw-away accounts are seen by vsftpd alone, in its own mount namespace.
    std::vector<std::string> arguments{
        "/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
        "mount --bind \"$1\" /etc/passwd && mount --bind \"$2\" /etc/shadow && "
        "mount --bind \"$3\" /etc/pam.d && exec " + std::string(VsftpdProgram) + " \"$4\"",
        "sh", m_dir.file("passwd"), m_dir.file("shadow"), m_dir.file("pam.d"),
        m_dir.file("vsftpd.conf")};
    // Its own process group: each session has a process of its own, and all go at the end.
    m_pid = startServer(arguments, m_dir.file("vsftpd.err"));
    if (m_pid < 0) {
        m_startError = "cannot start unshare for vsftpd";
        return;
    }
    const std::string failure =
        waitUntilServing(m_pid, ReadyTimeout, [] { return accepts(Address, FtpPort); });
    if (!failure.empty()) {
        stop();
        m_startError = "vsftpd " + failure + ": " + serverLog();
    }
}

void VsftpdFixture::stop()
{
    stopServer(m_pid, std::chrono::seconds(0));
}

std::string VsftpdFixture::serverLog() const
{
    std::string log;
    for (const char* name : {"vsftpd.err", "vsftpd.log"}) {
        try {
            log += readFileBytes(m_dir.file(name));
        } catch (const std::exception&) {
        }
    }
    return log;
}

std::string VsftpdFixture::devicePath(const std::string& path) const
{
    return m_root + path;
}

void VsftpdFixture::writeDeviceFile(const std::string& path, const std::string& bytes) const
{
    const fs::path local = devicePath(path);
    fs::create_directories(local.parent_path());
    writeFileBytes(local.string(), bytes);
    ownByFtpUser(local.string());
}

bool VsftpdFixture::deviceFileExists(const std::string& path) const
{
    return fs::exists(devicePath(path));
}
