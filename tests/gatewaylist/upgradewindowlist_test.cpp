#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/batchjson.h"
#include "gatewaylist/listfile.h"
#include "widgets/dialogunits.h"
#include "widgets/listwindow.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "support/fakeftp.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTreeView>

#include <nlohmann/json.hpp>

#include <sstream>
#include <utility>

namespace {

// An Upgrade window over four gateways in memory; the third one never answers the probe.
struct Harness {
    TempDir temp;
    ScriptedPrompts prompts;
    FakeProber prober;
    FakeFtp ftp;
    SettingsFile settings;
    Services services{prompts, prober, ftp, settings, QStringLiteral("/nonexistent/Orbiphon.html")};
    std::unique_ptr<UpgradeWindow> window;

    Harness()
    {
        settings.setPath(temp.write("Orbiphon.ini", "[PutList]\r\nExt1=BIN\r\n"));
        std::ostringstream bytes;
        writeList(bytes, {{"10.0.0.1", "admin", "pw"},
                          {"10.0.0.2", "operator-east-region-maintenance-7", "pw"},
                          {"10.0.0.3", "admin", "pw"},
                          {"10.0.1.4", "backup", "pw"}});
        prober.silent = {"10.0.0.3"};
        UpgradeOptions options;
        options.sourcePath = temp.write("book.cpe", "BOOK");
        options.listPath = temp.write("lists/gateways.obl", bytes.str());
        window = std::make_unique<UpgradeWindow>(services, std::move(options));
        QVERIFY(showActive(window.get()));
    }

    template <typename T>
    T* child(const char* name) const { return requireChild<T>(window.get(), name); }
    QTreeView* list() const { return child<QTreeView>("gatewayList"); }
    QString statusLine() const { return child<QLabel>("statusLine")->text(); }
    QStringList column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            texts << cellText(list(), row, column);
        return texts;
    }
    void filter(const QString& text, int choice) const
    {
        retype(child<QLineEdit>("filterEdit"), text);
        child<QComboBox>("filterChoice")->setCurrentIndex(choice);
    }
};

const QString NoEcho = QStringLiteral("NotReachable \u2014 no answer to the echo request within 1000 ms");

}  // namespace

class UpgradeWindowListTest : public QObject {
    Q_OBJECT

private slots:
    void theListTakesTheRoomTheWindowGains();
    void aBatchShowsItsStatusColumnAndCounts_data();
    void aBatchShowsItsStatusColumnAndCounts();
    void theStatusColumnSortsAndHashGoesBack();
    void theToolTipCarriesTheVerifyNotes();
    void filtersShowRowsAndCommandsActOnThoseShown_data();
    void filtersShowRowsAndCommandsActOnThoseShown();
    void theReportIsJsonOnlyWhenNamedSo_data();
    void theReportIsJsonOnlyWhenNamedSo();
};

void UpgradeWindowListTest::theListTakesTheRoomTheWindowGains()
{
    Harness h;
    const DialogUnits du(h.window->font());
    const QRect list = h.list()->geometry();
    const QRect group = h.child<QWidget>("ftpGroup")->geometry();
    const QRect button = h.child<QWidget>("resetFieldsButton")->geometry();
    QVERIFY(!h.child<QWidget>("filterBar")->isVisible());
    QVERIFY(!h.child<QWidget>("statusLine")->isVisible());

    h.window->resize(h.window->size() + QSize(300, 200));
    QTRY_COMPARE(h.list()->geometry(), list.adjusted(0, 0, 300, 200));
    QCOMPARE(h.child<QWidget>("ftpGroup")->geometry(), group);
    QCOMPARE(h.child<QWidget>("resetFieldsButton")->geometry(), button);
    QCOMPARE(h.child<QWidget>("toolBar")->width(), h.child<QWidget>("clientArea")->width());

    // Never smaller than the layout it opened with.
    h.window->resize(100, 100);
    QTRY_COMPARE(h.list()->geometry(), list);
    QCOMPARE(h.child<QWidget>("clientArea")->size(), du.size(242, 266));
}

void UpgradeWindowListTest::aBatchShowsItsStatusColumnAndCounts_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("loginFails");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("counts");
    QTest::newRow("check") << "check" << false
                           << QStringList{"Reachable", "Reachable", NoEcho, "Reachable"}
                           << "4 gateways · 3 reachable · 1 not reachable";
    QTest::newRow("upgrade") << "upgrade" << false
                             << QStringList{"Uploaded", "Uploaded", NoEcho, "Uploaded"}
                             << "4 gateways · 3 uploaded · 0 failed · 1 not reachable";
    const QString failed = QStringLiteral("FtpFailed \u2014 ");
    QTest::newRow("upgrade, no login") << "upgrade" << true
                                       << QStringList{failed, failed, NoEcho, failed}
                                       << "4 gateways · 0 uploaded · 3 failed · 1 not reachable";
}

void UpgradeWindowListTest::aBatchShowsItsStatusColumnAndCounts()
{
    QFETCH(QString, command);
    QFETCH(bool, loginFails);
    QFETCH(QStringList, statuses);
    QFETCH(QString, counts);
    Harness h;
    h.ftp.connectFails = loginFails;
    QVERIFY(h.list()->isColumnHidden(UpgradeWindow::StatusColumn));
    const int height = h.window->height();
    QStringList during;
    bool commandsOff = true;
    h.prober.onProbe = [&] {
        during << h.statusLine();
        commandsOff = commandsOff && !h.child<QAction>("upgradeListAction")->isEnabled() &&
                      !h.child<QWidget>("deleteButton")->isEnabled();
    };
    if (command == u"check")
        h.window->checkConnections();
    else
        h.window->upgradeList();
    QVERIFY(waitForBatch(*h.window));

    QVERIFY(!h.list()->isColumnHidden(UpgradeWindow::StatusColumn));
    const QStringList shown = h.column(UpgradeWindow::StatusColumn);
    // "FtpFailed — " stands for the word followed by some reason.
    for (int row = 0; row < statuses.size(); ++row)
        QVERIFY2(statuses[row].endsWith(u' ')
                     ? shown[row].startsWith(statuses[row]) && shown[row] != statuses[row]
                     : shown[row] == statuses[row],
                 qPrintable(shown[row]));
    const QRegularExpression line(QStringLiteral("^%1 · \\d+\\.\\d s$").arg(counts));
    QVERIFY2(line.match(h.statusLine()).hasMatch(), qPrintable(h.statusLine()));
    // One by one, the line counts the gateways done before each probe.
    if (command == u"upgrade")
        QCOMPARE(during, QStringList({"0 of 4 done", "1 of 4 done", "2 of 4 done", "3 of 4 done"}));
    // The commands wait for the batch, and come back with it.
    QVERIFY(commandsOff);
    QVERIFY(h.child<QAction>("upgradeListAction")->isEnabled());
    QVERIFY(h.child<QAction>("saveReportAction")->isEnabled());
    // The rows keep their room: the window grew by the filter row and the status line.
    QVERIFY(h.window->height() > height);
    QVERIFY(h.child<QWidget>("filterBar")->isVisible());

    // A long text is cut in the middle, and its tool tip gives it whole, then the row's story.
    const QModelIndex user = h.list()->model()->index(1, UpgradeWindow::UserIdColumn);
    const QString tip = cellToolTip(h.list(), user);
    QVERIFY2(tip.startsWith(QStringLiteral("operator-east-region-maintenance-7\n")), qPrintable(tip));
    QCOMPARE(cellToolTip(h.list(), user.siblingAtColumn(UpgradeWindow::AddressColumn)),
             user.data(Qt::ToolTipRole).toString());
}

void UpgradeWindowListTest::theStatusColumnSortsAndHashGoesBack()
{
    Harness h;
    h.window->checkConnections();
    QVERIFY(waitForBatch(*h.window));
    QHeaderView* header = h.list()->header();
    const std::pair<int, QStringList> clicks[] = {
        {UpgradeWindow::StatusColumn, {"3", "1", "2", "4"}},
        {UpgradeWindow::StatusColumn, {"1", "2", "4", "3"}},
        {UpgradeWindow::AddressColumn, {"1", "2", "4", "3"}},
        {UpgradeWindow::NumberColumn, {"1", "2", "3", "4"}}};
    for (const auto& [column, order] : clicks) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        QCOMPARE(h.column(0), order);
    }
}

void UpgradeWindowListTest::theToolTipCarriesTheVerifyNotes()
{
    Harness h;
    h.settings.setPath(h.temp.write("Orbiphon.ini", "[Batch]\r\nVerify=1\r\n"));
    h.ftp.sizes["Addrbook.cpe"] = RemoteSize{RemoteSize::Kind::Refused, -1};
    h.window->upgradeList();
    QVERIFY(waitForBatch(*h.window));
    const QString tip =
        h.list()->model()->index(0, UpgradeWindow::AddressColumn).data(Qt::ToolTipRole).toString();
    QVERIFY2(tip.startsWith(QStringLiteral("Uploaded (")) &&
                 tip.section(u'\n', 1).contains(QStringLiteral("/RFA/Addrbook.cpe")) &&
                 tip.section(u'\n', 1).contains(QStringLiteral("verified")),
             qPrintable(tip));
}

void UpgradeWindowListTest::filtersShowRowsAndCommandsActOnThoseShown_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("choice");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("all") << "" << 0 << QStringList{"1", "2", "3", "4"};
    QTest::newRow("address text") << "10.0.0" << 0 << QStringList{"1", "2", "3"};
    QTest::newRow("user ID, any case") << "ADMIN" << 0 << QStringList{"1", "3"};
    QTest::newRow("not reached") << "" << 2 << QStringList{"3"};
    QTest::newRow("done") << "" << 3 << QStringList{"1", "2", "4"};
    QTest::newRow("done, by text") << "back" << 3 << QStringList{"4"};
    QTest::newRow("failed: none") << "" << 1 << QStringList{};
    QTest::newRow("not started: none") << "" << 4 << QStringList{};
}

void UpgradeWindowListTest::filtersShowRowsAndCommandsActOnThoseShown()
{
    QFETCH(QString, text);
    QFETCH(int, choice);
    QFETCH(QStringList, shown);
    Harness h;
    h.window->checkConnections();
    QVERIFY(waitForBatch(*h.window));
    h.filter(text, choice);
    QCOMPARE(h.column(0), shown);

    // Select failed rows looks at the whole list, and the filter makes way for what it selects.
    h.window->selectFailedRows();
    QVERIFY(h.column(0).contains(QStringLiteral("3")));
    if (shown.contains(QStringLiteral("3")))
        QCOMPARE(h.column(0), shown);
    QCOMPARE(selectedRowsOf(h.list()).size(), 1);

    // Delete takes only rows that are shown.
    h.filter(text, choice);
    h.list()->selectAll();
    h.child<QAction>("deleteAction")->trigger();
    QCOMPARE(h.window->list().size(), static_cast<std::size_t>(4 - shown.size()));
}

void UpgradeWindowListTest::theReportIsJsonOnlyWhenNamedSo_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("json");
    QTest::newRow("json") << "r.json" << true;
    QTest::newRow("JSON, any case") << "r.JSON" << true;
    QTest::newRow("csv") << "r.csv" << false;
    QTest::newRow("other ending: csv") << "r.txt" << false;
}

void UpgradeWindowListTest::theReportIsJsonOnlyWhenNamedSo()
{
    QFETCH(QString, name);
    QFETCH(bool, json);
    Harness h;
    h.prober.silent.clear();
    h.window->checkConnections();
    QVERIFY(waitForBatch(*h.window));
    const QString path = qs(h.temp.file(name.toStdString()));
    h.prompts.answerSaveFile(path);
    h.child<QAction>("saveReportAction")->trigger();

    const Prompts::FileDialogOptions& asked = h.prompts.records().back().options;
    const QRegularExpression initial(QStringLiteral("/lists/report-\\d{8}T\\d{6}Z\\.csv$"));
    QVERIFY2(initial.match(asked.initialName).hasMatch(), qPrintable(asked.initialName));
    QCOMPARE(asked.filter, QStringLiteral("Report (*.csv);;JSON report (*.json)"));
    const std::string written = readFileBytes(path.toStdString());
    if (json) {
        // The very document of orbiphon-cli --json, which --rows failed: reads back.
        QCOMPARE(qs(written), qs(batchJson(h.window->report()).dump(2) + "\n"));
    } else {
        QVERIFY2(qs(written).startsWith(QStringLiteral("row,address,user ID,status")),
                 written.c_str());
    }
}

QTEST_MAIN(UpgradeWindowListTest)
#include "upgradewindowlist_test.moc"
