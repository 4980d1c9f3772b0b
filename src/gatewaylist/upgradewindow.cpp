#include "gatewaylist/upgradewindow.h"

#include "gatewaylist/batch.h"
#include "gatewaylist/gatewaytablemodel.h"
#include "gatewaylist/upgradewindowrun.h"
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

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

const char* const ListFilter = "Orbiphon List (*.obl)";

QLineEdit* centredField(QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setAlignment(Qt::AlignCenter);
    return field;
}

} // namespace

UpgradeWindow::UpgradeWindow(Services& services, UpgradeOptions options, QWidget* parent)
    : QDialog(parent), m_services(services), m_options(std::move(options))
{
    setObjectName(QStringLiteral("upgradeWindow"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(applicationIcon());

    m_table = new GatewayTableModel(m_model, m_report, this);
    m_filterModel = new GatewayFilterModel(this);
    m_filterModel->setObjectName(QStringLiteral("gatewayFilterModel"));
    m_filterModel->setSourceModel(m_table);

    createActions();
    createMenus();
    createControls();
    // Back up books... waits for a gateway in the list, whichever way it came.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_table, signal, this, &UpgradeWindow::updateBackUpBooks);
    connect(m_table, &QAbstractItemModel::modelReset, this, &UpgradeWindow::updateBackUpBooks);

    m_progress = new ProgressWindow(this);
    m_progress->setObjectName(QStringLiteral("progressWindow"));
    m_progress->installEventFilter(this);

    setWindowTitle(m_options.mode == UpgradeMode::AddressBookUpgrade
                       ? QStringLiteral("Address Book Upgrade")
                       : QStringLiteral("Firmware Upgrade"));
    setColumnWidths();

    if (!m_options.listPath.empty())
        readList(fromNativePath(m_options.listPath));
}

UpgradeWindow::~UpgradeWindow()
{
    if (m_run) {
        // Going away mid-batch: no further gateway starts, and the ones in progress end first.
        m_closing = true;
        m_run->waiter().requestStop();
        while (!m_run->ended())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        m_run.reset();
    }
    // The list and the report go before the window's children: no view may read them then.
    m_view->setModel(nullptr);
    m_filterModel->setSourceModel(nullptr);
}

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
        {&m_backUpBooksAction, "backUpBooksAction", "Back up books...", "", std::nullopt,
         [this] { backUpBooks(); }},
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

    // No menu entry: the menus stay as they always were.
    auto* filter = new QAction(QStringLiteral("Filter"), this);
    filter->setObjectName(QStringLiteral("filterAction"));
    filter->setShortcut(QKeySequence::Find);
    connect(filter, &QAction::triggered, this, &UpgradeWindow::showFilter);
    addAction(filter);
    m_backUpBooksAction->setEnabled(false);
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
    upgrade->addAction(m_backUpBooksAction);
    upgrade->addSeparator();
    upgrade->addAction(m_selectFailedRowsAction);

    QMenu* help = menuBar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    help->addActions({m_helpAction, m_aboutAction});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar);
}

void UpgradeWindow::createControls()
{
    const DialogUnits du(font());
    auto* client = new QWidget(this);
    m_client = client;
    client->setObjectName(QStringLiteral("clientArea"));
    // Opens at the layout's size, and only grows from there.
    client->setMinimumSize(du.size(242, 266));
    client->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    client->installEventFilter(this);
    layout()->addWidget(client);

    auto* toolBar = new QToolBar(client);
    m_toolBar = toolBar;
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

    auto* filterBar = new QWidget(client);
    filterBar->setObjectName(QStringLiteral("filterBar"));
    auto* filterLayout = new QHBoxLayout(filterBar);
    filterLayout->setContentsMargins(0, 0, 0, 0);
    m_filterEdit = new QLineEdit(filterBar);
    m_filterEdit->setObjectName(QStringLiteral("filterEdit"));
    m_filterEdit->setPlaceholderText(QStringLiteral("Address or user ID"));
    m_filterEdit->setClearButtonEnabled(true);
    m_filterChoice = new QComboBox(filterBar);
    m_filterChoice->setObjectName(QStringLiteral("filterChoice"));
    m_filterChoice->addItems({QStringLiteral("All"), QStringLiteral("Failed"),
                              QStringLiteral("Not reached"), QStringLiteral("Done"),
                              QStringLiteral("Not started")});
    filterLayout->addWidget(m_filterEdit, 1);
    filterLayout->addWidget(m_filterChoice);
    filterBar->hide();
    connect(m_filterEdit, &QLineEdit::textChanged, this, &UpgradeWindow::applyFilter);
    connect(m_filterChoice, &QComboBox::currentIndexChanged, this, &UpgradeWindow::applyFilter);

    m_view = createRecordList(client, "gatewayList", du.rect(5, 120, 230, 140));
    m_view->setModel(m_filterModel);
    m_view->setIconSize(QSize(StatusImageSize, StatusImageSize));
    m_view->setColumnHidden(StatusColumn, true);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &UpgradeWindow::fillFieldsFromSelection);
    connect(m_view->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        // The Status column sorts, either way in turn; "#" goes back to the list's order.
        QHeaderView* header = m_view->header();
        if (column == StatusColumn) {
            const Qt::SortOrder order = m_filterModel->sortColumn() == StatusColumn &&
                                                m_filterModel->sortOrder() == Qt::AscendingOrder
                                            ? Qt::DescendingOrder
                                            : Qt::AscendingOrder;
            m_filterModel->sort(StatusColumn, order);
            header->setSortIndicator(StatusColumn, order);
            header->setSortIndicatorShown(true);
        } else if (column == NumberColumn) {
            m_filterModel->sort(-1);
            header->setSortIndicatorShown(false);
        }
    });

    m_statusLine = new QLabel(client);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->hide();
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
    m_table->statusesChanged();
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
    ListEditResult result = ListEditResult::InvalidParams;
    if (loginFieldsFit()) {
        // The selection moves down with its rows; the fields keep what was typed.
        const QSignalBlocker blocker(m_view->selectionModel());
        result = m_table->insertRecord(position, address, userId, password);
    }
    if (result != ListEditResult::Ok) {
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
                ? m_table->replaceRecord(index, m_address->address(), toFileText(m_userId->text()),
                                         toFileText(m_password->text()))
                : ListEditResult::InvalidParams;
        if (result == ListEditResult::Ok) {
            m_view->selectionModel()->select(
                m_filterModel->mapFromSource(m_table->index(static_cast<int>(index), 0)),
                QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
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
        // Half-way through, the rows still selected are on their way out: a selection change
        // then must not fill the fields from them.
        const QSignalBlocker blocker(m_view->selectionModel());
        m_table->removeRecords(selected);
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
    m_table->resetWith([this] { m_model.clear(); });
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
    ListFileResult result{};
    m_table->resetWith([&] { result = loadGatewayList(toNativePath(path), m_model); });
    m_listPath = path;
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
        if (error == FileError::None)
            m_listPath = path;
        if (error != FileError::None)
            m_services.prompts.message(
                this, QString::fromStdString(fileErrorText(error, toNativePath(path))),
                Prompts::Icon::Stop);
    }
    cleanStatuses();
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

std::set<std::size_t> UpgradeWindow::selectedRows() const
{
    std::set<std::size_t> rows;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows())
        rows.insert(static_cast<std::size_t>(m_filterModel->mapToSource(index).row()));
    return rows;
}
