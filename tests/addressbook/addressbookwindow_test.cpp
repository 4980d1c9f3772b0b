#include "addressbook/addressbookwindow.h"

#include "addressbook/telephoneedit.h"
#include "shell/aboutwindow.h"
#include "widgets/dialogunits.h"
#include "widgets/ipaddressedit.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"
#include "transfer/ftpclient.h"
#include "transfer/probe.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <sstream>

namespace {

class SilentProber final : public Prober {
public:
    ProbeResult probe(const std::string&, int) override { return ProbeResult::Silent; }
};

class NoFtp final : public FtpClientFactory {
public:
    std::unique_ptr<FtpClient> open(const std::string&) override { return nullptr; }
};

// One window with scripted prompts and nothing behind the network services.
struct Harness {
    ScriptedPrompts prompts;
    SilentProber prober;
    NoFtp ftp;
    SettingsFile settings;
    Services services{prompts, prober, ftp, settings, QStringLiteral("/nonexistent/Orbiphon.html")};
    std::unique_ptr<AddressBookWindow> window;

    explicit Harness(const QString& path = {})
        : window(std::make_unique<AddressBookWindow>(services, path))
    {
        services.showAbout = showAboutWindow;
    }

    template <typename T>
    T* child(const char* name) const { return requireChild<T>(window.get(), name); }

    QTreeView* list() const { return child<QTreeView>("entryList"); }
    TelephoneEdit* telephone() const { return child<TelephoneEdit>("telephoneEdit"); }
    IpAddressEdit* recordAddress() const { return child<IpAddressEdit>("recordAddress"); }
    QLineEdit* recordPort() const { return child<QLineEdit>("recordPort"); }
    IpAddressEdit* gatewayAddress(int n) const
    {
        return child<IpAddressEdit>(n == 1 ? "gateway1Address" : "gateway2Address");
    }
    QLineEdit* gatewayPort(int n) const
    {
        return child<QLineEdit>(n == 1 ? "gateway1Port" : "gateway2Port");
    }
    void trigger(const char* action) const { child<QAction>(action)->trigger(); }
    void click(const char* button) const { clickButton(window.get(), button); }
    void show() const { QVERIFY(showActive(window.get())); }

    // Every row as "#|IP Address|Port|Telephone number".
    QStringList rows() const { return rowTexts(list(), 4); }
    QList<int> selectedRows() const { return selectedRowsOf(list()); }
    void selectRows(const QList<int>& rows) const { clickRows(list(), rows); }
    void typeTelephone(const QString& text) const { retype(telephone(), text); }

    void addRecord(const QString& address, const QString& number) const
    {
        typeAddress(recordAddress(), address.split(QLatin1Char('.')));
        typeTelephone(number);
        click("addButton");
    }
};

// One 54-byte slot of a .cpe file.
std::string slot(const std::string& ip, std::uint16_t port, const std::string& telephone)
{
    std::string bytes(SlotSize, '\0');
    bytes.replace(0, std::min<std::size_t>(16, ip.size()), ip, 0, 16);
    bytes[16] = static_cast<char>(port & 0xFF);
    bytes[17] = static_cast<char>(port >> 8);
    bytes.replace(18, std::min<std::size_t>(36, telephone.size()), telephone, 0, 36);
    return bytes;
}

std::string gatewaySlot(const std::string& ip, std::uint16_t port)
{
    return slot(ip, port, std::string(35, '0'));
}

// A file with cleared gateways and count numbered entries 10.0.k.m / 1720 / "100"+k.
std::string bookWithEntries(int count)
{
    std::string bytes = gatewaySlot("255.255.255.255", 1720) + gatewaySlot("255.255.255.255", 1720);
    for (int k = 1; k <= count; ++k)
        bytes += slot("10.0." + std::to_string(k / 256) + "." + std::to_string(k % 256), 1720,
                      "100" + std::to_string(k));
    return bytes;
}

std::string modelImage(const AddressBook& book)
{
    std::ostringstream out;
    book.write(out);
    return out.str();
}

}  // namespace

class AddressBookWindowTest : public QObject {
    Q_OBJECT

private slots:
    void layoutFollowsDialogUnits_data();
    void layoutFollowsDialogUnits();
    void commandsAreSharedByMenuToolbarAndButtons();
    void listIsAnInertReport();
    void theListTakesTheRoomTheWindowGains();
    void longestContentsShowInFull_data();
    void longestContentsShowInFull();
    void newWindowShowsClearedBook();

    void telephoneKeyFiltering_data();
    void telephoneKeyFiltering();
    void telephonePasteKeepsOnlyAcceptedCharacters();
    void portFieldsTakeDigitsOnly();

    void addPlacesRowAndRenumbers_data();
    void addPlacesRowAndRenumbers();
    void addRefusesInvalidParams_data();
    void addRefusesInvalidParams();
    void addOnFullListShowsLimitWithoutTakingFields();
    void modifyReplacesFirstSelectedRow();
    void modifyWithoutSelectionDoesNothing();
    void modifyPastRow253IsRefused();
    void deleteRemovesSelectedRowsAndRenumbers();
    void selectionFillsRecordFields();
    void resetFieldsClearsRecordOnly();
    void newAsksNothingAndClears();

    void takeFieldsStopsAtFirstBadField_data();
    void takeFieldsStopsAtFirstBadField();
    void exitClosesOnlyAfterFieldsAreTaken();
    void enterActsAsExitExceptOnButtons();
    void enterInAnyFieldActsAsExit_data();
    void enterInAnyFieldActsAsExit();
    void escapeClosesWithoutTakingFields();

    void saveNewWindowWritesClearedImage();
    void saveAndOpenRoundTrip();
    void saveWritesGatewayFieldsAsTyped();
    void saveCancelledWritesNothingButTakesFields();
    void saveOf300EntriesAsksAndKeeps253_data();
    void saveOf300EntriesAsksAndKeeps253();
    void fileErrorsUseStopIcon_data();
    void fileErrorsUseStopIcon();
    void openOfStrangeFileShowsItAsRead();
    void openCancelledKeepsBook();

    void helpAndAbout();
};

void AddressBookWindowTest::layoutFollowsDialogUnits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("units");
    QTest::newRow("record group") << "recordGroup" << QRect(4, 20, 284, 80);
    QTest::newRow("record address") << "recordAddress" << QRect(64, 36, 110, 15);
    QTest::newRow("telephone") << "telephoneEdit" << QRect(64, 57, 160, 15);
    QTest::newRow("port group") << "portGroup" << QRect(240, 32, 48, 68);
    QTest::newRow("record port") << "recordPort" << QRect(244, 56, 36, 15);
    QTest::newRow("add") << "addButton" << QRect(16, 76, 45, 15);
    QTest::newRow("modify") << "modifyButton" << QRect(71, 76, 45, 15);
    QTest::newRow("delete") << "deleteButton" << QRect(126, 76, 45, 15);
    QTest::newRow("reset fields") << "resetFieldsButton" << QRect(181, 76, 45, 15);
    QTest::newRow("gateway group") << "gatewayGroup" << QRect(4, 104, 284, 52);
    QTest::newRow("gateway 1 address") << "gateway1Address" << QRect(89, 116, 110, 15);
    QTest::newRow("gateway 1 port") << "gateway1Port" << QRect(243, 116, 35, 15);
    QTest::newRow("gateway 2 address") << "gateway2Address" << QRect(89, 136, 110, 15);
    QTest::newRow("gateway 2 port") << "gateway2Port" << QRect(243, 136, 35, 15);
    QTest::newRow("list") << "entryList" << QRect(4, 160, 284, 140);
}

void AddressBookWindowTest::layoutFollowsDialogUnits()
{
    QFETCH(QString, name);
    QFETCH(QRect, units);
    Harness h;
    const DialogUnits du(h.window->font());
    auto* widget = h.window->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), du.rect(units.x(), units.y(), units.width(), units.height()));
    QCOMPARE(widget->parentWidget()->size(), du.size(292, 309));
    QCOMPARE(h.window->windowTitle(), QStringLiteral("Address Book Management"));
}

void AddressBookWindowTest::commandsAreSharedByMenuToolbarAndButtons()
{
    Harness h;
    QCOMPARE(menuEntries(h.child<QMenuBar>("menuBar")),
             QStringList({"&File:&New,&Open,&Save,-,&Exit",
                          "&Record:&Add,&Modify,&Delete,&Reset fields",
                          "&Help:Help,About Orbiphon"}));

    auto* toolBar = h.child<QToolBar>("toolBar");
    QCOMPARE(toolBar->iconSize(), QSize(16, 15));
    for (QAction* action : toolBar->actions())
        QVERIFY(action->isSeparator() || !action->icon().isNull());
    QCOMPARE(toolTips(toolBar), QStringList({"New", "Open", "Save", "-", "Add", "Modify",
                                             "Delete", "Reset fields", "-", "Help",
                                             "About Orbiphon"}));

    // The same action behind the menu entry, the toolbar button and the push button.
    auto* recordMenu = h.child<QMenu>("recordMenu");
    auto* addAction = h.child<QAction>("addAction");
    QVERIFY(recordMenu->actions().contains(addAction));
    QVERIFY(toolBar->actions().contains(addAction));
    QSignalSpy triggered(addAction, &QAction::triggered);
    h.click("addButton");
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(h.prompts.messages(), QStringList({"Invalid params!"}));

    h.prompts.clear();
    typeAddress(h.recordAddress(), {"10", "0", "0", "1"});
    h.typeTelephone(QStringLiteral("123"));
    QTest::mouseClick(toolBar->widgetForAction(addAction), Qt::LeftButton);
    QCOMPARE(h.rows(), QStringList({"1|10.0.0.1|1720|123"}));
}

void AddressBookWindowTest::longestContentsShowInFull_data()
{
    QTest::addColumn<qreal>("fontScale");
    QTest::addColumn<int>("entries");
    QTest::newRow("default font, a few rows") << 1.0 << 3;
    QTest::newRow("default font, rows for a scroll bar") << 1.0 << 150;
    QTest::newRow("as at 144 DPI, a few rows") << 1.5 << 3;
    QTest::newRow("as at 144 DPI, rows for a scroll bar") << 1.5 << 150;
}

void AddressBookWindowTest::longestContentsShowInFull()
{
    QFETCH(qreal, fontScale);
    QFETCH(int, entries);
    const QFont original = QApplication::font();
    QFont font = original;
    font.setPointSizeF(original.pointSizeF() * fontScale);
    QApplication::setFont(font);
    const auto restoreFont = qScopeGuard([&] { QApplication::setFont(original); });

    // Every row holds the longest address, port and telephone number an entry can show.
    std::string bytes = gatewaySlot("255.255.255.255", 1720) + gatewaySlot("255.255.255.255", 1720);
    for (int k = 0; k < entries; ++k)
        bytes += slot("255.255.255.255", 0x8000, "01234567890123456789012345678901234");
    TempDir temp;
    Harness h(QString::fromStdString(temp.write("longest.cpe", bytes)));
    h.show();
    QTreeView* list = h.list();
    QCOMPARE(list->model()->rowCount(), entries);
    QCOMPARE(cellText(list, 0, 2), QStringLiteral("-32768"));

    QTRY_COMPARE(list->verticalScrollBar()->isVisible(), entries > 50);
    QVERIFY2(cutColumns(list).isEmpty(), qPrintable(cutColumns(list).join(QStringLiteral("; "))));
    QVERIFY(!list->horizontalScrollBar()->isVisible());
}

void AddressBookWindowTest::listIsAnInertReport()
{
    Harness h;
    h.show();
    QTreeView* list = h.list();
    const QAbstractItemModel* model = list->model();
    QCOMPARE(model->columnCount(), 4);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("#"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("IP Address"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Port"));
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Telephone number"));
    // The widths follow the font (longestContentsShowInFull); the telephone takes the rest.
    QCOMPARE(list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2) +
                 list->columnWidth(3),
             list->viewport()->width());
    QVERIFY(!list->header()->sectionsClickable());
    QVERIFY(!list->header()->sectionsMovable());
    for (int column = 0; column < 4; ++column)
        QCOMPARE(list->header()->sectionResizeMode(column), QHeaderView::Fixed);
    QVERIFY(!list->isSortingEnabled());
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->palette().color(QPalette::Inactive, QPalette::Highlight),
             list->palette().color(QPalette::Active, QPalette::Highlight));

    h.addRecord(QStringLiteral("10.0.0.1"), QStringLiteral("5"));
    const auto alignment = [&](int column) {
        return model->index(0, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    };
    QCOMPARE(alignment(0), Qt::AlignLeft);
    for (int column = 1; column < 4; ++column)
        QCOMPARE(alignment(column), Qt::AlignHCenter);
}

void AddressBookWindowTest::theListTakesTheRoomTheWindowGains()
{
    Harness h;
    h.show();
    QVERIFY(h.window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(h.window->size(), h.window->minimumSize());
    const QRect list = h.list()->geometry();
    const QRect group = h.child<QWidget>("gatewayGroup")->geometry();
    h.window->resize(h.window->size() + QSize(250, 400));
    QTRY_COMPARE(h.list()->geometry(), list.adjusted(0, 0, 250, 400));
    QCOMPARE(h.child<QWidget>("gatewayGroup")->geometry(), group);
}

void AddressBookWindowTest::newWindowShowsClearedBook()
{
    Harness h;
    QCOMPARE(h.rows(), QStringList());
    for (int n = 1; n <= 2; ++n) {
        QCOMPARE(h.gatewayAddress(n)->address(), IpAddressInput(IpOctets{255, 255, 255, 255}));
        QCOMPARE(h.gatewayPort(n)->text(), QStringLiteral("1720"));
    }
    QVERIFY(h.recordAddress()->isBlank());
    QCOMPARE(h.recordPort()->text(), QStringLiteral("1720"));
    QVERIFY(!h.recordPort()->isEnabled());
    QCOMPARE(h.telephone()->text(), QString());
    QCOMPARE(h.telephone()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(h.gatewayPort(1)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QVERIFY(h.prompts.records().empty());
}

void AddressBookWindowTest::telephoneKeyFiltering_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("beeps");
    const QString forty(40, QLatin1Char('7'));
    QTest::newRow("digits and star") << "0039*0612" << "0039*0612" << 0;
    QTest::newRow("letter dropped") << "12a3" << "123" << 1;
    QTest::newRow("hash dropped") << "#" << "" << 1;
    QTest::newRow("space and plus dropped") << "1 +2" << "12" << 2;
    QTest::newRow("stops at 35") << forty << forty.left(35) << 0;
    QTest::newRow("backspace accepted") << "123\b4" << "124" << 0;
}

void AddressBookWindowTest::telephoneKeyFiltering()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(int, beeps);
    Harness h;
    QSignalSpy rejected(h.telephone(), &TelephoneEdit::characterRejected);
    for (const QChar c : typed) {
        if (c == QLatin1Char('\b'))
            QTest::keyClick(h.telephone(), Qt::Key_Backspace);
        else
            QTest::keyClicks(h.telephone(), QString(c));
    }
    QCOMPARE(h.telephone()->text(), expected);
    QCOMPARE(rejected.count(), beeps);
}

void AddressBookWindowTest::telephonePasteKeepsOnlyAcceptedCharacters()
{
    Harness h;
    QSignalSpy rejected(h.telephone(), &TelephoneEdit::characterRejected);
    QApplication::clipboard()->setText(QStringLiteral("+39 (06) 12*"));
    h.typeTelephone(QStringLiteral("00"));
    QTest::keyClick(h.telephone(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(h.telephone()->text(), QStringLiteral("00390612*"));
    QCOMPARE(rejected.count(), 1);

    QApplication::clipboard()->setText(QString(40, QLatin1Char('5')));
    h.telephone()->clear();
    QTest::keyClick(h.telephone(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(h.telephone()->text(), QString(35, QLatin1Char('5')));

    // The context menu's Paste goes through the same filter.
    h.show();
    h.telephone()->clear();
    QApplication::clipboard()->setText(QStringLiteral("7-8"));
    bool pasted = false;
    QTimer::singleShot(0, [&pasted] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions()) {
            if (action->objectName() == QLatin1String("pasteTextAction")) {
                action->trigger();
                pasted = true;
            }
        }
        menu->close();
    });
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                h.telephone()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(h.telephone(), &menuEvent);
    QVERIFY(pasted);
    QCOMPARE(h.telephone()->text(), QStringLiteral("78"));
    QCOMPARE(rejected.count(), 2);
}

void AddressBookWindowTest::portFieldsTakeDigitsOnly()
{
    Harness h;
    retype(h.gatewayPort(1), QStringLiteral("5a0-6 0"));
    QCOMPARE(h.gatewayPort(1)->text(), QStringLiteral("5060"));
}

void AddressBookWindowTest::addPlacesRowAndRenumbers_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QList<int>>("selectedAfter");
    QTest::newRow("before the selected row")
        << QList<int>{1}
        << QStringList{"1|1.1.1.1|1720|11", "2|4.4.4.4|1720|44", "3|2.2.2.2|1720|22",
                       "4|3.3.3.3|1720|33"}
        << QList<int>{2};
    QTest::newRow("before the first of several selected")
        << QList<int>{2, 0}
        << QStringList{"1|4.4.4.4|1720|44", "2|1.1.1.1|1720|11", "3|2.2.2.2|1720|22",
                       "4|3.3.3.3|1720|33"}
        << QList<int>{1, 3};
    QTest::newRow("appended without selection")
        << QList<int>{}
        << QStringList{"1|1.1.1.1|1720|11", "2|2.2.2.2|1720|22", "3|3.3.3.3|1720|33",
                       "4|4.4.4.4|1720|44"}
        << QList<int>{};
}

void AddressBookWindowTest::addPlacesRowAndRenumbers()
{
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, expected);
    QFETCH(QList<int>, selectedAfter);
    Harness h;
    h.show();
    h.addRecord(QStringLiteral("1.1.1.1"), QStringLiteral("11"));
    h.addRecord(QStringLiteral("2.2.2.2"), QStringLiteral("22"));
    h.addRecord(QStringLiteral("3.3.3.3"), QStringLiteral("33"));
    h.selectRows(selected);

    // What the operator typed stays in the fields after Add, whatever the selection filled in.
    typeAddress(h.recordAddress(), {"4", "4", "4", "4"});
    h.typeTelephone(QStringLiteral("44"));
    h.trigger("addAction");

    QCOMPARE(h.rows(), expected);
    QCOMPARE(h.selectedRows(), selectedAfter);
    QCOMPARE(h.recordAddress()->address(), IpAddressInput(IpOctets{4, 4, 4, 4}));
    QCOMPARE(h.telephone()->text(), QStringLiteral("44"));
    QVERIFY(h.prompts.records().empty());
    QCOMPARE(h.window->book().entries().at(3).telephone,
             expected.at(3).section('|', 3).toStdString());
}

void AddressBookWindowTest::addRefusesInvalidParams_data()
{
    QTest::addColumn<QStringList>("address");
    QTest::addColumn<QString>("telephone");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("row");
    const QString invalid = QStringLiteral("Invalid params!");
    QTest::newRow("blank address") << QStringList{"", "", "", ""} << "123" << invalid << "";
    QTest::newRow("empty telephone") << QStringList{"1", "2", "3", "4"} << "" << invalid << "";
    QTest::newRow("blank parts count as 0")
        << QStringList{"10", "", "", "7"} << "5" << "" << "1|10.0.0.7|1720|5";
    QTest::newRow("one part is enough")
        << QStringList{"", "", "9", ""} << "5" << "" << "1|0.0.9.0|1720|5";
}

void AddressBookWindowTest::addRefusesInvalidParams()
{
    QFETCH(QStringList, address);
    QFETCH(QString, telephone);
    QFETCH(QString, message);
    QFETCH(QString, row);
    Harness h;
    typeAddress(h.recordAddress(), address);
    h.typeTelephone(telephone);
    h.trigger("addAction");
    QCOMPARE(h.prompts.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(h.rows(), row.isEmpty() ? QStringList() : QStringList{row});
}

void AddressBookWindowTest::addOnFullListShowsLimitWithoutTakingFields()
{
    TempDir dir;
    Harness h(qs(dir.write("full.cpe", bookWithEntries(253))));
    QCOMPARE(h.list()->model()->rowCount(), 253);
    QCOMPARE(h.rows().last(), QStringLiteral("253|10.0.0.253|1720|100253"));

    // A bad port would be reported if the fields were taken.
    retype(h.gatewayPort(1), QString());
    typeAddress(h.recordAddress(), {"1", "2", "3", "4"});
    h.typeTelephone(QStringLiteral("77"));
    h.trigger("addAction");
    QCOMPARE(h.prompts.messages(), QStringList({"Maximum number of items reached!"}));
    QCOMPARE(h.prompts.lastMessage()->icon, Prompts::Icon::Warning);
    QCOMPARE(h.list()->model()->rowCount(), 253);
    QCOMPARE(h.telephone()->text(), QStringLiteral("77"));
}

void AddressBookWindowTest::modifyReplacesFirstSelectedRow()
{
    TempDir dir;
    const std::string file = gatewaySlot("1.1.1.1", 1) + gatewaySlot("2.2.2.2", 2) +
                             slot("9.9.9.9", 5060, "91") + slot("1.2.3", 5060, "92") +
                             slot("8.8.8.8", 0xFFFF, "93");
    Harness h(qs(dir.write("book.cpe", file)));
    h.show();
    h.selectRows({1, 2});
    // The row's IP text 1.2.3 reads as four octets with a 0 at the end.
    QCOMPARE(h.recordAddress()->address(), IpAddressInput(IpOctets{1, 2, 3, 0}));
    QCOMPARE(h.telephone()->text(), QStringLiteral("92"));
    QCOMPARE(h.recordPort()->text(), QStringLiteral("5060"));

    h.trigger("modifyAction");
    QCOMPARE(h.rows(), QStringList({"1|9.9.9.9|5060|91", "2|1.2.3.0|1720|92", "3|8.8.8.8|-1|93"}));
    QCOMPARE(h.window->book().entries().at(1),
             (AddressEntry{"1.2.3.0", static_cast<std::int16_t>(1720), "92"}));
    // The modified row is no longer selected; the other selected row now fills the fields.
    QCOMPARE(h.selectedRows(), QList<int>({2}));
    QCOMPARE(h.telephone()->text(), QStringLiteral("93"));
    QCOMPARE(h.recordPort()->text(), QStringLiteral("65535"));
    QVERIFY(h.prompts.records().empty());

    // A blank address is refused and the row stays as it was.
    h.recordAddress()->clear();
    h.trigger("modifyAction");
    QCOMPARE(h.prompts.messages(), QStringList({"Invalid params!"}));
    QCOMPARE(h.rows().at(2), QStringLiteral("3|8.8.8.8|-1|93"));
}

void AddressBookWindowTest::modifyWithoutSelectionDoesNothing()
{
    Harness h;
    h.addRecord(QStringLiteral("1.1.1.1"), QStringLiteral("11"));
    // With no row selected the fields are not even taken: a bad port goes unreported.
    retype(h.gatewayPort(2), QString());
    h.typeTelephone(QStringLiteral("99"));
    h.trigger("modifyAction");
    QVERIFY(h.prompts.records().empty());
    QCOMPARE(h.rows(), QStringList({"1|1.1.1.1|1720|11"}));
}

void AddressBookWindowTest::modifyPastRow253IsRefused()
{
    TempDir dir;
    Harness h(qs(dir.write("long.cpe", bookWithEntries(300))));
    h.show();
    h.selectRows({253});
    QCOMPARE(h.telephone()->text(), QStringLiteral("100254"));
    h.typeTelephone(QStringLiteral("5"));
    h.trigger("modifyAction");
    QCOMPARE(h.prompts.messages(), QStringList({"Maximum number of items reached!"}));
    QCOMPARE(h.rows().at(253), QStringLiteral("254|10.0.0.254|1720|100254"));

    h.prompts.clear();
    h.selectRows({252});
    h.typeTelephone(QStringLiteral("5"));
    h.trigger("modifyAction");
    QVERIFY(h.prompts.records().empty());
    QCOMPARE(h.rows().at(252), QStringLiteral("253|10.0.0.253|1720|5"));
}

void AddressBookWindowTest::deleteRemovesSelectedRowsAndRenumbers()
{
    Harness h;
    h.show();
    for (int n = 1; n <= 5; ++n)
        h.addRecord(QStringLiteral("%1.0.0.1").arg(n), QString::number(n));
    h.selectRows({1, 3});
    h.typeTelephone(QStringLiteral("777"));
    h.click("deleteButton");
    QCOMPARE(h.rows(), QStringList({"1|1.0.0.1|1720|1", "2|3.0.0.1|1720|3", "3|5.0.0.1|1720|5"}));
    QCOMPARE(h.window->book().size(), std::size_t(3));
    QCOMPARE(h.window->book().entries().at(1).telephone, std::string("3"));
    QCOMPARE(h.telephone()->text(), QStringLiteral("777"));
    QVERIFY(h.prompts.records().empty());

    // Nothing selected: nothing removed.
    h.trigger("deleteAction");
    QCOMPARE(h.rows().size(), 3);
}

void AddressBookWindowTest::selectionFillsRecordFields()
{
    TempDir dir;
    const std::string file = gatewaySlot("1.1.1.1", 1) + gatewaySlot("2.2.2.2", 2) +
                             slot("300.1.1.1", 0xFFFF, "12a#") + slot("7.7.7.7", 7, "7");
    Harness h(qs(dir.write("book.cpe", file)));
    h.show();
    QCOMPARE(h.rows().at(0), QStringLiteral("1|300.1.1.1|-1|12a#"));

    // A gateway port typed but not taken yet gives way to the value last taken.
    retype(h.gatewayPort(1), QStringLiteral("9999"));
    h.selectRows({0});
    QCOMPARE(h.recordAddress()->address(), IpAddressInput(IpOctets{44, 1, 1, 1}));
    QCOMPARE(h.telephone()->text(), QStringLiteral("12a#"));
    QCOMPARE(h.recordPort()->text(), QStringLiteral("65535"));
    QCOMPARE(h.gatewayPort(1)->text(), QStringLiteral("1"));

    // Clearing the selection leaves the fields alone.
    h.list()->clearSelection();
    QCOMPARE(h.telephone()->text(), QStringLiteral("12a#"));
}

void AddressBookWindowTest::resetFieldsClearsRecordOnly()
{
    TempDir dir;
    const std::string file =
        gatewaySlot("1.1.1.1", 1) + gatewaySlot("2.2.2.2", 2) + slot("7.7.7.7", 7, "7");
    Harness h(qs(dir.write("book.cpe", file)));
    h.show();
    h.selectRows({0});
    QCOMPARE(h.recordPort()->text(), QStringLiteral("7"));
    h.click("resetFieldsButton");
    QVERIFY(h.recordAddress()->isBlank());
    QCOMPARE(h.telephone()->text(), QString());
    QCOMPARE(h.recordPort()->text(), QStringLiteral("1720"));
    QCOMPARE(h.gatewayAddress(1)->address(), IpAddressInput(IpOctets{1, 1, 1, 1}));
    QCOMPARE(h.gatewayPort(2)->text(), QStringLiteral("2"));
    QCOMPARE(h.rows().size(), 1);
}

void AddressBookWindowTest::newAsksNothingAndClears()
{
    Harness h;
    h.addRecord(QStringLiteral("1.1.1.1"), QStringLiteral("11"));
    typeAddress(h.gatewayAddress(1), {"10", "0", "0", "1"});
    retype(h.gatewayPort(1), QStringLiteral("5060"));
    h.prompts.answerSaveFile(QString());
    h.trigger("saveAction");  // takes 5060; the save dialog is cancelled
    h.prompts.clear();
    h.trigger("newAction");
    QVERIFY(h.prompts.records().empty());
    QCOMPARE(h.rows(), QStringList());
    QCOMPARE(h.gatewayAddress(1)->address(), IpAddressInput(IpOctets{255, 255, 255, 255}));
    QCOMPARE(h.gatewayPort(1)->text(), QStringLiteral("1720"));
    QVERIFY(h.recordAddress()->isBlank());
    QCOMPARE(h.telephone()->text(), QString());
}

void AddressBookWindowTest::takeFieldsStopsAtFirstBadField_data()
{
    QTest::addColumn<QString>("telephone");  // empty: leave the field as typed by the test
    QTest::addColumn<QString>("port1");
    QTest::addColumn<QString>("port2");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<quint32>("taken1");
    QTest::addColumn<quint32>("taken2");
    const QString tooLong(36, QLatin1Char('3'));
    const QString notInteger = QStringLiteral("Please enter a positive integer.");
    QTest::newRow("all good") << "" << "5060" << "4294967295" << "" << "" << 5060u << 4294967295u;
    QTest::newRow("telephone too long stops before the ports")
        << tooLong << "" << "5" << "Please enter no more than 35 characters."
        << "telephoneEdit" << 1720u << 1720u;
    QTest::newRow("empty gateway 1 port")
        << "" << "" << "5" << notInteger << "gateway1Port" << 1720u << 1720u;
    QTest::newRow("gateway 2 port past 32 bits")
        << "" << "5060" << "4294967296" << notInteger << "gateway2Port" << 5060u << 1720u;
    QTest::newRow("leading zeros are fine") << "" << "000080" << "0" << "" << "" << 80u << 0u;
}

void AddressBookWindowTest::takeFieldsStopsAtFirstBadField()
{
    QFETCH(QString, telephone);
    QFETCH(QString, port1);
    QFETCH(QString, port2);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    QFETCH(quint32, taken1);
    QFETCH(quint32, taken2);
    TempDir dir;
    const std::string file = gatewaySlot("1.1.1.1", 1720) + gatewaySlot("2.2.2.2", 1720) +
                             slot("7.7.7.7", 7, telephone.toStdString());
    Harness h(qs(dir.write("book.cpe", file)));
    h.show();
    if (telephone.isEmpty()) {
        typeAddress(h.recordAddress(), {"5", "5", "5", "5"});
        h.typeTelephone(QStringLiteral("55"));
    } else {
        h.selectRows({0});  // only a row read from a file can bring a longer number
    }
    retype(h.gatewayPort(1), port1);
    retype(h.gatewayPort(2), port2);
    h.window->setFocus();

    h.click("addButton");

    QCOMPARE(h.prompts.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!focus.isEmpty())
        QCOMPARE(QApplication::focusWidget(), h.window->findChild<QWidget*>(focus));
    QCOMPARE(h.window->book().gateways()[0].port, taken1);
    QCOMPARE(h.window->book().gateways()[1].port, taken2);
    // Add goes on after a message; a long number is added as it was taken, before the
    // selected row it came from.
    QCOMPARE(h.rows().size(), 2);
    if (!telephone.isEmpty())
        QCOMPARE(h.rows().at(0), QStringLiteral("1|7.7.7.7|1720|") + telephone);
}

void AddressBookWindowTest::exitClosesOnlyAfterFieldsAreTaken()
{
    Harness h;
    h.show();
    retype(h.gatewayPort(2), QString());
    h.trigger("exitAction");
    QCOMPARE(h.prompts.messages(), QStringList({"Please enter a positive integer."}));
    QVERIFY(h.window->isVisible());

    h.prompts.clear();
    retype(h.gatewayPort(2), QStringLiteral("1721"));
    h.trigger("exitAction");
    QVERIFY(h.prompts.records().empty());
    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.window->result(), int(QDialog::Accepted));
    QCOMPARE(h.window->book().gateways()[1].port, 1721u);
}

void AddressBookWindowTest::enterActsAsExitExceptOnButtons()
{
    Harness h;
    h.show();
    typeAddress(h.recordAddress(), {"1", "1", "1", "1"});
    h.typeTelephone(QStringLiteral("11"));
    auto* addButton = h.child<QPushButton>("addButton");
    addButton->setFocus();
    QTest::keyClick(addButton, Qt::Key_Return);
    QCOMPARE(h.rows().size(), 1);
    QVERIFY(h.window->isVisible());
    // No button poses as the default, which Enter would not press.
    for (QPushButton* button : h.window->findChildren<QPushButton*>())
        QVERIFY2(!button->isDefault(), qPrintable(button->objectName()));
}

void AddressBookWindowTest::enterInAnyFieldActsAsExit_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    QTest::newRow("telephone") << "telephoneEdit" << int(Qt::Key_Return);
    QTest::newRow("keypad enter") << "telephoneEdit" << int(Qt::Key_Enter);
    QTest::newRow("record address part") << "recordAddress" << int(Qt::Key_Return);
    QTest::newRow("gateway address part") << "gateway2Address" << int(Qt::Key_Return);
    QTest::newRow("gateway port") << "gateway1Port" << int(Qt::Key_Return);
    QTest::newRow("list") << "entryList" << int(Qt::Key_Return);
}

void AddressBookWindowTest::enterInAnyFieldActsAsExit()
{
    QFETCH(QString, field);
    QFETCH(int, key);
    Harness h;
    h.show();
    QWidget* target = h.window->findChild<QWidget*>(field);
    if (auto* address = qobject_cast<IpAddressEdit*>(target))
        target = address->part(1);
    target->setFocus();
    retype(h.gatewayPort(2), QStringLiteral("1730"));
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.window->result(), int(QDialog::Accepted));
    QCOMPARE(h.window->book().gateways()[1].port, 1730u);
}

void AddressBookWindowTest::escapeClosesWithoutTakingFields()
{
    Harness h;
    h.show();
    retype(h.gatewayPort(1), QString());
    h.telephone()->setFocus();
    QTest::keyClick(h.telephone(), Qt::Key_Escape);
    QVERIFY(h.prompts.records().empty());
    QVERIFY(!h.window->isVisible());
    QCOMPARE(h.window->result(), int(QDialog::Rejected));
}

void AddressBookWindowTest::saveNewWindowWritesClearedImage()
{
    TempDir dir;
    Harness h;
    const std::string path = dir.file("Addrbook.cpe");
    h.prompts.answerSaveFile(qs(path));
    h.trigger("saveAction");
    QCOMPARE(h.prompts.records().size(), std::size_t(1));
    const ScriptedPrompts::Record& dialog = h.prompts.records().front();
    QCOMPARE(dialog.kind, ScriptedPrompts::Kind::SaveFile);
    QCOMPARE(dialog.options.initialName, QStringLiteral("Addrbook.cpe"));
    QCOMPARE(dialog.options.filter, QStringLiteral("Orbiphon Address Book (*.cpe)"));
    QCOMPARE(dialog.options.defaultSuffix, QStringLiteral("cpe"));

    const std::string bytes = readFileBytes(path);
    QCOMPARE(bytes.size(), std::size_t(13770));
    const std::string cleared = gatewaySlot("255.255.255.255", 1720);
    QCOMPARE(bytes.substr(0, 54), cleared);
    QCOMPARE(bytes.substr(54, 54), cleared);
    QCOMPARE(bytes.substr(108), std::string(253 * 54, '\0'));
}

void AddressBookWindowTest::saveAndOpenRoundTrip()
{
    TempDir dir;
    const std::string path = dir.file("round.cpe");
    {
        Harness h;
        h.show();
        typeAddress(h.gatewayAddress(1), {"192", "168", "0", "1"});
        retype(h.gatewayPort(1), QStringLiteral("1719"));
        typeAddress(h.gatewayAddress(2), {"10", "1", "2", "3"});
        retype(h.gatewayPort(2), QStringLiteral("65536"));
        h.addRecord(QStringLiteral("192.168.0.5"), QStringLiteral("0039*06"));
        h.addRecord(QStringLiteral("255.255.255.255"), QString(35, QLatin1Char('9')));
        h.prompts.answerSaveFile(qs(path));
        h.trigger("saveAction");
        QVERIFY(h.prompts.messages().isEmpty());
        QCOMPARE(readFileBytes(path), modelImage(h.window->book()));
        QCOMPARE(h.window->book().gateways()[0].address, (IpOctets{192, 168, 0, 1}));
    }
    Harness h;
    h.addRecord(QStringLiteral("1.1.1.1"), QStringLiteral("1"));
    h.prompts.answerOpenFile(qs(path));
    h.trigger("openAction");
    const ScriptedPrompts::Record& dialog = h.prompts.records().front();
    QCOMPARE(dialog.kind, ScriptedPrompts::Kind::OpenFile);
    QCOMPARE(dialog.options.initialName, QStringLiteral("Addrbook.cpe"));
    QCOMPARE(dialog.options.filter, QStringLiteral("Orbiphon Address Book (*.cpe)"));
    QCOMPARE(dialog.options.defaultSuffix, QString());
    QCOMPARE(h.rows(), QStringList({"1|192.168.0.5|1720|0039*06",
                                    "2|255.255.255.255|1720|" + QString(35, QLatin1Char('9'))}));
    QCOMPARE(h.gatewayAddress(1)->address(), IpAddressInput(IpOctets{192, 168, 0, 1}));
    QCOMPARE(h.gatewayPort(1)->text(), QStringLiteral("1719"));
    QCOMPARE(h.gatewayAddress(2)->address(), IpAddressInput(IpOctets{10, 1, 2, 3}));
    // Only the low 16 bits of a gateway port reach the file.
    QCOMPARE(h.gatewayPort(2)->text(), QStringLiteral("0"));

    // Saving what was opened gives the same bytes back.
    const std::string again = dir.file("again.cpe");
    h.prompts.answerSaveFile(qs(again));
    h.trigger("saveAction");
    std::string expected = readFileBytes(path);
    QCOMPARE(readFileBytes(again), expected);
}

void AddressBookWindowTest::saveWritesGatewayFieldsAsTyped()
{
    TempDir dir;
    const std::string path = dir.file("gw.cpe");
    Harness h;
    typeAddress(h.gatewayAddress(1), {"", "", "", ""});
    typeAddress(h.gatewayAddress(2), {"7", "", "", ""});
    h.prompts.answerSaveFile(qs(path));
    h.trigger("saveAction");
    const std::string bytes = readFileBytes(path);
    QCOMPARE(bytes.substr(0, 54), gatewaySlot("0.0.0.0", 1720));
    QCOMPARE(bytes.substr(54, 54), gatewaySlot("7.0.0.0", 1720));
}

void AddressBookWindowTest::saveCancelledWritesNothingButTakesFields()
{
    TempDir dir;
    Harness h;
    retype(h.gatewayPort(1), QStringLiteral("80"));
    h.prompts.answerSaveFile(QString());
    h.trigger("saveAction");
    QCOMPARE(h.window->book().gateways()[0].port, 80u);
    QVERIFY(h.prompts.messages().isEmpty());

    // A bad port: the message, then the dialog all the same, with the earlier value.
    h.prompts.clear();
    retype(h.gatewayPort(1), QString());
    const std::string path = dir.file("b.cpe");
    h.prompts.answerSaveFile(qs(path));
    h.trigger("saveAction");
    QCOMPARE(h.prompts.messages(), QStringList({"Please enter a positive integer."}));
    QCOMPARE(readFileBytes(path).substr(0, 54), gatewaySlot("255.255.255.255", 80));
}

void AddressBookWindowTest::saveOf300EntriesAsksAndKeeps253_data()
{
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("confirmed") << true;
    QTest::newRow("cancelled") << false;
}

void AddressBookWindowTest::saveOf300EntriesAsksAndKeeps253()
{
    QFETCH(bool, confirmed);
    TempDir dir;
    const std::string source = dir.write("long.cpe", bookWithEntries(300));
    Harness h;
    h.prompts.answerOpenFile(qs(source));
    h.trigger("openAction");
    QCOMPARE(h.rows().size(), 300);
    QCOMPARE(h.rows().last(), QStringLiteral("300|10.0.1.44|1720|100300"));

    h.addRecord(QStringLiteral("1.1.1.1"), QStringLiteral("1"));
    QCOMPARE(h.prompts.messages(), QStringList({"Maximum number of items reached!"}));

    h.prompts.clear();
    const std::string target = dir.file("saved.cpe");
    h.prompts.answerConfirm(confirmed);
    if (confirmed)
        h.prompts.answerSaveFile(qs(target));
    h.trigger("saveAction");
    const ScriptedPrompts::Record& question = h.prompts.records().front();
    QCOMPARE(question.kind, ScriptedPrompts::Kind::Confirm);
    QVERIFY2(question.text.contains(QStringLiteral("300")) &&
                 question.text.contains(QStringLiteral("47")),
             qPrintable(question.text));
    QCOMPARE(h.prompts.records().size(), std::size_t(confirmed ? 2 : 1));
    if (!confirmed) {
        QVERIFY(!QFile::exists(qs(target)));
        return;
    }
    QCOMPARE(readFileBytes(target), bookWithEntries(253));
    QCOMPARE(h.rows().size(), 300);
}

void AddressBookWindowTest::fileErrorsUseStopIcon_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("open of a folder") << "open";
    QTest::newRow("start-up file missing") << "startup";
    QTest::newRow("save into a missing folder") << "save";
    QTest::newRow("save onto a pipe") << "pipe";
}

void AddressBookWindowTest::fileErrorsUseStopIcon()
{
    QFETCH(QString, where);
    TempDir dir;
    const std::string existing = dir.write("old.cpe", bookWithEntries(2));
    std::string path;
    std::unique_ptr<Harness> h;
    FileError expected = FileError::None;
    if (where == QLatin1String("startup")) {
        path = dir.file("missing.cpe");
        h = std::make_unique<Harness>(qs(path));
        expected = FileError::NotFound;
    } else if (where == QLatin1String("open")) {
        h = std::make_unique<Harness>(qs(existing));
        path = dir.path();
        h->prompts.answerOpenFile(qs(path));
        h->trigger("openAction");
        expected = FileError::IsFolder;
    } else if (where == QLatin1String("pipe")) {
        h = std::make_unique<Harness>(qs(existing));
        path = dir.file("pipe.cpe");
        QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
        h->prompts.answerSaveFile(qs(path));
        h->trigger("saveAction");
        expected = FileError::IsPipe;
        QVERIFY(std::filesystem::is_fifo(path));
    } else {
        h = std::make_unique<Harness>(qs(existing));
        path = dir.file("no/such/folder.cpe");
        h->prompts.answerSaveFile(qs(path));
        h->trigger("saveAction");
        expected = FileError::NotFound;
    }
    const ScriptedPrompts::Record* message = h->prompts.lastMessage();
    QVERIFY(message);
    QCOMPARE(message->icon, Prompts::Icon::Stop);
    QCOMPARE(message->text, qs(fileErrorText(expected, path)));
    if (where == QLatin1String("save") || where == QLatin1String("pipe")) {
        QCOMPARE(h->rows().size(), 2);  // the book stays for another try
    } else {
        QCOMPARE(h->rows(), QStringList());
        QCOMPARE(h->gatewayAddress(1)->address(), IpAddressInput(IpOctets{255, 255, 255, 255}));
    }
}

void AddressBookWindowTest::openOfStrangeFileShowsItAsRead()
{
    TempDir dir;
    // A zero slot between entries is skipped; 16- and 36-character fields have no terminator;
    // bytes past ASCII are kept as they are.
    const std::string file = std::string(54, '\0') + gatewaySlot("1.2.3.4", 0xFFFF) +
                             slot("10.0.0.1", 1, "1") + std::string(54, '\0') +
                             slot(std::string(16, 'x'), 0x8000, std::string(36, '4')) +
                             slot("10.0.0.3", 3, "12\xE9") + "tail";
    Harness h;
    h.show();
    // Open starts with New: what the window held before is gone, even where the file is silent.
    typeAddress(h.gatewayAddress(1), {"10", "0", "0", "1"});
    h.addRecord(QStringLiteral("1.1.1.1"), QStringLiteral("1"));
    h.prompts.answerOpenFile(qs(dir.write("odd.cpe", file)));
    h.trigger("openAction");
    QVERIFY(h.prompts.messages().isEmpty());
    QCOMPARE(h.rows(), QStringList({"1|10.0.0.1|1|1",
                                    "2|" + QString(16, QLatin1Char('x')) + "|-32768|" +
                                        QString(36, QLatin1Char('4')),
                                    QStringLiteral("3|10.0.0.3|3|12\u00E9")}));
    QCOMPARE(h.gatewayAddress(1)->address(), IpAddressInput(IpOctets{255, 255, 255, 255}));
    QCOMPARE(h.gatewayPort(1)->text(), QStringLiteral("1720"));
    QCOMPARE(h.gatewayAddress(2)->address(), IpAddressInput(IpOctets{1, 2, 3, 4}));
    QCOMPARE(h.gatewayPort(2)->text(), QStringLiteral("65535"));
    QVERIFY(h.recordAddress()->isBlank());
    QCOMPARE(h.telephone()->text(), QString());

    h.selectRows({2});
    h.trigger("modifyAction");
    QCOMPARE(h.window->book().entries().at(2).telephone, std::string("12\xE9"));
}

void AddressBookWindowTest::openCancelledKeepsBook()
{
    Harness h;
    h.addRecord(QStringLiteral("1.1.1.1"), QStringLiteral("1"));
    h.prompts.answerOpenFile(QString());
    h.trigger("openAction");
    QCOMPARE(h.rows().size(), 1);
}

void AddressBookWindowTest::helpAndAbout()
{
    Harness h;
    h.show();
    h.trigger("helpAction");
    QCOMPARE(h.prompts.messages(), QStringList({"Failed to launch help."}));

    QCOMPARE(titleOfModalOpenedBy([&h] { h.trigger("aboutAction"); }),
             QStringLiteral("About Orbiphon"));
    QVERIFY(h.window->isVisible());
}

QTEST_MAIN(AddressBookWindowTest)
#include "addressbookwindow_test.moc"
