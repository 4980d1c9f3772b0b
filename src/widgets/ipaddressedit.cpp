#include "widgets/ipaddressedit.h"

#include "widgets/prompts.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

constexpr int MaxOctet = 255;
constexpr qsizetype PartLength = 3;

int octetValue(const QLineEdit* part)
{
    return std::min(part->text().toInt(), MaxOctet);
}

// The digits of text, at most as many as a part holds.
QString octetDigits(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128)
            digits += c;
    }
    digits.truncate(PartLength);
    return digits;
}

bool isTypedDigit(const QKeyEvent* key)
{
    const QString text = key->text();
    return text.size() == 1 && text.at(0).isDigit() && text.at(0).unicode() < 128 &&
           !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

// The sunken frame of a text field around the four parts. The parts take the focus, never the
// frame, so it shows the focus for them, as any text field's frame does.
class AddressPanel final : public QWidget {
public:
    explicit AddressPanel(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStyleOptionFrame option;
        option.initFrom(this);
        option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
        option.midLineWidth = 0;
        option.state |= QStyle::State_Sunken;
        const QWidget* focus = QApplication::focusWidget();
        if (focus && isAncestorOf(focus))
            option.state |= QStyle::State_HasFocus;
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    }
};

}  // namespace

IpAddressEdit::IpAddressEdit(Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_prompts(prompts)
{
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    m_panel = new AddressPanel(this);
    m_panel->setObjectName("addressPanel");
    m_panel->setBackgroundRole(QPalette::Base);
    outer->addWidget(m_panel);

    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    auto* row = new QHBoxLayout(m_panel);
    row->setContentsMargins(frame + 2, frame, frame + 2, frame);
    row->setSpacing(0);
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), m_panel);
            dot->setObjectName(QStringLiteral("dot%1").arg(i));
            dot->setBackgroundRole(QPalette::Base);
            row->addWidget(dot);
        }
        auto* part = new QLineEdit(m_panel);
        part->setObjectName(QStringLiteral("octet%1").arg(i + 1));
        part->setFrame(false);
        part->setAlignment(Qt::AlignCenter);
        part->setMinimumWidth(0);
        part->installEventFilter(this);
        // Tab enters the field at its first part and leaves it from any part, as one control.
        part->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        row->addWidget(part, 1);
        m_parts[i] = part;

        connect(part, &QLineEdit::textEdited, this,
                [this, i](const QString& text) { partEdited(i, text); });
        connect(part, &QLineEdit::textChanged, this, &IpAddressEdit::addressChanged);
        connect(part, &QLineEdit::editingFinished, this, [part] {
            // "007" reads back as "7", the way the value is kept.
            if (!part->text().isEmpty())
                part->setText(QString::number(octetValue(part)));
        });
    }
    setFocusProxy(m_parts[0]);
}

QString IpAddressEdit::outOfRangeText(const QString& typed)
{
    return QStringLiteral(
               "%1 is not a valid entry. Please specify a value between 0 and 255 for this "
               "field.")
        .arg(typed);
}

void IpAddressEdit::partEdited(std::size_t index, const QString& text)
{
    QLineEdit* edited = m_parts[index];
    // A pasted dotted address fills this part and the ones after it.
    if (text.contains('.')) {
        const QStringList pieces = text.split('.');
        QString firstTooLarge;
        QLineEdit* firstTooLargePart = nullptr;
        for (qsizetype k = 0; k < pieces.size() && index + static_cast<std::size_t>(k) < 4; ++k) {
            QLineEdit* target = m_parts[index + static_cast<std::size_t>(k)];
            QString digits = octetDigits(pieces[k]);
            if (digits.toInt() > MaxOctet) {
                if (!firstTooLargePart) {
                    firstTooLarge = digits;
                    firstTooLargePart = target;
                }
                digits = QString::number(MaxOctet);
            }
            target->setText(digits);
        }
        emit addressChanged();
        if (firstTooLargePart)
            refuse(firstTooLargePart, firstTooLarge);
        return;
    }

    QString digits = octetDigits(text);
    const bool tooLarge = digits.toInt() > MaxOctet;
    const QString typed = digits;
    if (tooLarge)
        digits = QString::number(MaxOctet);
    if (digits != text) {
        const int cursor =
            std::min(edited->cursorPosition(), static_cast<int>(digits.size()));
        edited->setText(digits);
        edited->setCursorPosition(cursor);
    }
    if (tooLarge) {
        refuse(edited, typed);
        return;
    }
    if (digits.size() == PartLength && edited->cursorPosition() == PartLength && index < 3) {
        QLineEdit* next = m_parts[index + 1];
        next->setFocus(Qt::OtherFocusReason);
        next->selectAll();
    }
}

void IpAddressEdit::refuse(QLineEdit* part, const QString& typed)
{
    // The part keeps 255, selected, so the operator can type the right value over it.
    part->setFocus(Qt::OtherFocusReason);
    part->selectAll();
    m_prompts.message(this, outOfRangeText(typed), Prompts::Icon::Warning);
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
    const auto found = std::find(m_parts.begin(), m_parts.end(), watched);
    if (found == m_parts.end())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        m_panel->update();
    if (event->type() != QEvent::KeyPress)
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

    if (isTypedDigit(key)) {
        // A full part takes no more digits: the digit goes on into the next part, over what
        // that holds; the last part has nowhere to send it.
        if (part->text().size() < PartLength || part->hasSelectedText())
            return false;
        if (next) {
            moveTo(next, false);
            QKeyEvent forwarded(key->type(), key->key(), key->modifiers(), key->text(),
                                key->isAutoRepeat(), static_cast<quint16>(key->count()));
            QCoreApplication::sendEvent(next, &forwarded);
        }
        return true;
    }

    // Typed characters other than digits are dropped; shortcuts and editing keys go through.
    const QString text = key->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint();
    const bool command = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    return printable && !command;
}
