#include "addressbook/addressbook.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// An entry whose slot is written as 54 zero bytes, which every reader skips.
bool writesAsEmptySlot(const AddressEntry& entry)
{
    return entry.ipText.empty() && entry.port == 0 && entry.telephone.empty();
}

std::string written(const AddressBook& book)
{
    std::ostringstream out;
    check(book.write(out));
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    AddressBook book;
    check(book.read(in));  // a memory stream never fails, it only ends

    for (const AddressEntry& entry : book.entries()) {
        check(entry.ipText.size() <= 16 && entry.telephone.size() <= 36);
        check(entry.ipText.find('\0') == std::string::npos);
        check(entry.telephone.find('\0') == std::string::npos);
    }

    const std::string image = written(book);
    check(image.size() == BookFileSize);

    AddressBook again;
    std::istringstream reread(image);
    check(again.read(reread));
    check(again.gateways() == book.gateways());

    std::vector<AddressEntry> kept;
    for (std::size_t i = 0; i < book.size() && i < MaxEntries; ++i) {
        if (!writesAsEmptySlot(book.entries()[i]))
            kept.push_back(book.entries()[i]);
    }
    check(again.entries() == kept);

    // Once through write and read, a book is stable: the next write gives the same bytes.
    const std::string secondImage = written(again);
    if (kept.size() == std::min(book.size(), MaxEntries))
        check(secondImage == image);
    AddressBook third;
    std::istringstream rereadAgain(secondImage);
    check(third.read(rereadAgain));
    check(third.gateways() == again.gateways() && third.entries() == again.entries());
    check(written(third) == secondImage);
    return 0;
}
