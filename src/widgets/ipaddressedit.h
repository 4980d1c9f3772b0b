#pragma once

#include "base/ipaddress.h"

#include <QWidget>

#include <array>

class QLineEdit;

// An IPv4 address field of four octet parts (0 to 255, each may be blank). Typing a '.' or a
// third digit moves to the next part; Backspace in an empty part goes back to the previous one.
class IpAddressEdit final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IpAddressEdit)

public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // Nothing when no part holds a digit; a blank part next to a filled one reads 0.
    IpAddressInput address() const;
    // A blank part reads 0.
    IpOctets octets() const;
    void setAddress(const IpOctets& octets);
    void clear();
    bool isBlank() const;
    QLineEdit* part(int index) const { return m_parts.at(static_cast<std::size_t>(index)); }

signals:
    void addressChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::array<QLineEdit*, 4> m_parts{};
};
