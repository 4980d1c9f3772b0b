#include "widgets/help.h"

#include "widgets/prompts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
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

QDialog* createViewer(QWidget* owner)
{
    // A window of its own, but owned by the caller: a modal work window does not block it, so
    // the help can be read beside the window it explains.
    auto* window = new QDialog(owner, Qt::Window);
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
    QWidget* owner = parent ? parent->window() : nullptr;
    QDialog* window =
        owner ? owner->findChild<QDialog*>("helpWindow", Qt::FindDirectChildrenOnly) : nullptr;
    if (!window)
        window = createViewer(owner);

    auto* browser = window->findChild<QTextBrowser*>("helpViewer");
    QUrl topic = QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    topic.setFragment(topicAnchor());
    browser->setSource(topic);
    browser->scrollToAnchor(topicAnchor());

    window->show();
    window->raise();
    window->activateWindow();
}
