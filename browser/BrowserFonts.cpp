#include "BrowserFonts.h"

#include "Rounding.h"

#include <QFontMetrics>
#include <QHash>

#include <algorithm>

namespace BrowserFonts {

static QFont face(bool bold) {
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    f.setBold(bold);
    return f;
}

QFont pixels(int px, bool bold) {
    QFont f = face(bold);
    f.setPixelSize(std::max(1, px));
    return f;
}

static int cellOf(QFont f, int px) {
    f.setPixelSize(px);
    return QFontMetrics(f).height();
}

QFont cellHeight(int h, bool bold) {
    // A view refill asks for the same few sizes again and again.
    static QHash<int, int> sizes;
    const int key = h * 2 + (bold ? 1 : 0);
    auto it = sizes.constFind(key);
    if (it == sizes.constEnd()) {
        const QFont f = face(bold);
        int px = std::max(1, rnd(h * 100.0 / cellOf(f, 100)));
        while (px > 1 && cellOf(f, px) > h)
            --px;
        while (cellOf(f, px + 1) <= h)
            ++px;
        it = sizes.insert(key, px);
    }
    return pixels(*it, bold);
}

} // namespace BrowserFonts
