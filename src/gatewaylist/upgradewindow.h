#pragma once

#include "gatewaylist/batchreport.h"
#include "gatewaylist/gatewaylist.h"
#include "gatewaylist/listfile.h"
#include "gatewaylist/upgrademode.h"

#include <QDialog>

#include <set>

struct Services;
class IpAddressEdit;
class ProgressWindow;
class QAction;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// Keeps the gateway list and runs the batch commands over it, in address-book or firmware mode.
class UpgradeWindow final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpgradeWindow)

public:
    enum Column { NumberColumn, AddressColumn, UserIdColumn, PasswordColumn, PlainPasswordColumn };

    UpgradeWindow(Services& services, UpgradeOptions options, QWidget* parent = nullptr);
    ~UpgradeWindow() override;

    const GatewayList& list() const { return m_model; }
    // The last batch's rows and outcomes; empty before the first batch.
    const BatchReport& report() const { return m_report; }
    const UpgradeOptions& options() const { return m_options; }
    ProgressWindow* progressWindow() const { return m_progress; }

    void add();
    void modify();
    void remove();
    void resetFields();
    void newList();
    void open();
    void save();
    void checkConnections();
    void upgradeSelection();
    void upgradeList();
    // Firmware mode: what Upgrade selection would delete and send, shown in a preview window.
    void previewSelection();
    // Selects the rows whose image is the red cross or the struck-through device.
    void selectFailedRows();
    // Writes the last batch's report as CSV.
    void saveReport();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    class View;

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

    void rebuildRows();
    void insertRow(std::size_t index);
    void updateRow(std::size_t index);
    void renumberRows();
    std::set<std::size_t> selectedRows() const;
    void repaintList();

    Services& m_services;
    UpgradeOptions m_options;
    GatewayList m_model;
    BatchReport m_report;

    ProgressWindow* m_progress = nullptr;
    IpAddressEdit* m_address = nullptr;
    QLineEdit* m_userId = nullptr;
    QLineEdit* m_password = nullptr;
    QTreeWidget* m_view = nullptr;

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
    QAction* m_previewSelectionAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_aboutAction = nullptr;
};
