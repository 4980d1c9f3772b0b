#pragma once

#include "addressbook/addressbook.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct Services;
class IpAddressEdit;
class QAction;
class QLineEdit;
class AddressBookTableModel;
class QTreeView;
class TelephoneEdit;

class AddressBookWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddressBookWindow)

public:
    // With a path, the book is read from that file as the window opens.
    explicit AddressBookWindow(Services& services, const QString& filePath = {},
                               QWidget* parent = nullptr);
    ~AddressBookWindow() override;

    const AddressBook& book() const { return m_model; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createControls();

    void newBook();
    void openBook();
    void saveBook();
    void addRecord();
    void modifyRecord();
    void deleteRecords();
    void resetFields();
    void exitWindow();
    void showAbout();
    void showHelpTopic();
    void selectionChanged();

    // Copies the telephone and the three port fields into the state; false (after the message,
    // with the focus on the offending field) when one of them would not do.
    bool takeFields();
    void showFields();
    void setColumnWidths();

    // Shows the message for a refused edit; true when the edit was made.
    bool editMade(EditResult result);
    void readFile(const QString& path);
    void reportFileError(FileError error, const QString& path);
    void showBookFields();
    // The list takes the room the window gains; everything else keeps its place.
    void placeList();
    std::optional<std::size_t> firstSelectedRow() const;

    Services& m_services;
    AddressBook m_model;
    AddressBookTableModel* m_table = nullptr;

    // The state behind the text fields; the gateway ports live in the book.
    std::string m_telephone;
    std::uint32_t m_recordPort = DefaultPort;

    QAction* m_newAction = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_addAction = nullptr;
    QAction* m_modifyAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QAction* m_resetFieldsAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_aboutAction = nullptr;

    IpAddressEdit* m_recordAddress = nullptr;
    TelephoneEdit* m_telephoneEdit = nullptr;
    QLineEdit* m_recordPortEdit = nullptr;
    std::array<IpAddressEdit*, 2> m_gatewayAddress{};
    std::array<QLineEdit*, 2> m_gatewayPortEdit{};
    QWidget* m_content = nullptr;
    QWidget* m_toolBar = nullptr;
    QTreeView* m_view = nullptr;
};
