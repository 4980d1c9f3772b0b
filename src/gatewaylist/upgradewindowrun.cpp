#include "gatewaylist/upgradewindowrun.h"

#include "widgets/progresswindow.h"
#include "widgets/prompts.h"
#include "widgets/services.h"

#include <QApplication>

#include <utility>

UpgradeWindow::Run::Run(UpgradeWindow& window, int jobs, Rows rows)
    : m_window(window),
      m_waiter(window.m_services.prompts, &window, QString::fromLatin1(StopQuestion)),
      m_progress(m_waiter, *window.m_progress),
      m_jobs(jobs),
      m_rows(rows),
      m_list(window.m_model)
{
}

UpgradeWindow::Run::~Run()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_busy)
        QApplication::restoreOverrideCursor();
}

void UpgradeWindow::Run::start(Batch batch, std::function<void()> afterwards)
{
    m_afterwards = std::move(afterwards);
    m_thread = std::thread([this, batch = std::move(batch)] {
        // The batch's own threads are waited for here, on this thread.
        const BatchControl control{m_jobs, &m_waiter.stopFlag(), nullptr, &m_report};
        batch(m_list, m_progress, *this, control);
        m_ended = true;
        QMetaObject::invokeMethod(&m_window, "finishBatch", Qt::QueuedConnection);
    });
}

void UpgradeWindow::Run::join()
{
    if (m_thread.joinable())
        m_thread.join();
    if (changesRows())
        m_window.takeBatchState(m_list, m_report);
}

void UpgradeWindow::Run::repaintList()
{
    m_waiter.runOnWindowThread([this] {
        m_window.takeBatchState(m_list, m_report);
        m_window.repaintList();
    });
}

void UpgradeWindow::Run::setBusy(bool busy)
{
    m_waiter.runOnWindowThread([this, busy] {
        if (busy && !m_busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (!busy && m_busy)
            QApplication::restoreOverrideCursor();
        m_busy = busy;
    });
}

void UpgradeWindow::Run::showClosingNotice()
{
    m_waiter.runOnWindowThread([this] {
        m_window.takeBatchState(m_list, m_report);
        m_told = true;
        const QString summary = m_window.stopSummary();
        Prompts& prompts = m_window.m_services.prompts;
        if (!summary.isEmpty())
            prompts.message(&m_window, summary, Prompts::Icon::Information);
        prompts.message(&m_window, QString::fromLatin1(ClosingNotice),
                        Prompts::Icon::Information);
    });
}
