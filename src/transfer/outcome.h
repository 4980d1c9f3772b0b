#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What happened at one gateway, beside its TransferResult: the reason in one line (empty when
// everything went well), what was moved, when it started and how long it took. Never holds a
// password: the only outside text in a reason, the FTP server's reply, passes through
// replyWithoutPassword in the FTP client.
struct GatewayOutcome {
    std::string reason;
    int filesSent = 0;
    int filesFailed = 0;
    int filesDeleted = 0;
    std::uint64_t bytesSent = 0;
    // The gateway already held what was to be sent, so nothing was.
    bool unchanged = false;
    std::chrono::system_clock::time_point started{};
    double seconds = 0.0;
    // What the back-up and verify steps found, one line each ("backed up to ...", "not
    // verified: ...").
    std::vector<std::string> notes;
    // The operator's stop cut this gateway's work short: the reason says what was cut.
    bool abandoned = false;

    // Notes the start time and the clock the duration is taken from.
    void start();
    // Sets seconds from the start.
    void finish();
    // Keeps the first reason given: later failures of a gateway usually follow from it.
    void fail(const std::string& why);

private:
    std::chrono::steady_clock::time_point m_steadyStart{};
};

// Ends outcome with the time taken, hands it to target when there is one, and gives back result.
template <typename Result>
Result finishedOutcome(Result result, GatewayOutcome& outcome, GatewayOutcome* target)
{
    outcome.finish();
    if (target)
        *target = outcome;
    return result;
}

// The reasons the cores give in their own words.
std::string noEchoReason(int timeoutMs);  // "no answer to the echo request within 1000 ms"
inline constexpr const char* UnsendableLoginReason =
    "the user ID or password holds a CR, LF or NUL character";
inline constexpr const char* NoFtpClientReason = "no FTP client could be opened";
inline constexpr const char* NothingMatchedReason = "nothing matched PutList";
inline constexpr const char* StoppedBeforeLoginReason = "stopped before the login completed";
inline constexpr const char* UnchangedBookReason = "unchanged: already holds this book";
// "what: reply", or just what when there is no reply to tell.
std::string withReply(const std::string& what, const std::string& reply);

// One reply line of a server as a reason shows it. The password is masked ("***") in the raw
// bytes first, then the line's end is trimmed, the line cut to maxBytes and its control bytes
// blanked, so neither a cut nor a blanked TAB can leave the password readable. A password
// shorter than MinMaskedPasswordSize that occurs in the line can't be masked without mangling
// the reply ("3" in "530"): only the reply's code is kept then.
inline constexpr std::size_t MinMaskedPasswordSize = 4;
std::string replyWithoutPassword(std::string_view line, const std::string& password,
                                 std::size_t maxBytes);

// "2026-12-07T11:30:05Z" (UTC), or "" for a start never noted.
std::string startedText(std::chrono::system_clock::time_point started);
// Seconds with three decimals, "1.204".
std::string secondsText(double seconds);
