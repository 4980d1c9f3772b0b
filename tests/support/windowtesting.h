#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

class IpAddressEdit;
class QLineEdit;
class QMenuBar;
class QPixmap;
class QToolBar;
class QTreeView;
class QWidget;

// What the window tests do over and over: find a control by its objectName, work it as an
// operator would, and read back what the window shows.

// The child of parent named name; a missing one ends the test program at once, naming it.
template <typename T>
T* requireChild(const QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no child named %s", name);
    return found;
}

// Shows window and makes it the active one, as for an operator about to type; false when it
// never became active.
bool showActive(QWidget* window);
// Clicks the push button named name inside window.
void clickButton(const QWidget* window, const char* name);
// Empties edit, then types text into it key by key; keys its validator rejects are dropped.
void retype(QLineEdit* edit, const QString& text);
// Empties the address field, then types the four parts; an empty string leaves a part blank.
void typeAddress(IpAddressEdit* edit, const QStringList& parts);
// The texts of the address field's four parts, as shown.
QStringList partTexts(const IpAddressEdit* edit);
// Presses the key a test's data row names: "enter", "keypad enter" or "escape". False, pressing
// nothing, for any other name.
bool pressNamedKey(QWidget* target, const QString& name);

// Clicks the first of rows, then control-clicks the others, as an operator picks rows (0-based).
void clickRows(QTreeView* list, const QList<int>& rows);
// The selected rows, in ascending order.
QList<int> selectedRowsOf(const QTreeView* list);
// The text a cell shows, as the model gives it.
QString cellText(const QTreeView* list, int row, int column);
// Every row as the texts of its first columns joined by '|'.
QStringList rowTexts(const QTreeView* list, int columns);
// The shown columns too narrow for what their rows hold, as "title: width < needed"; empty when
// every column shows its contents uncut.
QStringList cutColumns(const QTreeView* list);

// Each menu of the bar as "&File:&New,&Open,-,&Exit", a separator written "-".
QStringList menuEntries(const QMenuBar* menuBar);
// The tooltips of the toolbar's buttons in order, a separator written "-".
QStringList toolTips(const QToolBar* toolBar);
// Runs open, which brings up a modal window; returns that window's title after closing it, or
// an empty string when no modal window came.
QString titleOfModalOpenedBy(const std::function<void()>& open);

// Waits, with the event loop turning, for the batch a command of window started to end; false
// when it runs on after a minute.
template <typename Window>
bool waitForBatch(const Window& window)
{
    return QTest::qWaitFor([&window] { return !window.batchRunning(); }, 60000);
}

// Whether the busy cursor is showing.
bool waitCursorShown();
// Takes away every override cursor, so that one left by a failed test can't mislead the next.
void restoreCursors();

// The help file as the build puts it beside the executables.
QString builtHelpFile();

// The image in one pixel format, so that two images compare by their pixels alone.
QImage comparable(const QPixmap& pixmap);
// A path or text of the core as Qt takes it.
QString qs(const std::string& text);
// The lines as one QStringList, so that a failed comparison prints them.
QStringList texts(const std::vector<std::string>& lines);
