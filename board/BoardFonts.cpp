#include "BoardFonts.h"

#include "Rounding.h"

#include <QFontMetrics>
#include <QHash>
#include <QPainter>

namespace BoardFonts {

static int cellHeightOf(QFont f, int pixelSize) {
    f.setPixelSize(pixelSize);
    return QFontMetrics(f).height();
}

QFont cellHeight(const QString& family, int h, bool bold) {
    QFont f(family);
    f.setBold(bold);
    // The search costs a few metric look-ups; a repaint asks for the same dozen fonts again.
    static QHash<QString, int> sizes;
    const QString key = family + (bold ? QStringLiteral("|b|") : QStringLiteral("|r|")) + QString::number(h);
    auto it = sizes.constFind(key);
    if (it == sizes.constEnd()) {
        int size = 1;
        if (h > 1) {
            const int reference = 100;
            const double ratio = double(cellHeightOf(f, reference)) / reference;
            size = qMax(1, rnd(h / ratio));
            while (size > 1 && cellHeightOf(f, size) > h)
                --size;
            while (cellHeightOf(f, size + 1) <= h)
                ++size;
        }
        it = sizes.insert(key, size);
    }
    f.setPixelSize(*it);
    return f;
}

QFont points(const QString& family, int p, bool bold) {
    QFont f(family);
    f.setBold(bold);
    f.setPixelSize(qMax(1, rnd(p * 96.0 / 72.0)));
    return f;
}

int drawOpaque(QPainter& p, int x, int y, const QString& text, const QFont& font, const QColor& colour) {
    const QFontMetrics fm(font);
    const int w = fm.horizontalAdvance(text);
    p.fillRect(x, y, w, fm.height(), Qt::black);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(x, y + fm.ascent(), text);
    return w;
}

} // namespace BoardFonts
