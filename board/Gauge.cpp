#include "Gauge.h"

#include "BoardFonts.h"
#include "PaintBox.h"
#include "Rounding.h"
#include "SevenSegment.h"

#include <QPainter>

#include <cmath>

namespace {
const QColor TextGray(0x77, 0x77, 0x77);
const QColor Unlit(0x22, 0x22, 0x22);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Gray(0x80, 0x80, 0x80);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor White(0xFF, 0xFF, 0xFF);
const QColor Red(0xFF, 0x00, 0x00);
const QString Arial = QStringLiteral("Arial");

// A rectangle given by its edges, the larger edge excluded.
QRect span(int x1, int x2, int y1, int y2) {
    return QRect(QPoint(qMin(x1, x2), qMin(y1, y2)), QPoint(qMax(x1, x2) - 1, qMax(y1, y2) - 1));
}
} // namespace

GaugeGeometry::GaugeGeometry(int width, int height) : W(width), H(height) {
    S = qMin(W, H);
    const int r = rnd(S * 0.7 / 2);
    R1 = r - 25;
    R2 = r - 40;
    cx = rnd(W / 2.0);
    cy = rnd(H / 2.0);
    fh = rnd(R1 * 0.15);
    readoutHeight = rnd(R1 * 0.5);
    sideCaptionPoints = rnd(S * 0.05);
}

QPoint GaugeGeometry::dot(int i, int R) const {
    // The angles are those of the stand's board, 1.57 and 6.28 / 60 rather than exact
    // quarter and sixtieth turns; the dots land on these pixels.
    const double a = 1.57 + i * (6.28 / 60);
    return {cx + rnd(R * std::cos(a)), cy + rnd(R * std::sin(a))};
}

QRect GaugeGeometry::brakeForceLamp() const {
    const int x = cx - R2 + 30;
    const int y = cy - trn(0.4 * R1);
    return span(x + fh, x + trn(1.5 * fh), y - trn(0.75 * fh), y - trn(0.25 * fh));
}

QPoint GaugeGeometry::brakeForceCaption() const {
    return {cx - R2 + 40 + trn(1.5 * fh), cy - trn(0.4 * R1) - fh};
}

QRect GaugeGeometry::ovalityLamp() const {
    const int x = cx - R2 + 30;
    const int y = cy + trn(0.4 * R1) + trn(0.25 * fh);
    return span(x + fh, x + trn(1.5 * fh), y, y + trn(0.5 * fh));
}

QPoint GaugeGeometry::ovalityCaption() const {
    return {cx - R2 + 40 + trn(1.5 * fh), cy + trn(0.4 * R1)};
}

int GaugeGeometry::ovalityCaptionHeight() const {
    return trn(R1 * 0.15);
}

QPolygon GaugeGeometry::upTriangle() const {
    const int apex = cy - R1 + 35;
    const int base = apex + trn(0.25 * R1);
    const int half = rnd(0.15 * R1);
    return QPolygon({QPoint(cx, apex), QPoint(cx - half, base), QPoint(cx + half, base)});
}

QPolygon GaugeGeometry::downTriangle() const {
    const int apex = cy + R1 - 35;
    const int base = apex - trn(0.25 * R1);
    const int half = trn(0.15 * R1);
    return QPolygon({QPoint(cx, apex), QPoint(cx - half, base), QPoint(cx + half, base)});
}

double GaugeGeometry::columnOffset(int j) const {
    // 0.33 and 0.66 of the width, not thirds: the right column ends short of the edge.
    static constexpr double factors[] = {0.0, 0.33, 0.66};
    return factors[j] * W;
}

QRect GaugeGeometry::bottomLamp(int j) const {
    const double left = columnOffset(j) + (0.33 * W - 0.5 * fh) / 2;
    const int yb = bottomRowY();
    return span(trn(left), trn(left + 0.5 * fh), yb + rnd(1.25 * fh), yb + rnd(1.75 * fh));
}

QString ReadoutText(int value, uint16_t decimals, bool noValue, uint16_t invalidPhase) {
    if (noValue) {
        static const QString patterns[] = {QStringLiteral("____"), QStringLiteral("IIII"),
                                           QStringLiteral("~~~~"), QStringLiteral("1111")};
        return patterns[invalidPhase % 4];
    }
    if (value < -999)
        return QStringLiteral("____");
    if (value > 9999)
        return QStringLiteral("~~~~");
    // More places than fit in any readout are capped; the padding alone would make the text
    // at least d + 1 digits long.
    const int d = qMin<int>(decimals, 9);
    QString digits = QString::number(std::abs(value));
    if (d > 0) {
        if (digits.size() < d + 1)
            digits.prepend(QString(d + 1 - digits.size(), u'0'));
        digits.insert(digits.size() - d, u'.');
    }
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

void DrawGauge(QImage& img, const GaugeInput& in) {
    img.fill(Qt::black);
    const QSize size = PaintBox::logicalSize(img);
    const GaugeGeometry g(size.width(), size.height());
    if (!g.drawable())
        return;
    QPainter p(&img);

    // Side caption, centred at the top.
    const QFont side = BoardFonts::points(Arial, g.sideCaptionPoints, true);
    const int sideWidth = QFontMetrics(side).horizontalAdvance(in.sideCaption);
    BoardFonts::drawOpaque(p, trn((g.W - sideWidth) / 2.0), 10, in.sideCaption, side, TextGray);

    // Ring of 60 dot pairs, lit up to the level.
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 60; ++i) {
        const bool lit = i <= in.level;
        p.setBrush(lit ? Lime : Unlit);
        p.setPen(QPen(lit ? Gray : Unlit, 1));
        for (const int R : {g.R1, g.R2}) {
            // The 1-pixel outline is centred on the edge: the dot covers X - 5 .. X + 4.
            const QPoint c = g.dot(i, R);
            p.drawEllipse(QRectF(c.x() - 4.5, c.y() - 4.5, 9, 9));
        }
    }
    p.setRenderHint(QPainter::Antialiasing, false);

    // Readout: right-aligned about 40 pixels inside the inner ring, centred on cy.
    const SevenSegment readout(g.readoutHeight);
    const QString t = ReadoutText(in.value, in.decimals, in.noValue, in.invalidPhase);
    const QSize ts = readout.size(t);
    readout.draw(p, g.cx + g.R2 - 2 * trn(ts.width() / 2.0) - 40, g.cy - trn(ts.height() / 2.0), t, Red);

    const auto lampColour = [&](int k) {
        const bool lit = in.indicators[k] && in.blink[k];
        return lit ? (k == 2 || k == 3 ? White : Yellow) : Unlit;
    };

    // Brake-force and ovality captions with their lamps.
    const QPoint bf = g.brakeForceCaption();
    BoardFonts::drawOpaque(p, bf.x(), bf.y(), QStringLiteral("Тормозная сила"),
                           BoardFonts::cellHeight(Arial, g.fh), TextGray);
    p.fillRect(g.brakeForceLamp(), lampColour(0));
    const QPoint ov = g.ovalityCaption();
    BoardFonts::drawOpaque(p, ov.x(), ov.y(), QStringLiteral("Овальность"),
                           BoardFonts::cellHeight(Arial, g.ovalityCaptionHeight()), TextGray);
    p.fillRect(g.ovalityLamp(), lampColour(1));

    // Triangles.
    p.setRenderHint(QPainter::Antialiasing);
    for (int k : {2, 3}) {
        const QColor c = lampColour(k);
        p.setPen(QPen(c, 1));
        p.setBrush(c);
        p.drawPolygon(k == 2 ? g.upTriangle() : g.downTriangle());
    }
    p.setRenderHint(QPainter::Antialiasing, false);

    // Bottom row: three lamps, each centred in its column over its caption.
    const QFont lampFont = BoardFonts::cellHeight(Arial, 20, true);
    const QFontMetrics lampMetrics(lampFont);
    for (int j = 0; j < 3; ++j) {
        p.fillRect(g.bottomLamp(j), lampColour(4 + j));
        const int w = lampMetrics.horizontalAdvance(in.lampCaptions[j]);
        BoardFonts::drawOpaque(p, trn(g.columnOffset(j) + (0.33 * g.W - w) / 2), g.bottomRowY() + 2 * g.fh,
                               in.lampCaptions[j], lampFont, TextGray);
    }

    if (in.overlay)
        DrawOverlay(p, in.stats);
}
