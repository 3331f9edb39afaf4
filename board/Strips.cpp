#include "Strips.h"

#include "BoardFonts.h"
#include "PaintBox.h"
#include "SevenSegment.h"

#include <QPainter>

void DrawAxleStrip(QImage& img, uint16_t axle) {
    img.fill(Qt::black);
    const int h = PaintBox::logicalSize(img).height() - 20;
    if (h <= 0)
        return;
    QPainter p(&img);
    const int w =
        BoardFonts::drawOpaque(p, 10, 10, QStringLiteral("ОСЬ"),
                               BoardFonts::cellHeight(QStringLiteral("Arial"), h), QColor(0x77, 0x77, 0x77));
    SevenSegment(h).draw(p, w + 20, 10, QString::number(axle), QColor(0x00, 0x80, 0x00));
}

void DrawMessageStrip(QImage& img, const QString& text) {
    img.fill(Qt::black);
    const int h = PaintBox::logicalSize(img).height() - 20;
    if (h <= 0 || text.isEmpty())
        return;
    QPainter p(&img);
    // Too long a message is cut at the right edge: no wrapping, scrolling or shrinking.
    BoardFonts::drawOpaque(p, 10, 10, text, BoardFonts::cellHeight(QStringLiteral("Arial"), h), Qt::red);
}
