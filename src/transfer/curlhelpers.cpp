#include "transfer/curlhelpers.h"

#include "transfer/ftpclient.h"
#include "transfer/outcome.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace curlftp {

namespace {

bool allDigits(std::string_view text)
{
    return !text.empty() && text.size() <= 18
           && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

bool isSafeName(const std::string& name)
{
    return isSendableRemoteName(name);
}

bool isSafeAddress(const std::string& address)
{
    return !address.empty() && std::all_of(address.begin(), address.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
               || c == '.' || c == '-';
    });
}

// Splits a device directory into its names; false when one of them can't be sent safely.
bool splitDirectory(const std::string& directory, std::vector<std::string>& names)
{
    if (directory.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= directory.size()) {
        const std::size_t slash = std::min(directory.find('/', start), directory.size());
        std::string name = directory.substr(start, slash - start);
        if (!name.empty()) {
            if (!isSafeName(name))
                return false;
            names.push_back(std::move(name));
        }
        start = slash + 1;
    }
    return true;
}

size_t readFromFile(char* buffer, size_t size, size_t count, void* userData)
{
    const int fd = *static_cast<int*>(userData);
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size * count);
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno != EINTR)
            return CURL_READFUNC_ABORT;
    }
}

size_t writeToFile(char* data, size_t size, size_t count, void* userData)
{
    const int fd = *static_cast<int*>(userData);
    const size_t total = size * count;
    size_t done = 0;
    while (done < total) {
        const ssize_t wrote = ::write(fd, data + done, total - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return 0;
        done += static_cast<size_t>(wrote);
    }
    return total;
}

size_t appendToString(char* data, size_t size, size_t count, void* userData)
{
    auto& text = *static_cast<std::string*>(userData);
    const size_t total = size * count;
    if (text.size() + total > MaxListingBytes)
        return 0;
    text.append(data, total);
    return total;
}

int watchProgress(void* userData, curl_off_t, curl_off_t downloaded, curl_off_t,
                  curl_off_t uploaded)
{
    return static_cast<StallWatch*>(userData)->moving(downloaded + uploaded) ? 0 : 1;
}

// The steps that move no data only look at the cancel flag.
int watchCancel(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* cancel = static_cast<const std::atomic<bool>*>(userData);
    return cancel != nullptr && cancel->load() ? 1 : 0;
}

// Sends QUIT on the idle control connection and waits up to limit for the reply (or a stop).
void quitWithin(curl_socket_t control, std::chrono::milliseconds limit,
                const std::atomic<bool>* cancel)
{
    static const char quit[] = "QUIT\r\n";
    const auto length = static_cast<ssize_t>(sizeof quit - 1);
    if (::send(control, quit, sizeof quit - 1, MSG_NOSIGNAL) != length)
        return;
    const Clock::time_point end = Clock::now() + limit;
    while (Clock::now() < end && !(cancel != nullptr && cancel->load())) {
        pollfd ready{control, POLLIN, 0};
        if (::poll(&ready, 1, 100) != 0) {
            char reply[256];
            [[maybe_unused]] const ssize_t got = ::recv(control, reply, sizeof reply, 0);
            return;
        }
    }
}

// The size a server announces for a download: "213 N" answering SIZE, or "(N bytes)" in the
// 150 or 125 reply that opens the transfer. -1 while none came.
size_t noteAnnouncedSize(char* data, size_t size, size_t count, void* userData)
{
    const size_t total = size * count;
    std::string_view line(data, total);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.remove_suffix(1);
    auto& sink = *static_cast<ReplySink*>(userData);
    if (!line.empty()) {
        static const std::string none;
        *sink.lastLine = replyWithoutPassword(std::string_view(data, total),
                                              sink.password ? *sink.password : none,
                                              MaxReplyBytes);
    }
    if (!sink.announced)
        return total;
    auto& announced = *sink.announced;
    if (line.substr(0, 4) == "213 " && allDigits(line.substr(4))) {
        announced = std::stoll(std::string(line.substr(4)));
    } else if (line.substr(0, 4) == "150 " || line.substr(0, 4) == "125 ") {
        const std::size_t bytes = line.rfind(" bytes)");
        const std::size_t open = bytes == std::string_view::npos ? bytes : line.rfind('(', bytes);
        if (open != std::string_view::npos && allDigits(line.substr(open + 1, bytes - open - 1)))
            announced = std::stoll(std::string(line.substr(open + 1, bytes - open - 1)));
    }
    return total;
}

size_t writeToCountedFile(char* data, size_t size, size_t count, void* userData)
{
    auto& file = *static_cast<WrittenFile*>(userData);
    if (file.cap > 0 && file.written + static_cast<long long>(size * count) > file.cap) {
        file.overCap = true;
        return 0;
    }
    const size_t done = writeToFile(data, size, count, &file.fd);
    file.written += static_cast<long long>(done);
    return done;
}

curl_socket_t openGuardedSocket(void* userData, curlsocktype purpose, curl_sockaddr* address)
{
    auto& guard = *static_cast<SocketGuard*>(userData);
    if (guard.loggedIn && purpose == CURLSOCKTYPE_IPCXN) {
        int port = 0;
        if (address->family == AF_INET)
            port = ntohs(reinterpret_cast<const sockaddr_in*>(&address->addr)->sin_port);
        else if (address->family == AF_INET6)
            port = ntohs(reinterpret_cast<const sockaddr_in6*>(&address->addr)->sin6_port);
        if (port == guard.serverPort) {
            guard.refused = true;
            return CURL_SOCKET_BAD;
        }
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Failures after which the control connection can't be trusted or is gone.
bool losesConnection(CURLcode result)
{
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_COULDNT_CONNECT:
        return true;
    default:
        return false;
    }
}

}  // namespace curlftp
