#include "transfer/downloadwindow.h"

#include "base/atomicfile.h"
#include "widgets/dialogunits.h"
#include "widgets/icons.h"
#include "widgets/ipaddressedit.h"
#include "widgets/progresswindow.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "widgets/widgets.h"
#include "widgets/windowwaiter.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/probe.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QPushButton* button(const char* name, const QString& text, QWidget* parent)
{
    auto* pushButton = new QPushButton(text, parent);
    pushButton->setObjectName(QString::fromLatin1(name));
    pushButton->setAutoDefault(false);
    return pushButton;
}

} // namespace

DownloadWindow::DownloadWindow(Services& services, QWidget* parent)
    : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("downloadWindow"));
    setWindowTitle(QStringLiteral("Download"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(applicationIcon());

    const DialogUnits du(font());
    setFixedSize(du.size(242, 106));

    auto* group = new QGroupBox(QStringLiteral("FTP"), this);
    group->setObjectName(QStringLiteral("ftpGroup"));
    group->setGeometry(du.rect(5, 5, 230, 65));

    sunkenLabel("addressLabel", QStringLiteral("IP Address"), du.rect(16, 21, 44, 15), this);
    m_address = new IpAddressEdit(m_services.prompts, this);
    m_address->setObjectName(QStringLiteral("addressEdit"));
    m_address->setGeometry(du.rect(65, 21, 105, 15));

    sunkenLabel("userIdLabel", QStringLiteral("User ID"), du.rect(15, 45, 45, 15), this);
    m_userId = new QLineEdit(this);
    m_userId->setObjectName(QStringLiteral("userIdEdit"));
    m_userId->setAlignment(Qt::AlignCenter);
    m_userId->setGeometry(du.rect(65, 45, 50, 15));

    sunkenLabel("passwordLabel", QStringLiteral("Password"), du.rect(125, 45, 45, 15), this);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setAlignment(Qt::AlignCenter);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setGeometry(du.rect(175, 45, 50, 15));

    QPushButton* reset = button("resetFieldsButton", QStringLiteral("Reset fields"), this);
    reset->setGeometry(du.rect(175, 21, 50, 15));
    connect(reset, &QPushButton::clicked, this, &DownloadWindow::resetFields);

    QPushButton* downloadButton = button("downloadButton", QStringLiteral("Download"), this);
    downloadButton->setGeometry(du.rect(120, 80, 50, 15));
    connect(downloadButton, &QPushButton::clicked, this, &DownloadWindow::download);

    QPushButton* cancel = button("cancelButton", QStringLiteral("Cancel"), this);
    cancel->setGeometry(du.rect(180, 80, 50, 15));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_progress = new ProgressWindow(this);
    m_progress->setObjectName(QStringLiteral("progressWindow"));
}

void DownloadWindow::keyPressEvent(QKeyEvent* event)
{
    // Enter closes the window like Cancel, whatever has the focus: it never starts a download.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

void DownloadWindow::resetFields()
{
    m_address->clear();
    m_userId->clear();
    m_password->clear();
}

void DownloadWindow::download()
{
    const std::string userId = toFileText(m_userId->text());
    const std::string password = toFileText(m_password->text());
    const std::string address = formatIpText(m_address->octets());

    // Busy from the press on: the probe alone may hold the window for a second. Every question
    // and message is asked with the normal cursor. The probe and the transfer run aside, so the
    // window keeps painting and answering the desktop meanwhile.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool found = false;
    {
        WindowWaiter waiter(m_services.prompts, {this}, QString());
        found = runAside(waiter, [&] { return m_services.prober.probe(address, ProbeTimeoutMs); });
    }
    QApplication::restoreOverrideCursor();
    if (!found) {
        m_services.prompts.message(this, QStringLiteral("Orbiphon not found!"));
        return;
    }
    const QString localPath =
        m_services.prompts.saveFile(this, addressBookFileOptions(QStringLiteral("cpe")));
    if (localPath.isEmpty())
        return;
    // A protected file, a folder, a pipe or a device is refused before anything is fetched.
    const std::string localName = localPath.toStdString();
    if (const FileError refused = checkSaveTarget(localName); refused != FileError::None) {
        m_services.prompts.message(this, QString::fromStdString(fileErrorText(refused, localName)),
                                   Prompts::Icon::Stop);
        return;
    }

    WindowWaiter waiter(m_services.prompts, {this, m_progress},
                        QStringLiteral("Stop the download? The local file stays as it was."));
    WindowThreadProgress progress(waiter, *m_progress);
    // While the Stop question is open, the book that has arrived waits: on Yes the local file
    // stays as it was.
    TransferContext context{m_services.prober, m_services.ftp, progress, m_services.ftpPort,
                            &waiter.stopFlag(), [&waiter] { return waiter.mayGoOn(); }};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The failure is told while the progress window still stands; the transfer hides it after.
    // A download the operator stopped needs no message.
    runAside(waiter, [&] {
        return downloadAddressBook(context, address, userId, password, localName, [&] {
            if (waiter.stopFlag())
                return;
            waiter.runOnWindowThread([this] {
                QApplication::restoreOverrideCursor();
                m_services.prompts.message(this, QStringLiteral("FTP failure!"));
                QApplication::setOverrideCursor(Qt::WaitCursor);
            });
        });
    });
    QApplication::restoreOverrideCursor();
}
