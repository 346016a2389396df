// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/glyphs.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace glyphs {

namespace {

QPixmap transparentPixmap(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// Draws the icon in a 64x64 design space scaled onto `size` pixels.
void paintProgramIcon(QPainter &p, int size)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    QLinearGradient face(0, 0, 0, 64);
    face.setColorAt(0, QColor(255, 32, 32));
    face.setColorAt(1, QColor(122, 0, 0));
    p.setPen(QPen(QColor(80, 0, 0), 2));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // The ring of the "Q".
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 8));
    p.drawEllipse(QRectF(13, 11, 34, 34));

    // The tail: a zipper running down to the right corner.
    p.setPen(QPen(QColor(255, 214, 0), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(36, 36), QPointF(52, 54));
    p.setPen(QPen(QColor(122, 0, 0), 2));
    for (int i = 0; i < 4; ++i) {
        const qreal t = 39 + i * 3.6;
        const qreal u = 39.4 + i * 4.0;
        p.drawLine(QPointF(t - 2, u + 2), QPointF(t + 2, u - 2));
    }
}

} // namespace

QPixmap programPixmap(int size)
{
    QPixmap pixmap = transparentPixmap(size, size);
    QPainter p(&pixmap);
    paintProgramIcon(p, size);
    return pixmap;
}

QIcon programIcon()
{
    // Painted once: the tray, the help window and the dialogs all show it from the start.
    static const QIcon icon = [] {
        QIcon sizes;
        for (int size : {16, 22, 24, 32, 48, 64, 128})
            sizes.addPixmap(programPixmap(size));
        return sizes;
    }();
    return icon;
}

QPixmap captionGlyph()
{
    QPixmap pixmap = transparentPixmap(16, 16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A small window ...
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 1.5, 9, 7));
    p.fillRect(QRectF(2, 2, 8, 2), QColor(0, 0, 160));
    // ... an arrow down to the right ...
    p.setPen(QPen(QColor(200, 0, 0), 1.6));
    p.drawLine(QPointF(8, 9), QPointF(12.5, 13));
    p.setBrush(QColor(200, 0, 0));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(14.5, 15), QPointF(9.5, 14), QPointF(13.5, 10)}));
    // ... into the tray bar at the bottom.
    p.fillRect(QRectF(1, 14, 8, 2), QColor(40, 40, 40));
    return pixmap;
}

QPixmap popupImageStrip()
{
    QPixmap strip = transparentPixmap(64, 16);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);

    // Cell 0, "Restore": a window with a blue title bar.
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.fillRect(QRectF(2, 3, 12, 3), QColor(0, 0, 160));

    // Cell 1, the about item: a blue disc with a white "i".
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 70, 200));
    p.drawEllipse(QRectF(17, 1, 14, 14));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(23, 3.5, 2.4, 2.4));
    p.drawRect(QRectF(23, 7, 2.4, 6));

    // Cell 2, "End program": a red disc with a white cross.
    p.setBrush(QColor(210, 0, 0));
    p.drawEllipse(QRectF(33, 1, 14, 14));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(37, 5), QPointF(43, 11));
    p.drawLine(QPointF(43, 5), QPointF(37, 11));

    // Cell 3 stays empty.
    return strip;
}

QPixmap popupImageCell(int index)
{
    if (index < 0 || index > 3)
        return QPixmap();
    return popupImageStrip().copy(index * 16, 0, 16, 16);
}

} // namespace glyphs
