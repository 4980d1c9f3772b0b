// The Upgrade window's batch commands: the checks, the upgrades, the preview and the report.
#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/batch.h"
#include "gatewaylist/batchjson.h"
#include "gatewaylist/gatewaytablemodel.h"
#include "gatewaylist/previewwindow.h"
#include "gatewaylist/upgradewindowrun.h"
#include "base/settingsfile.h"
#include "widgets/progresswindow.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "widgets/widgets.h"
#include "transfer/devicefolders.h"
#include "transfer/transfercontext.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace {

const char* const ReportFilters = "Report (*.csv);;JSON report (*.json)";

}  // namespace

// The window's side of a batch that finds nothing to do: it only clears the last one's images.
class UpgradeWindow::View final : public BatchView {
public:
    explicit View(UpgradeWindow& window) : m_window(window) {}
    void repaintList() override { m_window.repaintList(); }
    void setBusy(bool) override {}
    void showClosingNotice() override {}

private:
    UpgradeWindow& m_window;
};

int UpgradeWindow::batchJobs() const
{
    // Missing, empty or out of range: one gateway at a time, as the window always did.
    return parseJobs(m_services.settings.readString("Batch", "Jobs", "")).value_or(MinJobs);
}

void UpgradeWindow::checkConnections()
{
    if (m_run)
        return;
    if (m_model.empty()) {
        // The batch still clears the last one's images before it finds nothing to do.
        View view(*this);
        ::checkConnections(m_model, m_services.prober, view);
        m_services.prompts.message(this, QStringLiteral("No item in list!"));
        return;
    }
    beginBatch(m_model.size());
    m_run = std::make_unique<Run>(*this, batchJobs());
    Prober& prober = m_services.prober;
    const ProbeSettings probe = transferSettingsFrom(m_services.settings).probe;
    m_run->start([&prober, probe](GatewayList& list, ProgressSink&, BatchView& view,
                                  const BatchControl& control) {
        BatchControl probing = control;
        probing.probe = probe;
        ::checkConnections(list, prober, view, probing);
    });
}

void UpgradeWindow::selectFailedRows()
{
    std::set<std::size_t> failed;
    for (std::size_t row = 0; row < m_model.size(); ++row) {
        const RowStatus status = m_model.status(row);
        if (status == RowStatus::FtpFailed || status == RowStatus::NotReachable)
            failed.insert(row);
    }
    // After a stop, the rows never started are what is left to do: Upgrade selection resumes.
    if (m_report.stopped && m_model.statusShown()) {
        for (const ReportRow& entry : m_report.rows) {
            if (!entry.started && entry.row < m_model.size())
                failed.insert(entry.row);
        }
    }
    // The whole list counts: a filter hiding one of them gives way.
    for (std::size_t row : failed) {
        if (!m_filterModel->mapFromSource(m_table->index(static_cast<int>(row), 0)).isValid()) {
            m_filterEdit->clear();
            m_filterChoice->setCurrentIndex(static_cast<int>(RowFilter::All));
            break;
        }
    }
    QItemSelection selection;
    for (std::size_t row : failed) {
        const QModelIndex index =
            m_filterModel->mapFromSource(m_table->index(static_cast<int>(row), 0));
        selection.select(index, index);
    }
    m_view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
}

void UpgradeWindow::saveReport()
{
    if (!m_report.ran())
        return;
    // Beside the list file, named for the moment it is written.
    const QString name = QStringLiteral("report-%1.csv").arg(
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")));
    const QString proposed =
        m_listPath.isEmpty() ? name : QFileInfo(m_listPath).dir().filePath(name);
    const QString path = m_services.prompts.saveFile(
        this, {proposed, QString::fromLatin1(ReportFilters), QStringLiteral("csv")});
    if (path.isEmpty())
        return;
    const FileError error = path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
                                ? ::saveReport(toNativePath(path), m_report)
                                : saveReportCsv(toNativePath(path), m_report);
    if (error != FileError::None)
        m_services.prompts.message(
            this, QString::fromStdString(fileErrorText(error, toNativePath(path))),
            Prompts::Icon::Stop);
}

bool UpgradeWindow::settingsReady()
{
    std::string problem;
    if (const FileError error = upgradeSettingsError(m_options, m_services.settings);
        error != FileError::None)
        problem = fileErrorText(error, m_services.settings.path());
    else if (m_options.mode == UpgradeMode::FirmwareUpgrade)
        problem = firmwareSourceProblem(m_services.settings, m_options.sourcePath);
    else if (const std::string folder = transferSafetyFrom(m_services.settings).backupFolder;
             !folder.empty())
        problem = backupFolderProblem(folder);
    if (problem.empty())
        return true;
    m_services.prompts.message(this, QString::fromStdString(problem), Prompts::Icon::Stop);
    return false;
}

void UpgradeWindow::upgradeSelection()
{
    runUpgrade(true);
}

void UpgradeWindow::upgradeList()
{
    runUpgrade(false);
}

void UpgradeWindow::runUpgrade(bool selectionOnly)
{
    if (m_run || !settingsReady())
        return;
    const std::set<std::size_t> selected = selectedRows();
    if (selectionOnly ? selected.empty() : m_model.empty()) {
        // The batch still clears the last one's images before it finds nothing to do.
        View view(*this);
        TransferContext context{m_services.prober, m_services.ftp, *m_progress,
                                m_services.ftpPort};
        TransferUploader uploader(context, m_services.settings, m_options);
        if (selectionOnly)
            ::upgradeSelection(m_model, selected, uploader, *m_progress, view);
        else
            ::upgradeList(m_model, uploader, *m_progress, view);
        m_services.prompts.message(this, selectionOnly ? QStringLiteral("No item selected!")
                                                       : QStringLiteral("No item in list!"));
        return;
    }
    beginBatch(selectionOnly ? selected.size() : m_model.size());
    m_run = std::make_unique<Run>(*this, batchJobs());
    BatchControl stages;
    readBatchStages(m_services.settings, stages);
    m_run->start([this, selectionOnly, selected, safety = transferSafetyFrom(m_services.settings),
                  probe = transferSettingsFrom(m_services.settings).probe,
                  stages](GatewayList& list, ProgressSink& progress, BatchView& view,
                          const BatchControl& control) {
        TransferContext context{m_services.prober, m_services.ftp, progress, m_services.ftpPort};
        context.probe = probe;
        TransferUploader uploader(context, m_services.settings, m_options, safety);
        BatchControl staged = control;
        staged.canary = stages.canary;
        staged.maxFailures = stages.maxFailures;
        staged.countUnreachable = stages.countUnreachable;
        if (selectionOnly)
            ::upgradeSelection(list, selected, uploader, progress, view, staged);
        else
            ::upgradeList(list, uploader, progress, view, staged);
    });
}

void UpgradeWindow::finishBatch()
{
    if (!m_run || m_closing)
        return;
    m_run->join();
    const bool changedRows = m_run->changesRows();
    const bool told = m_run->told();
    const std::function<void()> afterwards = m_run->afterwards();
    m_run.reset();
    if (changedRows) {
        endBatch();
        // A check has no closing notice: how a stopped one ended is told on its own.
        if (const QString summary = stopSummary(); !told && !summary.isEmpty())
            m_services.prompts.message(this, summary, Prompts::Icon::Information);
    } else {
        setCommandsEnabled(true);
    }
    if (afterwards)
        afterwards();
    emit batchEnded();
}

void UpgradeWindow::takeBatchState(const GatewayList& list, const BatchReport& report)
{
    if (list.statusShown() && !m_model.statusShown())
        m_model.setStatusShown();
    else if (!list.statusShown() && m_model.statusShown())
        m_model.clearStatuses();
    for (std::size_t row = 0; row < std::min(list.size(), m_model.size()); ++row)
        m_model.setStatus(row, list.status(row));
    m_report = report;
}

void UpgradeWindow::accept()
{
    if (m_run)
        m_run->waiter().askToStop();
    else
        QDialog::accept();
}

void UpgradeWindow::reject()
{
    if (m_run)
        m_run->waiter().askToStop();
    else
        QDialog::reject();
}

void UpgradeWindow::closeEvent(QCloseEvent* event)
{
    if (!m_run) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    m_run->waiter().askToStop();
}

void UpgradeWindow::previewSelection()
{
    if (m_run || !settingsReady())
        return;
    const std::set<std::size_t> selected = selectedRows();
    if (selected.empty()) {
        m_services.prompts.message(this, QStringLiteral("No item selected!"));
        return;
    }
    // Not a batch: the rows, the counts and the last batch's report stay as they are.
    m_run = std::make_unique<Run>(*this, batchJobs(), Run::Rows::Kept);
    setCommandsEnabled(false);
    // Written on the run's thread, read here once it has been joined.
    auto plans = std::make_shared<std::vector<RowPlan>>();
    m_run->start(
        [this, plans, rows = std::vector<std::size_t>(selected.begin(), selected.end()),
         probe = transferSettingsFrom(m_services.settings).probe](
            GatewayList& list, ProgressSink& progress, BatchView&, const BatchControl& control) {
            // The plans' own steps report to no display; the window shows the gateways read.
            TransferContext context{m_services.prober, m_services.ftp, progress,
                                    m_services.ftpPort};
            context.probe = probe;
            BatchControl planning = control;
            planning.probe = probe;
            *plans = planRows(list, rows, context, m_services.settings, m_options, planning,
                              &progress);
        },
        [this, plans, selected] {
            auto* preview = new PreviewWindow(
                m_services.prompts,
                fromFileText(previewText(m_options, m_model, selected, *plans)), this);
            preview->setAttribute(Qt::WA_DeleteOnClose);
            preview->setModal(true);
            preview->show();
        });
}

void UpgradeWindow::beginBatch(std::size_t count)
{
    showBatchColumns();
    m_batchRunning = true;
    m_batchCount = count;
    // The batch starts its own report; the last one must not count meanwhile.
    m_report = BatchReport{};
    m_batchSeconds = 0.0;
    updateStatusLine();
    setCommandsEnabled(false);
    m_batchClock.start();
}

void UpgradeWindow::endBatch()
{
    m_batchSeconds = static_cast<double>(m_batchClock.elapsed()) / 1000.0;
    m_batchRunning = false;
    repaintList();
    setCommandsEnabled(true);
}

void UpgradeWindow::setCommandsEnabled(bool enabled)
{
    // Help, About and Exit stay: Exit asks whether to stop, as Escape does.
    for (QAction* action : {m_newAction, m_openAction, m_saveAction, m_addAction, m_modifyAction,
                            m_deleteAction, m_resetFieldsAction, m_checkConnectionsAction,
                            m_upgradeSelectionAction, m_upgradeListAction,
                            m_previewSelectionAction, m_selectFailedRowsAction})
        action->setEnabled(enabled);
    for (const char* name : {"addButton", "modifyButton", "deleteButton", "resetFieldsButton"})
        findChild<QWidget*>(QLatin1String(name))->setEnabled(enabled);
    m_saveReportAction->setEnabled(enabled && m_report.ran());
    updateBackUpBooks();
}

void UpgradeWindow::repaintList()
{
    m_table->statusesChanged();
    updateStatusLine();
    // The thread stays busy in the next probe or transfer: paint now, not later.
    m_view->viewport()->repaint();
    m_statusLine->repaint();
}

void UpgradeWindow::updateStatusLine()
{
    std::size_t done = 0;
    std::size_t uploaded = 0;
    std::size_t failed = 0;
    std::size_t reachable = 0;
    std::size_t notReachable = 0;
    for (const ReportRow& entry : m_report.rows) {
        if (!entry.started)
            continue;
        ++done;
        uploaded += entry.status == RowStatus::Uploaded ? 1 : 0;
        failed += entry.status == RowStatus::FtpFailed ? 1 : 0;
        reachable += entry.status == RowStatus::Reachable ? 1 : 0;
        notReachable += entry.status == RowStatus::NotReachable ? 1 : 0;
    }
    const std::size_t count = m_report.rows.size();
    if (m_batchRunning) {
        m_statusLine->setText(QStringLiteral("%1 of %2 done").arg(done).arg(m_batchCount));
        return;
    }
    if (!m_report.ran()) {
        m_statusLine->clear();
        return;
    }
    QStringList parts{count == 1 ? QStringLiteral("1 gateway")
                                 : QStringLiteral("%1 gateways").arg(count)};
    if (m_report.command == "check") {
        parts << QStringLiteral("%1 reachable").arg(reachable);
    } else {
        parts << QStringLiteral("%1 uploaded").arg(uploaded)
              << QStringLiteral("%1 failed").arg(failed);
    }
    parts << QStringLiteral("%1 not reachable").arg(notReachable);
    if (done < count)
        parts << QStringLiteral("%1 not started").arg(count - done);
    parts << QStringLiteral("%1 s").arg(m_batchSeconds, 0, 'f', 1);
    m_statusLine->setText(parts.join(QStringLiteral(" \u00b7 ")));
    m_statusLine->setToolTip(m_statusLine->text());
}

QString UpgradeWindow::stopSummary() const
{
    if (!m_report.stopped)
        return {};
    // A staged batch that stopped by itself says why.
    if (!m_report.stopReason.empty())
        return QString::fromStdString(m_report.stopReason);
    std::size_t done = 0;
    for (const ReportRow& entry : m_report.rows)
        done += entry.started ? 1 : 0;
    return QStringLiteral("Stopped: %1 of %2 gateways done, %3 not started.")
        .arg(done)
        .arg(m_report.rows.size())
        .arg(m_report.rows.size() - done);
}
