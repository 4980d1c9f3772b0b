#include "transfer/curlftpclient.h"

#include "base/filedescriptor.h"
#include "transfer/curlhelpers.h"
#include "transfer/outcome.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

using namespace curlftp;

namespace {

class CurlFtpConnection final : public FtpConnection {
public:
    CurlFtpConnection(CURL* handle, const FtpLogin& login, const FtpTimeouts& timeouts)
        : m_handle(handle),
          m_base("ftp://" + login.address + ":" + std::to_string(login.port) + "/"),
          m_userId(login.userId),
          m_password(login.password),
          m_timeouts(timeouts),
          m_cancel(login.cancel),
          m_guard{login.port}
    {
    }

    CurlFtpConnection(const CurlFtpConnection&) = delete;
    CurlFtpConnection& operator=(const CurlFtpConnection&) = delete;

    // The QUIT is ours, so that it waits the quit limit at most (libcurl's own would wait the
    // response limit); after a lost connection or a stop there is none. The socket is then shut,
    // so libcurl's QUIT fails at once.
    ~CurlFtpConnection() override
    {
        curl_socket_t control = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_handle, CURLINFO_ACTIVESOCKET, &control) == CURLE_OK
            && control != CURL_SOCKET_BAD) {
            if (!m_lost && !(m_cancel != nullptr && m_cancel->load()))
                quitWithin(control, m_timeouts.quit, m_cancel);
            ::shutdown(control, SHUT_RDWR);
        }
        curl_easy_cleanup(m_handle);
    }

    bool logIn()
    {
        prepare(m_base);
        curl_easy_setopt(m_handle, CURLOPT_NOBODY, 1L);
        if (!perform())
            return false;
        m_guard.loggedIn = true;
        return true;
    }

    bool lost() const override { return m_lost; }
    void capDownloads(long long maxBytes) override { m_downloadCap = maxBytes; }
    bool stopped() const override { return m_stopped; }
    long long lastPutBytes() const override { return m_lastPutBytes; }
    std::string lastReply() const override { return m_lastReply; }
    // A step refused before anything was sent tells why in place of a reply.
    bool refuse(const char* why)
    {
        m_lastReply = m_lost ? m_lastReply : why;
        return false;
    }

    bool changeDirectory(const std::string& directory) override
    {
        std::string url;
        if (!directoryUrl(directory, url))
            return false;
        prepare(url);
        curl_easy_setopt(m_handle, CURLOPT_NOBODY, 1L);
        if (!perform())
            return false;
        m_currentUrl = url;
        return true;
    }

    bool putFile(const std::string& localPath, const std::string& remoteName) override
    {
        if (!isSafeName(remoteName))
            return false;
        // Non-blocking so a FIFO in the firmware folder can't stall the upload; only regular
        // files go up.
        FileDescriptor file(::open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat status {};
        if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
            return refuse("the local file could not be read");
        int fd = file.get();
        prepare(fileUrl(remoteName));
        curl_easy_setopt(m_handle, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_handle, CURLOPT_READFUNCTION, readFromFile);
        curl_easy_setopt(m_handle, CURLOPT_READDATA, &fd);
        curl_easy_setopt(m_handle, CURLOPT_INFILESIZE_LARGE,
                         static_cast<curl_off_t>(status.st_size));
        StallWatch watch(m_timeouts.stall, m_cancel);
        watchStalls(watch);
        const bool sent = perform();
        m_lastPutBytes = sent ? static_cast<long long>(status.st_size) : watch.moved();
        return sent;
    }

    bool getFile(const std::string& remoteName, const std::string& localPath) override
    {
        if (!isSafeName(remoteName))
            return false;
        FileDescriptor file(
            ::open(localPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (file.get() < 0)
            return false;
        WrittenFile target{file.get()};
        target.cap = m_downloadCap;
        long long announced = -1;
        // libcurl would stop reading at the announced size and call a longer file complete, so
        // it reads to the end of the data connection and the sizes are compared here. SIZE is
        // asked for after entering the directory; a server without it may still announce the
        // size when it opens the transfer.
        curl_slist* commands = curl_slist_append(nullptr, ("*SIZE " + remoteName).c_str());
        if (!commands)
            return false;
        prepare(fileUrl(remoteName));
        curl_easy_setopt(m_handle, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        curl_easy_setopt(m_handle, CURLOPT_PREQUOTE, commands);
        curl_easy_setopt(m_handle, CURLOPT_WRITEFUNCTION, writeToCountedFile);
        curl_easy_setopt(m_handle, CURLOPT_WRITEDATA, &target);
        m_replies.announced = &announced;
        curl_easy_setopt(m_handle, CURLOPT_HEADERDATA, &m_replies);
        StallWatch watch(m_timeouts.stall, m_cancel);
        watchStalls(watch);
        const bool transferred = perform();
        m_replies.announced = nullptr;
        curl_easy_setopt(m_handle, CURLOPT_PREQUOTE, nullptr);
        curl_slist_free_all(commands);
        if (target.overCap)
            m_lastReply = "the file is larger than " + std::to_string(m_downloadCap) + " bytes";
        const bool complete = announced < 0 || announced == target.written;
        if (transferred && !complete)
            m_lastReply = "received " + std::to_string(target.written)
                          + " bytes, the server announced " + std::to_string(announced);
        const bool closed = file.close();
        if (transferred && complete && !closed)
            m_lastReply = "the local file could not be written";
        return closed && transferred && complete;
    }

    bool deleteFile(const std::string& remoteName) override
    {
        if (!isSafeName(remoteName))
            return false;
        // The '*' keeps curl from dropping the connection when DELE is refused; the reply code
        // tells the outcome instead.
        curl_slist* commands = curl_slist_append(nullptr, ("*DELE " + remoteName).c_str());
        if (!commands)
            return false;
        prepare(m_currentUrl.empty() ? m_base : m_currentUrl);
        curl_easy_setopt(m_handle, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(m_handle, CURLOPT_POSTQUOTE, commands);
        const bool performed = perform();
        long reply = 0;
        curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &reply);
        // The list must outlive the handle's use of it, which ends with the next reset.
        curl_easy_setopt(m_handle, CURLOPT_POSTQUOTE, nullptr);
        curl_slist_free_all(commands);
        return performed && reply >= 200 && reply < 300;
    }

    RemoteSize remoteSize(const std::string& remoteName) override
    {
        if (!isSafeName(remoteName))
            return {RemoteSize::Kind::Failed};
        // SIZE is refused in ASCII mode by some servers, so the type is set first. The '*'
        // keeps the connection when either is refused; the last reply code tells the outcome.
        curl_slist* commands = curl_slist_append(nullptr, "*TYPE I");
        curl_slist* all = commands ? curl_slist_append(commands, ("*SIZE " + remoteName).c_str())
                                   : nullptr;
        if (!all) {
            curl_slist_free_all(commands);
            return {RemoteSize::Kind::Failed};
        }
        long long announced = -1;
        prepare(m_currentUrl.empty() ? m_base : m_currentUrl);
        curl_easy_setopt(m_handle, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(m_handle, CURLOPT_POSTQUOTE, all);
        m_replies.announced = &announced;
        curl_easy_setopt(m_handle, CURLOPT_HEADERDATA, &m_replies);
        const bool performed = perform();
        m_replies.announced = nullptr;
        long reply = 0;
        curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &reply);
        curl_easy_setopt(m_handle, CURLOPT_POSTQUOTE, nullptr);
        curl_slist_free_all(all);
        if (!performed)
            return {RemoteSize::Kind::Failed};
        if (reply == 213 && announced >= 0)
            return {RemoteSize::Kind::Known, announced};
        if (reply >= 500 && reply < 600)
            return {RemoteSize::Kind::Refused};
        return {RemoteSize::Kind::Failed};
    }

    std::optional<std::string> listingText(Listing kind, const std::string& directory) override
    {
        std::string text;
        std::string url;
        if (!directoryUrl(directory, url))
            return std::nullopt;
        prepare(url);
        // Without a CWD libcurl names the directory in the listing command (the server's current
        // directory stays); it sends the custom request in place of LIST.
        curl_easy_setopt(m_handle, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        if (kind == Listing::Mlsd)
            curl_easy_setopt(m_handle, CURLOPT_CUSTOMREQUEST, "MLSD");
        if (!performListing(text))
            return std::nullopt;
        return text;
    }

    std::optional<std::vector<std::string>> listDirectory() override
    {
        std::string text;
        prepare(m_currentUrl.empty() ? m_base : m_currentUrl);
        curl_easy_setopt(m_handle, CURLOPT_DIRLISTONLY, 1L);
        if (!performListing(text))
            return std::nullopt;
        std::vector<std::string> names;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                names.push_back(std::move(line));
            start = end + 1;
        }
        return names;
    }

private:
    std::string escape(const std::string& name)
    {
        char* escaped = curl_easy_escape(m_handle, name.data(), static_cast<int>(name.size()));
        std::string result = escaped ? escaped : "";
        curl_free(escaped);
        return result;
    }

    bool directoryUrl(const std::string& directory, std::string& url)
    {
        std::vector<std::string> names;
        if (!splitDirectory(directory, names))
            return false;
        url = m_base;
        if (!directory.empty() && directory.front() == '/')
            url += "%2F";
        for (const std::string& name : names)
            url += escape(name) + "/";
        return true;
    }

    std::string fileUrl(const std::string& name)
    {
        return (m_currentUrl.empty() ? m_base : m_currentUrl) + escape(name);
    }

    // Every step starts from cleared options; the control connection stays open in the handle.
    void prepare(const std::string& url)
    {
        using std::chrono::duration_cast;
        using std::chrono::seconds;
        curl_easy_reset(m_handle);
        curl_easy_setopt(m_handle, CURLOPT_URL, url.c_str());
        curl_easy_setopt(m_handle, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(m_handle, CURLOPT_USERNAME, m_userId.c_str());
        curl_easy_setopt(m_handle, CURLOPT_PASSWORD, m_password.c_str());
        curl_easy_setopt(m_handle, CURLOPT_FTPPORT, m_timeouts.activePort.c_str());
        curl_easy_setopt(m_handle, CURLOPT_FTP_FILEMETHOD,
                         static_cast<long>(CURLFTPMETHOD_SINGLECWD));
        curl_easy_setopt(m_handle, CURLOPT_TRANSFERTEXT, 0L);
        curl_easy_setopt(m_handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_handle, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(m_timeouts.connect.count()));
        // Whole seconds only; a part of a second is rounded up rather than lost.
        const auto responseSeconds =
            duration_cast<seconds>(m_timeouts.response + std::chrono::milliseconds(999));
        curl_easy_setopt(m_handle, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                         static_cast<long>(std::max<long long>(1, responseSeconds.count())));
        curl_easy_setopt(m_handle, CURLOPT_ACCEPTTIMEOUT_MS,
                         static_cast<long>(m_timeouts.accept.count()));
        curl_easy_setopt(m_handle, CURLOPT_OPENSOCKETFUNCTION, openGuardedSocket);
        curl_easy_setopt(m_handle, CURLOPT_OPENSOCKETDATA, &m_guard);
        m_replies.announced = nullptr;
        curl_easy_setopt(m_handle, CURLOPT_HEADERFUNCTION, noteAnnouncedSize);
        curl_easy_setopt(m_handle, CURLOPT_HEADERDATA, &m_replies);
        // libcurl asks about once a second, connecting and waiting for replies included.
        curl_easy_setopt(m_handle, CURLOPT_XFERINFOFUNCTION, watchCancel);
        curl_easy_setopt(m_handle, CURLOPT_XFERINFODATA, m_cancel);
        curl_easy_setopt(m_handle, CURLOPT_NOPROGRESS, m_cancel != nullptr ? 0L : 1L);
        m_lastLine.clear();
    }

    bool performListing(std::string& text)
    {
        curl_easy_setopt(m_handle, CURLOPT_WRITEFUNCTION, appendToString);
        curl_easy_setopt(m_handle, CURLOPT_WRITEDATA, &text);
        StallWatch watch(m_timeouts.stall, m_cancel);
        watchStalls(watch);
        return perform();
    }

    // For the steps that move data; the watch must outlive the step.
    void watchStalls(StallWatch& watch)
    {
        curl_easy_setopt(m_handle, CURLOPT_XFERINFOFUNCTION, watchProgress);
        curl_easy_setopt(m_handle, CURLOPT_XFERINFODATA, &watch);
        curl_easy_setopt(m_handle, CURLOPT_NOPROGRESS, 0L);
    }

    bool perform()
    {
        if (m_lost)
            return false;
        const CURLcode result = curl_easy_perform(m_handle);
        if (result == CURLE_OK) {
            m_lastReply.clear();
            return true;
        }
        m_stopped = result == CURLE_ABORTED_BY_CALLBACK && m_cancel != nullptr
                    && m_cancel->load();
        m_lost = m_stopped || (m_guard.loggedIn && (losesConnection(result) || m_guard.refused));
        // The server's line had the password masked as it came (replyWithoutPassword).
        m_lastReply = failureText(result);
        return false;
    }

    // The server's refusal when its last reply was one (4xx, 5xx), else libcurl's short account
    // ("Timeout was reached"). libcurl's error buffer is not used: it also keeps passing notes
    // that have nothing to do with the failure.
    std::string failureText(CURLcode result) const
    {
        if (m_lastLine.size() >= 3 && (m_lastLine[0] == '4' || m_lastLine[0] == '5'))
            return m_lastLine;
        if (m_guard.refused)
            return "the server wanted a second connection";
        if (m_stopped)
            return "stopped by the operator";
        const std::string text = curl_easy_strerror(result);
        switch (result) {
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_FTP_ACCEPT_TIMEOUT:
            return "the gateway did not answer in time (" + text + ")";
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return "the connection dropped (" + text + ")";
        default:
            return text;
        }
    }

    CURL* m_handle;
    std::string m_base;
    std::string m_currentUrl;
    std::string m_userId;
    std::string m_password;
    FtpTimeouts m_timeouts;
    const std::atomic<bool>* m_cancel;
    SocketGuard m_guard;
    bool m_lost = false;
    long long m_downloadCap = 0;
    bool m_stopped = false;
    long long m_lastPutBytes = 0;
    std::string m_lastLine;
    ReplySink m_replies{&m_lastLine, nullptr, &m_password};
    std::string m_lastReply;
};

// The agent name only labels the instance: FTP has no field that would carry it.
class CurlFtpClient final : public FtpClient {
public:
    explicit CurlFtpClient(const FtpTimeouts& timeouts) : m_timeouts(timeouts) {}

    std::unique_ptr<FtpConnection> connect(const FtpLogin& login) override
    {
        if (!isSafeAddress(login.address) || login.port <= 0 || login.port > 65535
            || !isSendableLogin(login.userId, login.password))
            return nullptr;
        CURL* handle = curl_easy_init();
        if (!handle)
            return nullptr;
        auto connection = std::make_unique<CurlFtpConnection>(handle, login, m_timeouts);
        if (!connection->logIn()) {
            m_lastReply = connection->lastReply();
            return nullptr;
        }
        m_lastReply.clear();
        return connection;
    }

    std::string lastReply() const override { return m_lastReply; }

private:
    FtpTimeouts m_timeouts;
    std::string m_lastReply;
};

}  // namespace

CurlFtpClientFactory::CurlFtpClientFactory(FtpTimeouts timeouts) : m_timeouts(timeouts) {}

std::unique_ptr<FtpClient> CurlFtpClientFactory::open(const std::string&)
{
    return std::make_unique<CurlFtpClient>(m_timeouts);
}

bool initialiseCurl()
{
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

void releaseCurl()
{
    curl_global_cleanup();
}
