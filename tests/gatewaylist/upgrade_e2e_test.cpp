#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/batch.h"
#include "gatewaylist/previewwindow.h"
#include "gatewaylist/statusimages.h"
#include "widgets/progresswindow.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "support/ftpserverfixture.h"
#include "support/privatenetwork.h"
#include "support/programrun.h"
#include "support/scriptedprompts.h"
#include "support/simulatorfixture.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"
#include "transfer/curlftpclient.h"
#include "transfer/probe.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QApplication>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <filesystem>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;

// Every byte value and line ends, so a transfer in text mode or one that stops at a zero byte
// shows.
std::string distinctBook()
{
    std::string bytes(13770, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) % 256);
    for (std::size_t i = 100; i + 1 < bytes.size(); i += 1000)
        bytes.replace(i, 2, "\r\n");
    return bytes;
}

// Skips without a private network; fails when the simulator did not start.
#define REQUIRE_SIMULATOR(simulator)                                                          \
    do {                                                                                      \
        if (!(simulator).skipReason().empty())                                                \
            QSKIP(qPrintable(qs((simulator).skipReason())));                                  \
        QVERIFY2((simulator).startError().empty(), (simulator).startError().c_str());         \
    } while (false)

// Counts how often the progress window was shown.
class ShowCounter final : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            ++shows;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

// The Upgrade window with the real probe and FTP client against simulated gateways: what an
// operator sees and what really arrives on the gateways.
class UpgradeE2eTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void upgradeListPassesOverASilentGateway();
    void upgradeSelectionReachesOnlyTheSelectedRows();
    void fullFirmwareUpgradeOverTwoGateways();
    void checkConnectionsMarksRowsWithoutProgressOrNotice();
    void previewSelectionShowsAndSavesThePlanAndChangesNothing();
    void refusedLoginAndMissingDeviceFolderMarkFtpFailed();
    void aMixedFleetEndsTheSameAtOneOrEightAtOnce_data();
    void aMixedFleetEndsTheSameAtOneOrEightAtOnce();
    void theReportTellsEachFailureAndTheFailedRowsRunAgain();

private:
    void openWindow(UpgradeOptions options);
    void openListThroughFileMenu(const std::string& listPath);
    void clickToolButton(const char* actionName);
    void ctrlClickRow(int row);
    void compareStatuses(const std::vector<RowStatus>& expected);
    // What the progress window showed when the closing notice came up.
    struct AtNotice {
        bool progressVisible = false;
        QString caption;
        QString line1;
        QString line2;
        int lowerPosition = -1;
        int lowerMaximum = -1;
        int upperPosition = -1;
        int upperMaximum = -1;
    };

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    IcmpProber m_prober;
    // Short limits: a hung gateway must not hold a test for the program's full time-outs.
    CurlFtpClientFactory m_ftp{shortFtpTimeouts()};
    SettingsFile m_settings;
    std::unique_ptr<Services> m_services;
    std::unique_ptr<UpgradeWindow> m_window;
    AtNotice m_atNotice;
};

void UpgradeE2eTest::initTestCase()
{
    // Before anything opens a socket: the whole process then lives in the private network.
    if (const std::string reason = enterPrivateNetwork(); !reason.empty())
        QSKIP(qPrintable(qs("needs a private network namespace: " + reason)));
    QVERIFY(initialiseCurl());
}

void UpgradeE2eTest::cleanupTestCase()
{
    releaseCurl();
}

void UpgradeE2eTest::init()
{
    m_dir = std::make_unique<TempDir>();
    m_settings.setPath(m_dir->write("config/Orbiphon.ini", SimulatorFixture::FirmwareIni));
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_services = std::unique_ptr<Services>(new Services{
        *m_prompts, m_prober, m_ftp, m_settings, QStringLiteral("/nonexistent/Orbiphon.html")});
    m_atNotice = {};
    m_prompts->onPrompt = [this](const ScriptedPrompts::Record& record) {
        if (record.text != QString::fromLatin1(ClosingNotice))
            return;
        ProgressWindow* progress = m_window->progressWindow();
        m_atNotice.progressVisible = progress->isVisible();
        m_atNotice.caption = progress->windowTitle();
        m_atNotice.line1 = progress->line1();
        m_atNotice.line2 = progress->line2();
        m_atNotice.lowerPosition = progress->barState(ProgressBar::Lower).position();
        m_atNotice.lowerMaximum = progress->barState(ProgressBar::Lower).maximum();
        m_atNotice.upperPosition = progress->barState(ProgressBar::Upper).position();
        m_atNotice.upperMaximum = progress->barState(ProgressBar::Upper).maximum();
    };
}

void UpgradeE2eTest::cleanup()
{
    m_window.reset();
    if (m_prompts)
        QVERIFY2(m_prompts->unexpected().isEmpty(), qPrintable(m_prompts->unexpected().join('\n')));
    m_services.reset();
    m_prompts.reset();
    m_dir.reset();
    QVERIFY(!QApplication::overrideCursor());
}

void UpgradeE2eTest::openWindow(UpgradeOptions options)
{
    m_window = std::make_unique<UpgradeWindow>(*m_services, std::move(options));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void UpgradeE2eTest::openListThroughFileMenu(const std::string& listPath)
{
    m_prompts->answerOpenFile(qs(listPath));
    clickToolButton("openAction");
}

void UpgradeE2eTest::clickToolButton(const char* actionName)
{
    auto* toolBar = m_window->findChild<QToolBar*>(QStringLiteral("toolBar"));
    QVERIFY(toolBar);
    auto* action = m_window->findChild<QAction*>(QString::fromLatin1(actionName));
    QVERIFY2(action, actionName);
    QWidget* button = toolBar->widgetForAction(action);
    QVERIFY2(button, actionName);
    QTest::mouseClick(button, Qt::LeftButton);
    // A batch command runs on by itself: its effects are looked at once it has ended.
    QVERIFY(waitForBatch(*m_window));
}

void UpgradeE2eTest::ctrlClickRow(int row)
{
    auto* rows = m_window->findChild<QTreeView*>(QStringLiteral("gatewayList"));
    QVERIFY(rows);
    const QModelIndex item = rows->model()->index(row, 0);
    QVERIFY(item.isValid());
    const QRect place = rows->visualRect(item);
    QVERIFY2(rows->viewport()->rect().contains(place.center()), "row not in view");
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, Qt::ControlModifier, place.center());
}

void UpgradeE2eTest::compareStatuses(const std::vector<RowStatus>& expected)
{
    auto* rows = m_window->findChild<QTreeView*>(QStringLiteral("gatewayList"));
    QVERIFY(rows);
    QCOMPARE(m_window->list().size(), expected.size());
    QCOMPARE(static_cast<std::size_t>(rows->model()->rowCount()), expected.size());
    for (std::size_t row = 0; row < expected.size(); ++row) {
        const QByteArray where = "row " + QByteArray::number(static_cast<qulonglong>(row + 1));
        QVERIFY2(m_window->list().status(row) == expected[row], where.constData());
        // The image the operator sees, not only the model's value.
        const QImage shown = rows->model()
                                 ->index(static_cast<int>(row), UpgradeWindow::NumberColumn)
                                 .data(Qt::DecorationRole)
                                 .value<QIcon>()
                                 .pixmap(StatusImageSize, StatusImageSize)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        const QImage wanted =
            statusImage(expected[row]).toImage().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(shown == wanted, where.constData());
    }
}

void UpgradeE2eTest::upgradeListPassesOverASilentGateway()
{
    SimulatorOptions options;
    options.gateways = 3;
    options.silent = {2};
    SimulatorFixture simulator(options);
    REQUIRE_SIMULATOR(simulator);
    const std::string book = m_dir->write("books/mybook.cpe", distinctBook());
    const std::string silentBefore = readFileBytes(simulator.deviceFile(2, "Addrbook.cpe"));
    const std::set<std::string> rfaBefore = folderEntries(simulator.rfaFolder(1));

    openWindow({UpgradeMode::AddressBookUpgrade, book, false, simulator.listPath()});
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Address Book Upgrade"));
    QCOMPARE(m_window->list().size(), std::size_t{3});
    QVERIFY(m_prompts->records().empty());

    clickToolButton("upgradeListAction");

    // The local file's name plays no part: it arrives as Addrbook.cpe, byte for byte.
    QCOMPARE(readFileBytes(simulator.deviceFile(1, "Addrbook.cpe")), distinctBook());
    QCOMPARE(readFileBytes(simulator.deviceFile(3, "Addrbook.cpe")), distinctBook());
    QCOMPARE(readFileBytes(simulator.deviceFile(2, "Addrbook.cpe")), silentBefore);
    QCOMPARE(folderEntries(simulator.rfaFolder(1)), rfaBefore);
    QCOMPARE(folderEntries(simulator.rfaFolder(3)), rfaBefore);
    compareStatuses({RowStatus::Uploaded, RowStatus::NotReachable, RowStatus::Uploaded});

    QCOMPARE(m_prompts->messages(), QStringList{QString::fromLatin1(ClosingNotice)});
    QCOMPARE(m_prompts->lastMessage()->icon, Prompts::Icon::Information);
    QVERIFY(m_prompts->lastMessage()->text.contains(QStringLiteral("settings.\r\nSpegnere")));
    QVERIFY(m_atNotice.progressVisible);
    QCOMPARE(m_atNotice.caption, QStringLiteral("Upgrade List"));
    QCOMPARE(m_atNotice.line2, QStringLiteral("Ugrade 127.0.0.4"));
    QCOMPARE(m_atNotice.line1, QStringLiteral("FTP : /RFA/Addrbook.cpe"));
    QCOMPARE(m_atNotice.lowerPosition, 3);
    QCOMPARE(m_atNotice.lowerMaximum, 3);
    QCOMPARE(m_atNotice.upperPosition, 2);
    QVERIFY(!m_window->progressWindow()->isVisible());
}

void UpgradeE2eTest::upgradeSelectionReachesOnlyTheSelectedRows()
{
    SimulatorOptions options;
    options.gateways = 5;
    SimulatorFixture simulator(options);
    REQUIRE_SIMULATOR(simulator);
    const std::string book = m_dir->write("Addrbook.cpe", distinctBook());
    std::vector<std::string> before;
    for (int gateway = 1; gateway <= 5; ++gateway)
        before.push_back(readFileBytes(simulator.deviceFile(gateway, "Addrbook.cpe")));

    openWindow({UpgradeMode::AddressBookUpgrade, book, false, {}});
    openListThroughFileMenu(simulator.listPath());
    QCOMPARE(m_window->list().size(), std::size_t{5});
    ctrlClickRow(1);
    ctrlClickRow(3);

    clickToolButton("upgradeSelectionAction");

    for (int gateway = 1; gateway <= 5; ++gateway) {
        const bool selected = gateway == 2 || gateway == 4;
        const std::string now = readFileBytes(simulator.deviceFile(gateway, "Addrbook.cpe"));
        QVERIFY2(now == (selected ? distinctBook() : before[gateway - 1]),
                 qPrintable(QStringLiteral("gateway %1").arg(gateway)));
    }
    // In list order: row 2 first.
    QVERIFY(fs::last_write_time(simulator.deviceFile(2, "Addrbook.cpe"))
            <= fs::last_write_time(simulator.deviceFile(4, "Addrbook.cpe")));
    compareStatuses({RowStatus::None, RowStatus::Uploaded, RowStatus::None, RowStatus::Uploaded,
                     RowStatus::None});
    QCOMPARE(m_prompts->messages(), QStringList{QString::fromLatin1(ClosingNotice)});
    QCOMPARE(m_atNotice.caption, QStringLiteral("Upgrade Selection"));
    QCOMPARE(m_atNotice.line2, QStringLiteral("Ugrade 127.0.0.5"));
    QCOMPARE(m_atNotice.lowerPosition, 2);
    QCOMPARE(m_atNotice.lowerMaximum, 2);
}

void UpgradeE2eTest::fullFirmwareUpgradeOverTwoGateways()
{
    // The second gateway answers a name listing with whole directory lines.
    SimulatorOptions options;
    options.gateways = 2;
    options.listingLines = {2};
    SimulatorFixture simulator(options);
    REQUIRE_SIMULATOR(simulator);

    m_dir->write("firmware/SETUP.BIN", "new firmware");
    m_dir->write("firmware/NVRAM.TXT", "local nvram, never uploaded");
    m_dir->write("firmware/README", "no extension, not listed");
    m_dir->write("firmware/DOC/MANUAL.PDF", "%PDF-1.4 manual");
    m_dir->write("firmware/IMAGES/LOGO.BMP", std::string("BM\0\r\n\x1a logo", 12));
    const std::string firmware = m_dir->file("firmware");
    std::vector<std::string> nvram;
    std::vector<std::string> book;
    for (int gateway = 1; gateway <= 2; ++gateway) {
        const std::string rfa = simulator.rfaFolder(gateway);
        writeFileBytes(rfa + "/OLD.BIN", "old");
        writeFileBytes(rfa + "/KEEP.CFG", "kept");
        nvram.push_back(readFileBytes(rfa + "/NVRAM.TXT"));
        book.push_back(readFileBytes(rfa + "/Addrbook.cpe"));
    }

    openWindow({UpgradeMode::FirmwareUpgrade, firmware, true, simulator.listPath()});
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Firmware Upgrade"));
    clickToolButton("upgradeListAction");

    compareStatuses({RowStatus::Uploaded, RowStatus::Uploaded});
    for (int gateway = 1; gateway <= 2; ++gateway) {
        const QByteArray where = "gateway " + QByteArray::number(gateway);
        const std::string rfa = simulator.rfaFolder(gateway);
        // Listed kinds gone per device folder; NVRAM.TXT neither deleted nor replaced; User/ is
        // not cleaned because the firmware has no USER folder.
        QVERIFY2(folderEntries(rfa) == (std::set<std::string>{"Addrbook.cpe", "Doc", "Images",
                                                           "KEEP.CFG", "NVRAM.TXT", "SETUP.BIN",
                                                           "User"}),
                 where.constData());
        QVERIFY2(folderEntries(rfa + "/Doc") == std::set<std::string>{"MANUAL.PDF"},
                 where.constData());
        QVERIFY2(folderEntries(rfa + "/Images") == std::set<std::string>{"LOGO.BMP"},
                 where.constData());
        QVERIFY2(folderEntries(rfa + "/User") == std::set<std::string>{"OLD.DAT"}, where.constData());
        QCOMPARE(readFileBytes(rfa + "/SETUP.BIN"), std::string("new firmware"));
        QCOMPARE(readFileBytes(rfa + "/Images/LOGO.BMP"), std::string("BM\0\r\n\x1a logo", 12));
        QCOMPARE(readFileBytes(rfa + "/Doc/MANUAL.PDF"), std::string("%PDF-1.4 manual"));
        QCOMPARE(readFileBytes(rfa + "/NVRAM.TXT"), nvram[gateway - 1]);
        QCOMPARE(readFileBytes(rfa + "/Addrbook.cpe"), book[gateway - 1]);
    }
    QCOMPARE(m_prompts->messages(), QStringList{QString::fromLatin1(ClosingNotice)});
    QCOMPARE(m_atNotice.line2, QStringLiteral("Ugrade 127.0.0.3"));
    // Every local file steps the bar, uploaded or not.
    QCOMPARE(m_atNotice.upperMaximum, 5);
    QCOMPARE(m_atNotice.upperPosition, 5);
    QVERIFY(m_atNotice.line1.startsWith(QStringLiteral("FTP : /RFA/")));
}

void UpgradeE2eTest::previewSelectionShowsAndSavesThePlanAndChangesNothing()
{
    SimulatorFixture simulator(SimulatorOptions{});
    REQUIRE_SIMULATOR(simulator);
    m_dir->write("firmware/SETUP.BIN", "new firmware");
    m_dir->write("firmware/NVRAM.TXT", "never uploaded");
    const std::string before = readFileBytes(simulator.rfaFolder(2) + "/SETUP.BIN");

    openWindow({UpgradeMode::AddressBookUpgrade, m_dir->file("firmware"), false, {}});
    auto* menu = m_window->findChild<QMenu*>(QStringLiteral("upgradeMenu"));
    auto* preview = m_window->findChild<QAction*>(QStringLiteral("previewSelectionAction"));
    QVERIFY(menu && preview);
    QVERIFY(!menu->actions().contains(preview));
    m_window.reset();

    openWindow({UpgradeMode::FirmwareUpgrade, m_dir->file("firmware"), true,
                simulator.listPath()});
    menu = m_window->findChild<QMenu*>(QStringLiteral("upgradeMenu"));
    preview = m_window->findChild<QAction*>(QStringLiteral("previewSelectionAction"));
    QVERIFY(menu->actions().contains(preview));
    ctrlClickRow(1);
    preview->trigger();
    QVERIFY(waitForBatch(*m_window));

    auto* shown = m_window->findChild<PreviewWindow*>(QStringLiteral("previewWindow"));
    QVERIFY(shown);
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    auto* text = shown->findChild<QPlainTextEdit*>(QStringLiteral("previewText"));
    QVERIFY(text && text->isReadOnly());
    const QString plan = text->toPlainText();
    QVERIFY2(plan.contains(QStringLiteral("2 127.0.0.3 Planned\n  delete /RFA/SETUP.BIN\n")),
             qPrintable(plan));
    QVERIFY2(plan.contains(QStringLiteral("  delete /RFA/NVRAM.TXT")) == false, qPrintable(plan));
    QVERIFY2(plan.contains(QStringLiteral("skip NVRAM.TXT -> /RFA/NVRAM.TXT")), qPrintable(plan));
    QVERIFY2(plan.contains(QStringLiteral("put SETUP.BIN -> /RFA/SETUP.BIN")), qPrintable(plan));
    QVERIFY2(!plan.contains(QStringLiteral("127.0.0.2")), qPrintable(plan));
    QCOMPARE(readFileBytes(simulator.rfaFolder(2) + "/SETUP.BIN"), before);

    m_prompts->answerSaveFile(qs(m_dir->file("plan.txt")));
    QTest::mouseClick(shown->findChild<QPushButton*>(QStringLiteral("previewSaveButton")),
                      Qt::LeftButton);
    QCOMPARE(qs(readFileBytes(m_dir->file("plan.txt"))), plan + QStringLiteral("\n"));
}

void UpgradeE2eTest::checkConnectionsMarksRowsWithoutProgressOrNotice()
{
    SimulatorOptions options;
    options.gateways = 2;
    options.silent = {2};
    SimulatorFixture simulator(options);
    REQUIRE_SIMULATOR(simulator);
    const std::string book = m_dir->write("Addrbook.cpe", distinctBook());
    const std::string deviceBefore = readFileBytes(simulator.deviceFile(1, "Addrbook.cpe"));

    openWindow({UpgradeMode::AddressBookUpgrade, book, false, simulator.listPath()});
    ShowCounter counter;
    m_window->progressWindow()->installEventFilter(&counter);

    clickToolButton("checkConnectionsAction");

    compareStatuses({RowStatus::Reachable, RowStatus::NotReachable});
    QCOMPARE(counter.shows, 0);
    QVERIFY(m_prompts->records().empty());
    // Checking uploads nothing.
    QCOMPARE(readFileBytes(simulator.deviceFile(1, "Addrbook.cpe")), deviceBefore);
}

void UpgradeE2eTest::refusedLoginAndMissingDeviceFolderMarkFtpFailed()
{
    SimulatorOptions options;
    options.gateways = 2;
    options.refuseLogin = {1};
    options.lackFolder = {{2, "Doc"}};
    SimulatorFixture simulator(options);
    REQUIRE_SIMULATOR(simulator);

    m_dir->write("firmware/SETUP.BIN", "new firmware");
    m_dir->write("firmware/DOC/MANUAL.PDF", "%PDF-1.4 manual");
    m_dir->write("firmware/IMAGES/LOGO.BMP", "BM logo");
    const std::string refusedSetup = readFileBytes(simulator.deviceFile(1, "SETUP.BIN"));
    const std::set<std::string> refusedImages = folderEntries(simulator.rfaFolder(1) + "/Images");

    openWindow({UpgradeMode::FirmwareUpgrade, m_dir->file("firmware"), true,
                simulator.listPath()});
    clickToolButton("upgradeListAction");

    compareStatuses({RowStatus::FtpFailed, RowStatus::FtpFailed});
    // The refused gateway: nothing deleted, nothing uploaded.
    QCOMPARE(readFileBytes(simulator.deviceFile(1, "SETUP.BIN")), refusedSetup);
    QCOMPARE(folderEntries(simulator.rfaFolder(1) + "/Images"), refusedImages);
    // The gateway without Doc/: its other files arrive, nothing lands in the wrong place, and
    // no folder is created for the missing one.
    QCOMPARE(readFileBytes(simulator.deviceFile(2, "SETUP.BIN")), std::string("new firmware"));
    QCOMPARE(folderEntries(simulator.rfaFolder(2) + "/Images"), std::set<std::string>{"LOGO.BMP"});
    QCOMPARE(folderEntries(simulator.rfaFolder(2)),
             (std::set<std::string>{"Addrbook.cpe", "Images", "NVRAM.TXT", "SETUP.BIN", "User"}));
    QCOMPARE(m_prompts->messages(), QStringList{QString::fromLatin1(ClosingNotice)});
    QCOMPARE(m_atNotice.lowerPosition, 2);

    // A second batch first clears the images of this one.
    clickToolButton("checkConnectionsAction");
    compareStatuses({RowStatus::Reachable, RowStatus::Reachable});
}

void UpgradeE2eTest::aMixedFleetEndsTheSameAtOneOrEightAtOnce_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("eight at once") << 8;
}

void UpgradeE2eTest::aMixedFleetEndsTheSameAtOneOrEightAtOnce()
{
    QFETCH(int, jobs);
    SimulatorOptions options;
    options.gateways = 8;
    options.silent = {2};
    options.refuseLogin = {3};
    options.lackFolder = {{4, "Images"}};
    options.hang = {5};
    options.dropPut = {6};
    SimulatorFixture simulator(options);
    REQUIRE_SIMULATOR(simulator);
    m_settings.setPath(m_dir->write("config/Orbiphon.ini", SimulatorFixture::FirmwareIni +
                                                               "[Batch]\nJobs=" +
                                                               std::to_string(jobs) + "\n"));
    m_dir->write("firmware/SETUP.BIN", std::string(200000, 'S'));
    m_dir->write("firmware/DOC/MANUAL.PDF", "%PDF-1.4 manual");
    m_dir->write("firmware/IMAGES/LOGO.BMP", "BM logo");

    openWindow({UpgradeMode::FirmwareUpgrade, m_dir->file("firmware"), true,
                simulator.listPath()});
    clickToolButton("upgradeListAction");

    compareStatuses({RowStatus::Uploaded, RowStatus::NotReachable, RowStatus::FtpFailed,
                     RowStatus::FtpFailed, RowStatus::FtpFailed, RowStatus::FtpFailed,
                     RowStatus::Uploaded, RowStatus::Uploaded});
    for (int gateway : {1, 7, 8}) {
        const QByteArray where = "gateway " + QByteArray::number(gateway);
        QVERIFY2(folderEntries(simulator.rfaFolder(gateway)) ==
                     (std::set<std::string>{"Addrbook.cpe", "Doc", "Images", "NVRAM.TXT",
                                            "SETUP.BIN", "User"}),
                 where.constData());
        QVERIFY2(readFileBytes(simulator.deviceFile(gateway, "SETUP.BIN")) ==
                     std::string(200000, 'S'),
                 where.constData());
        QVERIFY2(folderEntries(simulator.rfaFolder(gateway) + "/Doc") ==
                     std::set<std::string>{"MANUAL.PDF"},
                 where.constData());
        QVERIFY2(folderEntries(simulator.rfaFolder(gateway) + "/Images") ==
                     std::set<std::string>{"LOGO.BMP"},
                 where.constData());
        // No USER folder in the firmware: User/ is left as it was.
        QVERIFY2(folderEntries(simulator.rfaFolder(gateway) + "/User") ==
                     std::set<std::string>{"OLD.DAT"},
                 where.constData());
    }
    QCOMPARE(m_prompts->messages(), QStringList{QString::fromLatin1(ClosingNotice)});
}

// The rows of a CSV report without their start time and seconds, which differ from run to run.
QStringList timelessCsv(const std::string& text)
{
    QStringList lines = qs(text).split(QStringLiteral("\r\n"));
    for (QString& line : lines) {
        QStringList fields = line.split(u',');
        if (fields.size() == 12)
            fields[5] = fields[6] = QString();
        line = fields.join(u',');
    }
    return lines;
}

// Every failure kind of the fleet gets its own reason from the cores, shown as the row's tool
// tip and saved as the report; the tool's --report of the same fleet says the same; "Select
// failed rows" then Upgrade selection reaches just those gateways. No password anywhere.
void UpgradeE2eTest::theReportTellsEachFailureAndTheFailedRowsRunAgain()
{
    SimulatorOptions options;
    options.gateways = 5;
    options.silent = {2};
    options.refuseLogin = {3};
    options.lackFolder = {{4, "Doc"}};
    options.dropPut = {5};
    options.password = "Kq7-pw-zX";
    m_dir->write("firmware/SETUP.BIN", std::string(5000, 'S'));
    m_dir->write("firmware/DOC/MANUAL.PDF", "%PDF-1.4 manual");
    m_dir->write("firmware/IMAGES/LOGO.BMP", "BM logo");
    const std::string windowCsv = m_dir->file("window.csv");
    {
        SimulatorFixture simulator(options);
        REQUIRE_SIMULATOR(simulator);
        openWindow({UpgradeMode::FirmwareUpgrade, m_dir->file("firmware"), true,
                    simulator.listPath()});
        auto* saveReport = m_window->findChild<QAction*>(QStringLiteral("saveReportAction"));
        QVERIFY(saveReport && !saveReport->isEnabled());
        clickToolButton("upgradeListAction");

        struct Expected {
            const char* status;
            QString reason;  // the reason starts with it; empty: no reason
        };
        const std::vector<Expected> expected{
            {"Uploaded", {}},
            {"NotReachable", QStringLiteral("no answer to the echo request within 1000 ms")},
            {"FtpFailed", QStringLiteral("cannot log in: 530 ")},
            {"FtpFailed", QStringLiteral("cannot enter /RFA/DOC/: 550 ")},
            {"FtpFailed", QStringLiteral("cannot put /RFA/SETUP.BIN: the connection dropped")},
        };
        const BatchReport& report = m_window->report();
        QCOMPARE(report.rows.size(), expected.size());
        auto* rows = m_window->findChild<QTreeView*>(QStringLiteral("gatewayList"));
        for (std::size_t row = 0; row < expected.size(); ++row) {
            const QString reason = qs(report.rows[row].outcome.reason);
            const QString tip = rows->model()
                                    ->index(static_cast<int>(row), UpgradeWindow::AddressColumn)
                                    .data(Qt::ToolTipRole)
                                    .toString();
            QCOMPARE(qs(report.rows[row].statusText()), QString::fromLatin1(expected[row].status));
            QVERIFY2(expected[row].reason.isEmpty() ? reason.isEmpty()
                                                    : reason.startsWith(expected[row].reason),
                     qPrintable(reason));
            QVERIFY2(tip.startsWith(QString::fromLatin1(expected[row].status)) &&
                         tip.contains(reason) && tip.contains(QStringLiteral(" s)")),
                     qPrintable(tip));
            QVERIFY2(!tip.contains(qs(options.password)), qPrintable(tip));
        }
        QCOMPARE(report.rows[0].outcome.filesSent, 3);
        QCOMPARE(report.rows[0].outcome.bytesSent, 5000u + 15u + 7u);

        QVERIFY(saveReport->isEnabled());
        m_prompts->answerSaveFile(qs(windowCsv));
        saveReport->trigger();
        QVERIFY(!readFileBytes(windowCsv).empty());
        QVERIFY(readFileBytes(windowCsv).find(options.password) == std::string::npos);

        // The retry: only the four failed rows, never the one that was done.
        m_window->findChild<QAction*>(QStringLiteral("selectFailedRowsAction"))->trigger();
        m_dir->write("marker", "");
        fs::copy_file(m_dir->file("marker"), simulator.deviceFile(1, "MARKER.TXT"));
        clickToolButton("upgradeSelectionAction");
        std::set<std::size_t> reached;
        for (const ReportRow& row : m_window->report().rows)
            reached.insert(row.row);
        QCOMPARE(reached, (std::set<std::size_t>{1, 2, 3, 4}));
        QVERIFY(fs::exists(simulator.deviceFile(1, "MARKER.TXT")));
        QCOMPARE(m_window->list().status(0), RowStatus::None);
    }

    // The tool over the same fleet, freshly started.
    SimulatorFixture simulator(options);
    REQUIRE_SIMULATOR(simulator);
    const std::string tool = m_dir->file("tool/orbiphon-cli");
    fs::create_directories(m_dir->file("tool"));
    fs::copy_file(ORBIPHON_CLI, tool);
    m_dir->write("tool/Orbiphon.ini", SimulatorFixture::FirmwareIni);
    const std::string toolCsv = m_dir->file("tool.csv");
    const ProgramRun run = runProgram(tool,
                                      {"upgrade", simulator.listPath(), "--firmware",
                                       m_dir->file("firmware"), "--full", "--report", toolCsv,
                                       "--quiet"},
                                      processEnvironment());
    QCOMPARE(run.status, 1);
    QCOMPARE(timelessCsv(readFileBytes(toolCsv)), timelessCsv(readFileBytes(windowCsv)));
}

QTEST_MAIN(UpgradeE2eTest)
#include "upgrade_e2e_test.moc"
