#pragma once

#include "base/ipaddress.h"
#include "base/fileerror.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

inline constexpr std::size_t MaxEntries = 253;
inline constexpr std::uint16_t DefaultPort = 1720;
inline constexpr std::size_t SlotSize = 54;
// Slots in a written file: two gateways and MaxEntries entries.
inline constexpr std::size_t SlotCount = 2 + MaxEntries;
inline constexpr std::size_t BookFileSize = SlotCount * SlotSize;
// Text fields of a slot: the entry's IP text and the telephone number, zero-padded.
inline constexpr std::size_t IpTextFieldSize = 16;
inline constexpr std::size_t TelephoneFieldSize = 36;
// Longest telephone number the window accepts; a file may hold 36 characters.
inline constexpr std::size_t MaxTelephoneLength = 35;

struct GatewaySetting {
    IpOctets address{255, 255, 255, 255};
    std::uint32_t port = DefaultPort;  // only the low 16 bits reach a file

    bool operator==(const GatewaySetting&) const = default;
};

struct AddressEntry {
    std::string ipText;  // as read from a file, or formatIpText of what was typed
    std::int16_t port = static_cast<std::int16_t>(DefaultPort);
    std::string telephone;

    bool operator==(const AddressEntry&) const = default;
};

// The record fields a selected entry fills in the window.
struct EntryFields {
    IpOctets address;
    std::int16_t port;
    std::string telephone;
};

enum class EditResult { Ok, MaxEntriesReached, InvalidParams };

class AddressBook {
public:
    AddressBook();

    // Both gateways 255.255.255.255 port 1720, no entries.
    void clear();

    // position: index of the entry to insert before; size() or more appends.
    EditResult addEntry(std::size_t position, const IpAddressInput& address,
                        const std::string& telephone);
    // Checks index >= MaxEntries, then the fields; an index past the last entry then gives
    // InvalidParams.
    EditResult replaceEntry(std::size_t index, const IpAddressInput& address,
                            const std::string& telephone);
    void removeEntries(const std::set<std::size_t>& indexes);
    EntryFields entryFields(std::size_t index) const;

    // Writes the 13,770-byte .cpe image: only the first MaxEntries entries fit. Returns false
    // when the stream failed.
    bool write(std::ostream& out) const;
    // Appends what the stream holds; call clear() first. Checks nothing: a file of any length,
    // any number of entries, any texts. Returns false only when the stream reported an error
    // other than its end.
    bool read(std::istream& in);

    std::array<GatewaySetting, 2>& gateways() { return m_gateways; }
    const std::array<GatewaySetting, 2>& gateways() const { return m_gateways; }
    const std::vector<AddressEntry>& entries() const { return m_entries; }
    std::vector<AddressEntry>& entries() { return m_entries; }
    std::size_t size() const { return m_entries.size(); }

private:
    std::array<GatewaySetting, 2> m_gateways;
    std::vector<AddressEntry> m_entries;
};

// Reads path into book (cleared first). FileError::None on success.
FileError loadAddressBook(const std::string& path, AddressBook& book);
// Saves through a temporary file so a failed save keeps the old file.
FileError saveAddressBook(const std::string& path, const AddressBook& book);
