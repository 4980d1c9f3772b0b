#include "gatewaylist/batch.h"

#include "support/recordingprogress.h"
#include "support/quietview.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>

namespace {

// A row's image as a letter: None '.', Uploaded U, FtpFailed X, NotReachable '-', Unchanged '='.
std::string statuses(const GatewayList& list)
{
    std::string text;
    for (std::size_t row = 0; row < list.size(); ++row)
        text += ".UXR-=BnL"[static_cast<int>(list.status(row))];
    return text;
}

// Each gateway ends as its letter in the script says: U done, = done with nothing to send,
// X failed, - not reachable.
class ScriptedUploader final : public GatewayUploader {
public:
    explicit ScriptedUploader(std::string script) : m_script(std::move(script)) {}

    TransferResult upload(const GatewayRecord&, ProgressSink&) override
    {
        return TransferResult::Done;
    }
    TransferResult uploadWithOutcome(const GatewayRecord& gateway, ProgressSink&,
                                     GatewayOutcome& outcome) override
    {
        const char letter = m_script.at(static_cast<std::size_t>(gateway.ipText.back() - 'a'));
        outcome.unchanged = letter == '=';
        return letter == 'X' ? TransferResult::Failed
               : letter == '-' ? TransferResult::NotFound
                               : TransferResult::Done;
    }

private:
    std::string m_script;
};

GatewayList sixGateways()
{
    GatewayList list;
    for (char name = 'a'; name <= 'f'; ++name)
        list.append({std::string("10.0.0.") + name, "admin", "pw"});
    return list;
}

TEST(StagedBatch, TheRestStartsOnlyAfterTheCanariesAndNoneAfterTooManyFailures)
{
    struct Case {
        const char* script;
        int canary;
        int maxFailures;
        bool countUnreachable;
        const char* statuses;
        const char* reason;
    };
    const Case cases[] = {
        {"UUXUUU", 2, 0, false, "UUXUUU", ""},
        {"U=UUUU", 2, 0, false, "U=UUUU", ""},  // an unchanged book is a success
        {"UXUUUU", 2, 0, false, "UX....", "Stopped: the first 2 gateways did not all succeed."},
        {"UU-UUU", 3, 0, false, "UU-...", "Stopped: the first 3 gateways did not all succeed."},
        {"XUUUUU", 1, 0, false, "X.....", "Stopped: the first gateway did not succeed."},
        {"UUUUUX", 6, 0, false, "UUUUUX", ""},  // nothing held back, nothing to tell
        {"UXUXUU", 0, 2, false, "UXUX..", "Stopped: 2 gateways failed."},
        {"--UUXU", 0, 2, false, "--UUXU", ""},  // unreachable is not counted...
        {"--UUXU", 0, 2, true, "--....", "Stopped: 2 gateways failed or could not be reached."},
    };
    for (const Case& c : cases) {
        for (int jobs : {1, 4}) {
            SCOPED_TRACE(std::string(c.script) + " jobs " + std::to_string(jobs));
            GatewayList list = sixGateways();
            ScriptedUploader uploader(c.script);
            RecordingProgress progress;
            QuietView view;
            BatchReport report;
            BatchControl control{jobs, nullptr, nullptr, &report};
            control.canary = c.canary;
            control.maxFailures = c.maxFailures;
            control.countUnreachable = c.countUnreachable;
            upgradeList(list, uploader, progress, view, control);
            // Several at once may start every gateway before a failure ends: only the canaries'
            // stage is exact then.
            if (jobs > 1 && c.maxFailures > 0)
                continue;
            EXPECT_EQ(statuses(list), c.statuses);
            EXPECT_EQ(report.stopReason, c.reason);
            EXPECT_EQ(report.stopped, std::string(c.reason) != "");
        }
    }
}

TEST(StagedBatch, AStopOfTheOperatorLeavesTheRestNotStartedWithoutAReasonOfItsOwn)
{
    GatewayList list = sixGateways();
    std::atomic<bool> stop = false;
    BatchReport report;
    QuietView view;
    const BatchControl control{1, &stop, nullptr, &report};
    const BatchOutcome outcome = runGatewayBatch(
        list, {0, 1, 2, 3, 4, 5}, "backup",
        [&](std::size_t row, const GatewayRecord&) {
            if (row == 1)
                stop = true;
            return RowEnd{RowStatus::BackedUp, "BackedUp", {}};
        },
        view, control);
    EXPECT_EQ(outcome, BatchOutcome::Ran);
    EXPECT_EQ(statuses(list), "BB....");
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.stopReason, "");
    ASSERT_EQ(report.rows.size(), 6u);
    EXPECT_EQ(report.rows[2].statusText(), "NotStarted");
    EXPECT_EQ(report.command, "backup");
}

}  // namespace
