#include "widgets/dialogunits.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QTest>

#include <cmath>

class DialogUnitsTest : public QObject {
    Q_OBJECT

private slots:
    void unitsFollowTheFont_data();
    void unitsFollowTheFont();
    void neighbouringRectanglesMeetExactly_data();
    void neighbouringRectanglesMeetExactly();
};

namespace {

// The dialog manager's base units, worked out independently of the code under test.
QSize baseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const double average =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                 "abcdefghijklmnopqrstuvwxyz")) /
        52.0;
    // Rounded to the nearest pixel, as the classic computation ((w / 26 + 1) / 2) does.
    const int width = static_cast<int>(std::floor(
        (std::floor(average * 2.0) + 1.0) / 2.0));
    return {width, metrics.height()};
}

}  // namespace

void DialogUnitsTest::unitsFollowTheFont_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::newRow("8 pt, the layouts' own size") << 8 << false;
    QTest::newRow("9 pt") << 9 << false;
    QTest::newRow("11 pt bold") << 11 << true;
    QTest::newRow("20 pt, a large desktop font") << 20 << false;
}

void DialogUnitsTest::unitsFollowTheFont()
{
    QFETCH(int, pointSize);
    QFETCH(bool, bold);
    QFont font = QApplication::font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    const QSize base = baseUnits(font);
    const DialogUnits du(font);

    QCOMPARE(du.x(4), base.width());
    QCOMPARE(du.y(8), base.height());
    for (int units : {0, 1, 2, 3, 5, 7, 15, 120, 136, 157, 217, 292, 309}) {
        // Half a pixel rounds away from zero, on both sides of zero.
        const long expectedX = std::lround(units * base.width() / 4.0);
        const long expectedY = std::lround(units * base.height() / 8.0);
        QCOMPARE(du.x(units), static_cast<int>(expectedX));
        QCOMPARE(du.y(units), static_cast<int>(expectedY));
        QCOMPARE(du.x(-units), -static_cast<int>(expectedX));
        QCOMPARE(du.y(-units), -static_cast<int>(expectedY));
    }
    QCOMPARE(du.size(136, 157), QSize(du.x(136), du.y(157)));
    // Pixel widths made for the layouts' own font (six pixels to four units) scale as units do.
    for (int pixels : {25, 45, 55, 80, 100, 105})
        QCOMPARE(du.scaledWidth(pixels), static_cast<int>(std::lround(pixels * base.width() / 6.0)));
    QCOMPARE(du.scaledWidth(6), du.x(4));
}

void DialogUnitsTest::neighbouringRectanglesMeetExactly_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::newRow("8 pt") << 8;
    QTest::newRow("10 pt") << 10;
    QTest::newRow("13 pt") << 13;
}

void DialogUnitsTest::neighbouringRectanglesMeetExactly()
{
    QFETCH(int, pointSize);
    QFont font = QApplication::font();
    font.setPointSize(pointSize);
    const DialogUnits du(font);

    // The launcher's column: 120 x 15 buttons every 20 units from the top edge 8.
    for (int top = 8; top <= 128; top += 20) {
        const QRect button = du.rect(8, top, 120, 15);
        QCOMPARE(button.left(), du.x(8));
        QCOMPARE(button.top(), du.y(top));
        QCOMPARE(button.right() + 1, du.x(128));
        QCOMPARE(button.bottom() + 1, du.y(top + 15));
        // A control ending where the next starts shares the edge, whatever the rounding.
        const QRect below = du.rect(8, top + 15, 120, 5);
        QCOMPARE(below.top(), button.bottom() + 1);
    }
}

QTEST_MAIN(DialogUnitsTest)
#include "dialogunits_test.moc"
