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

std::string replyWithoutPassword(std::string_view line, const std::string& password,
                                 std::size_t maxBytes)
{
    std::string text(line);
    if (!password.empty() && text.find(password) != std::string::npos) {
        if (password.size() < MinMaskedPasswordSize) {
            const bool coded = text.size() >= 3 && text.find_first_not_of("0123456789") >= 3;
            return coded ? text.substr(0, 3) : std::string();
        }
        for (std::size_t at = text.find(password); at != std::string::npos;
             at = text.find(password, at + 3))
            text.replace(at, password.size(), "***");
    }
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (text.size() > maxBytes)
        text.resize(maxBytes);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
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
