#pragma once

#include "transfer/ftpclient.h"

#include <chrono>

// Time limits that keep a dead or hostile server from hanging the program.
struct FtpTimeouts {
    std::chrono::milliseconds connect{15000};
    std::chrono::milliseconds response{30000};
    // A transfer slower than one byte a second for this long is abandoned.
    std::chrono::seconds stall{30};
    // How long an active-mode transfer waits for the server to connect back.
    std::chrono::milliseconds accept{30000};
};

// The FTP client on libcurl: one easy handle per connection, reused step after step so the
// control connection is kept. Remote names holding CR, LF, NUL or '/', and the names "." and
// "..", are refused without sending anything: a hostile listing must not inject commands or
// reach other directories.
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
