#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/batch.h"
#include "gatewaylist/listfile.h"
#include "gatewaylist/previewwindow.h"
#include "gatewaylist/statusimages.h"
#include "widgets/progresswindow.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "support/fakeftp.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"
#include "support/windowtesting.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QImage>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

// A probe that takes its time, as a silent gateway does, and counts how many run at once.
class SlowProber final : public Prober {
public:
    ProbeResult probe(const std::string&, int timeoutMs) override
    {
        std::unique_lock lock(m_mutex);
        mostAtOnce = std::max(mostAtOnce, ++m_inFlight);
        timeouts.push_back(timeoutMs);
        ++m_started;
        if (m_holding) {
            m_released.wait_for(lock, std::chrono::seconds(10), [this] { return !m_holding; });
        } else {
            lock.unlock();
            std::this_thread::sleep_for(delay);
            lock.lock();
        }
        --m_inFlight;
        return answer ? ProbeResult::Answered : ProbeResult::Silent;
    }

    // From now on each probe waits for release() instead of its delay, so that a test can act
    // while a known number of gateways are in progress, however slow the machine.
    void hold()
    {
        const std::lock_guard lock(m_mutex);
        m_holding = true;
    }
    void release()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_holding = false;
        }
        m_released.notify_all();
    }
    int started()
    {
        const std::lock_guard lock(m_mutex);
        return m_started;
    }

    std::chrono::milliseconds delay{300};
    bool answer = true;
    // Read once the batch has ended.
    int mostAtOnce = 0;
    std::vector<int> timeouts;

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    int m_inFlight = 0;
    int m_started = 0;
    bool m_holding = false;
};

struct Harness {
    explicit Harness(const std::string& batchSection, bool firmware = false)
    {
        settings.setPath(temp.write("Orbiphon.ini", "[PutList]\r\nExt1=BIN\r\n" + batchSection));
        std::vector<GatewayRecord> records;
        for (int n = 1; n <= 6; ++n)
            records.push_back({"10.0.0." + std::to_string(n), "user", "pw"});
        std::ostringstream bytes;
        writeList(bytes, records);
        UpgradeOptions options;
        options.sourcePath = temp.write("book.cpe", "BOOK");
        if (firmware) {
            options.mode = UpgradeMode::FirmwareUpgrade;
            options.sourcePath = temp.file("firmware");
            temp.write("firmware/CODE.BIN", "code");
        }
        options.listPath = temp.write("gateways.obl", bytes.str());
        window = std::make_unique<UpgradeWindow>(services, std::move(options));
        window->show();
    }

    // Each row as "-" for no image yet, "+" for any result.
    QString reached() const
    {
        QString text;
        const auto* rows = window->findChild<QTreeView*>(QStringLiteral("gatewayList"));
        const QImage none = comparable(statusImage(RowStatus::None));
        for (int row = 0; row < rows->model()->rowCount(); ++row) {
            const QPixmap shown = rows->model()->index(row, 0).data(Qt::DecorationRole)
                                      .value<QIcon>()
                                      .pixmap(StatusImageSize, StatusImageSize);
            text += comparable(shown) == none ? u'-' : u'+';
        }
        return text;
    }

    TempDir temp;
    ScriptedPrompts prompts;
    SlowProber prober;
    FakeFtp ftp;
    SettingsFile settings;
    Services services{prompts, prober, ftp, settings, QStringLiteral("/nonexistent/Orbiphon.html")};
    std::unique_ptr<UpgradeWindow> window;
};

}  // namespace

class UpgradeWindowBatchTest : public QObject {
    Q_OBJECT

private slots:
    void theWindowThreadGoesOnWhileGatewaysAreWorkedOn_data();
    void theWindowThreadGoesOnWhileGatewaysAreWorkedOn();
    void stopEndsTheBatchAfterTheGatewaysInProgress_data();
    void stopEndsTheBatchAfterTheGatewaysInProgress();
    void theWindowAnswersTheOperatorWhileABatchRuns();
    void aStoppedPreviewShowedItsProgressAndNamesTheRowsItDidNotReach();
    void theProbeTakesItsLimitsFromBatch_data();
    void theProbeTakesItsLimitsFromBatch();
    void aStagedBatchSaysWhyItStopped();
    void onlyChangedSkipsAGatewayThatHoldsTheBook();
};

void UpgradeWindowBatchTest::theWindowThreadGoesOnWhileGatewaysAreWorkedOn_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<int>("atOnce");
    QTest::newRow("no Batch section: one at a time") << QString() << 1;
    QTest::newRow("Jobs=3: three probes at once") << QStringLiteral("[Batch]\r\nJobs=3\r\n") << 3;
    QTest::newRow("Jobs=65 is out of range") << QStringLiteral("[Batch]\r\nJobs=65\r\n") << 1;
}

void UpgradeWindowBatchTest::theWindowThreadGoesOnWhileGatewaysAreWorkedOn()
{
    QFETCH(QString, batch);
    QFETCH(int, atOnce);
    Harness harness(batch.toStdString());
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);

    harness.window->checkConnections();
    QVERIFY(waitForBatch(*harness.window));

    QCOMPARE(harness.reached(), QStringLiteral("++++++"));
    QCOMPARE(harness.prober.mostAtOnce, atOnce);
    // Probes of at least 600 ms in all: a window thread that waited in them would see no tick.
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
}

void UpgradeWindowBatchTest::stopEndsTheBatchAfterTheGatewaysInProgress_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("batch");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("reached");
    QTest::newRow("check, Escape, Yes") << "check" << "escape" << QString() << true << "+-----";
    QTest::newRow("check, Escape, No") << "check" << "escape" << QString() << false << "++++++";
    QTest::newRow("check, three at once: the three in progress end")
        << "check" << "escape" << "[Batch]\r\nJobs=3\r\n" << true << "+++---";
    QTest::newRow("list, Escape on progress") << "list" << "escape" << QString() << true
                                              << "+-----";
    QTest::newRow("list, close box") << "list" << "close" << QString() << true << "+-----";
    QTest::newRow("back up books, Escape, Yes") << "backup" << "escape" << QString() << true
                                                << "+-----";
}

void UpgradeWindowBatchTest::stopEndsTheBatchAfterTheGatewaysInProgress()
{
    QFETCH(QString, command);
    QFETCH(QString, how);
    QFETCH(QString, batch);
    QFETCH(bool, yes);
    QFETCH(QString, reached);
    Harness harness(batch.toStdString());
    if (command == u"backup")
        harness.prompts.answerFolder(QString::fromStdString(harness.temp.path()));
    harness.prompts.answerConfirm(yes);
    QWidget* target = command != u"list" ? static_cast<QWidget*>(harness.window.get())
                                          : harness.window->progressWindow();
    harness.prober.hold();

    if (command == u"check")
        harness.window->checkConnections();
    else if (command == u"backup")
        harness.window->backUpBooks();
    else
        harness.window->upgradeList();
    // The stop is asked for while the gateways of the first round are in progress.
    const std::size_t question = command == u"backup" ? 1 : 0;  // after the folder picker
    QTRY_COMPARE(harness.prober.started(), batch.isEmpty() ? 1 : 3);
    if (how == u"close")
        target->close();
    else
        QTest::keyClick(target, Qt::Key_Escape);
    QTRY_VERIFY(harness.prompts.records().size() > question);
    harness.prober.release();
    QVERIFY(waitForBatch(*harness.window));

    QVERIFY(harness.prompts.records().size() > question);
    QCOMPARE(harness.prompts.records()[question].text, QString::fromLatin1(StopQuestion));
    QCOMPARE(harness.reached(), reached);
    QVERIFY(harness.window->isVisible());

    // How it ended comes first, then the notice; the rows left are what Select failed rows picks.
    const auto done = reached.count(u'+');
    QStringList told;
    if (yes)
        told << QStringLiteral("Stopped: %1 of 6 gateways done, %2 not started.")
                    .arg(done)
                    .arg(6 - done);
    if (command == u"list")
        told << QString::fromLatin1(ClosingNotice);
    QCOMPARE(harness.prompts.messages(), told);
    harness.window->selectFailedRows();
    QList<int> left;
    for (int row = static_cast<int>(done); row < 6; ++row)
        left << row;
    QCOMPARE(selectedRowsOf(harness.window->findChild<QTreeView*>("gatewayList")), left);
}

void UpgradeWindowBatchTest::theWindowAnswersTheOperatorWhileABatchRuns()
{
    Harness harness({});
    QVERIFY(showActive(harness.window.get()));
    QElapsedTimer clock;
    clock.start();
    harness.window->checkConnections();
    // The command returns at once; six probes of 300 ms go on meanwhile.
    QVERIFY2(clock.elapsed() < 1200, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(harness.window->batchRunning());
    // Typing reaches the window, and is not kept for later: the filter shows one row now.
    auto* filter = harness.window->findChild<QLineEdit*>(QStringLiteral("filterEdit"));
    QTest::keyClicks(filter, QStringLiteral("10.0.0.4"));
    QCOMPARE(harness.window->findChild<QTreeView*>(QStringLiteral("gatewayList"))
                 ->model()
                 ->rowCount(),
             1);
    // Its commands wait for the batch.
    QVERIFY(!harness.window->findChild<QAction*>(QStringLiteral("checkConnectionsAction"))
                 ->isEnabled());
    QVERIFY(harness.window->batchRunning());
    QVERIFY(waitForBatch(*harness.window));
    QVERIFY(harness.window->findChild<QAction*>(QStringLiteral("checkConnectionsAction"))
                ->isEnabled());
}

void UpgradeWindowBatchTest::aStoppedPreviewShowedItsProgressAndNamesTheRowsItDidNotReach()
{
    Harness harness({}, true);
    harness.prober.delay = std::chrono::milliseconds(0);
    harness.window->checkConnections();
    QVERIFY(waitForBatch(*harness.window));
    harness.prober.hold();
    harness.prompts.answerConfirm(true);
    harness.window->findChild<QTreeView*>(QStringLiteral("gatewayList"))->selectAll();
    const int probed = harness.prober.started();
    const auto asked = harness.prompts.records().size();

    auto* command = harness.window->findChild<QAction*>(QStringLiteral("previewSelectionAction"));
    command->trigger();
    // The command returns while the gateways are read, its commands off meanwhile.
    QVERIFY(harness.window->batchRunning());
    QVERIFY(!command->isEnabled());
    QTRY_COMPARE(harness.prober.started(), probed + 1);
    QTRY_VERIFY(harness.window->progressWindow()->isVisible());
    QTest::keyClick(harness.window->progressWindow(), Qt::Key_Escape);
    QTRY_VERIFY(harness.prompts.records().size() > asked);
    harness.prober.release();
    QVERIFY(waitForBatch(*harness.window));

    QVERIFY(command->isEnabled());
    // A preview is no batch: the check's images and report stay.
    QCOMPARE(harness.reached(), QStringLiteral("++++++"));
    QCOMPARE(harness.window->report().command, std::string("check"));
    auto* preview = harness.window->findChild<PreviewWindow*>(QStringLiteral("previewWindow"));
    QVERIFY(preview);
    const QString stopped = QStringLiteral("Stopped: these rows were not reached\n"
                                           "2 10.0.0.2 NotStarted\n3 10.0.0.3 NotStarted\n"
                                           "4 10.0.0.4 NotStarted\n5 10.0.0.5 NotStarted\n"
                                           "6 10.0.0.6 NotStarted\n");
    QVERIFY2(preview->text().contains(QStringLiteral("1 10.0.0.1 Planned\n")),
             qPrintable(preview->text()));
    QVERIFY2(preview->text().endsWith(stopped), qPrintable(preview->text()));
    harness.prompts.answerSaveFile(QString::fromStdString(harness.temp.file("preview.txt")));
    preview->save();
    // The saved preview keeps the line.
    QVERIFY(QString::fromStdString(readFileBytes(harness.temp.file("preview.txt")))
                .endsWith(stopped + QStringLiteral("\n")));
}

void UpgradeWindowBatchTest::theProbeTakesItsLimitsFromBatch_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("defaults") << QString() << 1 << 1000;
    QTest::newRow("Retries and ProbeTimeout")
        << QStringLiteral("[Batch]\r\nRetries=3\r\nProbeTimeout=250\r\n") << 3 << 250;
    QTest::newRow("out of range keeps the defaults")
        << QStringLiteral("[Batch]\r\nRetries=0\r\nProbeTimeout=60001\r\n") << 1 << 1000;
}

// A silent list: each gateway is asked as often and as long as [Batch] says.
void UpgradeWindowBatchTest::theProbeTakesItsLimitsFromBatch()
{
    QFETCH(QString, batch);
    QFETCH(int, requests);
    QFETCH(int, timeoutMs);
    Harness harness(batch.toStdString());
    harness.prober.delay = std::chrono::milliseconds(0);
    harness.prober.answer = false;
    harness.window->checkConnections();
    QVERIFY(waitForBatch(*harness.window));
    QCOMPARE(harness.prober.timeouts, std::vector<int>(6 * requests, timeoutMs));
}

void UpgradeWindowBatchTest::aStagedBatchSaysWhyItStopped()
{
    Harness harness("[Batch]\r\nCanary=2\r\n");
    harness.ftp.connectFails = true;
    harness.window->upgradeList();
    QVERIFY(waitForBatch(*harness.window));
    QCOMPARE(harness.reached(), QStringLiteral("++----"));
    QCOMPARE(harness.prompts.messages(),
             QStringList({QStringLiteral("Stopped: the first 2 gateways did not all succeed."),
                          QString::fromLatin1(ClosingNotice)}));
}

void UpgradeWindowBatchTest::onlyChangedSkipsAGatewayThatHoldsTheBook()
{
    Harness harness("[Batch]\r\nOnlyChanged=1\r\n");
    const std::string book(13770, 'b');
    harness.temp.write("book.cpe", book);
    harness.ftp.remoteFiles["Addrbook.cpe"] = book;
    harness.window->upgradeList();
    QVERIFY(waitForBatch(*harness.window));
    const QModelIndex first =
        harness.window->findChild<QTreeView*>(QStringLiteral("gatewayList"))->model()->index(0, 0);
    QCOMPARE(first.data(Qt::ToolTipRole).toString(),
             QStringLiteral("unchanged: already holds this book"));
    QCOMPARE(comparable(first.data(Qt::DecorationRole)
                            .value<QIcon>()
                            .pixmap(StatusImageSize, StatusImageSize)),
             comparable(statusImage(RowStatus::Uploaded)));
    QCOMPARE(std::count_if(harness.ftp.log().begin(), harness.ftp.log().end(),
                           [](const std::string& step) { return step.rfind("put(", 0) == 0; }),
             0);
}

QTEST_MAIN(UpgradeWindowBatchTest)
#include "upgradewindowbatch_test.moc"
