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

    template <typename T>
    T* child(const char* name) const { return requireChild<T>(window.get(), name); }
    QTreeView* list() const { return child<QTreeView>("gatewayList"); }
    QImage image(int row) const
    {
        return comparable(list()->model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>()
                              .pixmap(StatusImageSize, StatusImageSize));
    }
    // Each row as "-" for no image yet, "+" for any result.
    QString reached() const
    {
        QString text;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            text += image(row) == comparable(statusImage(RowStatus::None)) ? u'-' : u'+';
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
    void aStoppedPreviewShowedItsProgressAndNamesTheRowsItDidNotReach();
    void aStagedBatchSaysWhyItStopped();
    void onlyChangedSkipsAGatewayThatHoldsTheBook();
};

void UpgradeWindowBatchTest::theWindowThreadGoesOnWhileGatewaysAreWorkedOn_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("atOnce");
    QTest::addColumn<int>("requests");  // to each gateway, each with this limit:
    QTest::addColumn<int>("timeoutMs");
    QTest::newRow("no Batch section: one at a time") << QString() << true << 1 << 1 << 1000;
    QTest::newRow("Jobs=3: three probes at once") << QStringLiteral("[Batch]\r\nJobs=3\r\n") << true
                                                  << 3 << 1 << 1000;
    QTest::newRow("Jobs=65 is out of range") << QStringLiteral("[Batch]\r\nJobs=65\r\n") << true
                                             << 1 << 1 << 1000;
    // A silent list: each gateway is asked as often and as long as [Batch] says.
    QTest::newRow("silent: defaults") << QString() << false << 1 << 1 << 1000;
    QTest::newRow("silent: Retries and ProbeTimeout")
        << QStringLiteral("[Batch]\r\nRetries=3\r\nProbeTimeout=250\r\n") << false << 1 << 3 << 250;
    QTest::newRow("silent: out of range keeps the defaults")
        << QStringLiteral("[Batch]\r\nRetries=0\r\nProbeTimeout=60001\r\n") << false << 1 << 1
        << 1000;
}

void UpgradeWindowBatchTest::theWindowThreadGoesOnWhileGatewaysAreWorkedOn()
{
    QFETCH(QString, batch);
    QFETCH(bool, answer);
    QFETCH(int, atOnce);
    QFETCH(int, requests);
    QFETCH(int, timeoutMs);
    Harness h(batch.toStdString());
    QVERIFY(showActive(h.window.get()));
    h.prober.answer = answer;
    if (!answer)
        h.prober.delay = std::chrono::milliseconds(0);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    QElapsedTimer clock;
    clock.start();

    h.window->checkConnections();
    // The command returns at once; six probes of 300 ms go on meanwhile.
    QVERIFY2(clock.elapsed() < 1200, qPrintable(QString::number(clock.elapsed())));
    // Typing reaches the window, and is not kept for later: the filter shows one row now.
    QTest::keyClicks(h.child<QLineEdit>("filterEdit"), QStringLiteral("10.0.0.4"));
    QCOMPARE(h.list()->model()->rowCount(), 1);
    // Its commands wait for the batch.
    QVERIFY(h.window->batchRunning());
    QVERIFY(!h.child<QAction>("checkConnectionsAction")->isEnabled());
    QVERIFY(waitForBatch(*h.window));
    QVERIFY(h.child<QAction>("checkConnectionsAction")->isEnabled());
    h.child<QLineEdit>("filterEdit")->clear();

    QCOMPARE(h.reached(), QStringLiteral("++++++"));
    QCOMPARE(h.prober.mostAtOnce, atOnce);
    QCOMPARE(h.prober.timeouts, std::vector<int>(6 * requests, timeoutMs));
    // Probes of at least 600 ms in all: a window thread that waited in them would see no tick.
    if (answer)
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
    Harness h(batch.toStdString());
    if (command == u"backup")
        h.prompts.answerFolder(QString::fromStdString(h.temp.path()));
    h.prompts.answerConfirm(yes);
    QWidget* target = command != u"list" ? static_cast<QWidget*>(h.window.get())
                                          : h.window->progressWindow();
    h.prober.hold();

    if (command == u"check")
        h.window->checkConnections();
    else if (command == u"backup")
        h.window->backUpBooks();
    else
        h.window->upgradeList();
    // The stop is asked for while the gateways of the first round are in progress.
    const std::size_t question = command == u"backup" ? 1 : 0;  // after the folder picker
    QTRY_COMPARE(h.prober.started(), batch.isEmpty() ? 1 : 3);
    if (how == u"close")
        target->close();
    else
        QTest::keyClick(target, Qt::Key_Escape);
    QTRY_VERIFY(h.prompts.records().size() > question);
    h.prober.release();
    QVERIFY(waitForBatch(*h.window));

    QCOMPARE(h.prompts.records()[question].text, QString::fromLatin1(StopQuestion));
    QCOMPARE(h.reached(), reached);
    QVERIFY(h.window->isVisible());

    // How it ended comes first, then the notice; the rows left are what Select failed rows picks.
    const auto done = reached.count(u'+');
    QStringList told;
    if (yes)
        told << QStringLiteral("Stopped: %1 of 6 gateways done, %2 not started.")
                    .arg(done)
                    .arg(6 - done);
    if (command == u"list")
        told << QString::fromLatin1(ClosingNotice);
    QCOMPARE(h.prompts.messages(), told);
    h.window->selectFailedRows();
    QList<int> left;
    for (int row = static_cast<int>(done); row < 6; ++row)
        left << row;
    QCOMPARE(selectedRowsOf(h.list()), left);
}

void UpgradeWindowBatchTest::aStoppedPreviewShowedItsProgressAndNamesTheRowsItDidNotReach()
{
    Harness h({}, true);
    h.prober.delay = std::chrono::milliseconds(0);
    h.window->checkConnections();
    QVERIFY(waitForBatch(*h.window));
    h.prober.hold();
    h.prompts.answerConfirm(true);
    h.list()->selectAll();
    const int probed = h.prober.started();
    const auto asked = h.prompts.records().size();

    auto* command = h.child<QAction>("previewSelectionAction");
    command->trigger();
    // The command returns while the gateways are read, its commands off meanwhile.
    QVERIFY(h.window->batchRunning());
    QVERIFY(!command->isEnabled());
    QTRY_COMPARE(h.prober.started(), probed + 1);
    QTRY_VERIFY(h.window->progressWindow()->isVisible());
    QTest::keyClick(h.window->progressWindow(), Qt::Key_Escape);
    QTRY_VERIFY(h.prompts.records().size() > asked);
    h.prober.release();
    QVERIFY(waitForBatch(*h.window));

    QVERIFY(command->isEnabled());
    // A preview is no batch: the check's images and report stay.
    QCOMPARE(h.reached(), QStringLiteral("++++++"));
    QCOMPARE(h.window->report().command, std::string("check"));
    auto* preview = h.child<PreviewWindow>("previewWindow");
    const QString stopped = QStringLiteral("Stopped: these rows were not reached\n"
                                           "2 10.0.0.2 NotStarted\n3 10.0.0.3 NotStarted\n"
                                           "4 10.0.0.4 NotStarted\n5 10.0.0.5 NotStarted\n"
                                           "6 10.0.0.6 NotStarted\n");
    QVERIFY2(preview->text().contains(QStringLiteral("1 10.0.0.1 Planned\n")),
             qPrintable(preview->text()));
    QVERIFY2(preview->text().endsWith(stopped), qPrintable(preview->text()));
    h.prompts.answerSaveFile(qs(h.temp.file("preview.txt")));
    preview->save();
    // The saved preview keeps the line.
    QVERIFY(qs(readFileBytes(h.temp.file("preview.txt"))).endsWith(stopped + u'\n'));
}

void UpgradeWindowBatchTest::aStagedBatchSaysWhyItStopped()
{
    Harness h("[Batch]\r\nCanary=2\r\n");
    h.ftp.connectFails = true;
    h.window->upgradeList();
    QVERIFY(waitForBatch(*h.window));
    QCOMPARE(h.reached(), QStringLiteral("++----"));
    QCOMPARE(h.prompts.messages(),
             QStringList({QStringLiteral("Stopped: the first 2 gateways did not all succeed."),
                          QString::fromLatin1(ClosingNotice)}));
}

void UpgradeWindowBatchTest::onlyChangedSkipsAGatewayThatHoldsTheBook()
{
    Harness h("[Batch]\r\nOnlyChanged=1\r\n");
    const std::string book(13770, 'b');
    h.temp.write("book.cpe", book);
    h.ftp.remoteFiles["Addrbook.cpe"] = book;
    h.window->upgradeList();
    QVERIFY(waitForBatch(*h.window));
    QCOMPARE(h.list()->model()->index(0, 0).data(Qt::ToolTipRole).toString(),
             QStringLiteral("unchanged: already holds this book"));
    QCOMPARE(h.image(0), comparable(statusImage(RowStatus::Uploaded)));
    QCOMPARE(std::count_if(h.ftp.log().begin(), h.ftp.log().end(),
                           [](const std::string& step) { return step.rfind("put(", 0) == 0; }),
             0);
}

QTEST_MAIN(UpgradeWindowBatchTest)
#include "upgradewindowbatch_test.moc"
