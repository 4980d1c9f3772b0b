#include "gatewaylist/gatewaytablemodel.h"

#include "gatewaylist/statusimages.h"
#include "widgets/listwindow.h"
#include "widgets/widgets.h"

#include <QIcon>

#include <array>

namespace {

const std::array<const char*, GatewayTableModel::ColumnCount> Headings = {
    "#", "IP Address", "UserID", "Password", "PswReal", "Status"};

const QIcon& statusIcon(RowStatus status)
{
    static const std::array<QIcon, 9> icons = {
        QIcon(statusImage(RowStatus::None)),         QIcon(statusImage(RowStatus::Uploaded)),
        QIcon(statusImage(RowStatus::FtpFailed)),    QIcon(statusImage(RowStatus::Reachable)),
        QIcon(statusImage(RowStatus::NotReachable)), QIcon(statusImage(RowStatus::Unchanged)),
        QIcon(statusImage(RowStatus::BackedUp)),     QIcon(statusImage(RowStatus::NoBook)),
        QIcon(statusImage(RowStatus::Listed))};
    return icons.at(static_cast<std::size_t>(status));
}

Qt::Alignment columnAlignment(int column)
{
    // A status reads from its word on, however wide the column.
    return column == GatewayTableModel::NumberColumn || column == GatewayTableModel::StatusColumn
               ? Qt::AlignLeft | Qt::AlignVCenter
               : Qt::AlignCenter;
}

}  // namespace

GatewayTableModel::GatewayTableModel(GatewayList& list, const BatchReport& report,
                                     QObject* parent)
    : QAbstractTableModel(parent), m_list(list), m_report(report)
{
    statusesChanged();
}

int GatewayTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_list.size());
}

int GatewayTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant GatewayTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_list.size())
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    const GatewayRecord& record = m_list.record(row);
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NumberColumn:
            return QString::number(row + 1);
        case AddressColumn:
            return fromFileText(record.ipText);
        case UserIdColumn:
            return fromFileText(record.userId);
        case PasswordColumn:
            return QString(static_cast<qsizetype>(record.password.size()), u'*');
        case PlainPasswordColumn:
            return fromFileText(record.password);
        case StatusColumn:
            return statusText(row);
        }
        return {};
    case Qt::DecorationRole:
        if (index.column() == NumberColumn)
            return statusIcon(m_list.status(row));
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columnAlignment(index.column()));
    case Qt::ToolTipRole: {
        // The tool tip tells the image's story and goes with it.
        const ReportRow* entry = reportRow(row);
        if (m_list.status(row) == RowStatus::None || entry == nullptr || !entry->started)
            return {};
        // What the back-up and verify steps found follows, a line each.
        QString tip = fromFileText(rowSummary(*entry));
        for (const std::string& note : entry->outcome.notes)
            tip += QLatin1Char('\n') + fromFileText(note);
        return tip;
    }
    case StatusWordRole: {
        const ReportRow* entry = reportRow(row);
        if (entry != nullptr && (entry->started || m_list.statusShown()))
            return QString::fromStdString(entry->statusText());
        return QString::fromLatin1(rowStatusName(m_list.status(row)));
    }
    case ListRowRole:
        return index.row();
    }
    return {};
}

QVariant GatewayTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(Headings.at(static_cast<std::size_t>(section)));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(columnAlignment(section));
    return {};
}

QString GatewayTableModel::statusText(std::size_t row) const
{
    const ReportRow* entry = reportRow(row);
    // A row the batch has not reached yet shows nothing until the batch has ended.
    if (entry == nullptr || (!entry->started && !m_list.statusShown()))
        return {};
    QString text = QString::fromStdString(entry->statusText());
    if (!entry->outcome.reason.empty())
        text += QStringLiteral(" \u2014 ") + fromFileText(entry->outcome.reason);
    return text;
}

const ReportRow* GatewayTableModel::reportRow(std::size_t row) const
{
    if (row >= m_reportIndex.size() || m_reportIndex[row] < 0)
        return nullptr;
    // A batch that has just begun may have started the report anew since it was indexed.
    const auto at = static_cast<std::size_t>(m_reportIndex[row]);
    if (at >= m_report.rows.size() || m_report.rows[at].row != row)
        return nullptr;
    return &m_report.rows[at];
}

void GatewayTableModel::resetWith(const std::function<void()>& change)
{
    beginResetModel();
    change();
    m_reportIndex.assign(m_list.size(), -1);
    endResetModel();
}

ListEditResult GatewayTableModel::insertRecord(std::size_t position, const IpAddressInput& address,
                                               const std::string& userId,
                                               const std::string& password)
{
    // Tried on a copy first: the views must hear of a row before it is there.
    GatewayList changed = m_list;
    const ListEditResult result = changed.insertRecord(position, address, userId, password);
    if (result != ListEditResult::Ok)
        return result;
    const int at = static_cast<int>(std::min(position, m_list.size()));
    beginInsertRows({}, at, at);
    m_list = std::move(changed);
    m_reportIndex.insert(m_reportIndex.begin() + at, -1);
    endInsertRows();
    // The numbers below it moved on by one.
    emit dataChanged(index(at, NumberColumn), index(rowCount() - 1, NumberColumn));
    return result;
}

ListEditResult GatewayTableModel::replaceRecord(std::size_t index, const IpAddressInput& address,
                                                const std::string& userId,
                                                const std::string& password)
{
    const ListEditResult result = m_list.replaceRecord(index, address, userId, password);
    if (result == ListEditResult::Ok) {
        const int row = static_cast<int>(index);
        emit dataChanged(this->index(row, 0), this->index(row, ColumnCount - 1));
    }
    return result;
}

void GatewayTableModel::removeRecords(const std::set<std::size_t>& indexes)
{
    for (const std::set<std::size_t>& run : runsFromBottom(indexes, m_list.size())) {
        const std::size_t first = *run.begin();
        const std::size_t last = *run.rbegin();
        beginRemoveRows({}, static_cast<int>(first), static_cast<int>(last));
        m_list.removeRecords(run);
        m_reportIndex.erase(m_reportIndex.begin() + static_cast<std::ptrdiff_t>(first),
                            m_reportIndex.begin() + static_cast<std::ptrdiff_t>(last) + 1);
        endRemoveRows();
    }
    if (rowCount() > 0)
        emit dataChanged(index(0, NumberColumn), index(rowCount() - 1, NumberColumn));
}

void GatewayTableModel::statusesChanged()
{
    m_reportIndex.assign(m_list.size(), -1);
    for (std::size_t i = 0; i < m_report.rows.size(); ++i) {
        const std::size_t row = m_report.rows[i].row;
        if (row < m_reportIndex.size())
            m_reportIndex[row] = static_cast<int>(i);
    }
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

GatewayFilterModel::GatewayFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {}

void GatewayFilterModel::setFilter(const QString& text, RowFilter filter)
{
    m_text = text.trimmed();
    m_filter = filter;
    invalidateFilter();
}

bool GatewayFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QAbstractItemModel* source = sourceModel();
    const auto cell = [&](int column, int role) {
        return source->index(sourceRow, column, sourceParent).data(role).toString();
    };
    if (!m_text.isEmpty() &&
        !cell(GatewayTableModel::AddressColumn, Qt::DisplayRole).contains(m_text, Qt::CaseInsensitive) &&
        !cell(GatewayTableModel::UserIdColumn, Qt::DisplayRole).contains(m_text, Qt::CaseInsensitive))
        return false;
    const QString word = cell(GatewayTableModel::NumberColumn, GatewayTableModel::StatusWordRole);
    switch (m_filter) {
    case RowFilter::All:
        return true;
    case RowFilter::Failed:
        return word == QLatin1String("FtpFailed");
    case RowFilter::NotReached:
        return word == QLatin1String("NotReachable");
    case RowFilter::Done:
        return word == QLatin1String("Uploaded") || word == QLatin1String("Reachable");
    case RowFilter::NotStarted:
        return word == QLatin1String("NotStarted") || word == QLatin1String("None");
    }
    return true;
}

bool GatewayFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (left.column() == GatewayTableModel::StatusColumn) {
        const QString a = left.data(Qt::DisplayRole).toString();
        const QString b = right.data(Qt::DisplayRole).toString();
        if (a != b)
            return a < b;
    }
    // Ties, and every other column, in the list's order whichever way the column sorts.
    return (left.row() < right.row()) == (sortOrder() == Qt::AscendingOrder);
}
