#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include <string>

// The colours of the board, as the drawing routines must produce them.
namespace BoardColour {
inline constexpr QRgb Black = 0x000000;
inline constexpr QRgb Red = 0xFF0000;
inline constexpr QRgb Lime = 0x00FF00;
inline constexpr QRgb Yellow = 0xFFFF00;
inline constexpr QRgb White = 0xFFFFFF;
inline constexpr QRgb TextGray = 0x777777;
inline constexpr QRgb Unlit = 0x222222;
inline constexpr QRgb Green = 0x008000;
} // namespace BoardColour

inline QRgb rgbAt(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}

inline std::string hex(QRgb c) {
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0')).toStdString();
}

// The smallest rectangle holding every pixel inside area whose colour passes pred (null when none).
template <typename Pred> QRect boundsOf(const QImage& img, const QRect& area, Pred pred) {
    QRect r;
    const QRect a = area.intersected(img.rect());
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x)
            if (pred(rgbAt(img, x, y)))
                r = r.united(QRect(x, y, 1, 1));
    return r;
}

// Red text, anti-aliased on black: the red channel dominates.
inline bool reddish(QRgb c) {
    return qRed(c) > 0x60 && qGreen(c) < 0x30 && qBlue(c) < 0x30;
}
inline bool notBlack(QRgb c) {
    return (c & 0xFFFFFF) != 0;
}
