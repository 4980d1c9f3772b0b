#include "transfer/outcome.h"

#include <cstdio>
#include <ctime>

void GatewayOutcome::start()
{
    started = std::chrono::system_clock::now();
    m_steadyStart = std::chrono::steady_clock::now();
}

void GatewayOutcome::finish()
{
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_steadyStart)
                  .count();
}

void GatewayOutcome::fail(const std::string& why)
{
    if (reason.empty())
        reason = why;
}

std::string noEchoReason(int timeoutMs)
{
    return "no answer to the echo request within " + std::to_string(timeoutMs) + " ms";
}

std::string withReply(const std::string& what, const std::string& reply)
{
    return reply.empty() ? what : what + ": " + reply;
}

std::string withoutPassword(std::string text, const std::string& password)
{
    if (password.empty())
        return text;
    for (std::size_t at = text.find(password); at != std::string::npos;
         at = text.find(password, at + 3))
        text.replace(at, password.size(), "***");
    return text;
}

std::string startedText(std::chrono::system_clock::time_point started)
{
    if (started == std::chrono::system_clock::time_point{})
        return {};
    const std::time_t time = std::chrono::system_clock::to_time_t(started);
    std::tm parts{};
    ::gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}
