#pragma once

#include "addressbook/addressbook.h"

#include <QAbstractTableModel>

#include <functional>
#include <set>

// The entries of Address Book Management as its list shows them. Every change of the entries
// goes through here, so the list hears of it.
class AddressBookTableModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddressBookTableModel)

public:
    enum Column { NumberColumn, AddressColumn, PortColumn, TelephoneColumn, ColumnCount };

    explicit AddressBookTableModel(AddressBook& book, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Every entry replaced by change (a file read, a new book).
    void resetWith(const std::function<void()>& change);
    EditResult addEntry(std::size_t position, const IpAddressInput& address,
                        const std::string& telephone);
    EditResult replaceEntry(std::size_t index, const IpAddressInput& address,
                            const std::string& telephone);
    void removeEntries(const std::set<std::size_t>& indexes);

private:
    AddressBook& m_book;
};
