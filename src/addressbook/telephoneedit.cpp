#include "addressbook/telephoneedit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

TelephoneEdit::TelephoneEdit(int maxCharacters, QWidget* parent)
    : QLineEdit(parent), m_maxCharacters(maxCharacters)
{
    // A drop would bypass the filter just like a paste.
    setAcceptDrops(false);
}

bool TelephoneEdit::isAccepted(QChar character)
{
    return (character >= QLatin1Char('0') && character <= QLatin1Char('9')) ||
           character == QLatin1Char('*');
}

qsizetype TelephoneEdit::room() const
{
    return m_maxCharacters - (text().size() - selectedText().size());
}

void TelephoneEdit::insertAccepted(const QString& text)
{
    QString accepted;
    bool rejected = false;
    for (const QChar character : text) {
        if (isAccepted(character))
            accepted.append(character);
        else
            rejected = true;
    }
    if (rejected)
        emit characterRejected();
    const qsizetype free = room();
    if (free > 0 && !accepted.isEmpty())
        insert(accepted.left(free));
}

void TelephoneEdit::pasteFrom(QClipboard::Mode mode)
{
    if (!isReadOnly())
        insertAccepted(QGuiApplication::clipboard()->text(mode));
}

void TelephoneEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste)) {
        pasteFrom(QClipboard::Clipboard);
        return;
    }
    const QString typed = event->text();
    // Keys without a printable character (Backspace, arrows, Enter, Escape, Tab, Ctrl+C...)
    // keep their usual meaning.
    if (typed.isEmpty() || !typed.at(0).isPrint()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    for (const QChar character : typed) {
        if (!isAccepted(character)) {
            emit characterRejected();
            return;
        }
    }
    if (room() >= typed.size())
        QLineEdit::keyPressEvent(event);
}

void TelephoneEdit::inputMethodEvent(QInputMethodEvent* event)
{
    const QString committed = event->commitString();
    if (committed.isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    event->accept();
    insertAccepted(committed);
}

void TelephoneEdit::mouseReleaseEvent(QMouseEvent* event)
{
    // The middle button pastes the selection on systems that have one.
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        event->accept();
        pasteFrom(QClipboard::Selection);
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TelephoneEdit::contextMenuEvent(QContextMenuEvent* event)
{
    // Our own menu rather than the standard one, whose Paste would bypass the filter.
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("telephoneMenu"));
    const bool writable = !isReadOnly();
    const bool selected = hasSelectedText();
    const auto add = [&menu](const char* objectName, const QString& text,
                             QKeySequence::StandardKey key, bool enabled, auto slot) {
        QAction* action = menu.addAction(text + QLatin1Char('\t') +
                                         QKeySequence(key).toString(QKeySequence::NativeText));
        action->setObjectName(QLatin1String(objectName));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, &menu, slot);
    };
    add("undoTextAction", tr("&Undo"), QKeySequence::Undo, writable && isUndoAvailable(),
        [this] { undo(); });
    add("redoTextAction", tr("&Redo"), QKeySequence::Redo, writable && isRedoAvailable(),
        [this] { redo(); });
    menu.addSeparator();
    add("cutTextAction", tr("Cu&t"), QKeySequence::Cut, writable && selected, [this] { cut(); });
    add("copyTextAction", tr("&Copy"), QKeySequence::Copy, selected, [this] { copy(); });
    add("pasteTextAction", tr("&Paste"), QKeySequence::Paste,
        writable && !QGuiApplication::clipboard()->text().isEmpty(),
        [this] { pasteFrom(QClipboard::Clipboard); });
    add("deleteTextAction", tr("Delete"), QKeySequence::Delete, writable && selected,
        [this] { del(); });
    menu.addSeparator();
    add("selectAllTextAction", tr("Select All"), QKeySequence::SelectAll,
        !text().isEmpty() && selectedText().size() < text().size(), [this] { selectAll(); });
    menu.exec(event->globalPos());
}
