#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/batch.h"
#include "gatewaylist/upgradewindowrun.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "widgets/widgets.h"
#include "transfer/bookfetch.h"
#include "transfer/transfercontext.h"

#include <QAction>


void UpgradeWindow::updateBackUpBooks()
{
    // A preview runs without a batch of rows, but holds the commands all the same.
    m_backUpBooksAction->setEnabled(!m_batchRunning && !m_run && !m_model.empty());
}

void UpgradeWindow::backUpBooks()
{
    if (m_run)
        return;
    if (m_model.empty()) {
        m_services.prompts.message(this, QStringLiteral("No item in list!"));
        return;
    }
    const QString folder = m_services.prompts.folder(this, QStringLiteral("Back up books to"));
    if (folder.isEmpty())
        return;
    std::vector<std::size_t> rows;
    const std::set<std::size_t> selected = selectedRows();
    for (std::size_t row = 0; row < m_model.size(); ++row) {
        if (selected.empty() || selected.contains(row))
            rows.push_back(row);
    }
    beginBatch(rows.size());
    m_run = std::make_unique<Run>(*this, batchJobs());
    m_run->start([this, rows, options = BookBackupOptions{toNativePath(folder), 0}](
                     GatewayList& list, ProgressSink& progress, BatchView& view,
                     const BatchControl& control) {
        TransferContext context{m_services.prober, m_services.ftp, progress, m_services.ftpPort};
        runGatewayBatch(
            list, rows, "backup",
            [&](std::size_t, const GatewayRecord& gateway) {
                RowEnd end;
                const BookBackupResult result =
                    backUpGatewayBook(context, gateway.ipText, gateway.userId, gateway.password,
                                      options, end.outcome);
                end.status = statusForBackup(result);
                end.result = bookBackupStatusName(result);
                return end;
            },
            view, control);
    });
}
