#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/batch.h"
#include "gatewaylist/listfile.h"
#include "gatewaylist/statusimages.h"
#include "shell/aboutwindow.h"
#include "widgets/dialogunits.h"
#include "widgets/icons.h"
#include "widgets/ipaddressedit.h"
#include "widgets/progresswindow.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "support/fakeftp.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>

namespace {

// The FakeProber, with a look at the windows each time a gateway is probed: the probe is the
// first thing every transfer does, so it sees the windows as the batch left them for that row.
class WatchedProber final : public Prober {
public:
    explicit WatchedProber(std::vector<std::string>& log) : fake(log) {}

    ProbeResult probe(const std::string& gatewayAddress, int timeoutMs) override
    {
        if (onProbe)
            onProbe(gatewayAddress);
        return fake.probe(gatewayAddress, timeoutMs);
    }

    FakeProber fake;
    std::function<void(const std::string&)> onProbe;
};

// The FakeFtp, except that chosen gateways refuse the login, so one batch can end in every
// status at once.
class PerGatewayFtp final : public FtpClientFactory {
public:
    explicit PerGatewayFtp(std::vector<std::string>& log) : fake(log) {}

    std::unique_ptr<FtpClient> open(const std::string& agent) override
    {
        std::unique_ptr<FtpClient> inner = fake.open(agent);
        if (!inner)
            return nullptr;
        return std::make_unique<Client>(*this, std::move(inner));
    }

    FakeFtp fake;
    std::set<std::string> refusingLogins;

private:
    class Client final : public FtpClient {
    public:
        Client(PerGatewayFtp& owner, std::unique_ptr<FtpClient> inner)
            : m_owner(owner), m_inner(std::move(inner))
        {
        }

        std::unique_ptr<FtpConnection> connect(const FtpLogin& login) override
        {
            if (m_owner.refusingLogins.count(login.address)) {
                m_owner.fake.record("refused(" + login.address + ")");
                return nullptr;
            }
            return m_inner->connect(login);
        }

    private:
        PerGatewayFtp& m_owner;
        std::unique_ptr<FtpClient> m_inner;
    };
};

QString statusName(int status)
{
    static const char* const names[] = {"None", "Uploaded", "FtpFailed", "Reachable",
                                        "NotReachable"};
    return status >= 0 && status < 5 ? QString::fromLatin1(names[status]) : QStringLiteral("?");
}

std::string listBytes(const std::vector<GatewayRecord>& records)
{
    std::ostringstream out;
    writeList(out, records);
    return out.str();
}

// count gateways 10.0.k.m with user "user<n>" and password "pw<n>".
std::vector<GatewayRecord> numberedGateways(int count)
{
    std::vector<GatewayRecord> records;
    for (int n = 1; n <= count; ++n)
        records.push_back({"10.0." + std::to_string(n / 256) + "." + std::to_string(n % 256),
                           "user" + std::to_string(n), "pw" + std::to_string(n)});
    return records;
}

std::string bytesOf(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QLatin1String word(bool condition, const char* yes, const char* no)
{
    return QLatin1String(condition ? yes : no);
}

// One Upgrade window over fakes: scripted prompts, a prober and an FTP server in memory that
// share one log, a settings file and a source in a temporary folder.
struct Harness {
    TempDir temp;
    ScriptedPrompts prompts;
    std::vector<std::string> log;
    WatchedProber prober{log};
    PerGatewayFtp ftp{log};
    SettingsFile settings;
    Services services{prompts, prober, ftp, settings,
                      QStringLiteral("/nonexistent/Orbiphon.html")};
    std::unique_ptr<UpgradeWindow> window;

    Harness()
    {
        services.showAbout = showAboutWindow;
        settings.setPath(temp.write("Orbiphon.ini", "[PutList]\r\nExt1=BIN\r\n"
                                                    "[RemoveFromRFA]\r\nExt1 = BIN\r\n"));
    }

    std::string bookPath() const { return temp.write("mybook.cpe", "BOOK"); }

    void open(UpgradeOptions options = {})
    {
        if (options.sourcePath.empty() && options.mode == UpgradeMode::AddressBookUpgrade)
            options.sourcePath = bookPath();
        window = std::make_unique<UpgradeWindow>(services, std::move(options));
    }

    // Opens the window on a list file holding these records.
    void openWithList(const std::vector<GatewayRecord>& records)
    {
        UpgradeOptions options;
        options.listPath = temp.write("gateways.obl", listBytes(records));
        open(options);
    }

    template <typename T>
    T* child(const char* name) const { return requireChild<T>(window.get(), name); }

    QTreeView* list() const { return child<QTreeView>("gatewayList"); }
    IpAddressEdit* address() const { return child<IpAddressEdit>("addressEdit"); }
    QLineEdit* userId() const { return child<QLineEdit>("userIdEdit"); }
    QLineEdit* password() const { return child<QLineEdit>("passwordEdit"); }
    ProgressWindow* progress() const { return window->progressWindow(); }
    // An action, and the batch it may have started run to its end.
    void trigger(const char* action) const
    {
        child<QAction>(action)->trigger();
        QVERIFY(waitForBatch(*window));
    }
    void click(const char* button) const { clickButton(window.get(), button); }
    void show() const { QVERIFY(showActive(window.get())); }

    // Every row as "#|IP Address|UserID|Password|PswReal".
    QStringList rows() const { return rowTexts(list(), 5); }

    QStringList addresses() const
    {
        QStringList result;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            result << cellText(list(), row, UpgradeWindow::AddressColumn);
        return result;
    }

    // The status each row's image shows, by comparing it with the five images.
    QStringList shownStatuses() const
    {
        QStringList result;
        for (int row = 0; row < list()->model()->rowCount(); ++row) {
            const QImage shown = comparable(list()->model()->index(row, 0).data(Qt::DecorationRole)
                                                .value<QIcon>()
                                                .pixmap(StatusImageSize, StatusImageSize));
            int match = -1;
            for (int status = 0; status < 5; ++status) {
                if (shown == comparable(statusImage(static_cast<RowStatus>(status))))
                    match = status;
            }
            result << statusName(match);
        }
        return result;
    }

    QList<int> selectedRows() const { return selectedRowsOf(list()); }
    void selectRows(const QList<int>& rows) const { clickRows(list(), rows); }
    void clearSelection() const { list()->clearSelection(); }

    void typeFields(const QStringList& parts, const QString& user, const QString& pass) const
    {
        typeAddress(address(), parts);
        retype(userId(), user);
        retype(password(), pass);
    }

    QString fieldAddress() const { return partTexts(address()).join(QLatin1Char('.')); }

    // Leaves images of a finished batch on every row: all answer but the ones made silent.
    void runCheckConnections(const std::set<std::string>& silent = {})
    {
        prober.fake.silent = silent;
        window->checkConnections();
        QVERIFY(waitForBatch(*window));
        prober.fake.silent.clear();
    }
};

}  // namespace

class UpgradeWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void titleAndFrameFollowMode_data();
    void titleAndFrameFollowMode();
    void layoutFollowsDialogUnits_data();
    void layoutFollowsDialogUnits();
    void menusAndToolbarShareTheCommands();
    void listColumnsAndInertHeaders();
    void longestContentsShowInFull_data();
    void longestContentsShowInFull();
    void statusImagesAreDistinctAndDrawnAsDescribed_data();
    void statusImagesAreDistinctAndDrawnAsDescribed();

    void addAtTheLimit_data();
    void addAtTheLimit();
    void modifyInALongFile_data();
    void modifyInALongFile();
    void addTakesTheAddressAsTyped_data();
    void addTakesTheAddressAsTyped();
    void addInsertsBeforeTheFirstSelectedRow_data();
    void addInsertsBeforeTheFirstSelectedRow();
    void deleteRemovesTheSelectedRowsWithoutAsking_data();
    void deleteRemovesTheSelectedRowsWithoutAsking();
    void modifyReplacesTheFirstSelectedRow();
    void modifyWithABlankAddressIsRefused();
    void loginsThatCantBeKeptOrSentAreRefused_data();
    void loginsThatCantBeKeptOrSentAreRefused();
    void passwordIsMaskedAndSelectionFillsTheFields();
    void resetFieldsAndNew();

    void commandsThatCleanStatuses_data();
    void commandsThatCleanStatuses();

    void saveOfAnEmptyListWrites14Bytes();
    void saveAndOpenRoundTrip();
    void saveErrorUsesTheStopIcon();
    void listFileMessages_data();
    void listFileMessages();
    void missingListPathNamesTheFile();
    void openCancelledKeepsTheList();

    void enterEscapeAndCloseBoxClose_data();
    void enterEscapeAndCloseBoxClose();
    void enterOnAFocusedButtonPressesIt();
    void helpAndAbout();

    void batchWithNothingToDo_data();
    void batchWithNothingToDo();
    void checkConnectionsMarksEachRowAsItGoes();
    void upgradeListOverFakeTransfers();
    void upgradeSelectionWorksOnSelectedRowsOnly();
    void batchStartsByClearingEarlierImages_data();
    void batchStartsByClearingEarlierImages();
    void firmwareModeRunsTheFirmwareUpload_data();
    void firmwareModeRunsTheFirmwareUpload();
    void anUpgradeThatCouldNotDoItsJobDoesNotStart_data();
    void anUpgradeThatCouldNotDoItsJobDoesNotStart();
};

void UpgradeWindowTest::cleanup()
{
    restoreCursors();
}

void UpgradeWindowTest::titleAndFrameFollowMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("full");
    QTest::addColumn<QString>("title");
    QTest::newRow("address book") << 0 << false << "Address Book Upgrade";
    QTest::newRow("full firmware") << 1 << true << "Firmware Upgrade";
    QTest::newRow("code firmware") << 1 << false << "Firmware Upgrade";
}

void UpgradeWindowTest::titleAndFrameFollowMode()
{
    QFETCH(int, mode);
    QFETCH(bool, full);
    QFETCH(QString, title);
    Harness h;
    UpgradeOptions options;
    options.mode = static_cast<UpgradeMode>(mode);
    options.fullFirmware = full;
    options.sourcePath = h.temp.path();
    h.open(options);
    QCOMPARE(h.window->windowTitle(), title);
    QCOMPARE(h.window->objectName(), QStringLiteral("upgradeWindow"));

    // The application icon, whether or not anyone set it program-wide.
    QVERIFY(!h.window->windowIcon().isNull());
    QCOMPARE(comparable(h.window->windowIcon().pixmap(32, 32)),
             comparable(applicationIcon().pixmap(32, 32)));

    const Qt::WindowFlags flags = h.window->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowMaximizeButtonHint));
    h.show();
    // Opens at its smallest, the layout's own size, and may grow.
    QCOMPARE(h.window->size(), h.window->minimumSize());
    QVERIFY(h.window->maximumSize().width() > h.window->width());
    QVERIFY(!h.progress()->isVisible());
}

void UpgradeWindowTest::layoutFollowsDialogUnits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QString>("text");
    QTest::newRow("group") << "ftpGroup" << QRect(5, 20, 230, 89) << "FTP";
    QTest::newRow("address label") << "addressLabel" << QRect(16, 36, 44, 15) << "IP Address";
    QTest::newRow("address") << "addressEdit" << QRect(65, 36, 110, 15) << "";
    QTest::newRow("user id label") << "userIdLabel" << QRect(15, 60, 45, 15) << "User ID";
    QTest::newRow("user id") << "userIdEdit" << QRect(65, 60, 50, 15) << "";
    QTest::newRow("password label") << "passwordLabel" << QRect(125, 60, 45, 15) << "Password";
    QTest::newRow("password") << "passwordEdit" << QRect(175, 60, 50, 15) << "";
    QTest::newRow("add") << "addButton" << QRect(15, 86, 45, 15) << "Add";
    QTest::newRow("modify") << "modifyButton" << QRect(70, 86, 45, 15) << "Modify";
    QTest::newRow("delete") << "deleteButton" << QRect(125, 86, 45, 15) << "Delete";
    QTest::newRow("reset fields") << "resetFieldsButton" << QRect(180, 86, 45, 15)
                                  << "Reset fields";
    QTest::newRow("list") << "gatewayList" << QRect(5, 120, 230, 140) << "";
}

void UpgradeWindowTest::layoutFollowsDialogUnits()
{
    QFETCH(QString, name);
    QFETCH(QRect, units);
    QFETCH(QString, text);
    Harness h;
    h.open();
    const DialogUnits du(h.window->font());
    auto* widget = h.window->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), du.rect(units.x(), units.y(), units.width(), units.height()));
    QCOMPARE(widget->parentWidget()->size(), du.size(242, 266));
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(label->frameShadow(), QFrame::Sunken);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->autoDefault());
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(group->title(), text);
    }
}

void UpgradeWindowTest::menusAndToolbarShareTheCommands()
{
    Harness h;
    h.open();
    QCOMPARE(menuEntries(h.child<QMenuBar>("menuBar")),
             QStringList({"&File:&New,&Open,&Save,-,Save &report...,-,&Exit",
                          "&Record:&Add,&Modify,&Delete,&Reset fields",
                          "Upgrade:Check connections,-,Upgrade selection,Upgrade list,"
                          "Back up books...,-,"
                          "Select failed rows",
                          "&Help:Help,About Orbiphon"}));

    auto* toolBar = h.child<QToolBar>("toolBar");
    QCOMPARE(toolBar->iconSize(), QSize(16, 15));
    for (QAction* action : toolBar->actions()) {
        QVERIFY2(action->isSeparator() || !action->icon().isNull(),
                 qPrintable(action->objectName()));
    }
    QCOMPARE(toolTips(toolBar),
             QStringList({"New", "Open", "Save", "-", "Add", "Modify", "Delete", "Reset fields",
                          "-", "Check connections", "Upgrade selection",
                          "Upgrade the whole list", "-", "Help", "About Orbiphon"}));

    // Everything stays enabled whatever the list holds; each command checks for itself. Only
    // Save report waits for a batch to report on, and Back up books... for a gateway in the list.
    for (QAction* action : h.window->findChildren<QAction*>())
        QVERIFY2(action->isEnabled() != (action->objectName() == "saveReportAction"
                                         || action->objectName() == "backUpBooksAction"),
                 qPrintable(action->objectName()));
    Harness loaded;
    loaded.openWithList({{"10.0.0.1", "user", "pw"}});
    QVERIFY(loaded.child<QAction>("backUpBooksAction")->isEnabled());

    // The push buttons run the very actions of the menu and the toolbar.
    const struct {
        const char* button;
        const char* action;
    } pairs[] = {{"addButton", "addAction"},
                 {"modifyButton", "modifyAction"},
                 {"deleteButton", "deleteAction"},
                 {"resetFieldsButton", "resetFieldsAction"}};
    auto* recordMenu = h.child<QMenu>("recordMenu");
    for (const auto& pair : pairs) {
        auto* action = h.child<QAction>(pair.action);
        QVERIFY(recordMenu->actions().contains(action));
        QVERIFY(toolBar->actions().contains(action));
        QSignalSpy triggered(action, &QAction::triggered);
        h.click(pair.button);
        QCOMPARE(triggered.count(), 1);
    }
    // Only Add complained: the other three need a selection or nothing at all.
    QCOMPARE(h.prompts.messages(), QStringList({"Invalid params!"}));
}

void UpgradeWindowTest::listColumnsAndInertHeaders()
{
    Harness h;
    h.openWithList({{"10.0.0.2", "b", "x"}, {"10.0.0.1", "a", "y"}});
    h.show();
    QTreeView* list = h.list();
    const QAbstractItemModel* model = list->model();
    QCOMPARE(model->columnCount(), 6);
    // The Status column waits for the window's first batch.
    QVERIFY(list->isColumnHidden(UpgradeWindow::StatusColumn));
    const QStringList titles = {"#", "IP Address", "UserID", "Password", "PswReal", "Status"};
    for (int column = 0; column < 6; ++column) {
        QCOMPARE(model->headerData(column, Qt::Horizontal).toString(), titles.at(column));
        const Qt::Alignment expected =
            column == 0 || column == UpgradeWindow::StatusColumn ? Qt::AlignLeft : Qt::AlignHCenter;
        QCOMPARE(model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole)
                         .value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 expected);
        QCOMPARE(model->index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 expected);
    }

    // The original's pixel widths grow with the font like the dialog units, at least; the
    // password column takes the rest.
    const DialogUnits du(h.window->font());
    QVERIFY(list->columnWidth(0) >= du.scaledWidth(45));
    QVERIFY(list->columnWidth(1) >= du.scaledWidth(100));
    QCOMPARE(list->columnWidth(2), du.scaledWidth(80));
    const int password = list->viewport()->width() - list->columnWidth(0) -
                         list->columnWidth(1) - list->columnWidth(2);
    QCOMPARE(list->columnWidth(3), password);
    QVERIFY(list->isColumnHidden(4));

    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->iconSize(), QSize(16, 16));
    // The selection reads the same whether or not the list has the focus.
    const QPalette palette = list->palette();
    QCOMPARE(palette.color(QPalette::Inactive, QPalette::Highlight),
             palette.color(QPalette::Active, QPalette::Highlight));

    QHeaderView* headerView = list->header();
    QVERIFY(!headerView->sectionsClickable());
    QVERIFY(!headerView->sectionsMovable());
    for (int column = 0; column < 4; ++column)
        QCOMPARE(headerView->sectionResizeMode(column), QHeaderView::Fixed);

    // A click on a header neither sorts nor selects.
    QTest::mouseClick(headerView->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(headerView->sectionViewportPosition(1) + 10,
                             headerView->height() / 2));
    QCOMPARE(h.addresses(), QStringList({"10.0.0.2", "10.0.0.1"}));
    QVERIFY(h.selectedRows().isEmpty());

    // A user's widening is undone by New, which sets the widths as at opening.
    list->setColumnWidth(3, 10);
    list->setColumnWidth(4, 50);
    h.trigger("newAction");
    QCOMPARE(list->columnWidth(3), password);
    QVERIFY(list->isColumnHidden(4));
}

void UpgradeWindowTest::longestContentsShowInFull_data()
{
    QTest::addColumn<qreal>("fontScale");
    QTest::addColumn<int>("gateways");
    QTest::newRow("default font, a few rows") << 1.0 << 3;
    QTest::newRow("default font, rows for a scroll bar") << 1.0 << 150;
    QTest::newRow("as at 144 DPI, a few rows") << 1.5 << 3;
    QTest::newRow("as at 144 DPI, rows for a scroll bar") << 1.5 << 150;
}

void UpgradeWindowTest::longestContentsShowInFull()
{
    QFETCH(qreal, fontScale);
    QFETCH(int, gateways);
    const QFont original = QApplication::font();
    QFont font = original;
    font.setPointSizeF(original.pointSizeF() * fontScale);
    QApplication::setFont(font);
    const auto restoreFont = qScopeGuard([&] { QApplication::setFont(original); });

    // The longest address on every row, after the status image and a number of up to 3 digits.
    Harness h;
    h.openWithList(std::vector<GatewayRecord>(static_cast<std::size_t>(gateways),
                                              {"255.255.255.255", "admin", "secret"}));
    h.show();
    QTreeView* list = h.list();
    QCOMPARE(list->model()->rowCount(), gateways);

    QTRY_COMPARE(list->verticalScrollBar()->isVisible(), gateways > 50);
    QVERIFY2(cutColumns(list).isEmpty(), qPrintable(cutColumns(list).join(QStringLiteral("; "))));
    QVERIFY(!list->horizontalScrollBar()->isVisible());
}

void UpgradeWindowTest::statusImagesAreDistinctAndDrawnAsDescribed_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("colour");
    QTest::newRow("none: yellow triangle") << 0 << "yellow";
    QTest::newRow("uploaded: green disc") << 1 << "green";
    QTest::newRow("ftp failed: red disc") << 2 << "red";
    QTest::newRow("reachable: no red") << 3 << "grey";
    QTest::newRow("not reachable: red stroke") << 4 << "red";
}

void UpgradeWindowTest::statusImagesAreDistinctAndDrawnAsDescribed()
{
    QFETCH(int, status);
    QFETCH(QString, colour);
    const QPixmap& image = statusImage(static_cast<RowStatus>(status));
    QCOMPARE(image.size(), QSize(StatusImageSize, StatusImageSize));
    for (int other = 0; other < 5; ++other) {
        if (other != status)
            QVERIFY(comparable(image) != comparable(statusImage(static_cast<RowStatus>(other))));
    }

    int yellow = 0, green = 0, red = 0, opaque = 0;
    const QImage pixels = image.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
            const QColor c = pixels.pixelColor(x, y);
            if (c.alpha() < 200)
                continue;
            ++opaque;
            yellow += c.red() > 200 && c.green() > 170 && c.blue() < 90;
            green += c.green() > c.red() + 60 && c.green() > c.blue() + 60;
            red += c.red() > c.green() + 100 && c.red() > c.blue() + 100;
        }
    }
    // Not a blank square, and the colour the operator learns to read at a glance.
    QVERIFY(opaque > 20);
    if (colour == QLatin1String("yellow"))
        QVERIFY(yellow > 10 && red == 0);
    else if (colour == QLatin1String("green"))
        QVERIFY(green > 40 && red == 0);
    else if (colour == QLatin1String("red"))
        QVERIFY(red > 8);
    else
        QCOMPARE(red, 0);
}

void UpgradeWindowTest::addAtTheLimit_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("address");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("rowsAfter");
    const QStringList valid = {"10", "9", "9", "9"};
    const QStringList blank = {"", "", "", ""};
    QTest::newRow("252 rows: the 253rd goes in") << 252 << valid << "" << 253;
    QTest::newRow("252 rows: fields still checked") << 252 << blank << "Invalid params!" << 252;
    QTest::newRow("253 rows: limit before the fields")
        << 253 << blank << "Maximum number of items reached!" << 253;
    QTest::newRow("253 rows: valid fields refused")
        << 253 << valid << "Maximum number of items reached!" << 253;
    QTest::newRow("300 rows read: refused")
        << 300 << valid << "Maximum number of items reached!" << 300;
}

void UpgradeWindowTest::addAtTheLimit()
{
    QFETCH(int, rows);
    QFETCH(QStringList, address);
    QFETCH(QString, message);
    QFETCH(int, rowsAfter);
    Harness h;
    h.openWithList(numberedGateways(rows));
    QCOMPARE(h.list()->model()->rowCount(), rows);
    h.typeFields(address, QStringLiteral("ftp"), QStringLiteral("pw"));
    h.click("addButton");
    QCOMPARE(h.prompts.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(h.window->list().size(), static_cast<std::size_t>(rowsAfter));
    QCOMPARE(h.list()->model()->rowCount(), rowsAfter);
    if (rowsAfter > rows)
        QCOMPARE(h.rows().constLast(), QStringLiteral("253|10.9.9.9|ftp|**|pw"));
}

void UpgradeWindowTest::modifyInALongFile_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("works");
    QTest::newRow("row 1") << 1 << true;
    QTest::newRow("row 253") << 253 << true;
    QTest::newRow("row 254") << 254 << false;
    QTest::newRow("row 300") << 300 << false;
}

void UpgradeWindowTest::modifyInALongFile()
{
    QFETCH(int, row);
    QFETCH(bool, works);
    Harness h;
    const std::vector<GatewayRecord> records = numberedGateways(300);
    h.openWithList(records);
    h.show();
    h.selectRows({row - 1});
    h.typeFields({"172", "16", "0", "1"}, QStringLiteral("new"), QStringLiteral("secret"));
    h.click("modifyButton");

    GatewayRecord expected = records[static_cast<std::size_t>(row - 1)];
    if (works) {
        QVERIFY(h.prompts.messages().isEmpty());
        expected = {"172.16.0.1", "new", "secret"};
        QVERIFY(h.selectedRows().isEmpty());
    } else {
        QCOMPARE(h.prompts.messages(), QStringList({"Maximum number of items reached!"}));
    }
    QCOMPARE(h.window->list().size(), std::size_t{300});
    QCOMPARE(h.window->list().record(static_cast<std::size_t>(row - 1)), expected);
    QCOMPARE(h.rows().at(row - 1), QStringLiteral("%1|%2|%3|%4|%5")
                                       .arg(row)
                                       .arg(QString::fromStdString(expected.ipText),
                                            QString::fromStdString(expected.userId),
                                            QString(static_cast<qsizetype>(
                                                        expected.password.size()),
                                                    u'*'),
                                            QString::fromStdString(expected.password)));
}

void UpgradeWindowTest::addTakesTheAddressAsTyped_data()
{
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("row");
    QTest::newRow("blank") << QStringList{"", "", "", ""} << "Invalid params!" << "";
    QTest::newRow("only the first part") << QStringList{"10", "", "", ""} << ""
                                         << "1|10.0.0.0|ftp|***|abc";
    QTest::newRow("only the last part") << QStringList{"", "", "", "7"} << ""
                                        << "1|0.0.0.7|ftp|***|abc";
    QTest::newRow("whole address") << QStringList{"192", "168", "1", "20"} << ""
                                   << "1|192.168.1.20|ftp|***|abc";
    QTest::newRow("leading zeros") << QStringList{"010", "0", "0", "001"} << ""
                                   << "1|10.0.0.1|ftp|***|abc";
}

void UpgradeWindowTest::addTakesTheAddressAsTyped()
{
    QFETCH(QStringList, parts);
    QFETCH(QString, message);
    QFETCH(QString, row);
    Harness h;
    h.open();
    h.show();
    h.typeFields(parts, QStringLiteral("ftp"), QStringLiteral("abc"));
    h.trigger("addAction");
    QCOMPARE(h.prompts.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(h.rows(), row.isEmpty() ? QStringList() : QStringList{row});
    // Add leaves the fields as they were.
    QCOMPARE(h.userId()->text(), QStringLiteral("ftp"));
    QCOMPARE(h.password()->text(), QStringLiteral("abc"));
}

void UpgradeWindowTest::addInsertsBeforeTheFirstSelectedRow_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("addresses");
    QTest::newRow("row 3 of 5") << QList<int>{2}
                                << QStringList{"10.0.0.1", "10.0.0.2", "172.16.0.9", "10.0.0.3",
                                               "10.0.0.4", "10.0.0.5"};
    QTest::newRow("rows 4 and 2") << QList<int>{3, 1}
                                  << QStringList{"10.0.0.1", "172.16.0.9", "10.0.0.2",
                                                 "10.0.0.3", "10.0.0.4", "10.0.0.5"};
    QTest::newRow("row 1") << QList<int>{0}
                           << QStringList{"172.16.0.9", "10.0.0.1", "10.0.0.2", "10.0.0.3",
                                          "10.0.0.4", "10.0.0.5"};
    QTest::newRow("no selection") << QList<int>{}
                                  << QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3",
                                                 "10.0.0.4", "10.0.0.5", "172.16.0.9"};
}

void UpgradeWindowTest::addInsertsBeforeTheFirstSelectedRow()
{
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, addresses);
    Harness h;
    h.openWithList(numberedGateways(5));
    h.show();
    h.selectRows(selected);
    h.typeFields({"172", "16", "0", "9"}, QStringLiteral("new"), QString());
    const QList<int> selectedBefore = h.selectedRows();
    h.click("addButton");

    QVERIFY(h.prompts.messages().isEmpty());
    QCOMPARE(h.addresses(), addresses);
    for (int row = 0; row < 6; ++row)
        QCOMPARE(cellText(h.list(), row, 0), QString::number(row + 1));
    QCOMPARE(h.shownStatuses(), QStringList(6, QStringLiteral("None")));

    // The new row is not selected; the rows that were stay selected where they moved.
    const int inserted = static_cast<int>(addresses.indexOf(QStringLiteral("172.16.0.9")));
    QList<int> selectedAfter;
    for (int row : selectedBefore)
        selectedAfter << (row >= inserted ? row + 1 : row);
    QCOMPARE(h.selectedRows(), selectedAfter);
    QCOMPARE(h.fieldAddress(), QStringLiteral("172.16.0.9"));
}

void UpgradeWindowTest::deleteRemovesTheSelectedRowsWithoutAsking_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("fields");
    QTest::newRow("rows 2 and 4 of 5")
        << QList<int>{1, 3}
        << QStringList{"1|10.0.0.1|user1|***|pw1", "2|10.0.0.3|user3|***|pw3",
                       "3|10.0.0.5|user5|***|pw5"}
        << "10.0.0.2";
    // Taking the last row first leaves a selected row past the end of the shortened list.
    QTest::newRow("the last two") << QList<int>{3, 4}
                                  << QStringList{"1|10.0.0.1|user1|***|pw1",
                                                 "2|10.0.0.2|user2|***|pw2",
                                                 "3|10.0.0.3|user3|***|pw3"}
                                  << "10.0.0.4";
    QTest::newRow("all of them") << QList<int>{0, 1, 2, 3, 4} << QStringList() << "10.0.0.1";
}

void UpgradeWindowTest::deleteRemovesTheSelectedRowsWithoutAsking()
{
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, rows);
    QFETCH(QString, fields);
    Harness h;
    h.openWithList(numberedGateways(5));
    h.show();
    h.selectRows(selected);
    h.trigger("deleteAction");
    QVERIFY(h.prompts.records().empty());
    QCOMPARE(h.rows(), rows);
    QCOMPARE(static_cast<qsizetype>(h.window->list().size()), rows.size());
    for (qsizetype row = 0; row < rows.size(); ++row)
        QCOMPARE(QString::fromStdString(h.window->list().record(static_cast<std::size_t>(row))
                                            .ipText),
                 rows.at(row).section(QLatin1Char('|'), 1, 1));
    // The fields keep what the selection put there, whatever the removal did on the way.
    QCOMPARE(h.fieldAddress(), fields);
}

void UpgradeWindowTest::modifyReplacesTheFirstSelectedRow()
{
    Harness h;
    h.openWithList(numberedGateways(4));
    h.show();
    h.selectRows({2, 1});
    QCOMPARE(h.fieldAddress(), QStringLiteral("10.0.0.2"));
    h.typeFields({"192", "168", "0", "2"}, QStringLiteral("admin"), QStringLiteral("12345"));
    h.trigger("modifyAction");
    QVERIFY(h.prompts.messages().isEmpty());
    QCOMPARE(h.rows(), QStringList({"1|10.0.0.1|user1|***|pw1", "2|192.168.0.2|admin|*****|12345",
                                    "3|10.0.0.3|user3|***|pw3", "4|10.0.0.4|user4|***|pw4"}));
    // The replaced row drops out of the selection; the other one stays.
    QCOMPARE(h.selectedRows(), QList<int>({2}));
}

void UpgradeWindowTest::modifyWithABlankAddressIsRefused()
{
    Harness h;
    h.openWithList(numberedGateways(2));
    h.show();
    h.selectRows({1});
    h.typeFields({"", "", "", ""}, QStringLiteral("admin"), QStringLiteral("x"));
    h.click("modifyButton");
    QCOMPARE(h.prompts.messages(), QStringList({"Invalid params!"}));
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Warning);
    QCOMPARE(h.rows().at(1), QStringLiteral("2|10.0.0.2|user2|***|pw2"));
}

void UpgradeWindowTest::loginsThatCantBeKeptOrSentAreRefused_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("pass");
    QTest::newRow("password carrying a command")
        << QStringLiteral("admin") << QStringLiteral("secret\r\nDELE /RFA/NVRAM.TXT");
    QTest::newRow("user ID carrying a command")
        << QStringLiteral("admin\nRMD /RFA/Doc") << QStringLiteral("secret");
    QTest::newRow("password beyond one byte")
        << QStringLiteral("admin") << QString::fromUtf8("p\u20acss");
    QTest::newRow("user ID beyond one byte")
        << QString::fromUtf8("\u0100dmin") << QStringLiteral("x");
}

void UpgradeWindowTest::loginsThatCantBeKeptOrSentAreRefused()
{
    QFETCH(QString, user);
    QFETCH(QString, pass);
    Harness h;
    h.openWithList(numberedGateways(2));
    h.show();
    const QStringList before = h.rows();
    typeAddress(h.address(), {"10", "0", "0", "9"});
    h.userId()->setText(user);
    h.password()->setText(pass);
    h.click("addButton");
    h.selectRows({1});
    h.userId()->setText(user);
    h.password()->setText(pass);
    h.click("modifyButton");
    QCOMPARE(h.prompts.messages(), QStringList({"Invalid params!", "Invalid params!"}));
    QCOMPARE(h.rows(), before);
}

void UpgradeWindowTest::passwordIsMaskedAndSelectionFillsTheFields()
{
    Harness h;
    h.openWithList({{"10.0.0.1", "one", "abcdefgh"}, {"10.1.2.3", "", ""}});
    h.show();
    QCOMPARE(h.rows(), QStringList({"1|10.0.0.1|one|********|abcdefgh", "2|10.1.2.3|||"}));
    QCOMPARE(h.password()->echoMode(), QLineEdit::Password);
    QCOMPARE(Qt::Alignment(h.userId()->alignment()) & Qt::AlignHorizontal_Mask,
             Qt::AlignHCenter);
    QCOMPARE(Qt::Alignment(h.password()->alignment()) & Qt::AlignHorizontal_Mask,
             Qt::AlignHCenter);

    h.selectRows({0});
    QCOMPARE(h.fieldAddress(), QStringLiteral("10.0.0.1"));
    QCOMPARE(h.userId()->text(), QStringLiteral("one"));
    QCOMPARE(h.password()->text(), QStringLiteral("abcdefgh"));

    // Empty user ID and password are copied too, not left over from the row before.
    h.selectRows({1});
    QCOMPARE(h.fieldAddress(), QStringLiteral("10.1.2.3"));
    QCOMPARE(h.userId()->text(), QString());
    QCOMPARE(h.password()->text(), QString());

    // Several rows: the first of them counts, whatever order they were picked in.
    h.selectRows({1, 0});
    QCOMPARE(h.fieldAddress(), QStringLiteral("10.0.0.1"));

    // Nothing selected: the fields keep their content.
    h.typeFields({"1", "2", "3", "4"}, QStringLiteral("typed"), QStringLiteral("t"));
    h.clearSelection();
    QCOMPARE(h.fieldAddress(), QStringLiteral("1.2.3.4"));
    QCOMPARE(h.userId()->text(), QStringLiteral("typed"));

    // A row read from a file with a text that is no address fills the field leniently.
    Harness odd;
    odd.openWithList({{"gateway-7", "u", "p"}, {"300.2.x.4", "u", "p"}});
    odd.show();
    odd.selectRows({0});
    QCOMPARE(odd.fieldAddress(), QStringLiteral("0.0.0.0"));
    odd.selectRows({1});
    QCOMPARE(odd.fieldAddress(), QStringLiteral("44.2.0.4"));
    QCOMPARE(odd.rows().at(0), QStringLiteral("1|gateway-7|u|*|p"));
}

void UpgradeWindowTest::resetFieldsAndNew()
{
    Harness h;
    h.openWithList(numberedGateways(3));
    h.show();
    h.selectRows({0});
    h.click("resetFieldsButton");
    QVERIFY(h.address()->isBlank());
    QVERIFY(h.userId()->text().isEmpty());
    QVERIFY(h.password()->text().isEmpty());
    QCOMPARE(h.list()->model()->rowCount(), 3);

    h.selectRows({2});
    h.trigger("newAction");
    QVERIFY(h.prompts.records().empty());
    QCOMPARE(h.list()->model()->rowCount(), 0);
    QVERIFY(h.window->list().empty());
    QVERIFY(h.address()->isBlank());
    QVERIFY(h.userId()->text().isEmpty());
}

void UpgradeWindowTest::commandsThatCleanStatuses_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("cleans");
    QTest::newRow("add") << "add" << true;
    QTest::newRow("add refused") << "add refused" << true;
    QTest::newRow("modify without selection") << "modify" << true;
    QTest::newRow("delete without selection") << "delete" << true;
    QTest::newRow("reset fields") << "reset fields" << true;
    QTest::newRow("new") << "new" << true;
    QTest::newRow("open") << "open" << true;
    QTest::newRow("save") << "save" << true;
    QTest::newRow("save cancelled") << "save cancelled" << true;
    QTest::newRow("open cancelled") << "open cancelled" << false;
    QTest::newRow("selecting rows") << "select" << false;
    QTest::newRow("help") << "help" << false;
}

void UpgradeWindowTest::commandsThatCleanStatuses()
{
    QFETCH(QString, command);
    QFETCH(bool, cleans);
    Harness h;
    const std::vector<GatewayRecord> records = numberedGateways(3);
    h.openWithList(records);
    h.show();
    h.runCheckConnections({"10.0.0.2"});
    QCOMPARE(h.shownStatuses(), QStringList({"Reachable", "NotReachable", "Reachable"}));

    const QString otherList = QString::fromStdString(h.temp.write("other.obl", listBytes(records)));
    if (command == QLatin1String("add")) {
        h.typeFields({"10", "0", "0", "9"}, QString(), QString());
        h.trigger("addAction");
    } else if (command == QLatin1String("add refused")) {
        h.trigger("addAction");
    } else if (command == QLatin1String("modify")) {
        h.trigger("modifyAction");
    } else if (command == QLatin1String("delete")) {
        h.trigger("deleteAction");
    } else if (command == QLatin1String("reset fields")) {
        h.trigger("resetFieldsAction");
    } else if (command == QLatin1String("new")) {
        h.trigger("newAction");
    } else if (command == QLatin1String("open")) {
        h.prompts.answerOpenFile(otherList);
        h.trigger("openAction");
    } else if (command == QLatin1String("save")) {
        h.prompts.answerSaveFile(QString::fromStdString(h.temp.file("saved.obl")));
        h.trigger("saveAction");
    } else if (command == QLatin1String("save cancelled")) {
        h.prompts.answerSaveFile(QString());
        h.trigger("saveAction");
    } else if (command == QLatin1String("open cancelled")) {
        h.prompts.answerOpenFile(QString());
        h.trigger("openAction");
    } else if (command == QLatin1String("select")) {
        h.selectRows({0, 2});
    } else if (command == QLatin1String("help")) {
        h.trigger("helpAction");
    }

    const QStringList statuses = h.shownStatuses();
    if (cleans) {
        QCOMPARE(statuses, QStringList(statuses.size(), QStringLiteral("None")));
        for (std::size_t row = 0; row < h.window->list().size(); ++row)
            QCOMPARE(h.window->list().status(row), RowStatus::None);
    } else {
        QCOMPARE(statuses, QStringList({"Reachable", "NotReachable", "Reachable"}));
    }
    // The list itself is untouched by a batch and by the commands that only clean.
    if (command == QLatin1String("modify") || command == QLatin1String("delete"))
        QCOMPARE(h.window->list().records(), records);
}

void UpgradeWindowTest::saveOfAnEmptyListWrites14Bytes()
{
    Harness h;
    h.open();
    const std::string path = h.temp.file("empty.obl");
    h.prompts.answerSaveFile(QString::fromStdString(path));
    h.trigger("saveAction");
    QVERIFY(h.prompts.messages().isEmpty());
    QCOMPARE(QByteArray::fromStdString(readFileBytes(path)),
             QByteArray::fromHex("094F424C313031303032 00000000"));

    const ScriptedPrompts::Record& dialog = h.prompts.records().front();
    QCOMPARE(dialog.kind, ScriptedPrompts::Kind::SaveFile);
    QCOMPARE(dialog.options.filter, QStringLiteral("Orbiphon List (*.obl)"));
    QCOMPARE(dialog.options.defaultSuffix, QStringLiteral("obl"));
    QCOMPARE(dialog.parent, h.window.get());
}

void UpgradeWindowTest::saveAndOpenRoundTrip()
{
    Harness h;
    h.open();
    h.show();
    h.typeFields({"10", "0", "0", "1"}, QStringLiteral("ftp"), QString());
    h.click("addButton");
    h.typeFields({"192", "168", "10", "200"}, QStringLiteral("admin"),
                 QStringLiteral("0123456789"));
    h.click("addButton");
    const std::string path = h.temp.file("two.obl");
    h.prompts.answerSaveFile(QString::fromStdString(path));
    h.trigger("saveAction");

    // 28 bytes for the first record as laid out, then the second with its encoded password.
    const QByteArray bytes = QByteArray::fromStdString(readFileBytes(path));
    QCOMPARE(bytes.left(28), QByteArray::fromHex("094F424C313031303032 02000000 "
                                                 "0831302E302E302E31 03667470 00"));
    QCOMPARE(bytes.size(), 28 + 3 + 14 + 5 + 20);

    h.trigger("newAction");
    h.prompts.answerOpenFile(QString::fromStdString(path));
    h.trigger("openAction");
    QVERIFY(h.prompts.messages().isEmpty());
    const ScriptedPrompts::Record& dialog = h.prompts.records().back();
    QCOMPARE(dialog.kind, ScriptedPrompts::Kind::OpenFile);
    QCOMPARE(dialog.options.filter, QStringLiteral("Orbiphon List (*.obl)"));
    QCOMPARE(h.rows(), QStringList({"1|10.0.0.1|ftp||",
                                    "2|192.168.10.200|admin|**********|0123456789"}));
    QCOMPARE(h.shownStatuses(), QStringList({"None", "None"}));
}

void UpgradeWindowTest::saveErrorUsesTheStopIcon()
{
    Harness h;
    h.openWithList(numberedGateways(1));
    const std::string path = h.temp.path() + "/no such folder/list.obl";
    h.show();
    h.prompts.answerSaveFile(QString::fromStdString(path));
    h.trigger("saveAction");
    QCOMPARE(h.prompts.messages().size(), 1);
    QVERIFY(h.prompts.messages().constFirst().contains(QStringLiteral("no such folder")));
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Stop);
    QVERIFY(h.window->isVisible());
    QCOMPARE(h.window->list().size(), std::size_t{1});
}

void UpgradeWindowTest::listFileMessages_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("atOpening");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("addresses");

    const std::string two = listBytes({{"10.0.0.1", "a", "b"}, {"10.0.0.2", "c", "d"}});
    std::string threeClaimed = two;
    threeClaimed[10] = 3;
    std::string cutInSecond = two.substr(0, two.size() - 2);
    const QString eof =
        QStringLiteral("An attempt was made to access an unnamed file past its end.");
    const int warning = static_cast<int>(Prompts::Icon::Warning);
    const int stop = static_cast<int>(Prompts::Icon::Stop);

    for (bool atOpening : {true, false}) {
        const char* how = atOpening ? "list path: " : "open: ";
        auto row = [&](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(QString::fromLatin1(how) + QLatin1String(name)));
        };
        row("other version") << QByteArray("\x09OBL101003\0\0\0\0", 14) << atOpening
                             << "Different OBL file version, can't read the file!" << warning
                             << QStringList();
        row("lower-case letters") << QByteArray("\x09obl101002\0\0\0\0", 14) << atOpening
                                  << "OBL Format not recognized!" << warning << QStringList();
        row("empty file") << QByteArray() << atOpening << eof << stop << QStringList();
        row("ends in the count") << QByteArray("\x09OBL101002\x01\0", 12) << atOpening << eof
                                 << stop << QStringList();
        row("third record missing")
            << QByteArray(threeClaimed.data(), static_cast<qsizetype>(threeClaimed.size()))
            << atOpening << eof << stop << QStringList({"10.0.0.1", "10.0.0.2"});
        row("second record cut")
            << QByteArray(cutInSecond.data(), static_cast<qsizetype>(cutInSecond.size()))
            << atOpening << eof << stop << QStringList({"10.0.0.1"});
        row("whole file") << QByteArray(two.data(), static_cast<qsizetype>(two.size()))
                          << atOpening << QString() << warning
                          << QStringList({"10.0.0.1", "10.0.0.2"});
    }
}

void UpgradeWindowTest::listFileMessages()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, atOpening);
    QFETCH(QString, message);
    QFETCH(int, icon);
    QFETCH(QStringList, addresses);
    Harness h;
    const std::string path = h.temp.write("list.obl", bytesOf(bytes));
    QWidget* visibleAtMessage = nullptr;
    if (atOpening) {
        UpgradeOptions options;
        options.listPath = path;
        h.open(options);
    } else {
        h.openWithList(numberedGateways(4));
        h.show();
        h.prompts.onPrompt = [&](const ScriptedPrompts::Record& record) {
            if (record.kind == ScriptedPrompts::Kind::Message && h.window->isVisible())
                visibleAtMessage = h.window.get();
        };
        h.prompts.answerOpenFile(QString::fromStdString(path));
        h.trigger("openAction");
    }
    QCOMPARE(h.prompts.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty()) {
        QCOMPARE(static_cast<int>(h.prompts.lastMessage()->icon), icon);
        QCOMPARE(h.prompts.lastMessage()->caption, messageCaption());
        if (!atOpening)
            QCOMPARE(visibleAtMessage, h.window.get());
    }
    // What was read before the file ended stays, numbered, with no result shown.
    QCOMPARE(h.addresses(), addresses);
    QCOMPARE(static_cast<qsizetype>(h.window->list().size()), addresses.size());
    for (int row = 0; row < addresses.size(); ++row)
        QCOMPARE(cellText(h.list(), row, 0), QString::number(row + 1));
    QCOMPARE(h.shownStatuses(), QStringList(addresses.size(), QStringLiteral("None")));
}

void UpgradeWindowTest::missingListPathNamesTheFile()
{
    Harness h;
    UpgradeOptions options;
    options.listPath = h.temp.file("gone.obl");
    h.open(options);
    QCOMPARE(h.prompts.messages(),
             QStringList({QString::fromStdString(options.listPath) + " was not found."}));
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Stop);
    h.show();
    QCOMPARE(h.list()->model()->rowCount(), 0);
}

void UpgradeWindowTest::openCancelledKeepsTheList()
{
    Harness h;
    h.openWithList(numberedGateways(2));
    h.show();
    h.selectRows({1});
    h.prompts.answerOpenFile(QString());
    h.trigger("openAction");
    QCOMPARE(h.addresses(), QStringList({"10.0.0.1", "10.0.0.2"}));
    QCOMPARE(h.fieldAddress(), QStringLiteral("10.0.0.2"));
    QVERIFY(h.prompts.messages().isEmpty());
}

void UpgradeWindowTest::enterEscapeAndCloseBoxClose_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("focus");
    QTest::newRow("enter in the address") << "enter" << "address";
    QTest::newRow("keypad enter in the user id") << "keypad enter" << "userIdEdit";
    QTest::newRow("enter in the password") << "enter" << "passwordEdit";
    QTest::newRow("enter in the list") << "enter" << "gatewayList";
    QTest::newRow("escape") << "escape" << "userIdEdit";
    QTest::newRow("exit") << "exit" << "";
    QTest::newRow("close box") << "close" << "";
}

void UpgradeWindowTest::enterEscapeAndCloseBoxClose()
{
    QFETCH(QString, how);
    QFETCH(QString, focus);
    Harness h;
    h.openWithList(numberedGateways(2));
    h.show();
    h.selectRows({0});
    QWidget* target = h.window.get();
    if (focus == QLatin1String("address"))
        target = h.address()->part(0);
    else if (!focus.isEmpty())
        target = h.window->findChild<QWidget*>(focus);
    QVERIFY(target);
    target->setFocus();

    if (how == QLatin1String("exit"))
        h.trigger("exitAction");
    else if (how == QLatin1String("close"))
        h.window->close();
    else
        QVERIFY(pressNamedKey(target, how));

    QVERIFY(!h.window->isVisible());
    // Closing asks nothing and saves nothing; the list was not touched.
    QVERIFY(h.prompts.records().empty());
    QCOMPARE(h.window->list().size(), std::size_t{2});
    QVERIFY(h.log.empty());
}

void UpgradeWindowTest::enterOnAFocusedButtonPressesIt()
{
    Harness h;
    h.open();
    h.show();
    h.typeFields({"10", "0", "0", "1"}, QString(), QString());
    auto* add = h.child<QPushButton>("addButton");
    add->setFocus();
    QTest::keyClick(add, Qt::Key_Return);
    QVERIFY(h.window->isVisible());
    QCOMPARE(h.addresses(), QStringList({"10.0.0.1"}));
}

void UpgradeWindowTest::helpAndAbout()
{
    Harness h;
    h.open();
    h.show();
    h.trigger("helpAction");
    QCOMPARE(h.prompts.messages(), QStringList({"Failed to launch help."}));

    QCOMPARE(titleOfModalOpenedBy([&h] { h.trigger("aboutAction"); }),
             QStringLiteral("About Orbiphon"));
    QVERIFY(h.window->isVisible());
}

void UpgradeWindowTest::batchWithNothingToDo_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("message");
    QTest::newRow("check connections, empty") << "checkConnectionsAction" << 0
                                              << "No item in list!";
    QTest::newRow("upgrade list, empty") << "upgradeListAction" << 0 << "No item in list!";
    QTest::newRow("upgrade selection, empty") << "upgradeSelectionAction" << 0
                                              << "No item selected!";
    QTest::newRow("upgrade selection, none selected")
        << "upgradeSelectionAction" << 3 << "No item selected!";
}

void UpgradeWindowTest::batchWithNothingToDo()
{
    QFETCH(QString, action);
    QFETCH(int, rows);
    QFETCH(QString, message);
    Harness h;
    h.openWithList(numberedGateways(rows));
    h.show();
    h.trigger(qPrintable(action));
    QCOMPARE(h.prompts.messages(), QStringList{message});
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Warning);
    QVERIFY(h.log.empty());
    QVERIFY(!h.progress()->isVisible());
    QCOMPARE(h.progress()->windowTitle(), QStringLiteral("Titolo"));
    QVERIFY(!QApplication::overrideCursor());
    // No batch ran, so nothing is shown and Add has nothing to clean.
    QVERIFY(!h.window->list().statusShown());
}

void UpgradeWindowTest::checkConnectionsMarksEachRowAsItGoes()
{
    Harness h;
    h.openWithList(numberedGateways(3));
    h.show();
    QStringList seen;
    h.prober.onProbe = [&](const std::string& address) {
        seen << QString::fromStdString(address) + QLatin1Char(' ')
                    + h.shownStatuses().join(QLatin1Char(','))
                    + word(waitCursorShown(), " busy", " idle")
                    + word(h.progress()->isVisible(), " progress", "");
    };
    h.prober.fake.silent = {"10.0.0.2"};
    h.trigger("checkConnectionsAction");

    QCOMPARE(seen, QStringList({"10.0.0.1 None,None,None busy",
                                "10.0.0.2 Reachable,None,None busy",
                                "10.0.0.3 Reachable,NotReachable,None busy"}));
    QCOMPARE(texts(h.log), QStringList({"probe(10.0.0.1,1000)", "probe(10.0.0.2,1000)",
                                        "probe(10.0.0.3,1000)"}));
    QCOMPARE(h.shownStatuses(), QStringList({"Reachable", "NotReachable", "Reachable"}));
    // No progress window, no closing notice, and the normal cursor again.
    QVERIFY(h.prompts.records().empty());
    QVERIFY(!h.progress()->isVisible());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(h.window->list().statusShown());
}

void UpgradeWindowTest::upgradeListOverFakeTransfers()
{
    Harness h;
    h.openWithList({{"10.0.0.5", "ftp", "pw"}, {"10.0.0.6", "u", ""}, {"10.0.0.7", "x", "y"},
                    {"10.0.0.8", "a", "b"}});
    h.show();
    h.prober.fake.silent = {"10.0.0.6"};
    h.ftp.refusingLogins = {"10.0.0.7"};

    QStringList seen;
    h.prober.onProbe = [&](const std::string&) {
        const ProgressBarState& upper = h.progress()->barState(ProgressBar::Upper);
        const ProgressBarState& lower = h.progress()->barState(ProgressBar::Lower);
        seen << QStringLiteral("%1|%2|%3|upper %4|lower %5/%6|%7|%8|%9")
                    .arg(h.progress()->windowTitle(), h.progress()->line1(), h.progress()->line2())
                    .arg(upper.position())
                    .arg(lower.position())
                    .arg(lower.maximum())
                    .arg(word(h.progress()->isVisible(), "shown", "hidden"),
                         word(waitCursorShown(), "busy", "idle"),
                         h.shownStatuses().join(QLatin1Char(',')));
    };
    QStringList atNotice;
    h.prompts.onPrompt = [&](const ScriptedPrompts::Record&) {
        const ProgressBarState& lower = h.progress()->barState(ProgressBar::Lower);
        atNotice << QStringLiteral("lower %1/%2").arg(lower.position()).arg(lower.maximum())
                 << word(h.progress()->isVisible(), "shown", "hidden")
                 << word(QApplication::overrideCursor(), "busy", "idle")
                 << h.shownStatuses().join(QLatin1Char(','));
    };

    h.trigger("upgradeListAction");

    QCOMPARE(seen,
             QStringList(
                 {"Upgrade List|Connecting...|Ugrade 10.0.0.5|upper 0|lower 0/4|shown|busy|"
                  "None,None,None,None",
                  "Upgrade List|Connecting...|Ugrade 10.0.0.6|upper 0|lower 1/4|shown|busy|"
                  "Uploaded,None,None,None",
                  "Upgrade List|Connecting...|Ugrade 10.0.0.7|upper 0|lower 2/4|shown|busy|"
                  "Uploaded,NotReachable,None,None",
                  "Upgrade List|Connecting...|Ugrade 10.0.0.8|upper 0|lower 3/4|shown|busy|"
                  "Uploaded,NotReachable,FtpFailed,None"}));

    QCOMPARE(h.prompts.messages(),
             QStringList({"Turn-off and Turn-on the Orbiphons to activate the new settings.\r\n"
                          "Spegnere e riaccendere i Orbiphon per rendere attive le nuove "
                          "impostazioni."}));
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Information);
    QCOMPARE(h.prompts.lastMessage()->parent, h.window.get());
    // The notice stands over the full progress window with the normal cursor back.
    QCOMPARE(atNotice, QStringList({"lower 4/4", "shown", "idle",
                                    "Uploaded,NotReachable,FtpFailed,Uploaded"}));
    QVERIFY(!h.progress()->isVisible());
    QVERIFY(!QApplication::overrideCursor());

    // Uploads went to the answering gateways with their own logins, the book as Addrbook.cpe.
    const QStringList expected = {
        "probe(10.0.0.5,1000)", "open(Upgrade)", "connect(10.0.0.5:21,ftp,pw)", "cd(/RFA/)",
        "put(Addrbook.cpe)", "close", "closeClient",
        "probe(10.0.0.6,1000)",
        "probe(10.0.0.7,1000)", "open(Upgrade)", "refused(10.0.0.7)", "closeClient",
        "probe(10.0.0.8,1000)", "open(Upgrade)", "connect(10.0.0.8:21,a,b)", "cd(/RFA/)",
        "put(Addrbook.cpe)", "close", "closeClient"};
    QCOMPARE(texts(h.log), expected);
    QCOMPARE(h.ftp.fake.uploaded.at("/RFA/Addrbook.cpe"), std::string("BOOK"));
    QCOMPARE(h.shownStatuses(), QStringList({"Uploaded", "NotReachable", "FtpFailed", "Uploaded"}));
    // A batch changes only the images, never the rows.
    QCOMPARE(h.rows().at(1), QStringLiteral("2|10.0.0.6|u||"));
}

void UpgradeWindowTest::upgradeSelectionWorksOnSelectedRowsOnly()
{
    Harness h;
    h.openWithList(numberedGateways(5));
    h.show();
    h.selectRows({3, 1});
    h.ftp.refusingLogins = {"10.0.0.4"};

    QStringList seen;
    h.prober.onProbe = [&](const std::string&) {
        const ProgressBarState& lower = h.progress()->barState(ProgressBar::Lower);
        seen << QStringLiteral("%1|%2|lower %3/%4")
                    .arg(h.progress()->windowTitle(), h.progress()->line2())
                    .arg(lower.position())
                    .arg(lower.maximum());
    };
    QString lowerAtNotice;
    h.prompts.onPrompt = [&](const ScriptedPrompts::Record&) {
        const ProgressBarState& lower = h.progress()->barState(ProgressBar::Lower);
        lowerAtNotice = QStringLiteral("%1/%2").arg(lower.position()).arg(lower.maximum());
    };
    h.trigger("upgradeSelectionAction");

    QCOMPARE(seen, QStringList({"Upgrade Selection|Ugrade 10.0.0.2|lower 0/2",
                                "Upgrade Selection|Ugrade 10.0.0.4|lower 1/2"}));
    QCOMPARE(lowerAtNotice, QStringLiteral("2/2"));
    QCOMPARE(h.prompts.messages().size(), 1);
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Information);
    QCOMPARE(h.shownStatuses(), QStringList({"None", "Uploaded", "None", "FtpFailed", "None"}));
    QCOMPARE(h.log.front(), std::string("probe(10.0.0.2,1000)"));
    QCOMPARE(std::count_if(h.log.begin(), h.log.end(),
                           [](const std::string& step) { return step.rfind("probe", 0) == 0; }),
             2);
    QVERIFY(!h.progress()->isVisible());
    QVERIFY(!QApplication::overrideCursor());
    // The selection is the operator's: the batch leaves it alone.
    QCOMPARE(h.selectedRows(), QList<int>({1, 3}));
}

void UpgradeWindowTest::batchStartsByClearingEarlierImages_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("check connections") << "checkConnectionsAction";
    QTest::newRow("upgrade list") << "upgradeListAction";
    QTest::newRow("upgrade selection") << "upgradeSelectionAction";
}

void UpgradeWindowTest::batchStartsByClearingEarlierImages()
{
    QFETCH(QString, action);
    Harness h;
    h.openWithList(numberedGateways(3));
    h.show();
    h.runCheckConnections({"10.0.0.3"});
    QCOMPARE(h.shownStatuses(), QStringList({"Reachable", "Reachable", "NotReachable"}));
    h.log.clear();

    h.selectRows({1});
    QStringList atFirstProbe;
    h.prober.onProbe = [&](const std::string&) {
        if (atFirstProbe.isEmpty())
            atFirstProbe = h.shownStatuses();
    };
    h.trigger(qPrintable(action));
    QCOMPARE(atFirstProbe, QStringList({"None", "None", "None"}));
}

void UpgradeWindowTest::firmwareModeRunsTheFirmwareUpload_data()
{
    QTest::addColumn<bool>("full");
    QTest::addColumn<bool>("removes");
    QTest::newRow("full") << true << true;
    QTest::newRow("code") << false << false;
}

void UpgradeWindowTest::firmwareModeRunsTheFirmwareUpload()
{
    QFETCH(bool, full);
    QFETCH(bool, removes);
    Harness h;
    h.temp.write("firmware/CODE.BIN", "code");
    h.temp.write("firmware/readme.txt", "not listed");
    h.ftp.fake.listings["/RFA/"] = {"OLD.BIN", "NVRAM.TXT", "keep.txt"};
    UpgradeOptions options;
    options.mode = UpgradeMode::FirmwareUpgrade;
    options.fullFirmware = full;
    options.sourcePath = h.temp.file("firmware");
    options.listPath = h.temp.write("two.obl", listBytes(numberedGateways(2)));
    h.open(options);
    h.show();
    h.prober.fake.silent = {"10.0.0.1"};
    QString upperAtNotice;
    h.prompts.onPrompt = [&](const ScriptedPrompts::Record&) {
        const ProgressBarState& upper = h.progress()->barState(ProgressBar::Upper);
        upperAtNotice = QStringLiteral("%1/%2").arg(upper.position()).arg(upper.maximum());
    };
    h.trigger("upgradeListAction");

    QCOMPARE(h.shownStatuses(), QStringList({"NotReachable", "Uploaded"}));
    const auto has = [&h](const std::string& step) {
        return std::find(h.log.begin(), h.log.end(), step) != h.log.end();
    };
    QVERIFY(has("put(CODE.BIN)"));
    QVERIFY(!has("put(readme.txt)"));
    QVERIFY(!has("put(Addrbook.cpe)"));
    QCOMPARE(has("delete(OLD.BIN)"), removes);
    QVERIFY(!has("delete(NVRAM.TXT)"));
    QCOMPARE(h.ftp.fake.uploaded.at("/RFA/CODE.BIN"), std::string("code"));
    QCOMPARE(h.prompts.messages().size(), 1);
    // The firmware upload counted its files on the upper bar; the notice still follows.
    QCOMPARE(upperAtNotice, QStringLiteral("2/2"));
    QCOMPARE(h.progress()->windowTitle(), QStringLiteral("Upgrade List"));
}

void UpgradeWindowTest::anUpgradeThatCouldNotDoItsJobDoesNotStart_data()
{
    // settings: "missing", "folder", or the file's text; {ini}, {firmware}, {backups} in the
    // message stand for the paths.
    QTest::addColumn<bool>("book");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("message");  // empty: it runs
    QTest::newRow("no settings file") << false << "missing" << "{ini} was not found.";
    QTest::newRow("a folder in its place") << false << "folder" << "{ini} was not found.";
    QTest::newRow("an empty PutList would send nothing")
        << false << ""
        << "PutList of {ini} lists no extension: a firmware upgrade would send nothing";
    QTest::newRow("a PutList matching no file would send nothing")
        << false << "[PutList]\nExt1=ZIP\n"
        << "no file of {firmware} has an extension that PutList of {ini} lists: a firmware "
           "upgrade would send nothing";
    QTest::newRow("a PutList matching a file runs") << false << "[PutList]\nExt1=BIN\n" << "";
    QTest::newRow("a back-up folder that is not there")
        << true << "[Batch]\nBackupFolder={backups}\n" << "{backups} was not found.";
}

void UpgradeWindowTest::anUpgradeThatCouldNotDoItsJobDoesNotStart()
{
    QFETCH(bool, book);
    QFETCH(QString, settings);
    QFETCH(QString, message);
    Harness h;
    const std::string path = h.temp.file("exe/Orbiphon.ini");
    const auto withPaths = [&](QString text) {
        return text.replace(QStringLiteral("{ini}"), QString::fromStdString(path))
            .replace(QStringLiteral("{firmware}"), QString::fromStdString(h.temp.file("firmware")))
            .replace(QStringLiteral("{backups}"), QString::fromStdString(h.temp.file("gone")));
    };
    if (settings == QLatin1String("folder"))
        std::filesystem::create_directories(path);
    else if (settings != QLatin1String("missing"))
        h.temp.write("exe/Orbiphon.ini", withPaths(settings).toStdString());
    h.settings.setPath(path);
    h.temp.write("firmware/CODE.BIN", "code");
    UpgradeOptions options;
    if (!book) {
        options.mode = UpgradeMode::FirmwareUpgrade;
        options.fullFirmware = true;
        options.sourcePath = h.temp.file("firmware");
    }
    options.listPath = h.temp.write("two.obl", listBytes(numberedGateways(2)));
    h.open(options);
    h.show();
    QStringList progressShown;
    h.prompts.onPrompt = [&](const ScriptedPrompts::Record&) {
        progressShown << word(h.progress()->isVisible(), "shown", "hidden");
    };
    h.trigger("upgradeListAction");
    h.selectRows({0});
    h.trigger("upgradeSelectionAction");

    if (message.isEmpty()) {
        QCOMPARE(h.prompts.messages().size(), 2);
        QCOMPARE(h.shownStatuses(), QStringList({"Uploaded", "None"}));
        return;
    }
    QCOMPARE(h.prompts.messages(), QStringList({withPaths(message), withPaths(message)}));
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Stop);
    QCOMPARE(progressShown, QStringList({"hidden", "hidden"}));
    QVERIFY(h.log.empty());
}

QTEST_MAIN(UpgradeWindowTest)
#include "upgradewindow_test.moc"
