#pragma once

#include "widgets/icons.h"

#include <QStringList>

#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <vector>

class QAction;
class QObject;
class QRect;
class QAbstractItemView;
class QModelIndex;
class QTreeView;
class QWidget;

// The two list windows (Address Book Management, Upgrade) are written the same way: their
// commands come from one table, their record list from createRecordList, their texts are the
// program's own fixed texts (no tr(): it ships no translations), rows changed by a command are
// changed under a QSignalBlocker, and the members say m_model (the data) and m_view (the list).

// One command: where the window keeps its action, the menu text, the tool tip (empty: the text
// without '&'), the toolbar image and what it runs.
struct ActionSpec {
    QAction** action;
    const char* objectName;
    const char* text;
    const char* toolTip;
    std::optional<CommandIcon> icon;
    std::function<void()> run;
};

// Makes each action of the table as a child of window and connects it to its command.
void makeActions(QObject* window, std::initializer_list<ActionSpec> actions);

// The record list over its model: whole rows, several at a time, nothing editable or movable,
// fixed columns, "#" to the left and the other headings centred (the model gives them), and the
// selection as plain to see when the focus is elsewhere. A text too long for its cell is cut in
// the middle, and the cell's tool tip then starts with the whole text.
QTreeView* createRecordList(QWidget* parent, const char* objectName, const QRect& geometry);

// The runs of neighbouring rows among rows (those below count only), from the bottom up, each as
// the set a model's remove takes: removing one run leaves the rows of the runs still to come
// where they were, and each run is one beginRemoveRows.
std::vector<std::set<std::size_t>> runsFromBottom(const std::set<std::size_t>& rows,
                                                  std::size_t count);

// The tool tip of a cell as the record list shows it: the whole text when the cell cuts it,
// followed by the model's own tool tip.
QString cellToolTip(const QAbstractItemView* view, const QModelIndex& index);
