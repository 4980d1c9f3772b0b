#include "transfer/downloadwindow.h"

#include "widgets/dialogunits.h"
#include "base/fileerror.h"
#include "widgets/icons.h"
#include "widgets/ipaddressedit.h"
#include "widgets/progresswindow.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "transfer/curlftpclient.h"
#include "support/fakeftp.h"
#include "support/ftpserverfixture.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QTest>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

bool waitForDownload(const DownloadWindow& window)
{
    return QTest::qWaitFor([&window] { return !window.downloadRunning(); }, 60000);
}

// What the progress window and the cursor looked like when a message box came up.
struct Snapshot {
    bool progressShown = false;
    QString caption;
    QString line1;
    int upper = -1;
    bool busy = false;
    std::size_t stepsLogged = 0;
};

// One Download window over an FTP server and a prober in memory that share one log.
struct Harness {
    TempDir temp;
    ScriptedPrompts prompts;
    std::vector<std::string> log;
    FakeProber prober{log};
    FakeFtp ftp{log};
    SettingsFile settings;
    Services services{prompts, prober, ftp, settings,
                      QStringLiteral("/nonexistent/Orbiphon.html")};
    std::unique_ptr<DownloadWindow> window;
    std::vector<Snapshot> atMessages;

    Harness() : window(std::make_unique<DownloadWindow>(services))
    {
        prompts.onPrompt = [this](const ScriptedPrompts::Record& record) {
            if (record.kind != ScriptedPrompts::Kind::Message)
                return;
            ProgressWindow* progress = window->progressWindow();
            atMessages.push_back({progress->isVisible(), progress->windowTitle(),
                                  progress->line1(),
                                  progress->barState(ProgressBar::Upper).position(),
                                  waitCursorShown(), log.size()});
        };
    }

    template <typename T>
    T* child(const char* name) const { return requireChild<T>(window.get(), name); }

    IpAddressEdit* address() const { return child<IpAddressEdit>("addressEdit"); }
    QLineEdit* userId() const { return child<QLineEdit>("userIdEdit"); }
    QLineEdit* password() const { return child<QLineEdit>("passwordEdit"); }
    ProgressWindow* progress() const { return window->progressWindow(); }
    // A click, and the download it may have started run to its end.
    void click(const char* button) const
    {
        clickButton(window.get(), button);
        QVERIFY(waitForDownload(*window));
    }
    void show() const { QVERIFY(showActive(window.get())); }

    void typeFields(const QStringList& parts, const QString& user, const QString& pass) const
    {
        typeAddress(address(), parts);
        retype(userId(), user);
        retype(password(), pass);
    }

    // The operator's save dialog answer, then the Download button.
    void download(const std::string& localPath)
    {
        prompts.answerSaveFile(QString::fromStdString(localPath));
        click("downloadButton");
    }
};

const std::string DeviceBook = std::string("\x01\x00\r\n\xff book", 10);

}  // namespace

class DownloadWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void layoutFollowsDialogUnits_data();
    void layoutFollowsDialogUnits();
    void windowFrameAndFields();

    void addressAsProbed_data();
    void addressAsProbed();
    void cancelledSaveDoesNothing();
    void unsuitableTargetIsRefusedBeforeConnecting_data();
    void unsuitableTargetIsRefusedBeforeConnecting();
    void downloadWritesTheDeviceBook_data();
    void downloadWritesTheDeviceBook();
    void ftpFailureIsToldOverTheProgressWindow_data();
    void ftpFailureIsToldOverTheProgressWindow();
    void twoDownloadsUseTheFieldsAsTheyStand();
    void busyFromThePressThroughTheProbe_data();
    void busyFromThePressThroughTheProbe();
    void resetFieldsEmptiesAllThree();
    void enterEscapeAndCloseBoxClose_data();
    void enterEscapeAndCloseBoxClose();
    void stopOnTheProgressWindowEndsTheDownloadAndKeepsTheFile();
    void theFileWaitsWhileTheStopQuestionIsOpen_data();
    void theFileWaitsWhileTheStopQuestionIsOpen();
    void commandsAreOffWhileTheDownloadRuns_data();
    void commandsAreOffWhileTheDownloadRuns();
};

void DownloadWindowTest::cleanup()
{
    restoreCursors();
}

void DownloadWindowTest::layoutFollowsDialogUnits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QString>("text");
    QTest::newRow("group") << "ftpGroup" << QRect(5, 5, 230, 65) << "FTP";
    QTest::newRow("address label") << "addressLabel" << QRect(16, 21, 44, 15) << "IP Address";
    QTest::newRow("address") << "addressEdit" << QRect(65, 21, 105, 15) << "";
    QTest::newRow("user id label") << "userIdLabel" << QRect(15, 45, 45, 15) << "User ID";
    QTest::newRow("user id") << "userIdEdit" << QRect(65, 45, 50, 15) << "";
    QTest::newRow("password label") << "passwordLabel" << QRect(125, 45, 45, 15) << "Password";
    QTest::newRow("password") << "passwordEdit" << QRect(175, 45, 50, 15) << "";
    QTest::newRow("reset fields") << "resetFieldsButton" << QRect(175, 21, 50, 15)
                                  << "Reset fields";
    QTest::newRow("download") << "downloadButton" << QRect(120, 80, 50, 15) << "Download";
    QTest::newRow("cancel") << "cancelButton" << QRect(180, 80, 50, 15) << "Cancel";
}

void DownloadWindowTest::layoutFollowsDialogUnits()
{
    QFETCH(QString, name);
    QFETCH(QRect, units);
    QFETCH(QString, text);
    Harness h;
    const DialogUnits du(h.window->font());
    auto* widget = h.window->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), du.rect(units.x(), units.y(), units.width(), units.height()));
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(label->frameShadow(), QFrame::Sunken);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), text);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(group->title(), text);
    }
}

void DownloadWindowTest::windowFrameAndFields()
{
    Harness h;
    QCOMPARE(h.window->windowTitle(), QStringLiteral("Download"));
    QCOMPARE(h.window->objectName(), QStringLiteral("downloadWindow"));
    QCOMPARE(comparable(h.window->windowIcon().pixmap(32, 32)),
             comparable(applicationIcon().pixmap(32, 32)));
    const Qt::WindowFlags flags = h.window->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    const DialogUnits du(h.window->font());
    QCOMPARE(h.window->minimumSize(), du.size(242, 106));
    QCOMPARE(h.window->maximumSize(), du.size(242, 106));

    // All three fields start empty; the password is masked; both text fields centre.
    QVERIFY(h.address()->isBlank());
    QVERIFY(h.userId()->text().isEmpty());
    QVERIFY(h.password()->text().isEmpty());
    QCOMPARE(h.password()->echoMode(), QLineEdit::Password);
    QCOMPARE(h.userId()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(h.password()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    // The progress window is the window's own, created hidden with its placeholder caption.
    QCOMPARE(h.progress()->parentWidget(), h.window.get());
    h.show();
    QVERIFY(!h.progress()->isVisible());
    QCOMPARE(h.progress()->windowTitle(), QStringLiteral("Titolo"));
    // The operator starts typing in the address.
    QCOMPARE(QApplication::focusWidget(), h.address()->part(0));
}

void DownloadWindowTest::addressAsProbed_data()
{
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QString>("probed");
    QTest::newRow("blank") << QStringList{"", "", "", ""} << "probe(0.0.0.0,1000)";
    QTest::newRow("first and last") << QStringList{"10", "", "", "5"} << "probe(10.0.0.5,1000)";
    QTest::newRow("whole") << QStringList{"192", "168", "1", "254"}
                           << "probe(192.168.1.254,1000)";
}

void DownloadWindowTest::addressAsProbed()
{
    QFETCH(QStringList, parts);
    QFETCH(QString, probed);
    Harness h;
    h.show();
    h.prober.allSilent = true;
    h.typeFields(parts, QStringLiteral("admin"), QStringLiteral("secret"));
    h.click("downloadButton");

    // A silent gateway: the message and nothing else, no dialog and no FTP at all.
    QCOMPARE(texts(h.log), QStringList{probed});
    QCOMPARE(h.prompts.messages(), QStringList({"Orbiphon not found!"}));
    QCOMPARE(h.prompts.records().size(), std::size_t{1});
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Warning);
    QCOMPARE(h.prompts.lastMessage()->parent, h.window.get());
    QVERIFY(!h.atMessages.front().progressShown);
    QVERIFY(!h.progress()->isVisible());
    QVERIFY(h.window->isVisible());
    QVERIFY(!QApplication::overrideCursor());
}

void DownloadWindowTest::cancelledSaveDoesNothing()
{
    Harness h;
    h.show();
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("admin"), QStringLiteral("secret"));
    const std::string existing = h.temp.write("Addrbook.cpe", "mine");
    h.download(std::string());

    const ScriptedPrompts::Record& dialog = h.prompts.records().front();
    QCOMPARE(dialog.kind, ScriptedPrompts::Kind::SaveFile);
    QCOMPARE(dialog.options.initialName, QStringLiteral("Addrbook.cpe"));
    QCOMPARE(dialog.options.filter, QStringLiteral("Orbiphon Address Book (*.cpe)"));
    QCOMPARE(dialog.options.defaultSuffix, QStringLiteral("cpe"));
    QCOMPARE(dialog.parent, h.window.get());

    QCOMPARE(texts(h.log), QStringList({"probe(10.0.0.7,1000)"}));
    QVERIFY(h.prompts.messages().isEmpty());
    QCOMPARE(h.progress()->windowTitle(), QStringLiteral("Titolo"));
    QVERIFY(!h.progress()->isVisible());
    QCOMPARE(readFileBytes(existing), std::string("mine"));
    QVERIFY(h.window->isVisible());
}

void DownloadWindowTest::unsuitableTargetIsRefusedBeforeConnecting_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("pipe") << "pipe";
    QTest::newRow("folder") << "folder";
}

// A target that a download can't be put in is named with the stop icon, and nothing is fetched.
void DownloadWindowTest::unsuitableTargetIsRefusedBeforeConnecting()
{
    QFETCH(QString, kind);
    Harness h;
    h.show();
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("admin"), QStringLiteral("secret"));
    const std::string target = h.temp.file("Addrbook.cpe");
    if (kind == QLatin1String("pipe"))
        QCOMPARE(::mkfifo(target.c_str(), 0600), 0);
    else
        QVERIFY(std::filesystem::create_directory(target));
    h.download(target);

    const ScriptedPrompts::Record* message = h.prompts.lastMessage();
    QVERIFY(message);
    QCOMPARE(message->icon, Prompts::Icon::Stop);
    QCOMPARE(message->text,
             QString::fromStdString(fileErrorText(
                 kind == QLatin1String("pipe") ? FileError::IsPipe : FileError::IsFolder, target)));
    QCOMPARE(texts(h.log), QStringList({"probe(10.0.0.7,1000)"}));
    QVERIFY(!h.progress()->isVisible());
    QVERIFY(kind == QLatin1String("pipe") ? std::filesystem::is_fifo(target)
                                          : std::filesystem::is_directory(target));
}

void DownloadWindowTest::downloadWritesTheDeviceBook_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::newRow("new file") << false;
    QTest::newRow("replacing a file") << true;
}

void DownloadWindowTest::downloadWritesTheDeviceBook()
{
    QFETCH(bool, fileExists);
    Harness h;
    h.show();
    h.ftp.remoteFiles["Addrbook.cpe"] = DeviceBook;
    const std::string local = h.temp.file("local.cpe");
    if (fileExists)
        h.temp.write("local.cpe", std::string(5000, 'x'));
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("admin"), QStringLiteral("s e"));
    h.download(local);

    QCOMPARE(readFileBytes(local), DeviceBook);
    QCOMPARE(texts(h.log),
             QStringList({"probe(10.0.0.7,1000)", "open(Download)",
                          "connect(10.0.0.7:21,admin,s e)", "cd(/RFA/)", "get(Addrbook.cpe)",
                          "close", "closeClient"}));
    // A completed download says nothing: the progress window simply goes.
    QVERIFY(h.prompts.messages().isEmpty());
    QVERIFY(!h.progress()->isVisible());
    QCOMPARE(h.progress()->windowTitle(), QStringLiteral("Download AddressBook"));
    QCOMPARE(h.progress()->line1(), QStringLiteral("FTP : /RFA/Addrbook.cpe"));
    QCOMPARE(h.progress()->barState(ProgressBar::Upper).maximum(), 2);
    QCOMPARE(h.progress()->barState(ProgressBar::Upper).position(), 2);
    QCOMPARE(h.progress()->barState(ProgressBar::Lower).maximum(), 0);
    QVERIFY(!QApplication::overrideCursor());
    // The window stays for another download.
    QVERIFY(h.window->isVisible());
    QCOMPARE(h.userId()->text(), QStringLiteral("admin"));
}

void DownloadWindowTest::ftpFailureIsToldOverTheProgressWindow_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("line1");
    QTest::addColumn<int>("upper");
    const QString connecting = QStringLiteral("Connecting...");
    const QString fetching = QStringLiteral("FTP : /RFA/Addrbook.cpe");
    QTest::newRow("login refused")
        << "login" << QStringList{"open(Download)", "connect(10.0.0.7:21,admin,secret)", "|",
                                  "closeClient"}
        << connecting << 0;
    QTest::newRow("no /RFA/")
        << "directory"
        << QStringList{"open(Download)", "connect(10.0.0.7:21,admin,secret)", "cd(/RFA/)", "|",
                       "close", "closeClient"}
        << connecting << 0;
    QTest::newRow("no address book on the device")
        << "get"
        << QStringList{"open(Download)", "connect(10.0.0.7:21,admin,secret)", "cd(/RFA/)",
                       "get(Addrbook.cpe)", "|", "close", "closeClient"}
        << fetching << 1;
    QTest::newRow("local folder missing")
        << "local"
        << QStringList{"open(Download)", "connect(10.0.0.7:21,admin,secret)", "cd(/RFA/)", "|",
                       "close", "closeClient"}
        << fetching << 1;
}

void DownloadWindowTest::ftpFailureIsToldOverTheProgressWindow()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, steps);
    QFETCH(QString, line1);
    QFETCH(int, upper);
    Harness h;
    h.show();
    h.ftp.remoteFiles["Addrbook.cpe"] = DeviceBook;
    std::string local = h.temp.write("Addrbook.cpe", "operator's own book");
    if (fault == QLatin1String("login"))
        h.ftp.connectFails = true;
    else if (fault == QLatin1String("directory"))
        h.ftp.directories = {"/OTHER/"};
    else if (fault == QLatin1String("get"))
        h.ftp.remoteFiles.clear();
    else
        local = h.temp.path() + "/gone/Addrbook.cpe";
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("admin"), QStringLiteral("secret"));
    h.download(local);

    QCOMPARE(h.prompts.messages(), QStringList({"FTP failure!"}));
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Warning);
    // The message stands over the progress window, with the normal cursor, before the
    // connection is closed; then the window goes.
    const Snapshot& seen = h.atMessages.front();
    QVERIFY(seen.progressShown);
    QCOMPARE(seen.caption, QStringLiteral("Download AddressBook"));
    QCOMPARE(seen.line1, line1);
    QCOMPARE(seen.upper, upper);
    QVERIFY(!seen.busy);
    QVERIFY(!h.progress()->isVisible());
    QVERIFY(!QApplication::overrideCursor());

    QStringList logged = texts(h.log);
    QCOMPARE(logged.takeFirst(), QStringLiteral("probe(10.0.0.7,1000)"));
    logged.insert(static_cast<qsizetype>(seen.stepsLogged) - 1, QStringLiteral("|"));
    QCOMPARE(logged, steps);
    if (fault != QLatin1String("local"))
        QCOMPARE(readFileBytes(local), std::string("operator's own book"));
    QVERIFY(h.window->isVisible());
}

void DownloadWindowTest::twoDownloadsUseTheFieldsAsTheyStand()
{
    Harness h;
    h.show();
    h.ftp.remoteFiles["Addrbook.cpe"] = DeviceBook;
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("first"), QStringLiteral("one"));
    h.download(h.temp.file("a.cpe"));
    h.typeFields({"10", "0", "0", "8"}, QStringLiteral("second"), QString());
    h.download(h.temp.file("b.cpe"));

    QStringList connects;
    for (const QString& step : texts(h.log)) {
        if (step.startsWith(QLatin1String("probe")) || step.startsWith(QLatin1String("connect")))
            connects << step;
    }
    QCOMPARE(connects, QStringList({"probe(10.0.0.7,1000)", "connect(10.0.0.7:21,first,one)",
                                    "probe(10.0.0.8,1000)", "connect(10.0.0.8:21,second,)"}));
    QCOMPARE(readFileBytes(h.temp.file("a.cpe")), DeviceBook);
    QCOMPARE(readFileBytes(h.temp.file("b.cpe")), DeviceBook);
    QVERIFY(h.prompts.messages().isEmpty());
}

void DownloadWindowTest::busyFromThePressThroughTheProbe_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QString>("saveAs");  // the save dialog's answer; empty for Cancel
    QTest::newRow("silent gateway") << false << "";
    QTest::newRow("answering gateway, save cancelled") << true << "";
    QTest::newRow("answering gateway, downloaded") << true << "local.cpe";
}

void DownloadWindowTest::busyFromThePressThroughTheProbe()
{
    QFETCH(bool, answers);
    QFETCH(QString, saveAs);
    Harness h;
    h.show();
    h.ftp.remoteFiles["Addrbook.cpe"] = DeviceBook;
    h.prober.allSilent = !answers;
    std::vector<bool> busyAtProbe;
    h.prober.onProbe = [&] { busyAtProbe.push_back(waitCursorShown()); };
    std::vector<bool> busyAtPrompt;
    h.prompts.onPrompt = [&](const ScriptedPrompts::Record&) {
        busyAtPrompt.push_back(waitCursorShown());
    };
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("admin"), QStringLiteral("secret"));
    if (answers)
        h.prompts.answerSaveFile(saveAs.isEmpty() ? QString() : qs(h.temp.file("local.cpe")));
    h.click("downloadButton");

    QCOMPARE(busyAtProbe, std::vector<bool>{true});
    // The operator is asked and told with the normal cursor, and it stays normal afterwards.
    QCOMPARE(busyAtPrompt, std::vector<bool>{false});
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(QFile::exists(qs(h.temp.file("local.cpe"))), !saveAs.isEmpty());
}

void DownloadWindowTest::resetFieldsEmptiesAllThree()
{
    Harness h;
    h.show();
    h.typeFields({"10", "1", "2", "3"}, QStringLiteral("admin"), QStringLiteral("secret"));
    h.click("resetFieldsButton");
    QVERIFY(h.address()->isBlank());
    for (int part = 0; part < 4; ++part)
        QVERIFY(h.address()->part(part)->text().isEmpty());
    QVERIFY(h.userId()->text().isEmpty());
    QVERIFY(h.password()->text().isEmpty());
    QVERIFY(h.prompts.records().empty());
    QVERIFY(h.log.empty());
    QVERIFY(h.window->isVisible());
}

void DownloadWindowTest::enterEscapeAndCloseBoxClose_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("focus");
    QTest::newRow("enter in the address") << "enter" << "address";
    QTest::newRow("enter in the user id") << "enter" << "userIdEdit";
    QTest::newRow("keypad enter in the password") << "keypad enter" << "passwordEdit";
    QTest::newRow("escape") << "escape" << "address";
    QTest::newRow("cancel") << "cancel" << "";
    QTest::newRow("enter on cancel") << "enter" << "cancelButton";
    QTest::newRow("enter on download") << "enter" << "downloadButton";
    QTest::newRow("enter on reset fields") << "enter" << "resetFieldsButton";
    QTest::newRow("close box") << "close" << "";
}

void DownloadWindowTest::enterEscapeAndCloseBoxClose()
{
    QFETCH(QString, how);
    QFETCH(QString, focus);
    Harness h;
    h.show();
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("admin"), QStringLiteral("secret"));
    QWidget* target = h.window.get();
    if (focus == QLatin1String("address"))
        target = h.address()->part(3);
    else if (!focus.isEmpty())
        target = h.window->findChild<QWidget*>(focus);
    QVERIFY(target);
    target->setFocus();

    if (how == QLatin1String("cancel"))
        h.click("cancelButton");
    else if (how == QLatin1String("close"))
        h.window->close();
    else
        QVERIFY(pressNamedKey(target, how));

    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.window->result(), int(QDialog::Rejected));
    // Closing never downloads: no probe, no dialog.
    QVERIFY(h.log.empty());
    QVERIFY(h.prompts.records().empty());
}

// A gateway sending its book at 4 bytes a second: the operator's Escape on the progress window,
// answered Yes, ends the transfer at once, with no failure to report and the file as it was.
void DownloadWindowTest::stopOnTheProgressWindowEndsTheDownloadAndKeepsTheFile()
{
    FtpServerOptions options;
    options.retrieveRate = 4;
    FtpServerFixture server(options);
    server.writeDeviceFile("/RFA/Addrbook.cpe", std::string(13770, 'B'));
    TempDir temp;
    ScriptedPrompts prompts;
    FakeProber prober;
    CurlFtpClientFactory ftp(shortFtpTimeouts());
    SettingsFile settings;
    Services services{prompts, prober, ftp, settings, QString(), server.port()};
    DownloadWindow window(services);
    QVERIFY(showActive(&window));
    typeAddress(requireChild<IpAddressEdit>(&window, "addressEdit"),
                QString::fromStdString(server.address()).split(u'.'));
    retype(requireChild<QLineEdit>(&window, "userIdEdit"), QStringLiteral("ftp"));
    retype(requireChild<QLineEdit>(&window, "passwordEdit"), QStringLiteral("secret"));
    const std::string mine = temp.write("mine.cpe", "my own book");
    prompts.answerSaveFile(QString::fromStdString(mine));
    prompts.answerConfirm(true);

    clickButton(&window, "downloadButton");
    // However slow the machine, the Escape reaches the progress window once it shows.
    QTRY_VERIFY(window.progressWindow()->isVisible());
    QTest::keyClick(window.progressWindow(), Qt::Key_Escape);
    QVERIFY(waitForDownload(window));

    QCOMPARE(prompts.records().back().kind, ScriptedPrompts::Kind::Confirm);
    QVERIFY(prompts.messages().isEmpty());
    QCOMPARE(readFileBytes(mine), std::string("my own book"));
    QCOMPARE(std::distance(std::filesystem::directory_iterator(temp.path()),
                           std::filesystem::directory_iterator()),
             1);
    QVERIFY(!window.progressWindow()->isVisible());
}

void DownloadWindowTest::theFileWaitsWhileTheStopQuestionIsOpen_data()
{
    QTest::addColumn<bool>("stop");
    QTest::newRow("Yes: the file stays as it was") << true;
    QTest::newRow("No: the download goes on") << false;
}

void DownloadWindowTest::theFileWaitsWhileTheStopQuestionIsOpen()
{
    QFETCH(bool, stop);
    Harness h;
    h.show();
    h.ftp.remoteFiles["Addrbook.cpe"] = DeviceBook;
    const std::string local = h.temp.write("local.cpe", "my own book");
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("admin"), QStringLiteral("pw"));
    // Escape as the transfer begins; the operator then takes a while to answer.
    bool pressed = false;
    QObject::connect(h.progress()->findChild<QProgressBar*>(QStringLiteral("upperBar")),
                     &QProgressBar::valueChanged, h.progress(), [&](int value) {
                         if (value == 1 && !pressed) {
                             pressed = true;
                             QTest::keyClick(h.progress(), Qt::Key_Escape);
                         }
                     });
    std::string whileAsked;
    h.prompts.onPrompt = [&](const ScriptedPrompts::Record& record) {
        if (record.kind != ScriptedPrompts::Kind::Confirm)
            return;
        QTest::qWait(300);
        whileAsked = readFileBytes(local);
    };
    h.prompts.answerSaveFile(QString::fromStdString(local));
    h.prompts.answerConfirm(stop);
    h.click("downloadButton");

    QVERIFY(pressed);
    QCOMPARE(whileAsked, std::string("my own book"));
    QCOMPARE(readFileBytes(local), stop ? std::string("my own book") : DeviceBook);
    QVERIFY(h.prompts.messages().isEmpty());
    QCOMPARE(std::distance(std::filesystem::directory_iterator(h.temp.path()),
                           std::filesystem::directory_iterator()),
             1);
}

void DownloadWindowTest::commandsAreOffWhileTheDownloadRuns_data()
{
    QTest::addColumn<bool>("windowGoes");
    QTest::newRow("the download ends") << false;
    QTest::newRow("the window goes away meanwhile") << true;
}

// The Download button returns while the probe still runs; the commands come back at its end.
void DownloadWindowTest::commandsAreOffWhileTheDownloadRuns()
{
    QFETCH(bool, windowGoes);
    Harness h;
    h.show();
    h.ftp.remoteFiles["Addrbook.cpe"] = DeviceBook;
    std::atomic<bool> answer = false;
    h.prober.onProbe = [&answer] {
        while (!answer)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    const std::string local = h.temp.file("local.cpe");
    h.prompts.answerSaveFile(QString::fromStdString(local));
    h.typeFields({"10", "0", "0", "7"}, QStringLiteral("admin"), QStringLiteral("pw"));
    clickButton(h.window.get(), "downloadButton");

    const char* const commands[] = {"downloadButton", "resetFieldsButton", "cancelButton",
                                    "userIdEdit", "passwordEdit"};
    QVERIFY(h.window->downloadRunning());
    for (const char* command : commands)
        QVERIFY2(!h.child<QWidget>(command)->isEnabled(), command);
    answer = true;
    if (windowGoes) {
        h.window.reset();
        QVERIFY(h.prompts.records().empty());
        QVERIFY(!QApplication::overrideCursor());
        return;
    }
    QVERIFY(waitForDownload(*h.window));
    for (const char* command : commands)
        QVERIFY2(h.child<QWidget>(command)->isEnabled(), command);
    QCOMPARE(readFileBytes(local), DeviceBook);
}

QTEST_MAIN(DownloadWindowTest)
#include "downloadwindow_test.moc"
