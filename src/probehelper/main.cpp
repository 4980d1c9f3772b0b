// orbiphon-probe: the one installed file that holds cap_net_raw. It sends one echo request over
// a raw ICMP socket for a program that may not open one itself, and tells the outcome by its
// exit status alone. It reads no environment, no file and no standard input, writes nothing,
// and keeps no descriptor but its socket, so the right can serve nothing else.
//
//   orbiphon-probe ADDRESS TIMEOUT_MS IDENTIFIER SEQUENCE
//
// ADDRESS is a dotted quad, TIMEOUT_MS 0 to 60000, IDENTIFIER and SEQUENCE 0 to 65535 (decimal).
// Exit status: 0 answered, 1 silent, 2 bad usage, 3 no raw socket could be opened.

#include "base/ipaddress.h"
#include "probehelper/probehelper.h"
#include "probehelper/echo.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

namespace {

std::optional<unsigned> numberIn(const char* text, unsigned maximum)
{
    const std::string_view view(text);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || value > maximum)
        return std::nullopt;
    return value;
}

// Gives up every capability once the socket is open: sending on it needs none.
void dropCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2]{};
    ::syscall(SYS_capset, &header, none);
}

}  // namespace

int main(int argc, char** argv)
{
    // Everything inherited is closed before anything else happens; the descriptors 0 to 2 are
    // never written, so a socket may take their numbers.
    ::close_range(0, ~0U, 0);
    if (argc != 5)
        return ProbeHelperBadUsage;
    const std::optional<IpOctets> address = parseDottedQuad(argv[1]);
    const std::optional<unsigned> timeoutMs = numberIn(argv[2], ProbeHelperMaxTimeoutMs);
    const std::optional<unsigned> identifier = numberIn(argv[3], 0xffff);
    const std::optional<unsigned> sequence = numberIn(argv[4], 0xffff);
    if (!address || !timeoutMs || !identifier || !sequence)
        return ProbeHelperBadUsage;

    const EchoSocket socket = openEchoSocket(false);
    dropCapabilities();
    if (socket.fd < 0)
        return ProbeHelperNoPermission;
    std::uint32_t destination = 0;
    std::memcpy(&destination, address->data(), 4);
    const ProbeResult result =
        sendEcho(socket, destination, static_cast<std::uint16_t>(*identifier),
                 static_cast<std::uint16_t>(*sequence), static_cast<int>(*timeoutMs));
    return result == ProbeResult::Answered ? ProbeHelperAnswered : ProbeHelperSilent;
}
