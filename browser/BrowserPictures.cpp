#include "BrowserPictures.h"

#include <QPainter>

namespace BrowserPictures {

namespace {

const QColor Ink(0x30, 0x30, 0x30);

QPixmap canvas() {
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    return p;
}

void sheet(QPainter& p, const QRectF& r) {
    p.setPen(QPen(Ink, 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
}

} // namespace

QPixmap period() {
    QPixmap pm = canvas();
    QPainter p(&pm);
    sheet(p, QRectF(1.5, 2.5, 13, 12));
    p.fillRect(QRectF(2, 3, 12, 3), QColor(0xC0, 0x20, 0x20));
    p.setPen(QPen(Ink, 1));
    p.drawLine(QPointF(5, 1), QPointF(5, 4));
    p.drawLine(QPointF(11, 1), QPointF(11, 4));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            p.fillRect(QRectF(3 + 3 * c, 7 + 2.5 * r, 2, 1.5), QColor(0x50, 0x50, 0x90));
    return pm;
}

QPixmap find() {
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Ink, 1.6));
    p.setBrush(QColor(0xC8, 0xE6, 0xFF));
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    p.setPen(QPen(QColor(0x80, 0x50, 0x20), 2.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    return pm;
}

QPixmap remove() {
    QPixmap pm = canvas();
    QPainter p(&pm);
    sheet(p, QRectF(2.5, 0.5, 10, 14));
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
    for (int y = 3; y <= 11; y += 2)
        p.drawLine(QPointF(4.5, y + 0.5), QPointF(10.5, y + 0.5));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xD0, 0x10, 0x10), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6, 6), QPointF(14, 14));
    p.drawLine(QPointF(14, 6), QPointF(6, 14));
    return pm;
}

QPixmap print() {
    QPixmap pm = canvas();
    QPainter p(&pm);
    sheet(p, QRectF(4.5, 0.5, 7, 6));
    p.setPen(QPen(Ink, 1));
    p.setBrush(QColor(0xA0, 0xA0, 0xA0));
    p.drawRect(QRectF(0.5, 5.5, 15, 6));
    p.fillRect(QRectF(12, 7, 2, 1), QColor(0x20, 0xC0, 0x20));
    sheet(p, QRectF(3.5, 9.5, 9, 6));
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
    p.drawLine(QPointF(5, 12.5), QPointF(11, 12.5));
    return pm;
}

} // namespace BrowserPictures
