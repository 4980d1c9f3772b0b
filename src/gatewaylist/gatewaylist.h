#pragma once

#include "base/ipaddress.h"

#include <cstddef>
#include <set>
#include <string>
#include <vector>

inline constexpr std::size_t MaxGateways = 253;

struct GatewayRecord {
    std::string ipText;
    std::string userId;
    std::string password;  // always plain in memory; only the file holds it encoded

    bool operator==(const GatewayRecord&) const = default;
};

// The image a batch command leaves on a row.
enum class RowStatus {
    None,
    Uploaded,
    FtpFailed,
    Reachable,
    NotReachable,
    Unchanged,  // an upgrade found the gateway already holding what it would send
    BackedUp,   // a back-up kept a new copy of the gateway's book
    NoBook,     // a back-up found no book on the gateway
    Listed,     // an inventory listed the gateway's files
};

enum class ListEditResult { Ok, MaxGatewaysReached, InvalidParams };

// The ordered gateway rows of an Upgrade window with their status images. Nothing sorts it.
class GatewayList {
public:
    std::size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }
    const GatewayRecord& record(std::size_t index) const { return m_rows.at(index).record; }
    RowStatus status(std::size_t index) const { return m_rows.at(index).status; }
    std::vector<GatewayRecord> records() const;

    // Appends with status None, without any limit or check (used when reading a file; a login
    // that can't be sent stays in the list and fails its upload).
    void append(GatewayRecord record);
    // Room for count rows in all, so appending them allocates once.
    void reserve(std::size_t count) { m_rows.reserve(count); }
    void clear();

    // position 0..size(); beyond size() appends. Checks the position against MaxGateways, then
    // that the address is not blank and that the user ID and password can be sent
    // (isSendableLogin).
    ListEditResult insertRecord(std::size_t position, const IpAddressInput& address,
                                const std::string& userId, const std::string& password);
    // Same checks as insertRecord; an index past the last row then gives InvalidParams.
    ListEditResult replaceRecord(std::size_t index, const IpAddressInput& address,
                                 const std::string& userId, const std::string& password);
    void removeRecords(const std::set<std::size_t>& indexes);

    void setStatus(std::size_t index, RowStatus status);
    // Every row back to None; statusShown cleared.
    void clearStatuses();
    bool statusShown() const { return m_statusShown; }
    void setStatusShown() { m_statusShown = true; }

private:
    struct Row {
        GatewayRecord record;
        RowStatus status = RowStatus::None;
    };
    std::vector<Row> m_rows;
    bool m_statusShown = false;
};
