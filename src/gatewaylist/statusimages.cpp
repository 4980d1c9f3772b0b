#include "gatewaylist/statusimages.h"

#include <QPainter>
#include <QPainterPath>

#include <array>

namespace {

void paintTriangle(QPainter& painter)
{
    QPainterPath path;
    path.moveTo(5, 3.5);
    path.lineTo(12.5, 8);
    path.lineTo(5, 12.5);
    path.closeSubpath();
    painter.setPen(QPen(QColor(150, 120, 0), 1));
    painter.setBrush(QColor(255, 214, 0));
    painter.drawPath(path);
}

void paintDisc(QPainter& painter, const QColor& fill)
{
    painter.setPen(QPen(fill.darker(140), 1));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void paintTick(QPainter& painter)
{
    paintDisc(painter, QColor(30, 160, 60));
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5)}));
}

void paintCross(QPainter& painter)
{
    paintDisc(painter, QColor(210, 35, 35));
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    painter.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

// A gateway box with its status lights and the network cable leaving it.
void paintDevice(QPainter& painter)
{
    painter.setPen(QPen(QColor(60, 60, 70), 1));
    painter.setBrush(QColor(170, 180, 195));
    painter.drawRect(QRectF(1.5, 3.5, 13, 6));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 200, 60));
    painter.drawRect(QRectF(3, 5.5, 2, 2));
    painter.setBrush(QColor(255, 190, 0));
    painter.drawRect(QRectF(6, 5.5, 2, 2));
    painter.setPen(QPen(QColor(30, 60, 160), 1.5));
    painter.setBrush(Qt::NoBrush);
    QPainterPath cable;
    cable.moveTo(11.5, 9.5);
    cable.lineTo(11.5, 12.5);
    cable.lineTo(4, 12.5);
    cable.lineTo(4, 15);
    painter.drawPath(cable);
}

void paintStruckDevice(QPainter& painter)
{
    paintDevice(painter);
    painter.setPen(QPen(QColor(220, 20, 20), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(1.5, 14.5), QPointF(14.5, 1.5));
}

QPixmap paint(RowStatus status)
{
    QPixmap pixmap(StatusImageSize, StatusImageSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (status) {
    case RowStatus::None:
        paintTriangle(painter);
        break;
    case RowStatus::Uploaded:
    case RowStatus::Unchanged:
    case RowStatus::BackedUp:
    case RowStatus::NoBook:
        paintTick(painter);
        break;
    case RowStatus::FtpFailed:
        paintCross(painter);
        break;
    case RowStatus::Reachable:
    case RowStatus::Listed:
        paintDevice(painter);
        break;
    case RowStatus::NotReachable:
        paintStruckDevice(painter);
        break;
    }
    return pixmap;
}

} // namespace

const QPixmap& statusImage(RowStatus status)
{
    static const std::array<QPixmap, 9> images = {
        paint(RowStatus::None),      paint(RowStatus::Uploaded),     paint(RowStatus::FtpFailed),
        paint(RowStatus::Reachable), paint(RowStatus::NotReachable), paint(RowStatus::Unchanged),
        paint(RowStatus::BackedUp),  paint(RowStatus::NoBook),       paint(RowStatus::Listed),
    };
    return images.at(static_cast<std::size_t>(status));
}
