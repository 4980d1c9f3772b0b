// Paints every icon of the program as PNG files: the application icon, the two document icons
// at the sizes the desktop's icon theme uses, and the 16 x 15 toolbar images with their
// double-size versions. Usage: iconpainter OUTPUT_FOLDER
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

using Painter = std::function<void(QPainter&)>;

const QColor Ink(40, 44, 52);
const QColor Paper(252, 252, 248);
const QColor Blue(33, 99, 176);
const QColor DarkBlue(14, 43, 84);
const QColor Green(46, 150, 70);
const QColor Red(200, 40, 40);
const QColor Yellow(240, 196, 60);
const QColor Orange(240, 140, 40);
const QColor Grey(150, 156, 166);

// Paints in a logical canvas of logicalWidth x logicalHeight, scaled to the image size.
bool save(const QString& path, int width, int height, double logicalWidth, double logicalHeight,
          const Painter& paint)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(width / logicalWidth, height / logicalHeight);
    paint(p);
    p.end();
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "iconpainter: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QPen pen(const QColor& color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void page(QPainter& p, QRectF box, double fold, double line)
{
    QPainterPath outline;
    outline.moveTo(box.left(), box.top());
    outline.lineTo(box.right() - fold, box.top());
    outline.lineTo(box.right(), box.top() + fold);
    outline.lineTo(box.right(), box.bottom());
    outline.lineTo(box.left(), box.bottom());
    outline.closeSubpath();
    p.setPen(pen(Ink, line));
    p.setBrush(Paper);
    p.drawPath(outline);
    QPainterPath corner;
    corner.moveTo(box.right() - fold, box.top());
    corner.lineTo(box.right() - fold, box.top() + fold);
    corner.lineTo(box.right(), box.top() + fold);
    p.setBrush(QColor(220, 222, 226));
    p.drawPath(corner);
}

void disc(QPainter& p, QPointF centre, double radius, const QColor& fill)
{
    p.setPen(pen(fill.darker(140), radius / 8.0));
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);
}

void glyph(QPainter& p, const QRectF& box, const QString& text, double pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(std::max(1, static_cast<int>(pixelSize)));
    p.save();
    // Text is laid out in device pixels; undo the canvas scale for the font and redo it by hand.
    const QTransform t = p.transform();
    p.resetTransform();
    font.setPixelSize(std::max(1, static_cast<int>(pixelSize * t.m22())));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(t.mapRect(box), Qt::AlignCenter, text);
    p.restore();
}

void upArrow(QPainter& p, QPointF tip, double size, const QColor& color)
{
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip.x() + size * 0.5, tip.y() + size * 0.5);
    arrow.lineTo(tip.x() + size * 0.2, tip.y() + size * 0.5);
    arrow.lineTo(tip.x() + size * 0.2, tip.y() + size);
    arrow.lineTo(tip.x() - size * 0.2, tip.y() + size);
    arrow.lineTo(tip.x() - size * 0.2, tip.y() + size * 0.5);
    arrow.lineTo(tip.x() - size * 0.5, tip.y() + size * 0.5);
    arrow.closeSubpath();
    p.setPen(pen(color.darker(150), 0.6));
    p.setBrush(color);
    p.drawPath(arrow);
}

void listRows(QPainter& p, bool highlightMiddle)
{
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 4; ++row) {
        const double y = 2.0 + row * 3.2;
        p.setBrush(highlightMiddle && (row == 1 || row == 3) ? Blue : Grey);
        p.drawRect(QRectF(1.0, y, 8.5, 2.0));
    }
}

// The toolbar images, in a 16 x 15 canvas.
void newImage(QPainter& p) { page(p, QRectF(3, 1, 10, 13), 3.5, 0.9); }

void openImage(QPainter& p)
{
    p.setPen(pen(QColor(150, 110, 20), 0.8));
    p.setBrush(Yellow.darker(115));
    QPainterPath back;
    back.moveTo(1, 3);
    back.lineTo(5, 3);
    back.lineTo(6.5, 4.5);
    back.lineTo(13, 4.5);
    back.lineTo(13, 13);
    back.lineTo(1, 13);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(Yellow);
    QPainterPath front;
    front.moveTo(3.5, 7);
    front.lineTo(15.5, 7);
    front.lineTo(13, 13);
    front.lineTo(1, 13);
    front.closeSubpath();
    p.drawPath(front);
}

void saveImage(QPainter& p)
{
    p.setPen(pen(DarkBlue.darker(130), 0.8));
    p.setBrush(Blue);
    p.drawRoundedRect(QRectF(1.5, 1, 13, 13), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Paper);
    p.drawRect(QRectF(4, 1.5, 8, 5.5));
    p.setBrush(QColor(200, 204, 210));
    p.drawRect(QRectF(4.5, 9, 7, 5));
    p.setBrush(DarkBlue);
    p.drawRect(QRectF(9, 10, 1.6, 3));
}

void addImage(QPainter& p)
{
    p.setPen(pen(Green.darker(140), 0.8));
    p.setBrush(Green);
    QPainterPath plus;
    plus.addRoundedRect(QRectF(6.2, 2, 3.6, 11), 0.8, 0.8);
    plus.addRoundedRect(QRectF(2.5, 5.7, 11, 3.6), 0.8, 0.8);
    plus.setFillRule(Qt::WindingFill);
    p.drawPath(plus.simplified());
}

void modifyImage(QPainter& p)
{
    p.save();
    p.translate(8, 7.5);
    p.rotate(-45);
    p.setPen(pen(QColor(120, 80, 10), 0.7));
    p.setBrush(Orange);
    p.drawRect(QRectF(-4.5, -1.6, 8.5, 3.2));
    p.setBrush(QColor(240, 150, 170));
    p.drawRect(QRectF(4, -1.6, 2.2, 3.2));
    p.setBrush(QColor(235, 210, 160));
    QPainterPath tip;
    tip.moveTo(-4.5, -1.6);
    tip.lineTo(-7.5, 0);
    tip.lineTo(-4.5, 1.6);
    tip.closeSubpath();
    p.drawPath(tip);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(-7.0, 0), 0.6, 0.6);
    p.restore();
}

void deleteImage(QPainter& p)
{
    p.setPen(pen(Red, 3.0));
    p.drawLine(QPointF(3.5, 3), QPointF(12.5, 12));
    p.drawLine(QPointF(12.5, 3), QPointF(3.5, 12));
}

void resetFieldsImage(QPainter& p)
{
    // An emptied field with a turning arrow: start the fields over.
    p.setPen(pen(Ink, 0.8));
    p.setBrush(Paper);
    p.drawRect(QRectF(1, 9.5, 9, 4));
    p.setPen(pen(Blue, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5.5, 1.5, 8.5, 8.5), 100 * 16, 260 * 16);
    QPainterPath head;
    head.moveTo(6.2, 1.2);
    head.lineTo(10.4, 2.2);
    head.lineTo(7.4, 5.4);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawPath(head);
}

void helpImage(QPainter& p)
{
    disc(p, QPointF(8, 7.5), 6.8, Blue);
    glyph(p, QRectF(1, 0.5, 14, 14), QStringLiteral("?"), 11);
}

void aboutImage(QPainter& p)
{
    disc(p, QPointF(8, 7.5), 6.8, Blue);
    glyph(p, QRectF(1, 0.5, 14, 14), QStringLiteral("i"), 11);
}

void gatewayBox(QPainter& p, QRectF box)
{
    p.setPen(pen(Ink, 0.7));
    p.setBrush(QColor(120, 130, 145));
    p.drawRoundedRect(box, 0.8, 0.8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 230, 120));
    p.drawEllipse(QPointF(box.left() + 1.6, box.center().y()), 0.7, 0.7);
    p.drawEllipse(QPointF(box.left() + 3.4, box.center().y()), 0.7, 0.7);
}

void checkConnectionsImage(QPainter& p)
{
    gatewayBox(p, QRectF(1, 9, 9, 4.5));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double r = 2.5 + i * 2.3;
        p.setPen(pen(Green, 1.1));
        p.drawArc(QRectF(12.5 - r, 8 - r, 2 * r, 2 * r), 90 * 16, 90 * 16);
    }
}

void upgradeSelectionImage(QPainter& p)
{
    listRows(p, true);
    upArrow(p, QPointF(11.4, 2.5), 9.5, Green);
}

void upgradeListImage(QPainter& p)
{
    listRows(p, false);
    upArrow(p, QPointF(11.4, 2.5), 9.5, Green);
}

// The application icon, in a 128 x 128 canvas: an orbit around a telephone handset.
void applicationImage(QPainter& p)
{
    QLinearGradient back(0, 0, 0, 128);
    back.setColorAt(0, QColor(40, 110, 190));
    back.setColorAt(1, DarkBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(4, 4, 120, 120), 24, 24);

    p.save();
    p.translate(64, 64);
    p.rotate(-25);
    p.setPen(pen(QColor(255, 255, 255, 210), 6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(0, 0), 54, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(Orange);
    p.drawEllipse(QPointF(46, 12), 10, 10);
    p.restore();

    // The handset: two ear and mouth pieces joined by a curved grip.
    p.save();
    p.translate(64, 62);
    p.rotate(-40);
    QPainterPath handset;
    handset.moveTo(-30, -6);
    handset.cubicTo(-20, -26, 20, -26, 30, -6);
    p.setPen(pen(Paper, 13));
    p.setBrush(Qt::NoBrush);
    p.drawPath(handset);
    p.setPen(Qt::NoPen);
    p.setBrush(Paper);
    p.drawRoundedRect(QRectF(-42, -10, 22, 16), 6, 6);
    p.drawRoundedRect(QRectF(20, -10, 22, 16), 6, 6);
    p.restore();
}

// The document icons, in a 32 x 32 canvas: a page with a badge of the document's kind.
void addressBookDocumentImage(QPainter& p)
{
    page(p, QRectF(5, 1.5, 21, 29), 7, 1.2);
    p.setPen(pen(Grey, 1.6));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(8.5, 11 + i * 4.2), QPointF(17, 11 + i * 4.2));
    // A handset over the lines: telephone numbers.
    p.save();
    p.translate(21.5, 22);
    p.rotate(-40);
    QPainterPath handset;
    handset.moveTo(-6, -1);
    handset.cubicTo(-4, -6, 4, -6, 6, -1);
    p.setPen(pen(Blue, 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(handset);
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawRoundedRect(QRectF(-9, -2.5, 5, 4), 1.5, 1.5);
    p.drawRoundedRect(QRectF(4, -2.5, 5, 4), 1.5, 1.5);
    p.restore();
}

void gatewayListDocumentImage(QPainter& p)
{
    page(p, QRectF(5, 1.5, 21, 29), 7, 1.2);
    for (int i = 0; i < 3; ++i) {
        const double y = 9 + i * 6.5;
        p.setPen(pen(Ink, 0.8));
        p.setBrush(QColor(120, 130, 145));
        p.drawRoundedRect(QRectF(8, y, 15, 4.5), 1, 1);
        p.setPen(Qt::NoPen);
        p.setBrush(i == 1 ? Yellow : QColor(120, 230, 120));
        p.drawEllipse(QPointF(10.5, y + 2.25), 1.1, 1.1);
        p.drawEllipse(QPointF(13.5, y + 2.25), 1.1, 1.1);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: iconpainter OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("toolbar")))
        return 1;

    bool ok = true;
    const struct {
        const char* name;
        Painter paint;
    } toolbar[] = {
        {"new", newImage},
        {"open", openImage},
        {"save", saveImage},
        {"add", addImage},
        {"modify", modifyImage},
        {"delete", deleteImage},
        {"resetfields", resetFieldsImage},
        {"help", helpImage},
        {"about", aboutImage},
        {"checkconnections", checkConnectionsImage},
        {"upgradeselection", upgradeSelectionImage},
        {"upgradelist", upgradeListImage},
    };
    for (const auto& icon : toolbar) {
        const QString base = out.filePath(QStringLiteral("toolbar/%1").arg(icon.name));
        ok &= save(base + QStringLiteral(".png"), 16, 15, 16, 15, icon.paint);
        ok &= save(base + QStringLiteral("@2x.png"), 32, 30, 16, 15, icon.paint);
    }

    const struct {
        const char* name;
        double canvas;
        Painter paint;
    } sized[] = {
        {"application", 128, applicationImage},
        {"addressbook-document", 32, addressBookDocumentImage},
        {"gatewaylist-document", 32, gatewayListDocumentImage},
    };
    for (const auto& icon : sized) {
        for (int size : {16, 32, 48, 128}) {
            ok &= save(out.filePath(QStringLiteral("%1-%2.png").arg(icon.name).arg(size)), size,
                       size, icon.canvas, icon.canvas, icon.paint);
        }
    }
    return ok ? 0 : 1;
}
