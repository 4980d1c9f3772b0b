#pragma once

#include "probehelper/echo.h"
#include "transfer/transfercontext.h"
#include "transfer/transferresult.h"

#include <functional>
#include <memory>
#include <string>

class FtpClient;
class FtpConnection;
struct GatewayOutcome;

// Opening one gateway, the same way for uploads, back-ups, downloads and dry runs: the probe,
// then the connect, the greeting and the login, each honouring context.cancel. Every failure
// goes into the outcome in the same words, whoever opened the gateway. The connection closes
// (QUIT) with the session.
class GatewaySession {
public:
    GatewaySession(TransferContext& context, GatewayOutcome& outcome, std::string agent);
    ~GatewaySession();
    GatewaySession(const GatewaySession&) = delete;
    GatewaySession& operator=(const GatewaySession&) = delete;

    // The echo request; false, with the reason in the outcome, when no gateway answered.
    bool probe(const std::string& gatewayAddress);
    ProbeResult probeResult() const { return m_probeResult; }

    // Opens the FTP client, once; logIn does it when it was not done before. False, with the
    // reason in the outcome, when none can be opened.
    bool openClient();
    // Closes the connection (QUIT); the client stays open until the session ends.
    void closeConnection() { m_connection.reset(); }

    // The FTP login; onConnecting runs just before the connect. False, with the reason in the
    // outcome, for a login that can't be sent (nothing is sent then), no FTP client, a refused
    // login, a gateway that can't be reached, or a stop.
    bool logIn(const std::string& gatewayAddress, const std::string& userId,
               const std::string& password, const std::function<void()>& onConnecting = {});

    // probe, then logIn: Done once logged in, NotFound or Failed.
    TransferResult open(const std::string& gatewayAddress, const std::string& userId,
                        const std::string& password,
                        const std::function<void()>& onConnecting = {});

    // Only after a successful logIn.
    FtpConnection& connection() { return *m_connection; }
    // True once the operator's stop (context.cancel) was given.
    bool stopped() const;
    // True when the stop cut the login or a step of the connection short.
    bool abandoned() const;

private:
    TransferContext& m_context;
    GatewayOutcome& m_outcome;
    std::string m_agent;
    ProbeResult m_probeResult = ProbeResult::Silent;
    bool m_loginStopped = false;
    bool m_clientOpened = false;
    std::unique_ptr<FtpClient> m_client;
    std::unique_ptr<FtpConnection> m_connection;
};

// "9,728": a count of bytes as the operator reads it.
std::string groupedNumber(long long number);
