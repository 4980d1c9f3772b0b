#pragma once

#include "transfer/ftpclient.h"

#include <chrono>
#include <string>

// Time limits that keep a dead or hostile server from hanging the program.
struct FtpTimeouts {
    std::chrono::milliseconds connect{15000};
    std::chrono::milliseconds response{30000};
    // A transfer that moves less than StallBytes within this long is abandoned; one that keeps
    // moving is never cut, however long it takes.
    std::chrono::milliseconds stall{30000};
    // How long an active-mode transfer waits for the server to connect back.
    std::chrono::milliseconds accept{30000};
    // How long the QUIT that closes a connection may wait for its answer.
    std::chrono::milliseconds quit{3000};
    // What PORT/EPRT announce, as CURLOPT_FTPPORT takes it; "-" lets the system choose.
    std::string activePort = "-";
};

inline constexpr long long StallBytes = 1024;

// The FTP client on libcurl: one easy handle per connection, reused step after step so the
// control connection is kept. It never logs in a second time: once a step times out or the
// control connection is gone, the connection counts as lost and every later step fails at once.
// A download whose length differs from the size the server announced (in its SIZE reply or in
// the reply that opens the transfer) fails. Remote names holding CR, LF, NUL or '/', and the
// names "." and "..", are refused without sending anything: a hostile listing must not inject
// commands or reach other directories. So is a login that isSendableLogin refuses. The login's
// cancel flag is watched in every step, the connect, greeting and login included: once it is
// set the step in hand ends within about a second and the connection counts as lost.
class CurlFtpClientFactory final : public FtpClientFactory {
public:
    explicit CurlFtpClientFactory(FtpTimeouts timeouts = {});
    std::unique_ptr<FtpClient> open(const std::string& agent) override;

private:
    FtpTimeouts m_timeouts;
};

// curl_global_init; false when libcurl cannot start.
bool initialiseCurl();
void releaseCurl();
