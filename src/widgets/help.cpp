#include "widgets/help.h"

#include "widgets/prompts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString topicAnchor()
{
    return QStringLiteral("topic%1").arg(HelpTopic);
}

bool isReadable(const QString& helpFile)
{
    if (helpFile.isEmpty() || !QFileInfo(helpFile).isFile())
        return false;
    QFile file(helpFile);
    return file.open(QIODevice::ReadOnly);
}

// The one viewer of the program, while it is open.
QPointer<QDialog>& openViewer()
{
    static QPointer<QDialog> viewer;
    return viewer;
}

QDialog* createViewer()
{
    // Owned by no window: the program's modal windows block only their own owners (runModal),
    // so the help can be read beside whichever window it explains, and it outlives the window
    // that asked for it.
    auto* window = new QDialog(nullptr, Qt::Window);
    window->setObjectName("helpWindow");
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setModal(false);
    window->setWindowTitle(QStringLiteral("%1 Help").arg(messageCaption()));
    window->resize(680, 600);

    auto* browser = new QTextBrowser(window);
    browser->setObjectName("helpViewer");
    browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    return window;
}

}  // namespace

QString defaultHelpFile()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + messageCaption() +
           QStringLiteral(".html");
}

void showHelp(QWidget* parent, Prompts& prompts, const QString& helpFile)
{
    if (!isReadable(helpFile)) {
        prompts.message(parent, QStringLiteral("Failed to launch help."), Prompts::Icon::Warning);
        return;
    }
    QDialog* window = openViewer();
    if (!window) {
        window = createViewer();
        openViewer() = window;
    }

    auto* browser = window->findChild<QTextBrowser*>("helpViewer");
    QUrl topic = QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    topic.setFragment(topicAnchor());
    browser->setSource(topic);
    browser->scrollToAnchor(topicAnchor());

    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

QDialog* helpViewer()
{
    return openViewer();
}

void closeHelp()
{
    delete openViewer();
}
