#include "addressbook/addressbookwindow.h"

#include "addressbook/porttext.h"
#include "addressbook/telephoneedit.h"
#include "widgets/dialogunits.h"
#include "widgets/help.h"
#include "widgets/icons.h"
#include "widgets/ipaddressedit.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "widgets/widgets.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace {

const QString MaxEntriesText = QStringLiteral("Maximum number of items reached!");
constexpr IpOctets ClearedGatewayAddress{255, 255, 255, 255};

enum Column { NumberColumn, AddressColumn, PortColumn, TelephoneColumn, ColumnCount };
constexpr int NumberWidth = 25;
constexpr int AddressWidth = 105;
constexpr int PortWidth = 55;

QAction* makeAction(QObject* parent, const char* objectName, const QString& text,
                    const QString& toolTip, std::optional<CommandIcon> icon)
{
    auto* action = new QAction(text, parent);
    action->setObjectName(QLatin1String(objectName));
    action->setToolTip(toolTip);
    if (icon)
        action->setIcon(commandIcon(*icon));
    return action;
}

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
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_services(services)
{
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

void AddressBookWindow::createActions()
{
    m_newAction =
        makeAction(this, "newAction", tr("&New"), QStringLiteral("New"), CommandIcon::New);
    m_openAction =
        makeAction(this, "openAction", tr("&Open"), QStringLiteral("Open"), CommandIcon::Open);
    m_saveAction =
        makeAction(this, "saveAction", tr("&Save"), QStringLiteral("Save"), CommandIcon::Save);
    m_exitAction = makeAction(this, "exitAction", tr("&Exit"), QString(), std::nullopt);
    m_addAction =
        makeAction(this, "addAction", tr("&Add"), QStringLiteral("Add"), CommandIcon::Add);
    m_modifyAction = makeAction(this, "modifyAction", tr("&Modify"), QStringLiteral("Modify"),
                                CommandIcon::Modify);
    m_deleteAction = makeAction(this, "deleteAction", tr("&Delete"), QStringLiteral("Delete"),
                                CommandIcon::Delete);
    m_resetFieldsAction = makeAction(this, "resetFieldsAction", tr("&Reset fields"),
                                     QStringLiteral("Reset fields"), CommandIcon::ResetFields);
    m_helpAction =
        makeAction(this, "helpAction", tr("Help"), QStringLiteral("Help"), CommandIcon::Help);
    m_aboutAction = makeAction(this, "aboutAction", tr("About Orbiphon"),
                               QStringLiteral("About Orbiphon"), CommandIcon::About);

    connect(m_newAction, &QAction::triggered, this, &AddressBookWindow::newBook);
    connect(m_openAction, &QAction::triggered, this, &AddressBookWindow::openBook);
    connect(m_saveAction, &QAction::triggered, this, &AddressBookWindow::saveBook);
    connect(m_exitAction, &QAction::triggered, this, &AddressBookWindow::exitWindow);
    connect(m_addAction, &QAction::triggered, this, &AddressBookWindow::addRecord);
    connect(m_modifyAction, &QAction::triggered, this, &AddressBookWindow::modifyRecord);
    connect(m_deleteAction, &QAction::triggered, this, &AddressBookWindow::deleteRecords);
    connect(m_resetFieldsAction, &QAction::triggered, this, &AddressBookWindow::resetFields);
    connect(m_helpAction, &QAction::triggered, this, &AddressBookWindow::showHelpTopic);
    connect(m_aboutAction, &QAction::triggered, this, &AddressBookWindow::showAbout);
}

void AddressBookWindow::createMenus()
{
    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));

    QMenu* fileMenu = menuBar->addMenu(tr("&File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    fileMenu->addAction(m_newAction);
    fileMenu->addAction(m_openAction);
    fileMenu->addAction(m_saveAction);
    fileMenu->addSeparator();
    fileMenu->addAction(m_exitAction);

    QMenu* recordMenu = menuBar->addMenu(tr("&Record"));
    recordMenu->setObjectName(QStringLiteral("recordMenu"));
    recordMenu->addAction(m_addAction);
    recordMenu->addAction(m_modifyAction);
    recordMenu->addAction(m_deleteAction);
    recordMenu->addAction(m_resetFieldsAction);

    QMenu* helpMenu = menuBar->addMenu(tr("&Help"));
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
    content->setFixedSize(du.size(292, 309));

    auto* layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("addressBookLayout"));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content);

    auto* toolBar = new QToolBar(content);
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

    makeGroup(content, "recordGroup", tr("Record"), du.rect(4, 20, 284, 80));
    makeGroup(content, "portGroup", tr("Port"), du.rect(240, 32, 48, 68));
    makeLabel(content, "recordAddressLabel", tr("IP Address"), du.rect(16, 36, 44, 15));
    m_recordAddress = new IpAddressEdit(content);
    m_recordAddress->setObjectName(QStringLiteral("recordAddress"));
    m_recordAddress->setGeometry(du.rect(64, 36, 110, 15));

    makeLabel(content, "telephoneLabel", tr("Telephone"), du.rect(16, 57, 45, 15));
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

    makeGroup(content, "gatewayGroup", tr("Gateway"), du.rect(4, 104, 284, 52));
    const std::array<const char*, 2> rowLabels{"gateway1Label", "gateway2Label"};
    const std::array<const char*, 2> addressLabels{"gateway1AddressLabel", "gateway2AddressLabel"};
    const std::array<const char*, 2> addressNames{"gateway1Address", "gateway2Address"};
    const std::array<const char*, 2> portLabels{"gateway1PortLabel", "gateway2PortLabel"};
    const std::array<const char*, 2> portNames{"gateway1Port", "gateway2Port"};
    for (std::size_t i = 0; i < 2; ++i) {
        const int top = 116 + 20 * static_cast<int>(i);
        makeLabel(content, rowLabels[i], QString::number(i + 1), du.rect(10, top, 10, 15));
        makeLabel(content, addressLabels[i], tr("IP Address"), du.rect(34, top, 50, 15));
        m_gatewayAddress[i] = new IpAddressEdit(content);
        m_gatewayAddress[i]->setObjectName(QLatin1String(addressNames[i]));
        m_gatewayAddress[i]->setGeometry(du.rect(89, top, 110, 15));
        makeLabel(content, portLabels[i], tr("Port"), du.rect(208, top, 30, 15));
        m_gatewayPortEdit[i] = makePortEdit(content, portNames[i], du.rect(243, top, 35, 15));
    }

    m_list = new QTreeWidget(content);
    m_list->setObjectName(QStringLiteral("entryList"));
    m_list->setGeometry(du.rect(4, 160, 284, 140));
    m_list->setColumnCount(ColumnCount);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSortingEnabled(false);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setDragDropMode(QAbstractItemView::NoDragDrop);

    QTreeWidgetItem* header = m_list->headerItem();
    header->setText(NumberColumn, QStringLiteral("#"));
    header->setText(AddressColumn, tr("IP Address"));
    header->setText(PortColumn, tr("Port"));
    header->setText(TelephoneColumn, tr("Telephone number"));
    header->setTextAlignment(NumberColumn, Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = AddressColumn; column < ColumnCount; ++column)
        header->setTextAlignment(column, Qt::AlignCenter);

    QHeaderView* headerView = m_list->header();
    headerView->setSectionsClickable(false);
    headerView->setSectionsMovable(false);
    headerView->setSectionResizeMode(QHeaderView::Fixed);
    // The style's minimum would widen the 25-pixel "#" column.
    headerView->setMinimumSectionSize(0);
    headerView->setStretchLastSection(false);
    headerView->setHighlightSections(false);
    headerView->setSortIndicatorShown(false);

    // The selection must stay as plain to see when the focus is elsewhere.
    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    m_list->setPalette(palette);

    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &AddressBookWindow::selectionChanged);
}

void AddressBookWindow::setColumnWidths()
{
    m_list->ensurePolished();
    m_list->setColumnWidth(NumberColumn, NumberWidth);
    m_list->setColumnWidth(AddressColumn, AddressWidth);
    m_list->setColumnWidth(PortColumn, PortWidth);
    m_list->setColumnWidth(
        TelephoneColumn, m_list->contentsRect().width() - (NumberWidth + AddressWidth + PortWidth));
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
        {m_gatewayPortEdit[0], &m_book.gateways()[0].port},
        {m_gatewayPortEdit[1], &m_book.gateways()[1].port},
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
    m_gatewayPortEdit[0]->setText(QString::number(m_book.gateways()[0].port));
    m_gatewayPortEdit[1]->setText(QString::number(m_book.gateways()[1].port));
    m_recordPortEdit->setText(QString::number(m_recordPort));
}

void AddressBookWindow::newBook()
{
    for (IpAddressEdit* address : m_gatewayAddress)
        address->setAddress(ClearedGatewayAddress);
    m_changingRows = true;
    m_book.clear();
    m_list->clear();
    m_changingRows = false;
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
    const FileError error = loadAddressBook(QFile::encodeName(path).toStdString(), m_book);
    if (error != FileError::None)
        m_book.clear();
    showBookFields();
    if (error != FileError::None)
        reportFileError(error, path);
}

void AddressBookWindow::showBookFields()
{
    for (std::size_t i = 0; i < m_gatewayAddress.size(); ++i)
        m_gatewayAddress[i]->setAddress(m_book.gateways()[i].address);

    m_changingRows = true;
    m_list->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(m_book.size()));
    for (std::size_t index = 0; index < m_book.size(); ++index) {
        auto* item = new QTreeWidgetItem;
        fillRow(item, index);
        items.append(item);
    }
    m_list->addTopLevelItems(items);
    m_changingRows = false;
    showFields();
}

void AddressBookWindow::saveBook()
{
    takeFields();
    if (m_book.size() > MaxEntries) {
        const QString question =
            QStringLiteral(
                "This address book holds %1 entries; only the first %2 can be saved. "
                "%3 entries will not be saved. Save anyway?")
                .arg(m_book.size())
                .arg(MaxEntries)
                .arg(m_book.size() - MaxEntries);
        if (!m_services.prompts.confirm(this, question))
            return;
    }
    const QString path =
        m_services.prompts.saveFile(this, addressBookFileOptions(QStringLiteral("cpe")));
    if (path.isEmpty())
        return;
    for (std::size_t i = 0; i < m_gatewayAddress.size(); ++i)
        m_book.gateways()[i].address = m_gatewayAddress[i]->octets();
    const FileError error = saveAddressBook(QFile::encodeName(path).toStdString(), m_book);
    if (error != FileError::None)
        reportFileError(error, path);
}

void AddressBookWindow::reportFileError(FileError error, const QString& path)
{
    const std::string text = fileErrorText(error, QFile::encodeName(path).toStdString());
    m_services.prompts.message(this, QFile::decodeName(QByteArray::fromStdString(text)),
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
    if (m_book.size() >= MaxEntries) {
        m_services.prompts.message(this, MaxEntriesText);
        return;
    }
    takeFields();
    const std::size_t position = firstSelectedRow().value_or(m_book.size());
    if (!editMade(m_book.addEntry(position, m_recordAddress->address(), m_telephone)))
        return;
    m_changingRows = true;
    auto* item = new QTreeWidgetItem;
    fillRow(item, position);
    m_list->insertTopLevelItem(static_cast<int>(position), item);
    renumberRows();
    m_changingRows = false;
}

void AddressBookWindow::modifyRecord()
{
    const std::optional<std::size_t> row = firstSelectedRow();
    if (!row)
        return;
    takeFields();
    if (!editMade(m_book.replaceEntry(*row, m_recordAddress->address(), m_telephone)))
        return;
    QTreeWidgetItem* item = m_list->topLevelItem(static_cast<int>(*row));
    fillRow(item, *row);
    // Deselecting is a selection change like any other: a further selected row fills the fields.
    item->setSelected(false);
}

void AddressBookWindow::deleteRecords()
{
    std::set<std::size_t> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        rows.insert(static_cast<std::size_t>(index.row()));
    if (rows.empty())
        return;
    m_book.removeEntries(rows);
    m_changingRows = true;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        delete m_list->takeTopLevelItem(static_cast<int>(*row));
    renumberRows();
    m_changingRows = false;
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
    if (m_changingRows)
        return;
    const std::optional<std::size_t> row = firstSelectedRow();
    if (!row)
        return;
    const EntryFields fields = m_book.entryFields(*row);
    m_recordAddress->setAddress(fields.address);
    // A port is two bytes; an entry's port is read signed, so FF FF shows here as 65535.
    m_recordPort = static_cast<std::uint16_t>(fields.port);
    m_telephone = fields.telephone;
    showFields();
}

void AddressBookWindow::fillRow(QTreeWidgetItem* item, std::size_t index) const
{
    const AddressEntry& entry = m_book.entries().at(index);
    item->setText(NumberColumn, QString::number(index + 1));
    item->setText(AddressColumn, fromFileText(entry.ipText));
    item->setText(PortColumn, QString::number(entry.port));
    item->setText(TelephoneColumn, fromFileText(entry.telephone));
    item->setTextAlignment(NumberColumn, Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = AddressColumn; column < ColumnCount; ++column)
        item->setTextAlignment(column, Qt::AlignCenter);
}

void AddressBookWindow::renumberRows()
{
    const int count = m_list->topLevelItemCount();
    for (int row = 0; row < count; ++row)
        m_list->topLevelItem(row)->setText(NumberColumn, QString::number(row + 1));
}

std::optional<std::size_t> AddressBookWindow::firstSelectedRow() const
{
    std::optional<std::size_t> first;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) {
        const auto row = static_cast<std::size_t>(index.row());
        if (!first || row < *first)
            first = row;
    }
    return first;
}
