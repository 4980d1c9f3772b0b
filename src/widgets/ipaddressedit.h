#pragma once

#include "base/ipaddress.h"

#include <QWidget>

#include <array>

class Prompts;
class QLineEdit;

// An IPv4 address field of four octet parts (0 to 255, each may be blank), behaving as address
// fields elsewhere do: typing a '.' or a third digit moves to the next part, a digit typed into
// a full part goes on into the next one, and Backspace in an empty part goes back to the
// previous one. A value over 255 becomes 255, and a message says which values are allowed.
class IpAddressEdit final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IpAddressEdit)

public:
    explicit IpAddressEdit(Prompts& prompts, QWidget* parent = nullptr);

    // Nothing when no part holds a digit; a blank part next to a filled one reads 0.
    IpAddressInput address() const;
    // A blank part reads 0.
    IpOctets octets() const;
    void setAddress(const IpOctets& octets);
    void clear();
    bool isBlank() const;
    QLineEdit* part(int index) const { return m_parts.at(static_cast<std::size_t>(index)); }
    // The frame around the four parts; it shows the focus when one of them has it.
    QWidget* panel() const { return m_panel; }

    // "%1 is not a valid entry..." with the value typed for %1.
    static QString outOfRangeText(const QString& typed);

signals:
    void addressChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void partEdited(std::size_t index, const QString& text);
    void refuse(QLineEdit* part, const QString& typed);

    Prompts& m_prompts;
    QWidget* m_panel = nullptr;
    std::array<QLineEdit*, 4> m_parts{};
};
