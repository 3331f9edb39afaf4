#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>

class QPainter;

// The readouts' seven-segment figures. A font of the family "Seven Segments" is used when
// one is installed; otherwise the board draws the figures itself. The usual seven-segment
// fonts lack '~', and the no-value animation needs it, so the board cannot rely on them.
//
// The board's own figures: digits, '-' (middle bar), '_' (bottom bar), '~' (top bar), 'I'
// (both left bars), '1' (both right bars) and '.'; anything else is a blank of a digit's
// width. They measure and draw like a font whose cell height is the height asked for.
class SevenSegment {
public:
    static const QString Family;
    static bool fontInstalled();

    explicit SevenSegment(int cellHeight, bool useFont = fontInstalled());

    bool usesFont() const { return useFont_; }
    int height() const;
    int width(const QString& text) const;
    QSize size(const QString& text) const { return {width(text), height()}; }

    // Draws text with the top-left corner of its text cell at (x, y), over an opaque black cell.
    void draw(QPainter& p, int x, int y, const QString& text, const QColor& colour) const;

private:
    int advance(QChar c) const;
    void drawGlyph(QPainter& p, double x, double y, QChar c) const;

    int h_;
    bool useFont_;
    QFont font_;
};
