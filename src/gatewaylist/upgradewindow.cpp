#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/batch.h"
#include "gatewaylist/listfile.h"
#include "gatewaylist/listfilereport.h"
#include "gatewaylist/previewwindow.h"
#include "gatewaylist/statusimages.h"
#include "base/settingsfile.h"
#include "widgets/dialogunits.h"
#include "widgets/help.h"
#include "widgets/icons.h"
#include "widgets/ipaddressedit.h"
#include "widgets/listwindow.h"
#include "widgets/progresswindow.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "widgets/widgets.h"
#include "widgets/windowwaiter.h"
#include "transfer/transfercontext.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

const char* const ListFilter = "Orbiphon List (*.obl)";
const char* const ReportFilter = "Report (*.csv)";

QLineEdit* centredField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setAlignment(Qt::AlignCenter);
    return field;
}

} // namespace

// The window's side of a batch: immediate repaints, the busy cursor and the closing notice.
class UpgradeWindow::View final : public BatchView {
public:
    explicit View(UpgradeWindow& window) : m_window(window) {}

    void repaintList() override { m_window.repaintList(); }

    void setBusy(bool busy) override
    {
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            m_busy = true;
        } else if (m_busy) {
            QApplication::restoreOverrideCursor();
            m_busy = false;
        }
    }

    void showClosingNotice() override
    {
        m_window.m_services.prompts.message(&m_window, QString::fromLatin1(ClosingNotice),
                                            Prompts::Icon::Information);
    }

    ~View() override { setBusy(false); }

private:
    UpgradeWindow& m_window;
    bool m_busy = false;
};

UpgradeWindow::UpgradeWindow(Services& services, UpgradeOptions options, QWidget* parent)
    : QDialog(parent), m_services(services), m_options(std::move(options))
{
    setObjectName(QStringLiteral("upgradeWindow"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(applicationIcon());

    createActions();
    createMenus();
    createControls();

    m_progress = new ProgressWindow(this);
    m_progress->setObjectName(QStringLiteral("progressWindow"));

    setWindowTitle(m_options.mode == UpgradeMode::AddressBookUpgrade
                       ? QStringLiteral("Address Book Upgrade")
                       : QStringLiteral("Firmware Upgrade"));
    setColumnWidths();

    if (!m_options.listPath.empty())
        readList(fromNativePath(m_options.listPath));
}

UpgradeWindow::~UpgradeWindow() = default;

void UpgradeWindow::createActions()
{
    makeActions(this, {
        {&m_newAction, "newAction", "&New", "New", CommandIcon::New, [this] { newList(); }},
        {&m_openAction, "openAction", "&Open", "Open", CommandIcon::Open, [this] { open(); }},
        {&m_saveAction, "saveAction", "&Save", "Save", CommandIcon::Save, [this] { save(); }},
        {&m_saveReportAction, "saveReportAction", "Save &report...", "", std::nullopt,
         [this] { saveReport(); }},
        {&m_exitAction, "exitAction", "&Exit", "", std::nullopt, [this] { accept(); }},
        {&m_addAction, "addAction", "&Add", "Add", CommandIcon::Add, [this] { add(); }},
        {&m_modifyAction, "modifyAction", "&Modify", "Modify", CommandIcon::Modify,
         [this] { modify(); }},
        {&m_deleteAction, "deleteAction", "&Delete", "Delete", CommandIcon::Delete,
         [this] { remove(); }},
        {&m_resetFieldsAction, "resetFieldsAction", "&Reset fields", "Reset fields",
         CommandIcon::ResetFields, [this] { resetFields(); }},
        {&m_checkConnectionsAction, "checkConnectionsAction", "Check connections",
         "Check connections", CommandIcon::CheckConnections, [this] { checkConnections(); }},
        {&m_upgradeSelectionAction, "upgradeSelectionAction", "Upgrade selection",
         "Upgrade selection", CommandIcon::UpgradeSelection, [this] { upgradeSelection(); }},
        {&m_upgradeListAction, "upgradeListAction", "Upgrade list", "Upgrade the whole list",
         CommandIcon::UpgradeList, [this] { upgradeList(); }},
        {&m_previewSelectionAction, "previewSelectionAction", "Preview selection",
         "Preview selection", std::nullopt, [this] { previewSelection(); }},
        {&m_selectFailedRowsAction, "selectFailedRowsAction", "Select failed rows", "",
         std::nullopt, [this] { selectFailedRows(); }},
        {&m_helpAction, "helpAction", "Help", "Help", CommandIcon::Help,
         [this] { showHelp(this, m_services.prompts, m_services.helpFile); }},
        {&m_aboutAction, "aboutAction", "About Orbiphon", "About Orbiphon", CommandIcon::About,
         [this] {
             if (m_services.showAbout)
                 m_services.showAbout(this);
         }},
    });
    m_saveReportAction->setEnabled(false);
}

void UpgradeWindow::createMenus()
{
    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));

    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    file->addActions({m_newAction, m_openAction, m_saveAction});
    file->addSeparator();
    file->addAction(m_saveReportAction);
    file->addSeparator();
    file->addAction(m_exitAction);

    QMenu* record = menuBar->addMenu(QStringLiteral("&Record"));
    record->setObjectName(QStringLiteral("recordMenu"));
    record->addActions({m_addAction, m_modifyAction, m_deleteAction, m_resetFieldsAction});

    QMenu* upgrade = menuBar->addMenu(QStringLiteral("Upgrade"));
    upgrade->setObjectName(QStringLiteral("upgradeMenu"));
    upgrade->addAction(m_checkConnectionsAction);
    upgrade->addSeparator();
    upgrade->addActions({m_upgradeSelectionAction, m_upgradeListAction});
    if (m_options.mode == UpgradeMode::FirmwareUpgrade)
        upgrade->addAction(m_previewSelectionAction);
    upgrade->addSeparator();
    upgrade->addAction(m_selectFailedRowsAction);

    QMenu* help = menuBar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    help->addActions({m_helpAction, m_aboutAction});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void UpgradeWindow::createControls()
{
    const DialogUnits du(font());
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(du.size(242, 266));
    layout()->addWidget(client);

    auto* toolBar = new QToolBar(client);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(16, 15));
    toolBar->addActions({m_newAction, m_openAction, m_saveAction});
    toolBar->addSeparator();
    toolBar->addActions({m_addAction, m_modifyAction, m_deleteAction, m_resetFieldsAction});
    toolBar->addSeparator();
    toolBar->addActions(
        {m_checkConnectionsAction, m_upgradeSelectionAction, m_upgradeListAction});
    toolBar->addSeparator();
    toolBar->addActions({m_helpAction, m_aboutAction});
    toolBar->setGeometry(0, 0, client->width(), du.y(20) - 2);

    auto* group = new QGroupBox(QStringLiteral("FTP"), client);
    group->setObjectName(QStringLiteral("ftpGroup"));
    group->setGeometry(du.rect(5, 20, 230, 89));
    // Children of the client area, so their positions read as in the window's layout.
    group->lower();

    sunkenLabel("addressLabel", QStringLiteral("IP Address"), du.rect(16, 36, 44, 15), client);
    m_address = new IpAddressEdit(m_services.prompts, client);
    m_address->setObjectName(QStringLiteral("addressEdit"));
    m_address->setGeometry(du.rect(65, 36, 110, 15));

    sunkenLabel("userIdLabel", QStringLiteral("User ID"), du.rect(15, 60, 45, 15), client);
    m_userId = centredField(client);
    m_userId->setObjectName(QStringLiteral("userIdEdit"));
    m_userId->setGeometry(du.rect(65, 60, 50, 15));

    sunkenLabel("passwordLabel", QStringLiteral("Password"), du.rect(125, 60, 45, 15), client);
    m_password = centredField(client);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setGeometry(du.rect(175, 60, 50, 15));

    const struct {
        const char* name;
        const char* text;
        int x;
        QAction* action;
    } buttons[] = {
        {"addButton", "Add", 15, m_addAction},
        {"modifyButton", "Modify", 70, m_modifyAction},
        {"deleteButton", "Delete", 125, m_deleteAction},
        {"resetFieldsButton", "Reset fields", 180, m_resetFieldsAction},
    };
    for (const auto& entry : buttons) {
        auto* button = new QPushButton(QString::fromLatin1(entry.text), client);
        button->setObjectName(QString::fromLatin1(entry.name));
        button->setAutoDefault(false);
        button->setGeometry(du.rect(entry.x, 86, 45, 15));
        connect(button, &QPushButton::clicked, entry.action, &QAction::trigger);
    }

    m_view = createRecordList(client, "gatewayList", du.rect(5, 120, 230, 140),
                              {QStringLiteral("#"), QStringLiteral("IP Address"),
                               QStringLiteral("UserID"), QStringLiteral("Password"),
                               QStringLiteral("PswReal")});
    m_view->setIconSize(QSize(StatusImageSize, StatusImageSize));
    connect(m_view, &QTreeWidget::itemSelectionChanged, this,
            &UpgradeWindow::fillFieldsFromSelection);
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

void UpgradeWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
            return;
        }
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void UpgradeWindow::cleanStatuses()
{
    if (!m_model.statusShown())
        return;
    m_model.clearStatuses();
    for (std::size_t row = 0; row < m_model.size(); ++row)
        updateRow(row);
}

void UpgradeWindow::add()
{
    if (m_model.size() >= MaxGateways) {
        m_services.prompts.message(this, QStringLiteral("Maximum number of items reached!"));
        return;
    }
    const IpAddressInput address = m_address->address();
    const std::string userId = toFileText(m_userId->text());
    const std::string password = toFileText(m_password->text());
    const std::set<std::size_t> selected = selectedRows();
    const std::size_t position = selected.empty() ? m_model.size() : *selected.begin();

    // A login the list file can't hold is refused as one that can't be sent; the list is not
    // full here, so no other message could come first.
    const ListEditResult result = loginFieldsFit()
                                      ? m_model.insertRecord(position, address, userId, password)
                                      : ListEditResult::InvalidParams;
    if (result == ListEditResult::Ok) {
        insertRow(position);
        renumberRows();
    } else {
        m_services.prompts.message(this, result == ListEditResult::InvalidParams
                                             ? QStringLiteral("Invalid params!")
                                             : QStringLiteral("Maximum number of items reached!"));
    }
    cleanStatuses();
}

void UpgradeWindow::modify()
{
    const std::set<std::size_t> selected = selectedRows();
    if (!selected.empty()) {
        const std::size_t index = *selected.begin();
        // Past row 253 the limit's message comes first, whatever the fields hold.
        const ListEditResult result =
            loginFieldsFit() || index >= MaxGateways
                ? m_model.replaceRecord(index, m_address->address(), toFileText(m_userId->text()),
                                       toFileText(m_password->text()))
                : ListEditResult::InvalidParams;
        if (result == ListEditResult::Ok) {
            updateRow(index);
            m_view->topLevelItem(static_cast<int>(index))->setSelected(false);
        } else {
            m_services.prompts.message(this,
                                       result == ListEditResult::InvalidParams
                                           ? QStringLiteral("Invalid params!")
                                           : QStringLiteral("Maximum number of items reached!"));
        }
    }
    cleanStatuses();
}

bool UpgradeWindow::loginFieldsFit() const
{
    // A character beyond one byte would be saved as '?' without a word.
    return isFileText(m_userId->text()) && isFileText(m_password->text());
}

void UpgradeWindow::remove()
{
    const std::set<std::size_t> selected = selectedRows();
    if (!selected.empty()) {
        m_model.removeRecords(selected);
        {
            // Half-way through, the rows on screen no longer match the list: a selection
            // change then must not fill the fields from the wrong record.
            const QSignalBlocker blocker(m_view);
            // From the bottom up, so the indexes still to remove stay valid.
            for (auto it = selected.rbegin(); it != selected.rend(); ++it)
                delete m_view->takeTopLevelItem(static_cast<int>(*it));
        }
        renumberRows();
    }
    cleanStatuses();
}

void UpgradeWindow::resetFields()
{
    m_address->clear();
    m_userId->clear();
    m_password->clear();
    cleanStatuses();
}

void UpgradeWindow::newList()
{
    m_model.clear();
    m_view->clear();
    setColumnWidths();
    resetFields();
}

void UpgradeWindow::open()
{
    const QString path =
        m_services.prompts.openFile(this, {QString(), QString::fromLatin1(ListFilter), QString()});
    if (path.isEmpty())
        return;
    newList();
    readList(path);
}

void UpgradeWindow::readList(const QString& path)
{
    const ListFileResult result = loadGatewayList(toNativePath(path), m_model);
    rebuildRows();
    const ListFileReport report = listFileReport(result, toNativePath(path), UnnamedFile);
    if (report.outcome == ListFileOutcome::WrongFormat)
        m_services.prompts.message(this, QString::fromStdString(report.message));
    else if (report.outcome != ListFileOutcome::Loaded)
        m_services.prompts.message(this, QString::fromStdString(report.message),
                                   Prompts::Icon::Stop);
}

void UpgradeWindow::save()
{
    const QString path = m_services.prompts.saveFile(
        this, {QString(), QString::fromLatin1(ListFilter), QStringLiteral("obl")});
    if (!path.isEmpty()) {
        const FileError error = saveGatewayList(toNativePath(path), m_model.records());
        if (error != FileError::None)
            m_services.prompts.message(
                this, QString::fromStdString(fileErrorText(error, toNativePath(path))),
                Prompts::Icon::Stop);
    }
    cleanStatuses();
}

int UpgradeWindow::batchJobs() const
{
    // Missing, empty or out of range: one gateway at a time, as the window always did.
    return parseJobs(m_services.settings.readString("Batch", "Jobs", "")).value_or(MinJobs);
}

void UpgradeWindow::checkConnections()
{
    View view(*this);
    WindowWaiter waiter(m_services.prompts, {this}, QString::fromLatin1(StopQuestion));
    // The batch fills the report row by row, so each tool tip comes with its image.
    const BatchControl control{batchJobs(), &waiter.stopFlag(), &waiter, &m_report};
    if (::checkConnections(m_model, m_services.prober, view, control) ==
        BatchOutcome::NoItemInList)
        m_services.prompts.message(this, QStringLiteral("No item in list!"));
    m_saveReportAction->setEnabled(m_report.ran());
}

void UpgradeWindow::selectFailedRows()
{
    for (std::size_t row = 0; row < m_model.size(); ++row) {
        const RowStatus status = m_model.status(row);
        m_view->topLevelItem(static_cast<int>(row))
            ->setSelected(status == RowStatus::FtpFailed || status == RowStatus::NotReachable);
    }
}

void UpgradeWindow::saveReport()
{
    if (!m_report.ran())
        return;
    const QString path = m_services.prompts.saveFile(
        this, {QString(), QString::fromLatin1(ReportFilter), QStringLiteral("csv")});
    if (path.isEmpty())
        return;
    const FileError error = saveReportCsv(toNativePath(path), m_report);
    if (error != FileError::None)
        m_services.prompts.message(
            this, QString::fromStdString(fileErrorText(error, toNativePath(path))),
            Prompts::Icon::Stop);
}

bool UpgradeWindow::settingsReady()
{
    const FileError error = upgradeSettingsError(m_options, m_services.settings);
    if (error == FileError::None)
        return true;
    m_services.prompts.message(
        this, QString::fromStdString(fileErrorText(error, m_services.settings.path())),
        Prompts::Icon::Stop);
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
    if (!settingsReady())
        return;
    View view(*this);
    WindowWaiter waiter(m_services.prompts, {this, m_progress},
                        QString::fromLatin1(StopQuestion));
    WindowThreadProgress progress(waiter, *m_progress);
    TransferContext context{m_services.prober, m_services.ftp, progress, m_services.ftpPort};
    TransferUploader uploader(context, m_services.settings, m_options,
                              transferSafetyFrom(m_services.settings));
    // The batch fills the report row by row, so each tool tip comes with its image.
    const BatchControl control{batchJobs(), &waiter.stopFlag(), &waiter, &m_report};
    if (selectionOnly) {
        if (::upgradeSelection(m_model, selectedRows(), uploader, progress, view, control) ==
            BatchOutcome::NoItemSelected)
            m_services.prompts.message(this, QStringLiteral("No item selected!"));
    } else if (::upgradeList(m_model, uploader, progress, view, control) ==
               BatchOutcome::NoItemInList) {
        m_services.prompts.message(this, QStringLiteral("No item in list!"));
    }
    m_saveReportAction->setEnabled(m_report.ran());
}

void UpgradeWindow::previewSelection()
{
    if (!settingsReady())
        return;
    const std::set<std::size_t> selected = selectedRows();
    if (selected.empty()) {
        m_services.prompts.message(this, QStringLiteral("No item selected!"));
        return;
    }
    std::vector<RowPlan> plans;
    {
        WindowWaiter waiter(m_services.prompts, {this}, QString::fromLatin1(StopQuestion));
        // The plans report to no display; the context only carries the probe and FTP.
        WindowThreadProgress progress(waiter, *m_progress);
        TransferContext context{m_services.prober, m_services.ftp, progress, m_services.ftpPort};
        const BatchControl control{batchJobs(), &waiter.stopFlag(), &waiter};
        plans = planRows(m_model, {selected.begin(), selected.end()}, context,
                         m_services.settings, m_options, control);
    }
    std::string text = std::string(m_options.fullFirmware ? "Full" : "Code")
                       + " firmware upgrade from " + m_options.sourcePath + "\n";
    for (const RowPlan& planned : plans) {
        text += std::to_string(planned.row + 1) + " " + planned.gateway.ipText + " "
                + (planned.plan.result == TransferResult::Done
                       ? "Planned"
                       : transferResultName(planned.plan.result))
                + "\n" + firmwarePlanText(planned.plan);
    }
    auto* preview = new PreviewWindow(m_services.prompts, fromFileText(text), this);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setModal(true);
    preview->show();
}

void UpgradeWindow::fillFieldsFromSelection()
{
    const std::set<std::size_t> selected = selectedRows();
    if (selected.empty())
        return;
    const GatewayRecord& record = m_model.record(*selected.begin());
    m_address->setAddress(parseIpText(record.ipText));
    m_userId->setText(fromFileText(record.userId));
    m_password->setText(fromFileText(record.password));
}

void UpgradeWindow::rebuildRows()
{
    m_view->clear();
    for (std::size_t row = 0; row < m_model.size(); ++row)
        insertRow(row);
}

void UpgradeWindow::insertRow(std::size_t index)
{
    auto* item = new QTreeWidgetItem;
    item->setTextAlignment(NumberColumn, Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = AddressColumn; column <= PlainPasswordColumn; ++column)
        item->setTextAlignment(column, Qt::AlignCenter);
    m_view->insertTopLevelItem(static_cast<int>(index), item);
    updateRow(index);
    item->setText(NumberColumn, QString::number(index + 1));
}

void UpgradeWindow::updateRow(std::size_t index)
{
    QTreeWidgetItem* item = m_view->topLevelItem(static_cast<int>(index));
    const GatewayRecord& record = m_model.record(index);
    item->setIcon(NumberColumn, QIcon(statusImage(m_model.status(index))));
    item->setText(AddressColumn, fromFileText(record.ipText));
    item->setText(UserIdColumn, fromFileText(record.userId));
    item->setText(PasswordColumn, QString(static_cast<qsizetype>(record.password.size()), u'*'));
    item->setText(PlainPasswordColumn, fromFileText(record.password));
    // The tool tip tells the image's story and goes with it.
    QString tip;
    if (m_model.status(index) != RowStatus::None) {
        for (const ReportRow& entry : m_report.rows) {
            if (entry.row == index && entry.started)
                tip = fromFileText(rowSummary(entry));
        }
    }
    for (int column = NumberColumn; column <= PlainPasswordColumn; ++column)
        item->setToolTip(column, tip);
}

void UpgradeWindow::renumberRows()
{
    for (int row = 0; row < m_view->topLevelItemCount(); ++row)
        m_view->topLevelItem(row)->setText(NumberColumn, QString::number(row + 1));
}

std::set<std::size_t> UpgradeWindow::selectedRows() const
{
    std::set<std::size_t> rows;
    for (int row = 0; row < m_view->topLevelItemCount(); ++row) {
        if (m_view->topLevelItem(row)->isSelected())
            rows.insert(static_cast<std::size_t>(row));
    }
    return rows;
}

void UpgradeWindow::repaintList()
{
    for (std::size_t row = 0; row < m_model.size(); ++row)
        updateRow(row);
    // The thread stays busy in the next probe or transfer: paint now, not later.
    m_view->viewport()->repaint();
}
