#pragma once

#include <QClipboard>
#include <QLineEdit>

// The telephone field: the operator can only type the digits, '*' and Backspace, up to a length
// limit; anything else is dropped and reported through characterRejected so the window can beep.
// Text set by the program is shown whole, even past the limit, because a row read from a file
// may hold a longer number.
class TelephoneEdit final : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TelephoneEdit)

public:
    explicit TelephoneEdit(int maxCharacters, QWidget* parent = nullptr);

    static bool isAccepted(QChar character);

signals:
    void characterRejected();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Room left for new characters when the selection is replaced.
    qsizetype room() const;
    // Inserts the accepted characters of text as far as the limit allows; reports the others.
    void insertAccepted(const QString& text);
    void pasteFrom(QClipboard::Mode mode);

    int m_maxCharacters;
};
