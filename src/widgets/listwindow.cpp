#include "widgets/listwindow.h"

#include <QAction>
#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>

void makeActions(QObject* window, std::initializer_list<ActionSpec> actions)
{
    for (const ActionSpec& entry : actions) {
        auto* action = new QAction(QString::fromLatin1(entry.text), window);
        action->setObjectName(QString::fromLatin1(entry.objectName));
        action->setToolTip(QString::fromLatin1(entry.toolTip));
        if (entry.icon)
            action->setIcon(commandIcon(*entry.icon));
        if (entry.run)
            QObject::connect(action, &QAction::triggered, window, entry.run);
        *entry.action = action;
    }
}

namespace {

// Cuts long texts in the middle, where an address or a reason keeps both its ends readable, and
// puts the whole text into the cell's tool tip.
class RecordDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString tip = cellToolTip(view, index);
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPos(), tip, view->viewport(), view->visualRect(index));
        return true;
    }
};

}  // namespace

QString cellToolTip(const QAbstractItemView* view, const QModelIndex& index)
{
    const QString text = index.data(Qt::DisplayRole).toString();
    const QString tip = index.data(Qt::ToolTipRole).toString();
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(index);
    option.font = view->font();
    option.fontMetrics = QFontMetrics(option.font);
    option.text = text;
    option.features = QStyleOptionViewItem::HasDisplay;
    if (!index.data(Qt::DecorationRole).isNull()) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.decorationSize = view->iconSize();
    }
    const QStyle* style = view->style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const int room =
        style->subElementRect(QStyle::SE_ItemViewItemText, &option, view).width() - 2 * margin;
    if (text.isEmpty() || option.fontMetrics.horizontalAdvance(text) <= room)
        return tip;
    return tip.isEmpty() || tip == text ? text : text + QLatin1Char('\n') + tip;
}

QTreeView* createRecordList(QWidget* parent, const char* objectName, const QRect& geometry)
{
    auto* view = new QTreeView(parent);
    view->setObjectName(QString::fromLatin1(objectName));
    view->setGeometry(geometry);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSortingEnabled(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setDragDropMode(QAbstractItemView::NoDragDrop);
    view->setTextElideMode(Qt::ElideMiddle);
    view->setItemDelegate(new RecordDelegate(view));

    QHeaderView* header = view->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    // The last column takes whatever the others leave of the list's inner width, with or
    // without a vertical scroll bar, so that bar never brings a horizontal one with it.
    header->setStretchLastSection(true);
    // The style's minimum would widen the narrow "#" column.
    header->setMinimumSectionSize(0);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(false);

    QPalette palette = view->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    view->setPalette(palette);
    return view;
}

std::vector<std::set<std::size_t>> runsFromBottom(const std::set<std::size_t>& rows,
                                                  std::size_t count)
{
    std::vector<std::set<std::size_t>> runs;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it >= count)
            continue;
        if (runs.empty() || *runs.back().begin() != *it + 1)
            runs.emplace_back();
        runs.back().insert(*it);
    }
    return runs;
}
