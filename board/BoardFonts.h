#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QPainter;

// Fonts of the board are given either by cell height (ascent plus descent, in pixels) or by
// points at 96 pixels per inch, whatever the screen's own resolution is.
namespace BoardFonts {

// A font whose ascent plus descent comes out at h pixels (as close as the font allows
// without exceeding h). h below 1 gives the smallest size.
QFont cellHeight(const QString& family, int h, bool bold = false);

// A font of p points at 96 pixels per inch.
QFont points(const QString& family, int p, bool bold = false);

// Draws text with the top-left corner of its text cell at (x, y), over an opaque black cell.
// Returns the width of the text.
int drawOpaque(QPainter& p, int x, int y, const QString& text, const QFont& font, const QColor& colour);

} // namespace BoardFonts
