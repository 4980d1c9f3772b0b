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
#include "transfer/transfersettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <atomic>
#include <thread>

namespace {

QPushButton* button(const char* name, const QString& text, QWidget* parent)
{
    auto* pushButton = new QPushButton(text, parent);
    pushButton->setObjectName(QString::fromLatin1(name));
    pushButton->setAutoDefault(false);
    return pushButton;
}

} // namespace

// One download on a thread of its own, so that the window's thread never waits for it.
struct DownloadWindow::Run {
    explicit Run(DownloadWindow& window)
        : waiter(window.m_services.prompts, &window,
                 QStringLiteral("Stop the download? The local file stays as it was.")),
          progress(waiter, *window.m_progress)
    {
    }

    WindowWaiter waiter;
    WindowThreadProgress progress;
    QPointer<QWidget> focus;  // where the operator was when the commands went off
    bool fetching = false;  // window thread only: the Stop question is asked from then on
    std::atomic<bool> ended = false;
    std::thread thread;
};

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
    m_commands = {m_address, m_userId, m_password, reset};

    QPushButton* downloadButton = button("downloadButton", QStringLiteral("Download"), this);
    downloadButton->setGeometry(du.rect(120, 80, 50, 15));
    connect(downloadButton, &QPushButton::clicked, this, &DownloadWindow::download);
    m_commands.push_back(downloadButton);

    QPushButton* cancel = button("cancelButton", QStringLiteral("Cancel"), this);
    cancel->setGeometry(du.rect(180, 80, 50, 15));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_commands.push_back(cancel);

    m_progress = new ProgressWindow(this);
    m_progress->setObjectName(QStringLiteral("progressWindow"));
    m_progress->installEventFilter(this);
}

DownloadWindow::~DownloadWindow()
{
    if (!m_run)
        return;
    // Going away mid-download: the transfer stops, and its thread ends first (it may be
    // handing something over to this thread meanwhile).
    m_closing = true;
    m_run->waiter.requestStop();
    while (!m_run->ended)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    m_run->thread.join();
    m_run.reset();
    setBusy(false);
}

void DownloadWindow::keyPressEvent(QKeyEvent* event)
{
    // While a download runs, keys wait for nothing: Escape asks whether to stop it.
    if (m_run) {
        if (event->key() == Qt::Key_Escape)
            askToStop();
        return;
    }
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

void DownloadWindow::reject()
{
    if (m_run)
        askToStop();
    else
        QDialog::reject();
}

void DownloadWindow::closeEvent(QCloseEvent* event)
{
    if (!m_run) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    askToStop();
}

bool DownloadWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Escape and the close box of the progress window ask whether to stop the download.
    if (watched == m_progress && m_run) {
        if (event->type() == QEvent::Close) {
            event->ignore();
            askToStop();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            askToStop();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DownloadWindow::askToStop()
{
    // The probe takes a second at most: only the transfer is worth a question.
    if (m_run && m_run->fetching)
        m_run->waiter.askToStop();
}

void DownloadWindow::setBusy(bool busy)
{
    if (busy && !m_busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!busy && m_busy)
        QApplication::restoreOverrideCursor();
    m_busy = busy;
}

void DownloadWindow::download()
{
    if (m_run)
        return;
    const std::string userId = toFileText(m_userId->text());
    const std::string password = toFileText(m_password->text());
    const std::string address = formatIpText(m_address->octets());

    m_run = std::make_unique<Run>(*this);
    m_run->focus = QApplication::focusWidget();
    for (QWidget* command : m_commands)
        command->setEnabled(false);
    // Busy from the press on: the probe alone may take a second.
    setBusy(true);
    Run& run = *m_run;
    run.thread = std::thread([this, &run, address, userId, password] {
        work(run, address, userId, password);
        run.ended = true;
        QMetaObject::invokeMethod(this, "finishDownload", Qt::QueuedConnection);
    });
}

void DownloadWindow::work(Run& run, const std::string& address, const std::string& userId,
                          const std::string& password)
{
    const ProbeSettings probe = transferSettingsFrom(m_services.settings).probe;
    const bool found =
        probeWithSettings(m_services.prober, address, probe) == ProbeResult::Answered;
    std::string localName;
    run.waiter.runOnWindowThread([&] { localName = chooseTarget(run, found); });
    if (localName.empty())
        return;
    // While the Stop question is open, the book that has arrived waits: on Yes the local file
    // stays as it was.
    TransferContext context{m_services.prober, m_services.ftp, run.progress, m_services.ftpPort,
                            &run.waiter.stopFlag(), [&run] { return run.waiter.mayGoOn(); },
                            probe};
    // The failure is told while the progress window still stands; the transfer hides it after.
    // A download the operator stopped needs no message.
    downloadAddressBook(context, address, userId, password, localName, [this, &run] {
        if (run.waiter.stopFlag())
            return;
        run.waiter.runOnWindowThread([this] {
            if (m_closing)
                return;
            setBusy(false);
            m_services.prompts.message(this, QStringLiteral("FTP failure!"));
            setBusy(true);
        });
    });
}

std::string DownloadWindow::chooseTarget(Run& run, bool found)
{
    // Every question and message is asked with the normal cursor.
    setBusy(false);
    if (m_closing)
        return {};
    if (!found) {
        m_services.prompts.message(this, QStringLiteral("Orbiphon not found!"));
        return {};
    }
    const QString localPath =
        m_services.prompts.saveFile(this, addressBookFileOptions(QStringLiteral("cpe")));
    if (localPath.isEmpty() || m_closing)
        return {};
    // A protected file, a folder, a pipe or a device is refused before anything is fetched.
    std::string localName = localPath.toStdString();
    if (const FileError refused = checkSaveTarget(localName); refused != FileError::None) {
        m_services.prompts.message(this, QString::fromStdString(fileErrorText(refused, localName)),
                                   Prompts::Icon::Stop);
        return {};
    }
    run.fetching = true;
    setBusy(true);
    return localName;
}

void DownloadWindow::finishDownload()
{
    if (!m_run || m_closing)
        return;
    m_run->thread.join();
    const QPointer<QWidget> focus = m_run->focus;
    m_run.reset();
    setBusy(false);
    for (QWidget* command : m_commands)
        command->setEnabled(true);
    if (focus)
        focus->setFocus();
    emit downloadEnded();
}
