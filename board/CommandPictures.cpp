#include "CommandPictures.h"

#include "Commands.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstring>

namespace {

const QColor Green(0x1E, 0xA0, 0x3C);
const QColor Dark(0x40, 0x40, 0x40);
const QColor Idle(0xB4, 0xB4, 0xB4);

// An axle seen from the front: two wheels on a shaft; the wheels being tested are green.
void axle(QPainter& p, bool left, bool right) {
    p.setPen(QPen(Dark, 4));
    p.drawLine(16, 32, 48, 32);
    p.setPen(QPen(Dark, 2));
    p.setBrush(left ? Green : Idle);
    p.drawRoundedRect(QRectF(4, 10, 14, 44), 4, 4);
    p.setBrush(right ? Green : Idle);
    p.drawRoundedRect(QRectF(46, 10, 14, 44), 4, 4);
    // A small start mark in the middle.
    p.setPen(Qt::NoPen);
    p.setBrush(Green);
    p.drawPolygon(QPolygonF({QPointF(26, 22), QPointF(40, 32), QPointF(26, 42)}));
}

void stop(QPainter& p) {
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45 * i) * M_PI / 180;
        octagon << QPointF(32 + 28 * std::cos(a), 32 + 28 * std::sin(a));
    }
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(QColor(0xD0, 0x10, 0x10));
    p.drawPolygon(octagon);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(14, 28, 36, 8));
}

void finishFlag(QPainter& p) {
    p.setPen(QPen(Dark, 3));
    p.drawLine(12, 6, 12, 60);
    p.setPen(Qt::NoPen);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) {
            p.setBrush((r + c) % 2 ? Qt::white : Qt::black);
            p.drawRect(QRectF(14 + c * 9, 8 + r * 7, 9, 7));
        }
    p.setPen(QPen(Dark, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(14, 8, 45, 28));
}

void disk(QPainter& p) {
    p.setPen(QPen(QColor(0x10, 0x30, 0x70), 2));
    p.setBrush(QColor(0x20, 0x50, 0xB0));
    QPainterPath body;
    body.moveTo(6, 6);
    body.lineTo(50, 6);
    body.lineTo(58, 14);
    body.lineTo(58, 58);
    body.lineTo(6, 58);
    body.closeSubpath();
    p.drawPath(body);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE0, 0xE0, 0xE0));
    p.drawRect(QRectF(16, 6, 28, 18));
    p.setBrush(QColor(0x20, 0x50, 0xB0));
    p.drawRect(QRectF(34, 9, 6, 12));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(13, 34, 38, 22));
}

void oval(QPainter& p) {
    p.setPen(QPen(QColor(0xE0, 0x80, 0x10), 6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(6, 14, 52, 36));
    p.setPen(QPen(Dark, 2, Qt::DashLine));
    p.drawEllipse(QRectF(14, 14, 36, 36));
}

void brakeDisc(QPainter& p) {
    p.setPen(QPen(Dark, 2));
    p.setBrush(QColor(0xA0, 0xA0, 0xA8));
    p.drawEllipse(QRectF(4, 4, 56, 56));
    p.setBrush(QColor(0x60, 0x60, 0x68));
    p.drawEllipse(QRectF(22, 22, 20, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(Dark);
    for (int i = 0; i < 6; ++i) {
        const double a = i * M_PI / 3;
        p.drawEllipse(QPointF(32 + 19 * std::cos(a), 32 + 19 * std::sin(a)), 2.5, 2.5);
    }
    // The caliper.
    p.setPen(QPen(QColor(0x80, 0x00, 0x00), 2));
    p.setBrush(QColor(0xD0, 0x20, 0x20));
    p.drawRoundedRect(QRectF(44, 14, 14, 36), 4, 4);
}

void car(QPainter& p) {
    p.setPen(QPen(QColor(0x10, 0x30, 0x70), 2));
    p.setBrush(QColor(0x30, 0x70, 0xD0));
    QPainterPath body;
    body.moveTo(4, 44);
    body.lineTo(4, 32);
    body.lineTo(16, 30);
    body.lineTo(24, 18);
    body.lineTo(44, 18);
    body.lineTo(52, 30);
    body.lineTo(60, 32);
    body.lineTo(60, 44);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(QColor(0xC8, 0xE4, 0xFF));
    p.drawRect(QRectF(26, 21, 16, 9));
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Dark);
    p.drawEllipse(QPointF(17, 46), 7, 7);
    p.drawEllipse(QPointF(47, 46), 7, 7);
}

void arrow(QPainter& p, bool up) {
    QPolygonF shape({QPointF(32, 6), QPointF(58, 34), QPointF(42, 34), QPointF(42, 58), QPointF(22, 58),
                     QPointF(22, 34), QPointF(6, 34)});
    if (!up)
        for (QPointF& q : shape)
            q.setY(64 - q.y());
    p.setPen(QPen(QColor(0x10, 0x60, 0x20), 2));
    p.setBrush(Green);
    p.drawPolygon(shape);
}

} // namespace

QImage CommandPicture(const CommandDef& c) {
    QImage img(64, 64, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const auto is = [&](const char* name) { return std::strcmp(c.action, name) == 0; };
    if (c.row == 4 || c.row == 5)
        arrow(p, c.row == 4);
    else if (is("ac_START_L"))
        axle(p, true, false);
    else if (is("ac_START_R"))
        axle(p, false, true);
    else if (is("ac_START_B"))
        axle(p, true, true);
    else if (is("ac_STOP"))
        stop(p);
    else if (is("ac_END"))
        finishFlag(p);
    else if (is("ac_STORE"))
        disk(p);
    else if (is("ac_OVAL"))
        oval(p);
    else if (is("ac_BRSYS"))
        brakeDisc(p);
    else if (is("ac_VTYPE"))
        car(p);
    return img;
}
