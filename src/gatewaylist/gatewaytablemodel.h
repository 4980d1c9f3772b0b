#pragma once

#include "gatewaylist/batchreport.h"
#include "gatewaylist/gatewaylist.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <functional>
#include <set>
#include <vector>

// The Upgrade window's rows: the gateway list as the window shows it, with the last batch's
// status of each row. Every change of the list goes through here, so the views hear of it.
class GatewayTableModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GatewayTableModel)

public:
    enum Column {
        NumberColumn,
        AddressColumn,
        UserIdColumn,
        PasswordColumn,
        PlainPasswordColumn,
        StatusColumn,
        ColumnCount
    };
    // The status word of a row for sorting and filtering: a row of the last batch that it never
    // reached reads NotStarted, a row outside it reads None.
    static constexpr int StatusWordRole = Qt::UserRole;
    static constexpr int ListRowRole = Qt::UserRole + 1;

    GatewayTableModel(GatewayList& list, const BatchReport& report, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The whole list replaced by change (a file read, a new list).
    void resetWith(const std::function<void()>& change);
    ListEditResult insertRecord(std::size_t position, const IpAddressInput& address,
                                const std::string& userId, const std::string& password);
    ListEditResult replaceRecord(std::size_t index, const IpAddressInput& address,
                                 const std::string& userId, const std::string& password);
    void removeRecords(const std::set<std::size_t>& indexes);
    // The statuses or the report changed: every row is shown anew.
    void statusesChanged();

    // "FtpFailed — cannot log in: 530 Authentication failed."; empty for a row the last batch
    // did not take in.
    QString statusText(std::size_t row) const;

private:
    const ReportRow* reportRow(std::size_t row) const;

    GatewayList& m_list;
    const BatchReport& m_report;
    // Each list row's place in m_report.rows, or -1.
    std::vector<int> m_reportIndex;
};

// Which rows the Upgrade window shows.
enum class RowFilter { All, Failed, NotReached, Done, NotStarted };

// Filters the rows by address or user ID text and by status, and sorts by the Status column
// (every other column keeps the list's order).
class GatewayFilterModel final : public QSortFilterProxyModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GatewayFilterModel)

public:
    explicit GatewayFilterModel(QObject* parent = nullptr);

    void setFilter(const QString& text, RowFilter filter);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QString m_text;
    RowFilter m_filter = RowFilter::All;
};
