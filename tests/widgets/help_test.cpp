#include "widgets/help.h"

#include "widgets/widgets.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QMessageBox>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <memory>

namespace {

int helpWindowCount()
{
    int count = 0;
    for (const QWidget* window : QApplication::topLevelWidgets())
        count += window->objectName() == QLatin1String("helpWindow") ? 1 : 0;
    return count;
}

// Follows whether a modal window holds the watched window blocked.
class BlockWatch final : public QObject {
public:
    bool blocked = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowBlocked)
            blocked = true;
        else if (event->type() == QEvent::WindowUnblocked)
            blocked = false;
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeHelp(); }
    void helpFileLiesBesideTheExecutable();
    void unusableHelpFileShowsTheMessage_data();
    void unusableHelpFileShowsTheMessage();
    void opensAtTopic100InAWindowOfItsOwn();
    void everyRequestRaisesTheOneViewer();
    void viewerIsNeverBlockedByAModalWindow();
    void helpExplainsEveryWindowAndCommand_data();
    void helpExplainsEveryWindowAndCommand();
};

void HelpTest::helpFileLiesBesideTheExecutable()
{
    QCOMPARE(defaultHelpFile(),
             QCoreApplication::applicationDirPath() + QStringLiteral("/test_widgets_help.html"));
    QVERIFY2(QFile::exists(builtHelpFile()), qPrintable(builtHelpFile()));
}

void HelpTest::unusableHelpFileShowsTheMessage_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("missing") << "missing/Orbiphon.html";
    QTest::newRow("a folder") << "folder.html";
    QTest::newRow("no name at all") << "";
}

void HelpTest::unusableHelpFileShowsTheMessage()
{
    QFETCH(QString, file);
    TempDir dir;
    QVERIFY(QDir().mkpath(QString::fromStdString(dir.file("folder.html"))));
    const QString path = file.isEmpty() ? QString() : QString::fromStdString(dir.file(file.toStdString()));

    QWidget owner;
    ScriptedPrompts prompts;
    showHelp(&owner, prompts, path);
    QCOMPARE(prompts.messages(), QStringList{"Failed to launch help."});
    QCOMPARE(prompts.lastMessage()->icon, Prompts::Icon::Warning);
    QCOMPARE(prompts.lastMessage()->parent, &owner);
    QVERIFY(!helpViewer());
}

void HelpTest::opensAtTopic100InAWindowOfItsOwn()
{
    QWidget owner;
    auto* field = new QWidget(&owner);
    ScriptedPrompts prompts;
    showHelp(field, prompts, builtHelpFile());

    QVERIFY(prompts.records().empty());
    QDialog* window = helpViewer();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QVERIFY(window->isWindow());
    // No window owns it: it outlives the one that asked.
    QVERIFY(!window->parentWidget());
    auto* viewer = window->findChild<QTextBrowser*>("helpViewer");
    QVERIFY(viewer);
    QCOMPARE(viewer->source().fragment(), QString("topic100"));
    QCOMPARE(viewer->source().toLocalFile(), builtHelpFile());
    QVERIFY(viewer->toPlainText().contains("Address Book Management"));
}

void HelpTest::everyRequestRaisesTheOneViewer()
{
    QWidget launcher;
    QWidget workWindow;
    ScriptedPrompts prompts;
    showHelp(&launcher, prompts, builtHelpFile());
    QDialog* first = helpViewer();
    QVERIFY(first);
    auto* viewer = first->findChild<QTextBrowser*>("helpViewer");
    viewer->scrollToAnchor("settings");
    first->showMinimized();

    // Asked again, from another window: the same viewer, back at topic 100 and on screen.
    showHelp(&workWindow, prompts, builtHelpFile());
    QCOMPARE(helpWindowCount(), 1);
    QCOMPARE(helpViewer(), first);
    QCOMPARE(viewer->source().fragment(), QString("topic100"));
    QVERIFY(first->isVisible());
    QVERIFY(!first->isMinimized());

    // Closing the viewer destroys it; the next request opens a fresh one.
    first->close();
    QTRY_VERIFY(!helpViewer());
    QTRY_COMPARE(helpWindowCount(), 0);
    showHelp(&launcher, prompts, builtHelpFile());
    QVERIFY(helpViewer());
    QCOMPARE(helpWindowCount(), 1);
}

void HelpTest::viewerIsNeverBlockedByAModalWindow()
{
    QDialog launcher;
    launcher.show();
    ScriptedPrompts prompts;
    showHelp(&launcher, prompts, builtHelpFile());
    QDialog* viewer = helpViewer();
    QVERIFY(viewer);
    BlockWatch viewerWatch;
    BlockWatch launcherWatch;
    viewer->installEventFilter(&viewerWatch);
    launcher.installEventFilter(&launcherWatch);

    // A work window over the launcher, and a message box over the work window, as the
    // program runs them.
    QDialog workWindow(&launcher);
    bool launcherBlocked = false;
    bool blockedByWorkWindow = true;
    bool blockedByMessage = true;
    QDialog* viewerAskedFromWorkWindow = nullptr;
    QTimer::singleShot(0, &workWindow, [&] {
        launcherBlocked = launcherWatch.blocked;
        blockedByWorkWindow = viewerWatch.blocked;
        showHelp(&workWindow, prompts, builtHelpFile());
        viewerAskedFromWorkWindow = helpViewer();
        QTimer::singleShot(0, [&] {
            blockedByMessage = viewerWatch.blocked;
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->accept();
        });
        QtPrompts real;
        real.message(&workWindow, QStringLiteral("Orbiphon not found!"), Prompts::Icon::Warning);
        workWindow.accept();
    });
    runModal(workWindow);

    QVERIFY(launcherBlocked);
    QVERIFY(!blockedByWorkWindow);
    QVERIFY(!blockedByMessage);
    QCOMPARE(viewerAskedFromWorkWindow, viewer);
    QCOMPARE(helpWindowCount(), 1);
}

void HelpTest::helpExplainsEveryWindowAndCommand_data()
{
    QTest::addColumn<QString>("subject");
    for (const char* subject :
         {"The launcher", "Address Book Management", "Address Book Upgrade",
          "Full Firmware Upgrade", "Code Firmware Upgrade", "Address Book Download",
          "Check connections", "Upgrade selection", "Upgrade list", "Reset fields",
          "status images", "Not reachable", "FTP failed", "Orbiphon.ini", "[RemoveFromRFA]",
          "[RemoveFromDoc]", "[RemoveFromImages]", "[RemoveFromUser]", "[PutList]", "NVRAM.TXT",
          ".cpe", ".obl", "CPE.AddressBook", "CPE.OrbiphonList", "Formato non riconosciuto!",
          "Failed to launch help.", "Orbiphon not found!", "FTP failure!"})
        QTest::newRow(subject) << QString::fromLatin1(subject);
}

void HelpTest::helpExplainsEveryWindowAndCommand()
{
    QFETCH(QString, subject);
    static const QString text = [] {
        QTextBrowser browser;
        browser.setSource(QUrl::fromLocalFile(builtHelpFile()));
        return browser.toPlainText();
    }();
    QVERIFY2(text.contains(subject, Qt::CaseInsensitive), qPrintable(subject));
}

QTEST_MAIN(HelpTest)
#include "help_test.moc"
