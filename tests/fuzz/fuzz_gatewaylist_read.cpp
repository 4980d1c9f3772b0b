#include "gatewaylist/listfile.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string written(const std::vector<GatewayRecord>& records)
{
    std::ostringstream out;
    check(writeList(out, records));
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes);
    GatewayList list;
    const ListReadResult result = readList(in, list);
    check(result != ListReadResult::ReadError);  // a memory stream never fails, it only ends
    if (result == ListReadResult::OtherVersion || result == ListReadResult::FormatNotRecognized) {
        check(list.empty());
        return 0;
    }

    const std::vector<GatewayRecord> records = list.records();
    // A zero byte stays in a password only before a CR or LF, which keeps the row from ever
    // being sent; anywhere else the reader cuts the text there.
    for (const GatewayRecord& record : records) {
        const std::size_t zero = record.password.find('\0');
        check(zero == std::string::npos
              || record.password.find_first_of("\r\n", zero) != std::string::npos);
    }

    // Whatever was read, complete or cut short, is written and read back unchanged.
    const std::string image = written(records);
    GatewayList again;
    std::istringstream reread(image);
    check(readList(reread, again) == ListReadResult::Loaded);
    check(again.records() == records);
    check(written(again.records()) == image);
    return 0;
}
