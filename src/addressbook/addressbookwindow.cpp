#include "addressbook/addressbookwindow.h"

#include "addressbook/addressbooktablemodel.h"
#include "addressbook/porttext.h"
#include "addressbook/telephoneedit.h"
#include "widgets/dialogunits.h"
#include "widgets/help.h"
#include "widgets/icons.h"
#include "widgets/ipaddressedit.h"
#include "widgets/listwindow.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "widgets/widgets.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {

const QString MaxEntriesText = QStringLiteral("Maximum number of items reached!");
constexpr IpOctets ClearedGatewayAddress{255, 255, 255, 255};

using Column = AddressBookTableModel::Column;
constexpr Column NumberColumn = AddressBookTableModel::NumberColumn;
constexpr Column AddressColumn = AddressBookTableModel::AddressColumn;
constexpr Column PortColumn = AddressBookTableModel::PortColumn;
constexpr int NumberWidth = 25;
constexpr int AddressWidth = 105;
constexpr int PortWidth = 55;

QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text, const QRect& rect)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(rect);
    return label;
}

QGroupBox* makeGroup(QWidget* parent, const char* objectName, const QString& title,
                     const QRect& rect)
{
    auto* group = new QGroupBox(title, parent);
    group->setObjectName(QLatin1String(objectName));
    group->setGeometry(rect);
    return group;
}

QLineEdit* makePortEdit(QWidget* parent, const char* objectName, const QRect& rect)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(objectName));
    edit->setAlignment(Qt::AlignCenter);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setGeometry(rect);
    return edit;
}

}  // namespace

AddressBookWindow::AddressBookWindow(Services& services, const QString& filePath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_services(services)
{
    m_table = new AddressBookTableModel(m_model, this);
    setObjectName(QStringLiteral("addressBookWindow"));
    setWindowTitle(QStringLiteral("Address Book Management"));
    setWindowIcon(applicationIcon());

    createActions();
    createControls();
    createMenus();

    newBook();
    if (!filePath.isEmpty())
        readFile(filePath);
}

AddressBookWindow::~AddressBookWindow()
{
    // The book goes before the window's children: the list may not read it then.
    m_view->setModel(nullptr);
}

void AddressBookWindow::createActions()
{
    makeActions(this, {
        {&m_newAction, "newAction", "&New", "New", CommandIcon::New, [this] { newBook(); }},
        {&m_openAction, "openAction", "&Open", "Open", CommandIcon::Open, [this] { openBook(); }},
        {&m_saveAction, "saveAction", "&Save", "Save", CommandIcon::Save, [this] { saveBook(); }},
        {&m_exitAction, "exitAction", "&Exit", "", std::nullopt, [this] { exitWindow(); }},
        {&m_addAction, "addAction", "&Add", "Add", CommandIcon::Add, [this] { addRecord(); }},
        {&m_modifyAction, "modifyAction", "&Modify", "Modify", CommandIcon::Modify,
         [this] { modifyRecord(); }},
        {&m_deleteAction, "deleteAction", "&Delete", "Delete", CommandIcon::Delete,
         [this] { deleteRecords(); }},
        {&m_resetFieldsAction, "resetFieldsAction", "&Reset fields", "Reset fields",
         CommandIcon::ResetFields, [this] { resetFields(); }},
        {&m_helpAction, "helpAction", "Help", "Help", CommandIcon::Help,
         [this] { showHelpTopic(); }},
        {&m_aboutAction, "aboutAction", "About Orbiphon", "About Orbiphon", CommandIcon::About,
         [this] { showAbout(); }},
    });
}

void AddressBookWindow::createMenus()
{
    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));

    QMenu* fileMenu = menuBar->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    fileMenu->addAction(m_newAction);
    fileMenu->addAction(m_openAction);
    fileMenu->addAction(m_saveAction);
    fileMenu->addSeparator();
    fileMenu->addAction(m_exitAction);

    QMenu* recordMenu = menuBar->addMenu(QStringLiteral("&Record"));
    recordMenu->setObjectName(QStringLiteral("recordMenu"));
    recordMenu->addAction(m_addAction);
    recordMenu->addAction(m_modifyAction);
    recordMenu->addAction(m_deleteAction);
    recordMenu->addAction(m_resetFieldsAction);

    QMenu* helpMenu = menuBar->addMenu(QStringLiteral("&Help"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    helpMenu->addAction(m_helpAction);
    helpMenu->addAction(m_aboutAction);

    layout()->setMenuBar(menuBar);
}

void AddressBookWindow::createControls()
{
    auto* content = new QWidget(this);
    content->setObjectName(QStringLiteral("addressBookContent"));
    const DialogUnits du(font());
    // Opens at the layout's size, and only grows from there.
    content->setMinimumSize(du.size(292, 309));
    content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    content->installEventFilter(this);
    m_content = content;

    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("addressBookLayout"));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content);

    auto* toolBar = new QToolBar(content);
    m_toolBar = toolBar;
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(16, 15));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->addAction(m_newAction);
    toolBar->addAction(m_openAction);
    toolBar->addAction(m_saveAction);
    toolBar->addSeparator();
    toolBar->addAction(m_addAction);
    toolBar->addAction(m_modifyAction);
    toolBar->addAction(m_deleteAction);
    toolBar->addAction(m_resetFieldsAction);
    toolBar->addSeparator();
    toolBar->addAction(m_helpAction);
    toolBar->addAction(m_aboutAction);
    toolBar->setGeometry(0, 0, content->width(), std::min(toolBar->sizeHint().height(), du.y(20)));

    makeGroup(content, "recordGroup", QStringLiteral("Record"), du.rect(4, 20, 284, 80));
    makeGroup(content, "portGroup", QStringLiteral("Port"), du.rect(240, 32, 48, 68));
    makeLabel(content, "recordAddressLabel", QStringLiteral("IP Address"), du.rect(16, 36, 44, 15));
    m_recordAddress = new IpAddressEdit(m_services.prompts, content);
    m_recordAddress->setObjectName(QStringLiteral("recordAddress"));
    m_recordAddress->setGeometry(du.rect(64, 36, 110, 15));

    makeLabel(content, "telephoneLabel", QStringLiteral("Telephone"), du.rect(16, 57, 45, 15));
    m_telephoneEdit = new TelephoneEdit(static_cast<int>(MaxTelephoneLength), content);
    m_telephoneEdit->setObjectName(QStringLiteral("telephoneEdit"));
    m_telephoneEdit->setAlignment(Qt::AlignCenter);
    m_telephoneEdit->setGeometry(du.rect(64, 57, 160, 15));
    connect(m_telephoneEdit, &TelephoneEdit::characterRejected, this, [] { QApplication::beep(); });

    m_recordPortEdit = makePortEdit(content, "recordPort", du.rect(244, 56, 36, 15));
    m_recordPortEdit->setEnabled(false);

    const std::array<std::pair<QAction*, const char*>, 4> buttons{{
        {m_addAction, "addButton"},
        {m_modifyAction, "modifyButton"},
        {m_deleteAction, "deleteButton"},
        {m_resetFieldsAction, "resetFieldsButton"},
    }};
    const std::array<int, 4> buttonLeft{16, 71, 126, 181};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        QAction* action = buttons[i].first;
        auto* button = new QPushButton(action->toolTip(), content);
        button->setObjectName(QLatin1String(buttons[i].second));
        button->setGeometry(du.rect(buttonLeft[i], 76, 45, 15));
        // No default button: Enter outside a button means Exit (see keyPressEvent).
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
    }

    makeGroup(content, "gatewayGroup", QStringLiteral("Gateway"), du.rect(4, 104, 284, 52));
    const std::array<const char*, 2> rowLabels{"gateway1Label", "gateway2Label"};
    const std::array<const char*, 2> addressLabels{"gateway1AddressLabel", "gateway2AddressLabel"};
    const std::array<const char*, 2> addressNames{"gateway1Address", "gateway2Address"};
    const std::array<const char*, 2> portLabels{"gateway1PortLabel", "gateway2PortLabel"};
    const std::array<const char*, 2> portNames{"gateway1Port", "gateway2Port"};
    for (std::size_t i = 0; i < 2; ++i) {
        const int top = 116 + 20 * static_cast<int>(i);
        makeLabel(content, rowLabels[i], QString::number(i + 1), du.rect(10, top, 10, 15));
        makeLabel(content, addressLabels[i], QStringLiteral("IP Address"), du.rect(34, top, 50, 15));
        m_gatewayAddress[i] = new IpAddressEdit(m_services.prompts, content);
        m_gatewayAddress[i]->setObjectName(QLatin1String(addressNames[i]));
        m_gatewayAddress[i]->setGeometry(du.rect(89, top, 110, 15));
        makeLabel(content, portLabels[i], QStringLiteral("Port"), du.rect(208, top, 30, 15));
        m_gatewayPortEdit[i] = makePortEdit(content, portNames[i], du.rect(243, top, 35, 15));
    }

    m_view = createRecordList(content, "entryList", du.rect(4, 160, 284, 140));
    m_view->setModel(m_table);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AddressBookWindow::selectionChanged);
}

bool AddressBookWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_content && event->type() == QEvent::Resize)
        placeList();
    return QDialog::eventFilter(watched, event);
}

void AddressBookWindow::placeList()
{
    const DialogUnits du(font());
    m_toolBar->setGeometry(0, 0, m_content->width(),
                           std::min(m_toolBar->sizeHint().height(), du.y(20)));
    QRect list = du.rect(4, 160, 284, 140);
    list.setWidth(list.width() + m_content->width() - du.x(292));
    list.setBottom(list.bottom() + m_content->height() - du.y(309));
    m_view->setGeometry(list);
}

void AddressBookWindow::setColumnWidths()
{
    m_view->ensurePolished();
    // The widths were made for the layouts' own font: they grow with the font as the controls
    // do, and as far as the longest number, address, port and telephone need.
    const QFontMetrics metrics(m_view->font());
    const QString digits = QStringLiteral("0123456789");
    setScaledColumnWidths(
        m_view,
        {{NumberColumn, NumberWidth, widestRowNumber(metrics)},
         {AddressColumn, AddressWidth, widestAddressText(metrics)},
         {PortColumn, PortWidth, QLatin1Char('-') + widestText(metrics, digits, 5)}},
        widestText(metrics, digits + QLatin1Char('*'), static_cast<int>(MaxTelephoneLength)));
}

void AddressBookWindow::keyPressEvent(QKeyEvent* event)
{
    const bool plain = event->modifiers() == Qt::NoModifier ||
                       (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    // Enter presses the push button that has the focus; anywhere else it means Exit.
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled())
            button->click();
        else
            exitWindow();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool AddressBookWindow::takeFields()
{
    const QString telephone = m_telephoneEdit->text();
    m_telephone = toFileText(telephone);
    if (telephone.size() > static_cast<qsizetype>(MaxTelephoneLength)) {
        m_services.prompts.message(
            this,
            QStringLiteral("Please enter no more than %1 characters.").arg(MaxTelephoneLength));
        m_telephoneEdit->setFocus();
        m_telephoneEdit->selectAll();
        return false;
    }
    const std::array<std::pair<QLineEdit*, std::uint32_t*>, 3> ports{{
        {m_gatewayPortEdit[0], &m_model.gateways()[0].port},
        {m_gatewayPortEdit[1], &m_model.gateways()[1].port},
        {m_recordPortEdit, &m_recordPort},
    }};
    for (const auto& [edit, value] : ports) {
        const std::optional<std::uint32_t> number = parsePortText(edit->text().toStdString());
        if (!number) {
            m_services.prompts.message(this, QStringLiteral("Please enter a positive integer."));
            edit->setFocus();
            edit->selectAll();
            return false;
        }
        *value = *number;
    }
    return true;
}

void AddressBookWindow::showFields()
{
    m_telephoneEdit->setText(fromFileText(m_telephone));
    m_gatewayPortEdit[0]->setText(QString::number(m_model.gateways()[0].port));
    m_gatewayPortEdit[1]->setText(QString::number(m_model.gateways()[1].port));
    m_recordPortEdit->setText(QString::number(m_recordPort));
}

void AddressBookWindow::newBook()
{
    for (IpAddressEdit* address : m_gatewayAddress)
        address->setAddress(ClearedGatewayAddress);
    {
        const QSignalBlocker blocker(m_view->selectionModel());
        m_table->resetWith([this] { m_model.clear(); });
    }
    setColumnWidths();
    resetFields();
}

void AddressBookWindow::resetFields()
{
    m_recordAddress->clear();
    m_recordPort = DefaultPort;
    m_telephone.clear();
    showFields();
}

void AddressBookWindow::openBook()
{
    const QString path = m_services.prompts.openFile(this, addressBookFileOptions());
    if (path.isEmpty())
        return;
    newBook();
    readFile(path);
}

void AddressBookWindow::readFile(const QString& path)
{
    FileError error = FileError::None;
    {
        const QSignalBlocker blocker(m_view->selectionModel());
        m_table->resetWith([&] {
            error = loadAddressBook(toNativePath(path), m_model);
            if (error != FileError::None)
                m_model.clear();
        });
    }
    showBookFields();
    if (error != FileError::None)
        reportFileError(error, path);
}

void AddressBookWindow::showBookFields()
{
    for (std::size_t i = 0; i < m_gatewayAddress.size(); ++i)
        m_gatewayAddress[i]->setAddress(m_model.gateways()[i].address);
    showFields();
}

void AddressBookWindow::saveBook()
{
    takeFields();
    if (m_model.size() > MaxEntries) {
        const QString question =
            QStringLiteral(
                "This address book holds %1 entries; only the first %2 can be saved. "
                "%3 entries will not be saved. Save anyway?")
                .arg(m_model.size())
                .arg(MaxEntries)
                .arg(m_model.size() - MaxEntries);
        if (!m_services.prompts.confirm(this, question))
            return;
    }
    const QString path =
        m_services.prompts.saveFile(this, addressBookFileOptions(QStringLiteral("cpe")));
    if (path.isEmpty())
        return;
    for (std::size_t i = 0; i < m_gatewayAddress.size(); ++i)
        m_model.gateways()[i].address = m_gatewayAddress[i]->octets();
    const FileError error = saveAddressBook(toNativePath(path), m_model);
    if (error != FileError::None)
        reportFileError(error, path);
}

void AddressBookWindow::reportFileError(FileError error, const QString& path)
{
    const std::string text = fileErrorText(error, toNativePath(path));
    m_services.prompts.message(this, fromNativePath(text),
                               Prompts::Icon::Stop);
}

bool AddressBookWindow::editMade(EditResult result)
{
    switch (result) {
    case EditResult::Ok:
        return true;
    case EditResult::MaxEntriesReached:
        m_services.prompts.message(this, MaxEntriesText);
        return false;
    case EditResult::InvalidParams:
        m_services.prompts.message(this, QStringLiteral("Invalid params!"));
        return false;
    }
    return false;
}

void AddressBookWindow::addRecord()
{
    if (m_model.size() >= MaxEntries) {
        m_services.prompts.message(this, MaxEntriesText);
        return;
    }
    takeFields();
    const std::size_t position = firstSelectedRow().value_or(m_model.size());
    const QSignalBlocker blocker(m_view->selectionModel());
    editMade(m_table->addEntry(position, m_recordAddress->address(), m_telephone));
}

void AddressBookWindow::modifyRecord()
{
    const std::optional<std::size_t> row = firstSelectedRow();
    if (!row)
        return;
    takeFields();
    if (!editMade(m_table->replaceEntry(*row, m_recordAddress->address(), m_telephone)))
        return;
    // Deselecting is a selection change like any other: a further selected row fills the fields.
    m_view->selectionModel()->select(m_table->index(static_cast<int>(*row), 0),
                                     QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
}

void AddressBookWindow::deleteRecords()
{
    std::set<std::size_t> rows;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows())
        rows.insert(static_cast<std::size_t>(index.row()));
    if (rows.empty())
        return;
    const QSignalBlocker blocker(m_view->selectionModel());
    m_table->removeEntries(rows);
}

void AddressBookWindow::exitWindow()
{
    if (takeFields())
        accept();
}

void AddressBookWindow::showAbout()
{
    if (m_services.showAbout)
        m_services.showAbout(this);
}

void AddressBookWindow::showHelpTopic()
{
    showHelp(this, m_services.prompts, m_services.helpFile);
}

void AddressBookWindow::selectionChanged()
{
    const std::optional<std::size_t> row = firstSelectedRow();
    if (!row)
        return;
    const EntryFields fields = m_model.entryFields(*row);
    m_recordAddress->setAddress(fields.address);
    // A port is two bytes; an entry's port is read signed, so FF FF shows here as 65535.
    m_recordPort = static_cast<std::uint16_t>(fields.port);
    m_telephone = fields.telephone;
    showFields();
}

std::optional<std::size_t> AddressBookWindow::firstSelectedRow() const
{
    std::optional<std::size_t> first;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows()) {
        const auto row = static_cast<std::size_t>(index.row());
        if (!first || row < *first)
            first = row;
    }
    return first;
}
