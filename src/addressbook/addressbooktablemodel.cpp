#include "addressbook/addressbooktablemodel.h"

#include "widgets/listwindow.h"
#include "widgets/widgets.h"

#include <array>

namespace {

const std::array<const char*, AddressBookTableModel::ColumnCount> Headings = {
    "#", "IP Address", "Port", "Telephone number"};

Qt::Alignment columnAlignment(int column)
{
    return column == AddressBookTableModel::NumberColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                         : Qt::AlignCenter;
}

}  // namespace

AddressBookTableModel::AddressBookTableModel(AddressBook& book, QObject* parent)
    : QAbstractTableModel(parent), m_book(book)
{
}

int AddressBookTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_book.size());
}

int AddressBookTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AddressBookTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_book.size())
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnAlignment(index.column()));
    if (role != Qt::DisplayRole)
        return {};
    const AddressEntry& entry = m_book.entries().at(row);
    switch (index.column()) {
    case NumberColumn:
        return QString::number(row + 1);
    case AddressColumn:
        return fromFileText(entry.ipText);
    case PortColumn:
        return QString::number(entry.port);
    case TelephoneColumn:
        return fromFileText(entry.telephone);
    }
    return {};
}

QVariant AddressBookTableModel::headerData(int section, Qt::Orientation orientation,
                                           int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(Headings.at(static_cast<std::size_t>(section)));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnAlignment(section));
    return {};
}

void AddressBookTableModel::resetWith(const std::function<void()>& change)
{
    beginResetModel();
    change();
    endResetModel();
}

EditResult AddressBookTableModel::addEntry(std::size_t position, const IpAddressInput& address,
                                           const std::string& telephone)
{
    // Tried on a copy first: the list must hear of a row before it is there.
    AddressBook changed = m_book;
    const EditResult result = changed.addEntry(position, address, telephone);
    if (result != EditResult::Ok)
        return result;
    const int at = static_cast<int>(std::min(position, m_book.size()));
    beginInsertRows({}, at, at);
    m_book = std::move(changed);
    endInsertRows();
    // The numbers below it moved on by one.
    emit dataChanged(index(at, NumberColumn), index(rowCount() - 1, NumberColumn));
    return result;
}

EditResult AddressBookTableModel::replaceEntry(std::size_t index, const IpAddressInput& address,
                                               const std::string& telephone)
{
    const EditResult result = m_book.replaceEntry(index, address, telephone);
    if (result == EditResult::Ok) {
        const int row = static_cast<int>(index);
        emit dataChanged(this->index(row, 0), this->index(row, ColumnCount - 1));
    }
    return result;
}

void AddressBookTableModel::removeEntries(const std::set<std::size_t>& indexes)
{
    for (const std::set<std::size_t>& run : runsFromBottom(indexes, m_book.size())) {
        beginRemoveRows({}, static_cast<int>(*run.begin()), static_cast<int>(*run.rbegin()));
        m_book.removeEntries(run);
        endRemoveRows();
    }
    if (rowCount() > 0)
        emit dataChanged(index(0, NumberColumn), index(rowCount() - 1, NumberColumn));
}
