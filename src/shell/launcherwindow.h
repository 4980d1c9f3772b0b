#pragma once

#include "gatewaylist/upgrademode.h"

#include <QDialog>
#include <QIcon>
#include <QStringList>

#include <functional>

struct Services;

// How the launcher opens the work windows; main wires the real windows, tests record the calls.
struct LauncherActions {
    std::function<void(const QString& bookPath)> openAddressBook;  // empty path: no file
    std::function<void(const UpgradeOptions& options)> openUpgrade;
    std::function<void()> openDownload;
    std::function<void()> registerFileTypes;
};

class LauncherWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LauncherWindow)

public:
    // arguments: the command line after the program name, as the platform split it.
    LauncherWindow(Services& services, LauncherActions actions, const QStringList& arguments,
                   QWidget* parent = nullptr);

    // The command-line file rules and the file-type registration. Runs once, by itself when the
    // window is first shown and before it becomes visible; calling it earlier is allowed.
    void initialise();
    const QString& pendingListPath() const { return m_pendingListPath; }

    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void openAddressBookUpgrade();
    void openFirmwareUpgrade(bool fullFirmware);
    void openUpgrade(UpgradeOptions options);

    Services& m_services;
    LauncherActions m_actions;
    QStringList m_arguments;
    QString m_pendingListPath;
    QIcon m_appIcon;
    bool m_initialised = false;
};
