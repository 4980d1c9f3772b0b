#include "support/windowtesting.h"

#include "widgets/ipaddressedit.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>

bool showActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

void clickButton(const QWidget* window, const char* name)
{
    QTest::mouseClick(requireChild<QPushButton>(window, name), Qt::LeftButton);
}

void retype(QLineEdit* edit, const QString& text)
{
    edit->clear();
    QTest::keyClicks(edit, text);
}

void typeAddress(IpAddressEdit* edit, const QStringList& parts)
{
    edit->clear();
    for (int i = 0; i < 4; ++i)
        QTest::keyClicks(edit->part(i), parts.at(i));
}

QStringList partTexts(const IpAddressEdit* edit)
{
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts << edit->part(i)->text();
    return texts;
}

bool pressNamedKey(QWidget* target, const QString& name)
{
    if (name == QLatin1String("enter"))
        QTest::keyClick(target, Qt::Key_Return);
    else if (name == QLatin1String("keypad enter"))
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    else if (name == QLatin1String("escape"))
        QTest::keyClick(target, Qt::Key_Escape);
    else
        return false;
    return true;
}

void clickRows(QTreeView* list, const QList<int>& rows)
{
    bool first = true;
    for (int row : rows) {
        const QModelIndex index = list->model()->index(row, 0);
        list->scrollTo(index);
        QTest::mouseClick(list->viewport(), Qt::LeftButton,
                          first ? Qt::NoModifier : Qt::ControlModifier,
                          list->visualRect(index).center());
        first = false;
    }
}

QList<int> selectedRowsOf(const QTreeView* list)
{
    QList<int> result;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
        result << index.row();
    std::sort(result.begin(), result.end());
    return result;
}

QString cellText(const QTreeView* list, int row, int column)
{
    return list->model()->index(row, column).data().toString();
}

QStringList rowTexts(const QTreeView* list, int columns)
{
    QStringList result;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < columns; ++column)
            cells << cellText(list, row, column);
        result << cells.join(QLatin1Char('|'));
    }
    return result;
}

QStringList cutColumns(const QTreeView* list)
{
    QStringList cut;
    const QFontMetrics metrics(list->font());
    const QAbstractItemModel* model = list->model();
    // What the rows ask for, as the view measures them when it sizes a column to its contents.
    const QAbstractItemView* view = list;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (list->isColumnHidden(column))
            continue;
        int needed = view->sizeHintForColumn(column);
        for (int row = 0; row < model->rowCount(); ++row)
            needed = std::max(needed, metrics.horizontalAdvance(cellText(list, row, column)));
        if (list->columnWidth(column) < needed)
            cut << QStringLiteral("%1: %2 < %3")
                       .arg(model->headerData(column, Qt::Horizontal).toString())
                       .arg(list->columnWidth(column))
                       .arg(needed);
    }
    return cut;
}

QStringList menuEntries(const QMenuBar* menuBar)
{
    QStringList menus;
    for (QAction* menuAction : menuBar->actions()) {
        QStringList entries;
        for (QAction* action : menuAction->menu()->actions())
            entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
        menus << menuAction->text() + QLatin1Char(':') + entries.join(QLatin1Char(','));
    }
    return menus;
}

QStringList toolTips(const QToolBar* toolBar)
{
    QStringList tips;
    for (QAction* action : toolBar->actions())
        tips << (action->isSeparator() ? QStringLiteral("-") : action->toolTip());
    return tips;
}

QString titleOfModalOpenedBy(const std::function<void()>& open)
{
    QString title;
    // Should no modal window come, the timer goes with the guard instead of firing later.
    QObject guard;
    QTimer::singleShot(0, &guard, [&title] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            title = modal->windowTitle();
            modal->close();
        }
    });
    open();
    return title;
}

bool waitCursorShown()
{
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

void restoreCursors()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

QString builtHelpFile()
{
    return qEnvironmentVariable("ORBIPHON_BINARY_DIR") + QStringLiteral("/bin/Orbiphon.html");
}

QImage comparable(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

QStringList texts(const std::vector<std::string>& lines)
{
    QStringList result;
    for (const std::string& line : lines)
        result << QString::fromStdString(line);
    return result;
}
