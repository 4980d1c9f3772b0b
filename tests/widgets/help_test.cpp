#include "widgets/help.h"

#include "support/scriptedprompts.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <memory>

namespace {

QDialog* helpWindowOf(QWidget* owner)
{
    return owner->findChild<QDialog*>("helpWindow", Qt::FindDirectChildrenOnly);
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

private slots:
    void helpFileLiesBesideTheExecutable();
    void unusableHelpFileShowsTheMessage_data();
    void unusableHelpFileShowsTheMessage();
    void opensAtTopic100InAWindowOwnedByTheCaller();
    void secondRequestReusesTheOpenViewer();
    void viewerCanBeUsedBesideAModalWorkWindow();
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
    QVERIFY(!helpWindowOf(&owner));
}

void HelpTest::opensAtTopic100InAWindowOwnedByTheCaller()
{
    QWidget owner;
    auto* field = new QWidget(&owner);
    ScriptedPrompts prompts;
    // Asked from a control: the viewer belongs to the control's window.
    showHelp(field, prompts, builtHelpFile());

    QVERIFY(prompts.records().empty());
    QDialog* window = helpWindowOf(&owner);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QVERIFY(window->isWindow());
    auto* viewer = window->findChild<QTextBrowser*>("helpViewer");
    QVERIFY(viewer);
    QCOMPARE(viewer->source().fragment(), QString("topic100"));
    QCOMPARE(viewer->source().toLocalFile(), builtHelpFile());
    QVERIFY(viewer->toPlainText().contains("Address Book Management"));
}

void HelpTest::secondRequestReusesTheOpenViewer()
{
    QWidget owner;
    ScriptedPrompts prompts;
    showHelp(&owner, prompts, builtHelpFile());
    QDialog* first = helpWindowOf(&owner);
    QVERIFY(first);
    auto* viewer = first->findChild<QTextBrowser*>("helpViewer");
    viewer->scrollToAnchor("settings");

    showHelp(&owner, prompts, builtHelpFile());
    QCOMPARE(owner.findChildren<QDialog*>("helpWindow").size(), 1);
    QCOMPARE(helpWindowOf(&owner), first);
    QCOMPARE(viewer->source().fragment(), QString("topic100"));

    // Closing the viewer destroys it; the next request opens a fresh one.
    first->close();
    QTRY_VERIFY(!helpWindowOf(&owner));
    showHelp(&owner, prompts, builtHelpFile());
    QVERIFY(helpWindowOf(&owner));
}

void HelpTest::viewerCanBeUsedBesideAModalWorkWindow()
{
    QDialog workWindow;
    ScriptedPrompts prompts;
    bool ranInsideTheModalLoop = false;
    QDialog* helpWindow = nullptr;
    QTimer::singleShot(0, &workWindow, [&] {
        ranInsideTheModalLoop = QApplication::activeModalWidget() == &workWindow;
        showHelp(&workWindow, prompts, builtHelpFile());
        helpWindow = helpWindowOf(&workWindow);
        workWindow.accept();
    });
    workWindow.exec();
    QVERIFY(ranInsideTheModalLoop);
    QVERIFY(helpWindow);
    // A window whose parent is the modal window is exempt from its modality.
    QCOMPARE(helpWindow->parentWidget(), &workWindow);
    QVERIFY(!helpWindow->isModal());
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
