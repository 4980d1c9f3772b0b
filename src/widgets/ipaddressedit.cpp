#include "widgets/ipaddressedit.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

namespace {

constexpr int MaxOctet = 255;

int octetValue(const QLineEdit* part)
{
    return std::min(part->text().toInt(), MaxOctet);
}

// Digits only, and never more than a byte can hold.
QString cleanedOctet(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128)
            digits += c;
    }
    digits.truncate(3);
    if (digits.toInt() > MaxOctet)
        return QString::number(MaxOctet);
    return digits;
}

}  // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QWidget(parent)
{
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    // One sunken panel around the four parts, so the field reads as a single text box.
    auto* panel = new QFrame(this);
    panel->setObjectName("addressPanel");
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panel->setBackgroundRole(QPalette::Base);
    panel->setAutoFillBackground(true);
    outer->addWidget(panel);

    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(0);
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), panel);
            dot->setObjectName(QStringLiteral("dot%1").arg(i));
            dot->setBackgroundRole(QPalette::Base);
            row->addWidget(dot);
        }
        auto* part = new QLineEdit(panel);
        part->setObjectName(QStringLiteral("octet%1").arg(i + 1));
        part->setFrame(false);
        part->setAlignment(Qt::AlignCenter);
        part->setMinimumWidth(0);
        part->installEventFilter(this);
        // Tab enters the field at its first part and leaves it from any part, as one control.
        part->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        row->addWidget(part, 1);
        m_parts[i] = part;

        const int index = static_cast<int>(i);
        connect(part, &QLineEdit::textEdited, this, [this, index](const QString& text) {
            QLineEdit* edited = m_parts[static_cast<std::size_t>(index)];
            // A pasted dotted address fills this part and the ones after it.
            if (text.contains('.')) {
                const QStringList pieces = text.split('.');
                for (int k = 0; k < pieces.size() && index + k < 4; ++k)
                    m_parts[static_cast<std::size_t>(index + k)]->setText(
                        cleanedOctet(pieces[k]));
                emit addressChanged();
                return;
            }
            const QString cleaned = cleanedOctet(text);
            if (cleaned != text) {
                const int cursor = std::min(edited->cursorPosition(),
                                            static_cast<int>(cleaned.size()));
                edited->setText(cleaned);
                edited->setCursorPosition(cursor);
            }
            if (cleaned.size() == 3 && edited->cursorPosition() == 3 && index < 3) {
                QLineEdit* next = m_parts[static_cast<std::size_t>(index + 1)];
                next->setFocus(Qt::OtherFocusReason);
                next->selectAll();
            }
        });
        connect(part, &QLineEdit::textChanged, this, &IpAddressEdit::addressChanged);
        connect(part, &QLineEdit::editingFinished, this, [part] {
            // "007" reads back as "7", the way the value is kept.
            if (!part->text().isEmpty())
                part->setText(QString::number(octetValue(part)));
        });
    }
    setFocusProxy(m_parts[0]);
}

IpAddressInput IpAddressEdit::address() const
{
    if (isBlank())
        return std::nullopt;
    return octets();
}

IpOctets IpAddressEdit::octets() const
{
    IpOctets result{};
    for (std::size_t i = 0; i < m_parts.size(); ++i)
        result[i] = static_cast<std::uint8_t>(octetValue(m_parts[i]));
    return result;
}

void IpAddressEdit::setAddress(const IpOctets& octets)
{
    for (std::size_t i = 0; i < m_parts.size(); ++i)
        m_parts[i]->setText(QString::number(octets[i]));
}

void IpAddressEdit::clear()
{
    for (QLineEdit* part : m_parts)
        part->clear();
}

bool IpAddressEdit::isBlank() const
{
    return std::all_of(m_parts.begin(), m_parts.end(),
                       [](const QLineEdit* part) { return part->text().isEmpty(); });
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto found = std::find(m_parts.begin(), m_parts.end(), watched);
    if (found == m_parts.end())
        return QWidget::eventFilter(watched, event);

    const auto index = static_cast<std::size_t>(found - m_parts.begin());
    QLineEdit* part = *found;
    QLineEdit* previous = index > 0 ? m_parts[index - 1] : nullptr;
    QLineEdit* next = index + 1 < m_parts.size() ? m_parts[index + 1] : nullptr;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool atStart = part->cursorPosition() == 0 && !part->hasSelectedText();
    const bool atEnd =
        part->cursorPosition() == part->text().size() && !part->hasSelectedText();

    auto moveTo = [](QLineEdit* target, bool toEnd) {
        target->setFocus(Qt::OtherFocusReason);
        if (toEnd)
            target->setCursorPosition(static_cast<int>(target->text().size()));
        else
            target->selectAll();
    };

    switch (key->key()) {
    case Qt::Key_Period:
    case Qt::Key_Space:
        if (next && !part->text().isEmpty())
            moveTo(next, false);
        return true;
    case Qt::Key_Backspace:
        if (previous && part->text().isEmpty()) {
            moveTo(previous, true);
            return true;
        }
        return false;
    case Qt::Key_Left:
        if (previous && atStart && key->modifiers() == Qt::NoModifier) {
            moveTo(previous, true);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (next && atEnd && key->modifiers() == Qt::NoModifier) {
            next->setFocus(Qt::OtherFocusReason);
            next->setCursorPosition(0);
            return true;
        }
        return false;
    default:
        break;
    }

    // Typed characters other than digits are dropped; shortcuts and editing keys go through.
    const QString text = key->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint();
    const bool command = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    if (printable && !command && !(text.size() == 1 && text.at(0).isDigit() &&
                                   text.at(0).unicode() < 128))
        return true;
    return false;
}
