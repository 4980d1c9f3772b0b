// The Upgrade window's list: the room it takes, its columns, and the rows its filter shows.
#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/gatewaytablemodel.h"
#include "gatewaylist/upgradewindowrun.h"
#include "widgets/dialogunits.h"
#include "widgets/progresswindow.h"
#include "widgets/widgets.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

bool UpgradeWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        placeList();
    // Escape and the close box of the progress window ask whether to stop a batch.
    if (watched == m_progress && m_run) {
        if (event->type() == QEvent::Close) {
            event->ignore();
            m_run->waiter().askToStop();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            m_run->waiter().askToStop();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void UpgradeWindow::placeList()
{
    const DialogUnits du(font());
    const int extraWidth = m_client->width() - du.x(242);
    const int extraHeight = m_client->height() - du.y(266);
    m_toolBar->setGeometry(0, 0, m_client->width(), du.y(20) - 2);
    QRect list = du.rect(5, 120, 230, 140);
    list.setWidth(list.width() + extraWidth);
    list.setBottom(list.bottom() + extraHeight);
    const int gap = du.y(2);
    if (auto* filterBar = m_client->findChild<QWidget*>(QStringLiteral("filterBar"));
        !filterBar->isHidden()) {
        filterBar->setGeometry(list.x(), list.y(), list.width(), du.y(14));
        list.setTop(list.top() + du.y(14) + gap);
    }
    if (!m_statusLine->isHidden()) {
        const int height = du.y(10);
        m_statusLine->setGeometry(list.x(), list.bottom() - height + 1, list.width(), height);
        list.setBottom(list.bottom() - height - gap);
    }
    m_view->setGeometry(list);
}

void UpgradeWindow::showBatchColumns()
{
    if (!m_view->isColumnHidden(StatusColumn))
        return;
    const DialogUnits du(font());
    // The password's stars need little room; the Status column takes the rest.
    m_view->setColumnWidth(PasswordColumn, du.scaledWidth(60));
    m_view->setColumnHidden(StatusColumn, false);
    m_view->header()->setSectionsClickable(true);
    showExtras(true, true, du.x(120));
}

void UpgradeWindow::showFilter()
{
    showExtras(true, !m_statusLine->isHidden(), 0);
    m_filterEdit->setFocus();
}

void UpgradeWindow::showExtras(bool filter, bool statusLine, int widen)
{
    const DialogUnits du(font());
    auto* filterBar = m_client->findChild<QWidget*>(QStringLiteral("filterBar"));
    const auto extraHeight = [&] {
        return (filterBar->isHidden() ? 0 : du.y(16)) + (m_statusLine->isHidden() ? 0 : du.y(12));
    };
    const int before = extraHeight();
    filterBar->setVisible(filter);
    m_statusLine->setVisible(statusLine);
    const int added = extraHeight() - before;
    // The rows keep the room they had: the window grows by what came above and below them.
    m_client->setMinimumHeight(du.y(266) + extraHeight());
    if (isVisible() && !isMaximized() && !isFullScreen())
        resize(width() + widen, height() + added);
    placeList();
}

void UpgradeWindow::applyFilter()
{
    m_filterModel->setFilter(m_filterEdit->text(),
                             static_cast<RowFilter>(m_filterChoice->currentIndex()));
}

void UpgradeWindow::setColumnWidths()
{
    // The frame's width is known only once the style has polished the list.
    m_view->ensurePolished();
    // The widths were made for the layouts' own font: they grow with the font as the controls
    // do, and as far as the status image with the longest number, and the longest address, need.
    const QFontMetrics metrics(m_view->font());
    setScaledColumnWidths(m_view, {{NumberColumn, 45, widestRowNumber(metrics), true},
                                   {AddressColumn, 100, widestAddressText(metrics)},
                                   {UserIdColumn, 80, QString()}});
    // The plain password travels with the row but is never shown.
    m_view->setColumnWidth(PlainPasswordColumn, 0);
    m_view->setColumnHidden(PlainPasswordColumn, true);
}
