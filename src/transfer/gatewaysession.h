#pragma once

#include "transfer/transfercontext.h"
#include "transfer/transferresult.h"

#include <functional>
#include <memory>
#include <string>

class FtpClient;
class FtpConnection;
struct GatewayOutcome;

// Why a probe ended as it did.
enum class ProbeCause {
    Answered,
    Silent,        // no echo reply within the time-out
    NoPermission,  // no socket that can send an echo request could be had
    NotAnAddress,  // not a dotted quad; nothing was sent
};

class Prober;

// Asks prober, telling why it ended as it did.
ProbeCause probeWithCause(Prober& prober, const std::string& gatewayAddress);

// The reason of a probe that found no gateway, in the words every command uses; "" for Answered.
std::string probeCauseReason(ProbeCause cause, const std::string& gatewayAddress, int timeoutMs);

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
    ProbeCause probeCause() const { return m_probeCause; }

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
    ProbeCause m_probeCause = ProbeCause::Silent;
    bool m_loginStopped = false;
    bool m_clientOpened = false;
    std::unique_ptr<FtpClient> m_client;
    std::unique_ptr<FtpConnection> m_connection;
};

// "9,728": a count of bytes as the operator reads it.
std::string groupedNumber(long long number);
