#include "dialogs/AboutPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QPixmap AboutPicture(const QSize& size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 160 x 144 grid and scaled to the label.
    p.scale(size.width() / 160.0, size.height() / 144.0);

    // Silo: a cylinder under a conical roof.
    QLinearGradient wall(30, 0, 130, 0);
    wall.setColorAt(0, QColor(150, 160, 172));
    wall.setColorAt(0.45, QColor(228, 232, 238));
    wall.setColorAt(1, QColor(120, 130, 142));
    p.setPen(QPen(QColor(70, 80, 92), 1.5));
    p.setBrush(wall);
    p.drawRect(QRectF(30, 44, 100, 92));
    QPainterPath roof;
    roof.moveTo(26, 46);
    roof.lineTo(80, 14);
    roof.lineTo(134, 46);
    roof.closeSubpath();
    p.setBrush(QColor(176, 60, 48));
    p.drawPath(roof);
    for (int y = 58; y < 136; y += 14)
        p.drawLine(QPointF(30, y), QPointF(130, y));

    // Grain filling the lower part.
    QPainterPath grain;
    grain.moveTo(31, 136);
    grain.lineTo(31, 84);
    grain.quadTo(80, 66, 129, 84);
    grain.lineTo(129, 136);
    grain.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(226, 186, 92, 230));
    p.drawPath(grain);

    // The probe: a rod from the roof down into the grain with six sensors.
    p.setPen(QPen(QColor(40, 40, 48), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(80, 30), QPointF(80, 130));
    p.setPen(QPen(QColor(40, 40, 48), 1));
    const QColor sensors[] = {QColor(0, 160, 60), QColor(0, 160, 60), QColor(0, 160, 60),
                              QColor(0, 160, 60), QColor(230, 150, 0), QColor(210, 30, 30)};
    for (int i = 0; i < 6; ++i) {
        p.setBrush(sensors[i]);
        p.drawEllipse(QPointF(80, 46 + 16 * i), 4.5, 4.5);
    }

    // The probe's head sends by radio.
    p.setBrush(QColor(30, 70, 170));
    p.drawRoundedRect(QRectF(73, 22, 14, 10), 2, 2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(30, 70, 170), 2, Qt::SolidLine, Qt::RoundCap));
    for (int r = 8; r <= 20; r += 6) {
        p.drawArc(QRectF(80 + 8 - r, 10 - r, 2 * r, 2 * r), 0 * 16, 70 * 16);
    }
    return pixmap;
}
