#pragma once

// What the libcurl FTP connection hands to libcurl (its read, write, reply, progress and socket
// callbacks), the stall watch, and the checks a name passes before it is sent.

#include "transfer/curlftpclient.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace curlftp {

using Clock = std::chrono::steady_clock;

// A listing larger than this comes from a broken or hostile server, not from a gateway.
inline constexpr std::size_t MaxListingBytes = 8u << 20;

bool isSafeName(const std::string& name);
bool isSafeAddress(const std::string& address);
// Splits a device directory into its names; false when one of them can't be sent safely.
bool splitDirectory(const std::string& directory, std::vector<std::string>& names);

// userData: the int descriptor.
size_t readFromFile(char* buffer, size_t size, size_t count, void* userData);
size_t writeToFile(char* data, size_t size, size_t count, void* userData);
// userData: the std::string, which stops growing at MaxListingBytes.
size_t appendToString(char* data, size_t size, size_t count, void* userData);

// Watches one transfer for a stall: less than StallBytes moved over the last `limit`. Samples
// are kept at most every tenth of a second, so a fast transfer costs a few hundred entries.
class StallWatch {
public:
    StallWatch(std::chrono::milliseconds limit, const std::atomic<bool>* cancel)
        : m_limit(limit), m_cancel(cancel)
    {
        m_samples.push_back({Clock::now(), 0});
    }

    // False once the transfer has stalled or was stopped.
    bool moving(curl_off_t moved)
    {
        m_moved = moved;
        if (m_cancel != nullptr && m_cancel->load())
            return false;
        const Clock::time_point now = Clock::now();
        if (now - m_samples.back().when >= std::chrono::milliseconds(100))
            m_samples.push_back({now, moved});
        // The front stays the newest sample at least `limit` old, the base of the window.
        while (m_samples.size() > 1 && now - m_samples[1].when >= m_limit)
            m_samples.pop_front();
        if (now - m_samples.front().when < m_limit)
            return true;
        return moved - m_samples.front().moved >= StallBytes;
    }

    curl_off_t moved() const { return m_moved; }

private:
    struct Sample {
        Clock::time_point when;
        curl_off_t moved;
    };
    curl_off_t m_moved = 0;
    std::chrono::milliseconds m_limit;
    const std::atomic<bool>* m_cancel;
    std::deque<Sample> m_samples;
};

// userData: the StallWatch.
int watchProgress(void* userData, curl_off_t, curl_off_t downloaded, curl_off_t,
                  curl_off_t uploaded);
// The steps that move no data only look at the cancel flag (userData).
int watchCancel(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

// Sends QUIT on the idle control connection and waits up to limit for the reply (or a stop).
void quitWithin(curl_socket_t control, std::chrono::milliseconds limit,
                const std::atomic<bool>* cancel);

// Where the server's reply lines go: the last one is kept for lastReply(), and a download also
// notes the size the server announces. At most this much of a line is kept.
inline constexpr std::size_t MaxReplyBytes = 200;

struct ReplySink {
    std::string* lastLine;
    long long* announced = nullptr;
    const std::string* password = nullptr;  // masked before the line is kept
};

// The size a server announces for a download: "213 N" answering SIZE, or "(N bytes)" in the
// 150 or 125 reply that opens the transfer. -1 while none came. userData: the ReplySink.
size_t noteAnnouncedSize(char* data, size_t size, size_t count, void* userData);

struct WrittenFile {
    int fd;
    long long written = 0;
    long long cap = 0;  // above 0: more than this many bytes ends the transfer
    bool overCap = false;
};

size_t writeToCountedFile(char* data, size_t size, size_t count, void* userData);

// After the login the control connection is the only one to the server: a second would log
// in again behind the caller's back. The active-mode listening socket is the other one opened.
struct SocketGuard {
    int serverPort;
    bool loggedIn = false;
    bool refused = false;
};

curl_socket_t openGuardedSocket(void* userData, curlsocktype purpose, curl_sockaddr* address);

// Failures after which the control connection can't be trusted or is gone.
bool losesConnection(CURLcode result);

}  // namespace curlftp
