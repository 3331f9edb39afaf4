#include "SevenSegment.h"

#include "BoardFonts.h"
#include "Rounding.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

const QString SevenSegment::Family = QStringLiteral("Seven Segments");

bool SevenSegment::fontInstalled() {
    static const bool installed = QFontDatabase::families().contains(Family, Qt::CaseInsensitive);
    return installed;
}

SevenSegment::SevenSegment(int cellHeight, bool useFont) : h_(qMax(0, cellHeight)), useFont_(useFont) {
    if (useFont_)
        font_ = BoardFonts::cellHeight(Family, h_);
}

int SevenSegment::height() const {
    return useFont_ ? QFontMetrics(font_).height() : h_;
}

int SevenSegment::advance(QChar c) const {
    if (h_ == 0)
        return 0;
    if (c == u'.')
        return qMax(1, rnd(h_ * 0.18));
    return qMax(1, rnd(h_ * 0.55));
}

int SevenSegment::width(const QString& text) const {
    if (useFont_)
        return QFontMetrics(font_).horizontalAdvance(text);
    int w = 0;
    for (QChar c : text)
        w += advance(c);
    return w;
}

void SevenSegment::draw(QPainter& p, int x, int y, const QString& text, const QColor& colour) const {
    if (useFont_) {
        BoardFonts::drawOpaque(p, x, y, text, font_, colour);
        return;
    }
    if (h_ == 0 || text.isEmpty())
        return;
    p.save();
    p.fillRect(x, y, width(text), h_, Qt::black);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    double gx = x;
    for (QChar c : text) {
        drawGlyph(p, gx, y, c);
        gx += advance(c);
    }
    p.restore();
}

namespace {

enum Segment { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };

int segmentsOf(QChar c) {
    switch (c.unicode()) {
    case u'0':
        return A | B | C | D | E | F;
    case u'1':
        return B | C;
    case u'2':
        return A | B | D | E | G;
    case u'3':
        return A | B | C | D | G;
    case u'4':
        return B | C | F | G;
    case u'5':
        return A | C | D | F | G;
    case u'6':
        return A | C | D | E | F | G;
    case u'7':
        return A | B | C;
    case u'8':
        return A | B | C | D | E | F | G;
    case u'9':
        return A | B | C | D | F | G;
    case u'-':
        return G;
    case u'_':
        return D;
    case u'~':
        return A;
    case u'I':
        return E | F;
    default:
        return 0;
    }
}

// A bar with pointed ends from (x0, y) to (x1, y), t thick; vertical bars swap the axes.
QPolygonF bar(double x0, double x1, double y, double t, bool vertical) {
    if (x1 <= x0) // too small a figure to leave room for this bar
        return {};
    const double s = qMin(t / 2, (x1 - x0) / 2);
    const double half = t / 2;
    const QPointF pts[] = {{x0, y}, {x0 + s, y - half}, {x1 - s, y - half},
                           {x1, y}, {x1 - s, y + half}, {x0 + s, y + half}};
    QPolygonF poly;
    for (const QPointF& q : pts)
        poly << (vertical ? QPointF(q.y(), q.x()) : q);
    return poly;
}

} // namespace

void SevenSegment::drawGlyph(QPainter& p, double x, double y, QChar c) const {
    const double adv = advance(c);
    const double t = qMax(1.0, h_ * 0.09);
    const double bottom = y + h_ * 0.9;
    if (c == u'.') {
        p.drawRect(QRectF(x + (adv - t) / 2, bottom - t, t, t));
        return;
    }
    const int segs = segmentsOf(c);
    if (segs == 0)
        return;
    const double margin = adv * 0.12;
    const double left = x + margin;
    const double right = x + adv - margin;
    const double top = y + h_ * 0.1;
    const double mid = (top + bottom) / 2;
    const double gap = t * 0.3;
    const double xl = left + t / 2, xr = right - t / 2;
    const double yt = top + t / 2, yb = bottom - t / 2;
    if (segs & A)
        p.drawPolygon(bar(xl + gap, xr - gap, yt, t, false));
    if (segs & G)
        p.drawPolygon(bar(xl + gap, xr - gap, mid, t, false));
    if (segs & D)
        p.drawPolygon(bar(xl + gap, xr - gap, yb, t, false));
    if (segs & F)
        p.drawPolygon(bar(yt + gap, mid - gap, xl, t, true));
    if (segs & E)
        p.drawPolygon(bar(mid + gap, yb - gap, xl, t, true));
    if (segs & B)
        p.drawPolygon(bar(yt + gap, mid - gap, xr, t, true));
    if (segs & C)
        p.drawPolygon(bar(mid + gap, yb - gap, xr, t, true));
}
