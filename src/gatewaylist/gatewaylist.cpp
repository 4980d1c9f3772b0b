#include "gatewaylist/gatewaylist.h"

#include "transfer/ftpclient.h"

#include <algorithm>

std::vector<GatewayRecord> GatewayList::records() const
{
    std::vector<GatewayRecord> result;
    result.reserve(m_rows.size());
    for (const Row& row : m_rows)
        result.push_back(row.record);
    return result;
}

void GatewayList::append(GatewayRecord record)
{
    m_rows.push_back(Row{std::move(record), RowStatus::None});
}

void GatewayList::clear()
{
    m_rows.clear();
}

ListEditResult GatewayList::insertRecord(std::size_t position, const IpAddressInput& address,
                                         const std::string& userId, const std::string& password)
{
    if (position >= MaxGateways)
        return ListEditResult::MaxGatewaysReached;
    if (!address || !isSendableLogin(userId, password))
        return ListEditResult::InvalidParams;
    const auto where =
        m_rows.begin() + static_cast<std::ptrdiff_t>(std::min(position, m_rows.size()));
    m_rows.insert(where, Row{GatewayRecord{formatIpText(*address), userId, password}, RowStatus::None});
    return ListEditResult::Ok;
}

ListEditResult GatewayList::replaceRecord(std::size_t index, const IpAddressInput& address,
                                          const std::string& userId, const std::string& password)
{
    if (index >= MaxGateways)
        return ListEditResult::MaxGatewaysReached;
    if (!address || !isSendableLogin(userId, password))
        return ListEditResult::InvalidParams;
    // An index past the last row names nothing to replace: refused rather than appended, so a
    // stale selection cannot create a row the operator did not add.
    if (index >= m_rows.size())
        return ListEditResult::InvalidParams;
    m_rows[index] = Row{GatewayRecord{formatIpText(*address), userId, password}, RowStatus::None};
    return ListEditResult::Ok;
}

void GatewayList::removeRecords(const std::set<std::size_t>& indexes)
{
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        if (*it < m_rows.size())
            m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(*it));
    }
}

void GatewayList::setStatus(std::size_t index, RowStatus status)
{
    if (index < m_rows.size())
        m_rows[index].status = status;
}

void GatewayList::clearStatuses()
{
    for (Row& row : m_rows)
        row.status = RowStatus::None;
    m_statusShown = false;
}
