#include "Overlay.h"

#include "BoardFonts.h"

#include <QPainter>

QString BitsToText(uint16_t word) {
    QString text;
    for (int i = 1; i <= 8; ++i) {
        text.prepend((word & 1) ? u'1' : u'0');
        if (i == 4)
            text.prepend(QStringLiteral("  "));
        word >>= 1;
    }
    return text;
}

void DrawOverlay(QPainter& p, const OverlayInput& in) {
    const QFont font = BoardFonts::points(QStringLiteral("Arial"), 20, true);
    const QString lines[] = {
        QStringLiteral("FPS = %1").arg(in.FPS),
        QStringLiteral("LOST = %1").arg(in.BadPacket),
        QStringLiteral("STATUS = %1").arg(in.Status),
        QStringLiteral("F = 0xA750"),
        QStringLiteral("Sens. = ") + BitsToText(in.Sensor),
        QStringLiteral("TSSL = %1").arg(in.CycleLeft),
        QStringLiteral("TSSR  = %1").arg(in.CycleRight),
    };
    int y = 10;
    for (const QString& line : lines) {
        BoardFonts::drawOpaque(p, 10, y, line, font, Qt::red);
        y += 30;
    }
}
