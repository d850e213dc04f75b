#include "ApplicationIcon.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace belvane {

void paintBell(QPainter &painter)
{
    painter.setPen(QPen(QColor(130, 130, 155), 3));
    painter.setBrush(QColor(240, 240, 255));
    painter.drawEllipse(QRectF(2, 2, 44, 44));

    QPainterPath bell;
    bell.moveTo(24, 9);
    bell.cubicTo(15, 9, 14, 18, 14, 24);
    bell.lineTo(14, 30);
    bell.lineTo(10, 35);
    bell.lineTo(38, 35);
    bell.lineTo(34, 30);
    bell.lineTo(34, 24);
    bell.cubicTo(34, 18, 33, 9, 24, 9);
    painter.setPen(QPen(QColor(90, 70, 20), 1.5));
    painter.setBrush(QColor(240, 190, 40));
    painter.drawPath(bell);
    painter.drawEllipse(QRectF(21, 35, 6, 5));
}

QImage bellImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 48.0, size / 48.0);
    paintBell(painter);
    return image;
}

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {48, 32, 16}) {
        icon.addPixmap(QPixmap::fromImage(bellImage(size)));
    }
    return icon;
}

} // namespace belvane
