#pragma once

#include "gatewaylist/batchreport.h"
#include "gatewaylist/gatewaylist.h"
#include "gatewaylist/listfile.h"
#include "gatewaylist/upgrademode.h"

#include <QDialog>
#include <QElapsedTimer>

#include <memory>
#include <set>
#include <string>

struct Services;
class IpAddressEdit;
class GatewayFilterModel;
class GatewayTableModel;
class ProgressWindow;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeView;

// Keeps the gateway list and runs the batch commands over it, in address-book or firmware mode.
class UpgradeWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpgradeWindow)

public:
    enum Column {
        NumberColumn,
        AddressColumn,
        UserIdColumn,
        PasswordColumn,
        PlainPasswordColumn,
        StatusColumn
    };

    UpgradeWindow(Services& services, UpgradeOptions options, QWidget* parent = nullptr);
    ~UpgradeWindow() override;

    const GatewayList& list() const { return m_model; }
    // The last batch's rows and outcomes; empty before the first batch.
    const BatchReport& report() const { return m_report; }
    const UpgradeOptions& options() const { return m_options; }
    ProgressWindow* progressWindow() const { return m_progress; }
    // A batch started by a command runs on until it ends, then the commands come back.
    bool batchRunning() const { return m_run != nullptr; }

    void add();
    void modify();
    void remove();
    void resetFields();
    void newList();
    void open();
    void save();
    // The three batches start and return: each runs on, and batchEnded comes once it has ended.
    void checkConnections();
    void upgradeSelection();
    void upgradeList();
    // Upgrade > Back up books...: a folder, then the back-up of the selected rows (all rows when
    // none is selected) as a batch with images, tool tips, report and Stop.
    void backUpBooks();
    // Firmware mode: what Upgrade selection would delete and send, shown in a preview window once
    // read. Starts and returns as the batches do, but leaves the rows and the last report alone.
    void previewSelection();
    // Selects the rows whose image is the red cross or the struck-through device, and after a
    // stop the rows the batch never started, wherever the filter stands.
    void selectFailedRows();
    // Writes the last batch's report: JSON for a name ending in .json, CSV otherwise.
    void saveReport();
    // Shows the filter box, with the focus in it.
    void showFilter();

    // While a batch runs, Exit, Escape and the close box ask whether to stop it.
    void accept() override;
    void reject() override;

signals:
    void batchEnded();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class View;
    class Run;

    Q_INVOKABLE void finishBatch();
    // The statuses and report of a batch's copy of the list, taken over by the window's list.
    void takeBatchState(const GatewayList& list, const BatchReport& report);

    void createActions();
    void createMenus();
    void createToolBar();
    void createControls();
    void setColumnWidths();
    void readList(const QString& path);
    void cleanStatuses();
    bool loginFieldsFit() const;
    // False, after saying why, when a firmware upgrade can't read its settings file.
    bool settingsReady();
    void fillFieldsFromSelection();
    int batchJobs() const;
    void runUpgrade(bool selectionOnly);

    // The list, the filter row and the status line follow the window's size; everything else
    // keeps its place.
    void placeList();
    // The Status column, the filter row and the status line, from the first batch on.
    void showBatchColumns();
    // widen: pixels the window grows by, besides the rows it gains.
    void showExtras(bool filter, bool statusLine, int widen);
    void applyFilter();
    // The list rows selected among those shown.
    std::set<std::size_t> selectedRows() const;
    void repaintList();
    void beginBatch(std::size_t count);
    void endBatch();
    // The commands, off while a batch runs.
    void setCommandsEnabled(bool enabled);
    // Back up books... is on once the list holds a gateway and no batch runs.
    void updateBackUpBooks();
    void updateStatusLine();
    // "Stopped: 24 of 129 gateways done, 105 not started." after a stopped batch, or why a
    // staged one stopped by itself ("Stopped: the first 3 gateways did not all succeed."), else
    // empty.
    QString stopSummary() const;

    Services& m_services;
    UpgradeOptions m_options;
    GatewayList m_model;
    BatchReport m_report;
    GatewayTableModel* m_table = nullptr;
    std::unique_ptr<Run> m_run;
    bool m_closing = false;
    GatewayFilterModel* m_filterModel = nullptr;
    // The list file last read or saved: reports are proposed beside it.
    QString m_listPath;
    QElapsedTimer m_batchClock;
    double m_batchSeconds = 0.0;
    bool m_batchRunning = false;
    std::size_t m_batchCount = 0;

    ProgressWindow* m_progress = nullptr;
    IpAddressEdit* m_address = nullptr;
    QLineEdit* m_userId = nullptr;
    QLineEdit* m_password = nullptr;
    QWidget* m_client = nullptr;
    QWidget* m_toolBar = nullptr;
    QTreeView* m_view = nullptr;
    QLineEdit* m_filterEdit = nullptr;
    QComboBox* m_filterChoice = nullptr;
    QLabel* m_statusLine = nullptr;

    QAction* m_newAction = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_saveReportAction = nullptr;
    QAction* m_selectFailedRowsAction = nullptr;
    QAction* m_exitAction = nullptr;
    QAction* m_addAction = nullptr;
    QAction* m_modifyAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QAction* m_resetFieldsAction = nullptr;
    QAction* m_checkConnectionsAction = nullptr;
    QAction* m_upgradeSelectionAction = nullptr;
    QAction* m_upgradeListAction = nullptr;
    QAction* m_backUpBooksAction = nullptr;
    QAction* m_previewSelectionAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_aboutAction = nullptr;
};
