#include "widgets/listwindow.h"

#include <QAction>
#include <QHeaderView>
#include <QTreeWidget>

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

QTreeWidget* createRecordList(QWidget* parent, const char* objectName, const QRect& geometry,
                              const QStringList& headings)
{
    auto* view = new QTreeWidget(parent);
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
    view->setHeaderLabels(headings);

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
    view->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 1; column < headings.size(); ++column)
        view->headerItem()->setTextAlignment(column, Qt::AlignCenter);

    QPalette palette = view->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    view->setPalette(palette);
    return view;
}
