#include "shell/launcherwindow.h"

#include "widgets/dialogunits.h"
#include "widgets/help.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "support/fakeftp.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <memory>

namespace {

struct ButtonSpec {
    const char* name;
    const char* label;
    int top;
};

// Top to bottom, as the operator sees them.
const ButtonSpec Buttons[] = {
    {"addressBookManagementButton", "Address Book Management", 8},
    {"addressBookUpgradeButton", "Address Book Upgrade", 28},
    {"addressBookDownloadButton", "Address Book Download", 48},
    {"fullFirmwareUpgradeButton", "Full Firmware Upgrade", 68},
    {"codeFirmwareUpgradeButton", "Code Firmware Upgrade", 88},
    {"helpButton", "Help", 108},
    {"exitButton", "Exit", 128},
};

QString describe(const UpgradeOptions& options)
{
    return QStringLiteral("upgrade(%1,%2,%3,%4)")
        .arg(options.mode == UpgradeMode::AddressBookUpgrade ? "book" : "firmware")
        .arg(QString::fromStdString(options.sourcePath))
        .arg(options.fullFirmware ? "full" : "code")
        .arg(QString::fromStdString(options.listPath));
}

}  // namespace

class LauncherWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void commandLineFile_data();
    void commandLineFile();
    void commandLineFifoDoesNotStallTheStart();
    void bookOpensBeforeTheLauncherShows();
    void unknownFormatMessageComesBeforeTheLauncherShows();
    void initialisationRunsOnce();
    void layoutLabelsAndTabOrder();
    void managementAndDownloadButtons();
    void addressBookUpgradeAsksForTheBook_data();
    void addressBookUpgradeAsksForTheBook();
    void firmwareUpgradesAskForTheFolder_data();
    void firmwareUpgradesAskForTheFolder();
    void pendingListGoesToEveryUpgradeWindow();
    void helpButton();
    void exitEscapeAndCloseEndTheLauncher_data();
    void exitEscapeAndCloseEndTheLauncher();
    void minimisedLauncherDrawsItsIcon();

private:
    std::unique_ptr<LauncherWindow> makeLauncher(const QStringList& arguments);
    QPushButton* button(const char* name) const
    {
        return m_launcher->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QString dirPath() const { return QString::fromStdString(m_dir->path()); }

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    FakeProber m_prober;
    FakeFtp m_ftp;
    SettingsFile m_settings;
    std::unique_ptr<Services> m_services;
    std::unique_ptr<LauncherWindow> m_launcher;
    QStringList m_calls;
    bool m_launcherVisibleAtBook = true;
};

void LauncherWindowTest::init()
{
    m_dir = std::make_unique<TempDir>();
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_services = std::unique_ptr<Services>(
        new Services{*m_prompts, m_prober, m_ftp, m_settings, builtHelpFile()});
    m_calls.clear();
    m_launcherVisibleAtBook = true;
}

void LauncherWindowTest::cleanup()
{
    m_launcher.reset();
    m_services.reset();
    m_prompts.reset();
    m_dir.reset();
}

std::unique_ptr<LauncherWindow> LauncherWindowTest::makeLauncher(const QStringList& arguments)
{
    LauncherActions actions;
    actions.openAddressBook = [this](const QString& path) {
        m_calls << QStringLiteral("book(%1)").arg(path);
        m_launcherVisibleAtBook = m_launcher && m_launcher->isVisible();
    };
    actions.openUpgrade = [this](const UpgradeOptions& options) { m_calls << describe(options); };
    actions.openDownload = [this] { m_calls << "download"; };
    actions.registerFileTypes = [this] { m_calls << "register"; };
    return std::make_unique<LauncherWindow>(*m_services, actions, arguments);
}

void LauncherWindowTest::commandLineFile_data()
{
    QTest::addColumn<QStringList>("files");  // created in the temporary folder; "name/" a folder
    QTest::addColumn<QStringList>("arguments");  // %d stands for the temporary folder
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("pendingList");

    const QStringList none;
    QTest::newRow("no file: the file types are registered")
        << none << none << QStringList{"register"} << none << QString();
    QTest::newRow("quoted path with spaces is one path")
        << QStringList{"My Books/Main Office.cpe"} << QStringList{"\"%d/My Books/Main Office.cpe\""}
        << QStringList{"book(%d/My Books/Main Office.cpe)"} << none << QString();
    QTest::newRow("split arguments are joined with one space")
        << QStringList{"My Books/Main Office.cpe"} << QStringList{"%d/My", "Books/Main", "Office.cpe"}
        << QStringList{"book(%d/My Books/Main Office.cpe)"} << none << QString();
    QTest::newRow("quotes inside the text are removed too")
        << QStringList{"book.cpe"} << QStringList{"%d/bo\"o\"k.cpe\""}
        << QStringList{"book(%d/book.cpe)"} << none << QString();
    QTest::newRow("two files named are no file")
        << QStringList{"a.cpe", "b.cpe"} << QStringList{"%d/a.cpe", "%d/b.cpe"}
        << QStringList{"register"} << none << QString();
    QTest::newRow("book.Cpe is an address book")
        << QStringList{"book.Cpe"} << QStringList{"%d/book.Cpe"}
        << QStringList{"book(%d/book.Cpe)"} << none << QString();
    QTest::newRow("a dotted folder gives the folder's extension")
        << QStringList{"data.old/book"} << QStringList{"%d/data.old/book"} << none
        << QStringList{"Formato non riconosciuto!"} << QString();
    QTest::newRow("another extension")
        << QStringList{"notes.txt"} << QStringList{"%d/notes.txt"} << none
        << QStringList{"Formato non riconosciuto!"} << QString();
    QTest::newRow("a gateway list is remembered")
        << QStringList{"sites.obl"} << QStringList{"%d/sites.obl"} << none << none
        << QString("%d/sites.obl");
    QTest::newRow("a gateway list in capitals")
        << QStringList{"SITES.OBL"} << QStringList{"%d/SITES.OBL"} << none << none
        << QString("%d/SITES.OBL");
    QTest::newRow("the full path is made from a relative one")
        << QStringList{"book.cpe"} << QStringList{"book.cpe"} << QStringList{"book(%d/book.cpe)"}
        << none << QString();
    QTest::newRow("dot-dot in the path is resolved")
        << QStringList{"sub/", "book.cpe"} << QStringList{"%d/sub/../book.cpe"}
        << QStringList{"book(%d/book.cpe)"} << none << QString();
    QTest::newRow("a missing file is no file")
        << none << QStringList{"%d/gone.cpe"} << QStringList{"register"} << none << QString();
    QTest::newRow("a folder is no file")
        << QStringList{"folder.cpe/"} << QStringList{"%d/folder.cpe"} << QStringList{"register"}
        << none << QString();
    QTest::newRow("only quotes is no file")
        << none << QStringList{"\"\""} << QStringList{"register"} << none << QString();
}

void LauncherWindowTest::commandLineFile()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, messages);
    QFETCH(QString, pendingList);

    for (const QString& file : files) {
        if (file.endsWith('/'))
            QVERIFY(QDir().mkpath(dirPath() + "/" + file));
        else
            m_dir->write(file.toStdString(), "bytes");
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dirPath());
    auto fill = [this](QStringList list) {
        for (QString& item : list)
            item.replace("%d", dirPath());
        return list;
    };

    m_launcher = makeLauncher(fill(arguments));
    m_launcher->initialise();
    QDir::setCurrent(previous);

    QCOMPARE(m_calls, fill(calls));
    QCOMPARE(m_prompts->messages(), messages);
    QCOMPARE(m_launcher->pendingListPath(), fill({pendingList}).first());
    for (const ScriptedPrompts::Record& record : m_prompts->records()) {
        QCOMPARE(record.icon, Prompts::Icon::Warning);
        QCOMPARE(record.caption, QString("test_shell_launcherwindow"));
    }
}

void LauncherWindowTest::commandLineFifoDoesNotStallTheStart()
{
    const QString fifo = dirPath() + "/pipe.cpe";
    QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    m_launcher = makeLauncher({fifo});
    m_launcher->initialise();
    QCOMPARE(m_calls, QStringList{"register"});
}

void LauncherWindowTest::bookOpensBeforeTheLauncherShows()
{
    const QString book = QString::fromStdString(m_dir->write("book.cpe", "x"));
    m_launcher = makeLauncher({book});
    QVERIFY(!m_launcher->isVisible());
    // Showing the launcher runs its initialisation first, as the start-up does.
    QTimer::singleShot(0, m_launcher.get(), [this] { m_launcher->accept(); });
    m_launcher->exec();
    QCOMPARE(m_calls, QStringList{"book(" + book + ")"});
    QVERIFY(!m_launcherVisibleAtBook);
}

void LauncherWindowTest::unknownFormatMessageComesBeforeTheLauncherShows()
{
    const QString file = QString::fromStdString(m_dir->write("photo.png", "x"));
    bool visibleAtMessage = true;
    m_prompts->onPrompt = [&](const ScriptedPrompts::Record&) {
        visibleAtMessage = m_launcher->isVisible();
    };
    m_launcher = makeLauncher({file});
    m_launcher->show();
    QVERIFY(m_launcher->isVisible());
    QCOMPARE(m_prompts->messages(), QStringList{"Formato non riconosciuto!"});
    QVERIFY(!visibleAtMessage);
    QVERIFY(m_calls.isEmpty());
}

void LauncherWindowTest::initialisationRunsOnce()
{
    m_launcher = makeLauncher({});
    m_launcher->initialise();
    m_launcher->show();
    m_launcher->hide();
    m_launcher->show();
    QCOMPARE(m_calls, QStringList{"register"});
    QVERIFY(!m_launcher->windowIcon().isNull());
}

void LauncherWindowTest::layoutLabelsAndTabOrder()
{
    m_launcher = makeLauncher({});
    const DialogUnits du(m_launcher->font());
    QCOMPARE(m_launcher->windowTitle(), QString("Orbiphon"));
    QCOMPARE(m_launcher->size(), du.size(136, 157));
    QCOMPARE(m_launcher->minimumSize(), m_launcher->maximumSize());
    const Qt::WindowFlags flags = m_launcher->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);

    for (const ButtonSpec& entry : Buttons) {
        QPushButton* b = button(entry.name);
        QVERIFY2(b, entry.name);
        QCOMPARE(b->text(), QString::fromLatin1(entry.label));
        QCOMPARE(b->geometry(), du.rect(8, entry.top, 120, 15));
        QVERIFY(!b->isDefault());
        QVERIFY(b->isEnabled());
    }

    const char* const tabOrder[] = {"addressBookManagementButton", "addressBookUpgradeButton",
                                    "fullFirmwareUpgradeButton",   "exitButton",
                                    "helpButton",                  "addressBookDownloadButton",
                                    "codeFirmwareUpgradeButton"};
    m_launcher->show();
    QVERIFY(QTest::qWaitForWindowActive(m_launcher.get()));
    button(tabOrder[0])->setFocus();
    for (const char* expected : tabOrder) {
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(expected));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromLatin1(tabOrder[0]));
}

void LauncherWindowTest::managementAndDownloadButtons()
{
    m_launcher = makeLauncher({});
    m_launcher->initialise();
    m_calls.clear();
    QTest::mouseClick(button("addressBookManagementButton"), Qt::LeftButton);
    QTest::mouseClick(button("addressBookDownloadButton"), Qt::LeftButton);
    QCOMPARE(m_calls, (QStringList{"book()", "download"}));
    QVERIFY(m_prompts->records().empty());
}

void LauncherWindowTest::addressBookUpgradeAsksForTheBook_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("a book chosen") << "/books/Addrbook.cpe"
                                   << QStringList{"upgrade(book,/books/Addrbook.cpe,code,)"};
    QTest::newRow("cancelled: nothing opens") << "" << QStringList{};
}

void LauncherWindowTest::addressBookUpgradeAsksForTheBook()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, calls);
    m_launcher = makeLauncher({});
    m_prompts->answerOpenFile(answer);
    QTest::mouseClick(button("addressBookUpgradeButton"), Qt::LeftButton);

    QCOMPARE(m_calls, calls);
    QCOMPARE(m_prompts->records().size(), std::size_t{1});
    const ScriptedPrompts::Record& asked = m_prompts->records().front();
    QCOMPARE(asked.kind, ScriptedPrompts::Kind::OpenFile);
    QCOMPARE(asked.options.initialName, QString("Addrbook.cpe"));
    QCOMPARE(asked.options.filter, QString("Orbiphon Address Book (*.cpe)"));
    QCOMPARE(asked.options.defaultSuffix, QString());
    QCOMPARE(asked.parent, m_launcher.get());
}

void LauncherWindowTest::firmwareUpgradesAskForTheFolder_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("full") << "fullFirmwareUpgradeButton" << "/firmware/2.3"
                          << QStringList{"upgrade(firmware,/firmware/2.3,full,)"};
    QTest::newRow("code") << "codeFirmwareUpgradeButton" << "/firmware/2.3"
                          << QStringList{"upgrade(firmware,/firmware/2.3,code,)"};
    QTest::newRow("full cancelled") << "fullFirmwareUpgradeButton" << "" << QStringList{};
    QTest::newRow("code cancelled") << "codeFirmwareUpgradeButton" << "" << QStringList{};
}

void LauncherWindowTest::firmwareUpgradesAskForTheFolder()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, answer);
    QFETCH(QStringList, calls);
    m_launcher = makeLauncher({});
    m_prompts->answerFolder(answer);
    QTest::mouseClick(button(qPrintable(buttonName)), Qt::LeftButton);

    QCOMPARE(m_calls, calls);
    QCOMPARE(m_prompts->records().size(), std::size_t{1});
    QCOMPARE(m_prompts->records().front().kind, ScriptedPrompts::Kind::Folder);
    QCOMPARE(m_prompts->records().front().text, QString("Select the folder to upload"));
}

void LauncherWindowTest::pendingListGoesToEveryUpgradeWindow()
{
    const QString list = QString::fromStdString(m_dir->write("sites.obl", "x"));
    m_launcher = makeLauncher({list});
    m_launcher->initialise();
    m_prompts->answerOpenFile("/books/a.cpe");
    m_prompts->answerFolder("/fw");
    m_prompts->answerFolder("/fw");
    m_prompts->answerOpenFile("/books/b.cpe");
    QTest::mouseClick(button("addressBookUpgradeButton"), Qt::LeftButton);
    QTest::mouseClick(button("fullFirmwareUpgradeButton"), Qt::LeftButton);
    QTest::mouseClick(button("codeFirmwareUpgradeButton"), Qt::LeftButton);
    QTest::mouseClick(button("addressBookUpgradeButton"), Qt::LeftButton);

    QCOMPARE(m_calls, (QStringList{"upgrade(book,/books/a.cpe,code," + list + ")",
                                   "upgrade(firmware,/fw,full," + list + ")",
                                   "upgrade(firmware,/fw,code," + list + ")",
                                   "upgrade(book,/books/b.cpe,code," + list + ")"}));
}

void LauncherWindowTest::helpButton()
{
    m_launcher = makeLauncher({});
    QTest::mouseClick(button("helpButton"), Qt::LeftButton);
    QVERIFY(m_prompts->messages().isEmpty());
    QVERIFY(helpViewer());
    QVERIFY(helpViewer()->isVisible());
    closeHelp();

    m_services->helpFile = dirPath() + "/missing.html";
    QTest::mouseClick(button("helpButton"), Qt::LeftButton);
    QCOMPARE(m_prompts->messages(), QStringList{"Failed to launch help."});
}

void LauncherWindowTest::exitEscapeAndCloseEndTheLauncher_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Exit") << "exit" << int(QDialog::Accepted);
    QTest::newRow("Escape") << "escape" << int(QDialog::Rejected);
    QTest::newRow("close box") << "close" << int(QDialog::Rejected);
}

void LauncherWindowTest::exitEscapeAndCloseEndTheLauncher()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    m_launcher = makeLauncher({});
    QTimer::singleShot(0, m_launcher.get(), [&] {
        if (how == "exit")
            QTest::mouseClick(button("exitButton"), Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(m_launcher.get(), Qt::Key_Escape);
        else
            m_launcher->close();
    });
    QCOMPARE(m_launcher->exec(), result);
    QVERIFY(!m_launcher->isVisible());
    QCOMPARE(m_calls, QStringList{"register"});
}

void LauncherWindowTest::minimisedLauncherDrawsItsIcon()
{
    m_launcher = makeLauncher({});
    m_launcher->show();
    const QImage normal = m_launcher->grab().toImage();
    m_launcher->showMinimized();
    QVERIFY(m_launcher->isMinimized());
    const QImage minimised = m_launcher->grab().toImage();

    const int iconSize = m_launcher->style()->pixelMetric(QStyle::PM_LargeIconSize);
    const QPoint centre((minimised.width() - iconSize + 1) / 2 + iconSize / 2,
                        (minimised.height() - iconSize + 1) / 2 + iconSize / 2);
    const QColor background = minimised.pixelColor(0, 0);
    QCOMPARE(background, m_launcher->palette().window().color());
    // The icon's dark-blue face sits in the middle of the erased client area.
    QVERIFY(minimised.pixelColor(centre) != background);
    QVERIFY(minimised != normal);
}

QTEST_MAIN(LauncherWindowTest)
#include "launcherwindow_test.moc"
