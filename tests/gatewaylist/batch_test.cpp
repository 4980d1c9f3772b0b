#include "gatewaylist/batch.h"

#include "gatewaylist/listfile.h"
#include "base/settingsfile.h"
#include "support/fakeftp.h"
#include "support/ftpserverfixture.h"
#include "support/recordingprogress.h"
#include "support/tempdir.h"
#include "transfer/curlftpclient.h"
#include "transfer/transfercontext.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Log = std::vector<std::string>;

// Statuses as letters: None N, Uploaded U, Reachable R, FtpFailed X, NotReachable '-'.
std::string statuses(const GatewayList& list)
{
    std::string text;
    for (std::size_t row = 0; row < list.size(); ++row)
        text += "NUXR-"[static_cast<int>(list.status(row))];
    return text;
}

// Writes the window's side of a batch into the shared log, with the row images as they stand
// at each repaint, so a test sees what the operator saw and when.
class RecordingView final : public BatchView {
public:
    RecordingView(Log& log, const GatewayList& list) : m_log(log), m_list(list) {}

    void repaintList() override { m_log.push_back("repaint(" + statuses(m_list) + ")"); }
    void setBusy(bool busy) override { m_log.push_back(busy ? "busy" : "idle"); }
    void showClosingNotice() override { m_log.push_back("notice"); }

private:
    Log& m_log;
    const GatewayList& m_list;
};

class ScriptedUploader final : public GatewayUploader {
public:
    explicit ScriptedUploader(Log& log) : m_log(log) {}

    TransferResult upload(const GatewayRecord& gateway, ProgressSink&) override
    {
        m_log.push_back("upload(" + gateway.ipText + "," + gateway.userId + "," +
                        gateway.password + ")");
        const auto it = results.find(gateway.ipText);
        return it == results.end() ? TransferResult::Done : it->second;
    }

    std::map<std::string, TransferResult> results;

private:
    Log& m_log;
};

// Probes and uploads from several threads. The first `together` of them wait until that many are
// in flight, so a batch that never worked on them at once is caught instead of passing by luck;
// `stopWhenTogether` then asks the batch to stop.
class ConcurrentFake final : public GatewayUploader, public Prober {
public:
    explicit ConcurrentFake(int together) : m_together(together) {}

    TransferResult upload(const GatewayRecord& gateway, ProgressSink&) override
    {
        meet(gateway.ipText);
        const auto it = results.find(gateway.ipText);
        return it == results.end() ? TransferResult::Done : it->second;
    }
    ProbeResult probe(const std::string& address, int) override
    {
        meet(address);
        return silent.contains(address) ? ProbeResult::Silent : ProbeResult::Answered;
    }
    bool metTogether() const
    {
        const std::lock_guard lock(m_mutex);
        return m_met;
    }
    std::size_t reached() const
    {
        const std::lock_guard lock(m_mutex);
        return m_reached;
    }

    std::map<std::string, TransferResult> results;
    std::set<std::string> silent;
    std::atomic<bool>* stopWhenTogether = nullptr;

private:
    void meet(const std::string&)
    {
        std::unique_lock lock(m_mutex);
        ++m_reached;
        if (++m_inFlight >= m_together && !m_met) {
            m_met = true;
            if (stopWhenTogether != nullptr)
                stopWhenTogether->store(true);
            m_together_reached.notify_all();
        }
        m_together_reached.wait_for(lock, std::chrono::seconds(10), [this] { return m_met; });
        --m_inFlight;
    }

    const int m_together;
    mutable std::mutex m_mutex;
    std::condition_variable m_together_reached;
    int m_inFlight = 0;
    std::size_t m_reached = 0;
    bool m_met = false;
};

GatewayList listOf(int count)
{
    GatewayList list;
    for (int i = 1; i <= count; ++i)
        list.append({"10.0.0." + std::to_string(i), "user" + std::to_string(i),
                     "pw" + std::to_string(i)});
    return list;
}

class BatchTest : public ::testing::Test {
public:
    Log log;
    RecordingProgress progress{log};
    FakeProber prober{log};
    ScriptedUploader uploader{log};
};

TEST(BatchStatus, EachResultHasItsImage)
{
    EXPECT_EQ(statusForResult(TransferResult::Done), RowStatus::Uploaded);
    EXPECT_EQ(statusForResult(TransferResult::Failed), RowStatus::FtpFailed);
    EXPECT_EQ(statusForResult(TransferResult::NotFound), RowStatus::NotReachable);
}

TEST_F(BatchTest, CheckConnectionsMarksEachRowAsItsProbeEndsWithoutProgressOrNotice)
{
    GatewayList list = listOf(3);
    prober.silent = {"10.0.0.2"};
    RecordingView view(log, list);

    EXPECT_EQ(checkConnections(list, prober, view), BatchOutcome::Ran);

    EXPECT_EQ(log, (Log{"busy", "probe(10.0.0.1,1000)", "repaint(RNN)", "probe(10.0.0.2,1000)",
                        "repaint(R-N)", "probe(10.0.0.3,1000)", "repaint(R-R)", "idle"}));
    EXPECT_EQ(statuses(list), "R-R");
    EXPECT_TRUE(list.statusShown());
    EXPECT_FALSE(progress.visible());
}

TEST_F(BatchTest, EmptyListIsReportedBeforeAnythingHappens)
{
    GatewayList list;
    RecordingView view(log, list);

    EXPECT_EQ(checkConnections(list, prober, view), BatchOutcome::NoItemInList);
    EXPECT_EQ(upgradeList(list, uploader, progress, view), BatchOutcome::NoItemInList);
    // Upgrade selection counts selected rows, so an empty list has none selected.
    EXPECT_EQ(upgradeSelection(list, {}, uploader, progress, view), BatchOutcome::NoItemSelected);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(list.statusShown());
}

TEST_F(BatchTest, UpgradeListGoesOnPastSilentAndFailingGatewaysAndEndsWithTheNotice)
{
    GatewayList list = listOf(3);
    uploader.results = {{"10.0.0.2", TransferResult::NotFound},
                        {"10.0.0.3", TransferResult::Failed}};
    RecordingView view(log, list);

    EXPECT_EQ(upgradeList(list, uploader, progress, view), BatchOutcome::Ran);

    const Log expected = {
        "reset", "setCaption(Upgrade List)", "setRange(lower,3)", "refresh", "busy",
        "setLine1(Connecting...)", "setLine2(Ugrade 10.0.0.1)", "setPosition(upper,0)",
        "setPosition(lower,0)", "refresh", "upload(10.0.0.1,user1,pw1)", "repaint(UNN)",
        "setLine1(Connecting...)", "setLine2(Ugrade 10.0.0.2)", "setPosition(upper,0)",
        "setPosition(lower,1)", "refresh", "upload(10.0.0.2,user2,pw2)", "repaint(U-N)",
        "setLine1(Connecting...)", "setLine2(Ugrade 10.0.0.3)", "setPosition(upper,0)",
        "setPosition(lower,2)", "refresh", "upload(10.0.0.3,user3,pw3)", "repaint(U-X)",
        "idle", "setPosition(lower,3)", "refresh", "notice", "hide"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(statuses(list), "U-X");
    EXPECT_TRUE(list.statusShown());
    EXPECT_FALSE(progress.visible());
}

TEST_F(BatchTest, UpgradeSelectionWorksOnTheSelectedRowsInListOrderAndStepsTheLowerBar)
{
    GatewayList list = listOf(5);
    RecordingView view(log, list);

    EXPECT_EQ(upgradeSelection(list, {3, 1}, uploader, progress, view), BatchOutcome::Ran);

    const Log expected = {
        "reset", "setCaption(Upgrade Selection)", "setRange(lower,2)", "setStep(lower,1)",
        "refresh", "busy",
        "setLine1(Connecting...)", "setLine2(Ugrade 10.0.0.2)", "setPosition(upper,0)",
        "refresh", "upload(10.0.0.2,user2,pw2)", "stepIt(lower)", "repaint(NUNNN)",
        "setLine1(Connecting...)", "setLine2(Ugrade 10.0.0.4)", "setPosition(upper,0)",
        "refresh", "upload(10.0.0.4,user4,pw4)", "stepIt(lower)", "repaint(NUNUN)",
        "idle", "setPosition(lower,2)", "refresh", "notice", "hide"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(statuses(list), "NUNUN");
    EXPECT_EQ(progress.bar(ProgressBar::Lower).position(), 2);
}

TEST_F(BatchTest, TheLowerBarStandsAtTheNumberOfGatewaysDoneWhileEachIsWorkedOn)
{
    GatewayList list = listOf(4);
    RecordingView view(log, list);
    std::vector<int> positions;
    class Watching final : public GatewayUploader {
    public:
        Watching(RecordingProgress& progress, std::vector<int>& seen)
            : m_progress(progress), m_seen(seen) {}
        TransferResult upload(const GatewayRecord&, ProgressSink&) override
        {
            m_seen.push_back(m_progress.bar(ProgressBar::Lower).position());
            return TransferResult::Done;
        }

    private:
        RecordingProgress& m_progress;
        std::vector<int>& m_seen;
    } watching(progress, positions);

    upgradeSelection(list, {0, 2, 3}, watching, progress, view);
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2}));

    positions.clear();
    upgradeList(list, watching, progress, view);
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(BatchTest, EveryBatchFirstClearsTheImagesOfTheLastOne)
{
    struct Case {
        const char* name;
        BatchOutcome (*run)(BatchTest&, GatewayList&, RecordingView&);
    };
    const Case cases[] = {
        {"check connections",
         [](BatchTest& t, GatewayList& l, RecordingView& v) {
             return checkConnections(l, t.prober, v);
         }},
        {"upgrade list",
         [](BatchTest& t, GatewayList& l, RecordingView& v) {
             return upgradeList(l, t.uploader, t.progress, v);
         }},
        {"upgrade selection",
         [](BatchTest& t, GatewayList& l, RecordingView& v) {
             return upgradeSelection(l, {1}, t.uploader, t.progress, v);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GatewayList list = listOf(2);
        list.setStatus(0, RowStatus::FtpFailed);
        list.setStatus(1, RowStatus::NotReachable);
        list.setStatusShown();
        log.clear();
        RecordingView view(log, list);

        c.run(*this, list, view);

        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front(), "repaint(NN)");
        EXPECT_TRUE(list.statusShown());
    }
}

TEST_F(BatchTest, WithNoImagesShownTheBatchStartsStraightWithTheProgressWindow)
{
    // Without statusShown nothing is cleared and nothing extra repainted.
    GatewayList list = listOf(1);
    RecordingView view(log, list);
    upgradeList(list, uploader, progress, view);
    ASSERT_EQ(log.front(), "reset");
}

TEST_F(BatchTest, NoSelectionReportsAndLeavesEarlierImagesCleared)
{
    GatewayList list = listOf(3);
    list.setStatus(2, RowStatus::Uploaded);
    list.setStatusShown();
    RecordingView view(log, list);

    EXPECT_EQ(upgradeSelection(list, {}, uploader, progress, view), BatchOutcome::NoItemSelected);
    EXPECT_EQ(statuses(list), "NNN");
    EXPECT_FALSE(list.statusShown());
    EXPECT_EQ(log, (Log{"repaint(NNN)"}));
}

TEST(BatchOverFtp, ARowWhoseLoginWouldCarryCommandsStaysButReachesNoServer)
{
    FtpServerFixture server;
    server.writeDeviceFile("/RFA/NVRAM.TXT", "device");
    TempDir dir;
    // The file format holds any bytes; the row is read as it stands.
    const std::string listPath = dir.file("gateways.obl");
    ASSERT_EQ(saveGatewayList(listPath, {{server.address(), "ftp", "secret\r\nDELE /RFA/NVRAM.TXT"},
                                         {server.address(), "ftp\r\nRMD /RFA", "secret"},
                                         {server.address(), "ftp", "secret"}}),
              FileError::None);
    GatewayList list;
    ASSERT_EQ(loadGatewayList(listPath, list).read, ListReadResult::Loaded);
    ASSERT_EQ(list.size(), 3u);

    Log log;
    FakeProber prober;
    CurlFtpClientFactory ftp{shortFtpTimeouts()};
    RecordingProgress progress;
    TransferContext context{prober, ftp, progress, server.port()};
    SettingsFile settings;
    UpgradeOptions options;
    options.sourcePath = dir.write("book.cpe", "book");
    TransferUploader uploader(context, settings, options);
    RecordingView view(log, list);
    EXPECT_EQ(upgradeList(list, uploader, progress, view), BatchOutcome::Ran);

    EXPECT_EQ(statuses(list), "XXU");
    const Log verbs = server.verbs();
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "USER"), 1) << "only the sound row logs in";
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "DELE"), 0);
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "RMD"), 0);
    EXPECT_EQ(server.readDeviceFile("/RFA/NVRAM.TXT"), "device");
    EXPECT_EQ(server.readDeviceFile("/RFA/Addrbook.cpe"), "book");
}

TEST(BatchSettings, AFirmwareUpgradeStartsOnlyWithASettingsFileItCanRead)
{
    TempDir dir;
    SettingsFile settings;
    UpgradeOptions firmware;
    firmware.mode = UpgradeMode::FirmwareUpgrade;
    const UpgradeOptions book;

    settings.setPath(dir.file("Orbiphon.ini"));
    EXPECT_EQ(upgradeSettingsError(firmware, settings), FileError::NotFound);
    EXPECT_EQ(upgradeSettingsError(book, settings), FileError::None) << "a book needs none";
    std::filesystem::create_directory(dir.file("Orbiphon.ini"));
    EXPECT_EQ(upgradeSettingsError(firmware, settings), FileError::NotFound);
    const std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    settings.setPath(fifo);
    EXPECT_EQ(upgradeSettingsError(firmware, settings), FileError::NotFound) << "never waits";
    // Without a PutList section it still runs, stepping the bar and sending nothing.
    settings.setPath(dir.write("empty.ini", ""));
    EXPECT_EQ(upgradeSettingsError(firmware, settings), FileError::None);
}

TEST(FleetBatch, SeveralGatewaysAtOnceGiveEveryRowTheSameResultAsOneAtATime)
{
    for (int jobs : {1, 4, 10}) {
        SCOPED_TRACE("jobs " + std::to_string(jobs));
        Log log;
        RecordingProgress progress(log);
        ConcurrentFake fake(jobs);
        fake.results = {{"10.0.0.3", TransferResult::NotFound},
                        {"10.0.0.6", TransferResult::Failed}};
        fake.silent = {"10.0.0.2", "10.0.0.9"};
        const BatchControl control{jobs};

        GatewayList list = listOf(10);
        RecordingView view(log, list);
        EXPECT_EQ(upgradeList(list, fake, progress, view, control), BatchOutcome::Ran);
        EXPECT_EQ(statuses(list), "UU-UUXUUUU");
        EXPECT_TRUE(fake.metTogether());
        EXPECT_EQ(log.back(), "hide");
        EXPECT_EQ(progress.bar(ProgressBar::Lower).position(), 10);

        ConcurrentFake selection(std::min(jobs, 3));
        selection.results = fake.results;
        EXPECT_EQ(upgradeSelection(list, {1, 2, 5}, selection, progress, view, control),
                  BatchOutcome::Ran);
        EXPECT_EQ(statuses(list), "NU-NNXNNNN");
        EXPECT_TRUE(selection.metTogether());

        ConcurrentFake prober(jobs);
        prober.silent = fake.silent;
        EXPECT_EQ(checkConnections(list, prober, view, control), BatchOutcome::Ran);
        EXPECT_EQ(statuses(list), "R-RRRRRR-R");
        EXPECT_TRUE(prober.metTogether());
    }
}

TEST(FleetBatch, AStopStartsNoFurtherGatewayAndLeavesTheRowsNotReachedWithoutImage)
{
    for (int jobs : {1, 3}) {
        SCOPED_TRACE("jobs " + std::to_string(jobs));
        Log log;
        RecordingProgress progress(log);
        std::atomic<bool> stop = false;
        ConcurrentFake fake(jobs);
        fake.stopWhenTogether = &stop;
        const BatchControl control{jobs, &stop};

        GatewayList list = listOf(6);
        RecordingView view(log, list);
        EXPECT_EQ(upgradeList(list, fake, progress, view, control), BatchOutcome::Ran);
        EXPECT_EQ(statuses(list), std::string(jobs, 'U') + std::string(6 - jobs, 'N'));
        EXPECT_EQ(fake.reached(), static_cast<std::size_t>(jobs));
        EXPECT_NE(std::find(log.begin(), log.end(), "notice"), log.end());

        // Stopped before the first gateway: nothing reached, nothing to switch off and on.
        log.clear();
        EXPECT_EQ(upgradeSelection(list, {0, 1}, fake, progress, view, control),
                  BatchOutcome::Ran);
        EXPECT_EQ(statuses(list), "NNNNNN");
        EXPECT_EQ(std::find(log.begin(), log.end(), "notice"), log.end());

        log.clear();
        EXPECT_EQ(checkConnections(list, fake, view, control), BatchOutcome::Ran);
        EXPECT_EQ(statuses(list), "NNNNNN");
    }
}

// The report a batch fills: every row it was asked for, in list order, whichever thread worked
// on it; the rows a stop kept from starting are NotStarted.
TEST(FleetBatch, TheReportHoldsEveryRowOfTheBatchStoppedOrNot)
{
    Log log;
    RecordingProgress progress(log);
    std::atomic<bool> stop = false;
    ConcurrentFake fake(3);
    fake.results = {{"10.0.0.2", TransferResult::NotFound}, {"10.0.0.3", TransferResult::Failed}};
    fake.stopWhenTogether = &stop;
    BatchReport report;
    const BatchControl control{3, &stop, nullptr, &report};
    GatewayList list = listOf(5);
    RecordingView view(log, list);
    EXPECT_EQ(upgradeList(list, fake, progress, view, control), BatchOutcome::Ran);

    EXPECT_EQ(report.command, "upgrade");
    EXPECT_TRUE(report.stopped);
    std::string rows;
    for (const ReportRow& row : report.rows)
        rows += std::to_string(row.row) + ":" + row.statusText() + ":" + row.result + ":"
                + row.outcome.reason + ";";
    EXPECT_EQ(rows, "0:Uploaded:Done:;"
                    "1:NotReachable:NotFound:no answer to the echo request within 1000 ms;"
                    "2:FtpFailed:Failed:the transfer failed;"
                    "3:NotStarted::;4:NotStarted::;");
    const std::string csv = reportCsv(report);
    EXPECT_NE(csv.find("\r\n4,10.0.0.4,user4,NotStarted,,,,0,0,0,0,\r\n"), std::string::npos)
        << csv;
    EXPECT_EQ(csv.find("pw"), std::string::npos) << csv;

    // Back-up and verify notes are the last field, and a cut-off row says Abandoned.
    report.rows[0].outcome.notes = {"/RFA/Addrbook.cpe backed up to b.cpe",
                                    "not verified: /RFA/Addrbook.cpe (the gateway tells no size)"};
    report.rows[0].outcome.abandoned = true;
    EXPECT_NE(reportCsv(report).find(",Abandoned,"), std::string::npos);
    EXPECT_NE(reportCsv(report).find(",0,0,0,0,/RFA/Addrbook.cpe backed up to b.cpe; not "
                                     "verified: /RFA/Addrbook.cpe (the gateway tells no size)\r\n"),
              std::string::npos)
        << reportCsv(report);
}

// Counts the gateways in flight at once; one address throws instead of answering.
class PeakFake final : public GatewayUploader, public Prober {
public:
    TransferResult upload(const GatewayRecord& gateway, ProgressSink&) override
    {
        enter(gateway.ipText);
        return TransferResult::Done;
    }
    ProbeResult probe(const std::string& address, int) override
    {
        enter(address);
        return ProbeResult::Answered;
    }
    int peak = 0;  // read after the batch

private:
    void enter(const std::string& address)
    {
        const int now = ++m_inFlight;
        {
            const std::lock_guard lock(m_mutex);
            peak = std::max(peak, now);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        --m_inFlight;
        if (address == "10.0.0.4")
            throw std::runtime_error("out of sockets");
    }
    std::atomic<int> m_inFlight = 0;
    std::mutex m_mutex;
};

// Every batch, Check connections included, works on at most its jobs at once, and a gateway
// whose work throws fails with the reason while the others go on.
TEST(FleetBatch, EveryBatchKeepsToItsJobsAndAThrowingGatewayOnlyFailsItself)
{
    for (int jobs : {1, 2, 5}) {
        SCOPED_TRACE("jobs " + std::to_string(jobs));
        Log log;
        RecordingProgress progress(log);
        GatewayList list = listOf(12);
        RecordingView view(log, list);
        BatchReport report;
        const BatchControl control{jobs, nullptr, nullptr, &report};
        PeakFake prober;
        checkConnections(list, prober, view, control);
        EXPECT_EQ(statuses(list), "RRR-RRRRRRRR");
        EXPECT_EQ(report.rows[3].outcome.reason, "internal error: out of sockets");
        EXPECT_LE(prober.peak, jobs);
        PeakFake uploader;
        upgradeList(list, uploader, progress, view, control);
        EXPECT_EQ(statuses(list), "UUUXUUUUUUUU");
        EXPECT_EQ(report.rows[3].outcome.reason, "internal error: out of sockets");
        EXPECT_LE(uploader.peak, jobs);
    }
}

TEST(FleetBatch, JobsAreOneToSixtyFourAndNothingElse)
{
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"1", 1}, {"64", 64}, {"8", 8}, {"0", std::nullopt}, {"65", std::nullopt},
        {"", std::nullopt}, {"-3", std::nullopt}, {"4x", std::nullopt}, {" 4", std::nullopt}};
    for (const auto& [text, jobs] : cases)
        EXPECT_EQ(parseJobs(text), jobs) << '"' << text << '"';
}

} // namespace
