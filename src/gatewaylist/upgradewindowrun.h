#pragma once

#include "gatewaylist/batch.h"
#include "gatewaylist/upgradewindow.h"
#include "widgets/windowwaiter.h"

#include <atomic>
#include <functional>
#include <thread>

// One batch of the Upgrade window on a thread of its own, so that the window's thread never
// waits: the batch works on a copy of the list and hands every change of the window (rows,
// progress, cursor, notice) over to the window's thread, where it is made in the batch's order.
class UpgradeWindow::Run final : public BatchView {
public:
    using Batch = std::function<void(GatewayList& list, ProgressSink& progress, BatchView& view,
                                     const BatchControl& control)>;

    // A run that keeps the rows (a preview) hands no row, count or report over: the window's
    // stay those of its last batch.
    enum class Rows { Changed, Kept };

    Run(UpgradeWindow& window, int jobs, Rows rows = Rows::Changed);
    ~Run() override;
    Q_DISABLE_COPY_MOVE(Run)

    // Starts batch on the thread; the window hears finishBatch once it has ended, and there, on
    // the window's thread, calls afterwards.
    void start(Batch batch, std::function<void()> afterwards = {});
    bool changesRows() const { return m_rows == Rows::Changed; }
    const std::function<void()>& afterwards() const { return m_afterwards; }
    WindowWaiter& waiter() { return m_waiter; }
    ProgressSink& progress() { return m_progress; }
    // On the window's thread, after finishBatch: waits for the thread, then hands the result over.
    void join();
    // Whether the closing notice, and with it how the batch ended, has been told.
    bool told() const { return m_told; }
    bool ended() const { return m_ended; }

    void repaintList() override;
    void setBusy(bool busy) override;
    void showClosingNotice() override;

private:
    UpgradeWindow& m_window;
    WindowWaiter m_waiter;
    WindowThreadProgress m_progress;
    int m_jobs;
    Rows m_rows;
    std::function<void()> m_afterwards;
    GatewayList m_list;  // the batch's own copy, read by the window only in a hand-over
    BatchReport m_report;
    bool m_busy = false;  // window thread only
    bool m_told = false;  // window thread only
    std::atomic<bool> m_ended = false;
    std::thread m_thread;
};
