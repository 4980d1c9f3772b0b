#include "shell/launcherwindow.h"

#include "shell/commandlinefile.h"
#include "widgets/dialogunits.h"
#include "widgets/help.h"
#include "widgets/icons.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "widgets/widgets.h"

#include <QPainter>
#include <QPushButton>
#include <QStyle>

LauncherWindow::LauncherWindow(Services& services, LauncherActions actions,
                               const QStringList& arguments, QWidget* parent)
    : QDialog(parent),
      m_services(services),
      m_actions(std::move(actions)),
      m_arguments(arguments),
      m_appIcon(applicationIcon())
{
    setObjectName("launcherWindow");
    setWindowTitle("Orbiphon");
    // A main window of its own: in the task bar, with a minimise box and no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    const DialogUnits du(font());
    setFixedSize(du.size(136, 157));

    struct ButtonSpec {
        const char* name;
        const char* label;
        int top;
    };
    // Declared in the order the Tab key visits them.
    const ButtonSpec entries[] = {
        {"addressBookManagementButton", "Address Book Management", 8},
        {"addressBookUpgradeButton", "Address Book Upgrade", 28},
        {"fullFirmwareUpgradeButton", "Full Firmware Upgrade", 68},
        {"exitButton", "Exit", 128},
        {"helpButton", "Help", 108},
        {"addressBookDownloadButton", "Address Book Download", 48},
        {"codeFirmwareUpgradeButton", "Code Firmware Upgrade", 88},
    };
    QPushButton* previous = nullptr;
    for (const ButtonSpec& entry : entries) {
        auto* button = new QPushButton(QString::fromLatin1(entry.label), this);
        button->setObjectName(QString::fromLatin1(entry.name));
        button->setGeometry(du.rect(8, entry.top, 120, 15));
        if (previous)
            setTabOrder(previous, button);
        previous = button;
    }

    auto connectButton = [this](const char* name, auto slot) {
        connect(findChild<QPushButton*>(QString::fromLatin1(name)), &QPushButton::clicked, this,
                slot);
    };
    connectButton("addressBookManagementButton", [this] {
        if (m_actions.openAddressBook)
            m_actions.openAddressBook(QString());
    });
    connectButton("addressBookUpgradeButton", [this] { openAddressBookUpgrade(); });
    connectButton("addressBookDownloadButton", [this] {
        if (m_actions.openDownload)
            m_actions.openDownload();
    });
    connectButton("fullFirmwareUpgradeButton", [this] { openFirmwareUpgrade(true); });
    connectButton("codeFirmwareUpgradeButton", [this] { openFirmwareUpgrade(false); });
    connectButton("helpButton",
                  [this] { showHelp(this, m_services.prompts, m_services.helpFile); });
    connectButton("exitButton", [this] { accept(); });
}

void LauncherWindow::initialise()
{
    if (m_initialised)
        return;
    m_initialised = true;
    setWindowIcon(m_appIcon);

    std::vector<std::string> arguments;
    for (const QString& argument : m_arguments)
        arguments.push_back(toNativePath(argument));
    const CommandLineFile file = commandLineFile(arguments);
    const QString path = fromNativePath(file.path);
    switch (file.kind) {
    case CommandLineFileKind::None:
        if (m_actions.registerFileTypes)
            m_actions.registerFileTypes();
        break;
    case CommandLineFileKind::AddressBook:
        if (m_actions.openAddressBook)
            m_actions.openAddressBook(path);
        break;
    case CommandLineFileKind::GatewayList:
        m_pendingListPath = path;
        break;
    case CommandLineFileKind::Unrecognised:
        m_services.prompts.message(this, "Formato non riconosciuto!", Prompts::Icon::Warning);
        break;
    }
}

void LauncherWindow::setVisible(bool visible)
{
    // A book named on the command line is edited before the launcher ever appears.
    if (visible && !m_initialised)
        initialise();
    QDialog::setVisible(visible);
}

void LauncherWindow::paintEvent(QPaintEvent* event)
{
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    const int x = (width() - iconSize + 1) / 2;
    const int y = (height() - iconSize + 1) / 2;
    m_appIcon.paint(&painter, x, y, iconSize, iconSize);
}

void LauncherWindow::openAddressBookUpgrade()
{
    const QString book = m_services.prompts.openFile(this, addressBookFileOptions());
    if (book.isEmpty())
        return;
    UpgradeOptions options;
    options.mode = UpgradeMode::AddressBookUpgrade;
    options.sourcePath = book.toStdString();
    openUpgrade(std::move(options));
}

void LauncherWindow::openFirmwareUpgrade(bool fullFirmware)
{
    const QString folder =
        browseForFolder(m_services.prompts, this, QStringLiteral("Select the folder to upload"));
    if (folder.isEmpty())
        return;
    UpgradeOptions options;
    options.mode = UpgradeMode::FirmwareUpgrade;
    options.sourcePath = folder.toStdString();
    options.fullFirmware = fullFirmware;
    openUpgrade(std::move(options));
}

void LauncherWindow::openUpgrade(UpgradeOptions options)
{
    if (!m_pendingListPath.isEmpty())
        options.listPath = m_pendingListPath.toStdString();
    if (m_actions.openUpgrade)
        m_actions.openUpgrade(options);
}
