#pragma once

#include "addressbook/addressbook.h"

#include <QDialog>

struct Services;

class AddressBookWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddressBookWindow)

public:
    // With a path, the book is read from that file as the window opens.
    explicit AddressBookWindow(Services& services, const QString& filePath = {},
                               QWidget* parent = nullptr);

    const AddressBook& book() const { return m_book; }

private:
    Services& m_services;
    AddressBook m_book;
};
