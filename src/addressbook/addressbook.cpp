#include "addressbook/addressbook.h"

#include "base/atomicfile.h"
#include "base/fdstream.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

namespace {

constexpr std::size_t IpOffset = 0;
constexpr std::size_t IpSize = IpTextFieldSize;
constexpr std::size_t PortOffset = 16;
constexpr std::size_t TelephoneOffset = 18;
constexpr std::size_t TelephoneSize = TelephoneFieldSize;
constexpr std::string_view GatewayTelephone = "00000000000000000000000000000000000";

using Slot = std::array<char, SlotSize>;

void putText(Slot& slot, std::size_t offset, std::size_t size, std::string_view text)
{
    std::memcpy(slot.data() + offset, text.data(), std::min(size, text.size()));
}

void putPort(Slot& slot, std::uint16_t port)
{
    slot[PortOffset] = static_cast<char>(port & 0xFF);
    slot[PortOffset + 1] = static_cast<char>(port >> 8);
}

std::string textAt(const Slot& slot, std::size_t offset, std::size_t size)
{
    const char* begin = slot.data() + offset;
    return std::string(begin, std::find(begin, begin + size, '\0'));
}

std::uint16_t portAt(const Slot& slot)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(slot[PortOffset])
                                      | static_cast<unsigned char>(slot[PortOffset + 1]) << 8);
}

bool isEmpty(const Slot& slot)
{
    return std::all_of(slot.begin(), slot.end(), [](char c) { return c == 0; });
}

bool readSlot(std::istream& in, Slot& slot)
{
    in.read(slot.data(), static_cast<std::streamsize>(slot.size()));
    return static_cast<std::size_t>(in.gcount()) == slot.size();
}

AddressEntry madeEntry(const IpOctets& address, const std::string& telephone)
{
    return AddressEntry{formatIpText(address), static_cast<std::int16_t>(DefaultPort), telephone};
}

}  // namespace

AddressBook::AddressBook()
{
    clear();
}

void AddressBook::clear()
{
    m_gateways.fill(GatewaySetting{});
    m_entries.clear();
}

EditResult AddressBook::addEntry(std::size_t position, const IpAddressInput& address,
                                 const std::string& telephone)
{
    if (m_entries.size() >= MaxEntries)
        return EditResult::MaxEntriesReached;
    if (!address || telephone.empty())
        return EditResult::InvalidParams;
    const auto where = m_entries.begin()
        + static_cast<std::ptrdiff_t>(std::min(position, m_entries.size()));
    m_entries.insert(where, madeEntry(*address, telephone));
    return EditResult::Ok;
}

EditResult AddressBook::replaceEntry(std::size_t index, const IpAddressInput& address,
                                     const std::string& telephone)
{
    if (index >= MaxEntries)
        return EditResult::MaxEntriesReached;
    if (!address || telephone.empty())
        return EditResult::InvalidParams;
    // An index past the last entry names nothing to replace: refused rather than appended, so
    // a stale selection cannot create an entry the operator did not add.
    if (index >= m_entries.size())
        return EditResult::InvalidParams;
    m_entries[index] = madeEntry(*address, telephone);
    return EditResult::Ok;
}

void AddressBook::removeEntries(const std::set<std::size_t>& indexes)
{
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        if (*it < m_entries.size())
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(*it));
    }
}

EntryFields AddressBook::entryFields(std::size_t index) const
{
    const AddressEntry& entry = m_entries.at(index);
    return EntryFields{parseIpText(entry.ipText), entry.port, entry.telephone};
}

bool AddressBook::write(std::ostream& out) const
{
    std::string image;
    image.reserve(BookFileSize);
    for (const GatewaySetting& gateway : m_gateways) {
        Slot slot{};
        putText(slot, IpOffset, IpSize - 1, formatIpText(gateway.address));
        putPort(slot, static_cast<std::uint16_t>(gateway.port & 0xFFFF));
        putText(slot, TelephoneOffset, TelephoneSize, GatewayTelephone);
        image.append(slot.data(), slot.size());
    }
    for (std::size_t n = 0; n < MaxEntries; ++n) {
        Slot slot{};
        if (n < m_entries.size()) {
            const AddressEntry& entry = m_entries[n];
            putText(slot, IpOffset, IpSize, entry.ipText);
            putPort(slot, static_cast<std::uint16_t>(entry.port));
            putText(slot, TelephoneOffset, TelephoneSize, entry.telephone);
        }
        image.append(slot.data(), slot.size());
    }
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    return !out.fail();
}

bool AddressBook::read(std::istream& in)
{
    Slot slot{};
    for (GatewaySetting& gateway : m_gateways) {
        if (!readSlot(in, slot))
            return !in.bad();
        if (isEmpty(slot))
            continue;
        gateway.address = parseIpText(textAt(slot, IpOffset, IpSize));
        gateway.port = portAt(slot);
    }
    while (readSlot(in, slot)) {
        if (isEmpty(slot))
            continue;
        m_entries.push_back(AddressEntry{textAt(slot, IpOffset, IpSize),
                                         static_cast<std::int16_t>(portAt(slot)),
                                         textAt(slot, TelephoneOffset, TelephoneSize)});
    }
    return !in.bad();
}

FileError loadAddressBook(const std::string& path, AddressBook& book)
{
    book.clear();
    return readFileWith(path, [&book](std::istream& in) { book.read(in); });
}

FileError saveAddressBook(const std::string& path, const AddressBook& book)
{
    return writeFileAtomically(path, [&book](std::ostream& out) { return book.write(out); });
}
