#include "widgets/dialogunits.h"

#include <QFont>
#include <QFontMetrics>

#include <algorithm>

namespace {

// value * numerator / denominator rounded half away from zero, as the classic MulDiv does.
int mulDiv(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    const long long rounded = product >= 0 ? (product + half) / denominator
                                           : (product - half) / denominator;
    return static_cast<int>(rounded);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    // The dialog manager's base width: the average advance of the 52 Latin letters, rounded.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseWidth = std::max(1, (letters / 26 + 1) / 2);
    m_baseHeight = std::max(1, metrics.height());
}

int DialogUnits::x(int units) const
{
    return mulDiv(units, m_baseWidth, 4);
}

int DialogUnits::y(int units) const
{
    return mulDiv(units, m_baseHeight, 8);
}

QRect DialogUnits::rect(int left, int top, int width, int height) const
{
    // Each edge is mapped on its own, so neighbouring controls meet without gaps or overlaps.
    const int l = x(left);
    const int t = y(top);
    return {l, t, x(left + width) - l, y(top + height) - t};
}

QSize DialogUnits::size(int width, int height) const
{
    return {x(width), y(height)};
}

int DialogUnits::scaledWidth(int originalPixels) const
{
    return mulDiv(originalPixels, m_baseWidth, OriginalBaseWidth);
}
