#include "transfer/gatewaysession.h"

#include "transfer/ftpclient.h"
#include "transfer/outcome.h"
#include "transfer/probe.h"

GatewaySession::GatewaySession(TransferContext& context, GatewayOutcome& outcome,
                               std::string agent)
    : m_context(context), m_outcome(outcome), m_agent(std::move(agent))
{
}

GatewaySession::~GatewaySession()
{
    // The connection goes before the client that opened it.
    m_connection.reset();
}

bool GatewaySession::stopped() const
{
    return m_context.cancel != nullptr && m_context.cancel->load();
}

bool GatewaySession::abandoned() const
{
    return m_loginStopped || (m_connection && m_connection->stopped());
}

bool GatewaySession::probe(const std::string& gatewayAddress)
{
    m_probeResult = probeWithSettings(m_context.prober, gatewayAddress, m_context.probe);
    if (m_probeResult == ProbeResult::Answered)
        return true;
    m_outcome.fail(probeReason(m_probeResult, gatewayAddress, m_context.probe));
    return false;
}

bool GatewaySession::openClient()
{
    if (!m_clientOpened) {
        m_clientOpened = true;
        m_client = m_context.ftp.open(m_agent);
    }
    if (!m_client)
        m_outcome.fail(NoFtpClientReason);
    return m_client != nullptr;
}

bool GatewaySession::logIn(const std::string& gatewayAddress, const std::string& userId,
                           const std::string& password,
                           const std::function<void()>& onConnecting)
{
    if (!isSendableLogin(userId, password)) {
        m_outcome.fail(UnsendableLoginReason);
        return false;
    }
    if (!openClient())
        return false;
    if (onConnecting)
        onConnecting();
    if (stopped()) {
        m_loginStopped = true;
        m_outcome.fail(StoppedBeforeLoginReason);
        return false;
    }
    m_connection = m_client->connect(
        {gatewayAddress, m_context.ftpPort, userId, password, m_context.cancel});
    if (m_connection)
        return true;
    m_loginStopped = stopped();
    m_outcome.fail(m_loginStopped ? std::string(StoppedBeforeLoginReason)
                                  : withReply("cannot log in", m_client->lastReply()));
    return false;
}

TransferResult GatewaySession::open(const std::string& gatewayAddress, const std::string& userId,
                                    const std::string& password,
                                    const std::function<void()>& onConnecting)
{
    if (!probe(gatewayAddress))
        return TransferResult::NotFound;
    return logIn(gatewayAddress, userId, password, onConnecting) ? TransferResult::Done
                                                                 : TransferResult::Failed;
}

std::string groupedNumber(long long number)
{
    std::string digits = std::to_string(number < 0 ? -number : number);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return (number < 0 ? "-" : "") + digits;
}
