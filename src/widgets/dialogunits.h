#pragma once

#include <QRect>

class QFont;

// Maps the dialog units that the window layouts are drawn in to pixels for a font: a horizontal
// unit is a quarter of the font's average character width, a vertical one an eighth of its
// height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int x(int units) const;
    int y(int units) const;
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;
    // A width given in pixels for the layouts' own 8-point font, whose base width is
    // OriginalBaseWidth, grown or shrunk with this font exactly as x() grows or shrinks a unit.
    int scaledWidth(int originalPixels) const;

    static constexpr int OriginalBaseWidth = 6;

private:
    int m_baseWidth;
    int m_baseHeight;
};
