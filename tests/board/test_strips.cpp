#include "BoardTestSupport.h"
#include "Overlay.h"
#include "SevenSegment.h"
#include "Strips.h"

#include <QFontDatabase>
#include <QPainter>

#include <cstring>

#include <gtest/gtest.h>

using namespace BoardColour;

TEST(MessageStrip, EmptyTextIsAllBlackAnyTextIsRedFromTenTen) {
    QImage img(1427, 97, QImage::Format_RGB32);
    img.fill(0xFFAA00);
    DrawMessageStrip(img, QString());
    EXPECT_TRUE(boundsOf(img, img.rect(), notBlack).isNull());

    DrawMessageStrip(img, QStringLiteral("НЕТ СВЯЗИ"));
    const QRect red = boundsOf(img, img.rect(), reddish);
    ASSERT_FALSE(red.isNull());
    EXPECT_GE(red.left(), 10);
    EXPECT_GE(red.top(), 10);
    EXPECT_LE(red.bottom(), 86);
    EXPECT_GT(red.height(), 40) << "a 77-pixel font";
    EXPECT_TRUE(boundsOf(img, img.rect(), [](QRgb c) {
                    return notBlack(c) && !reddish(c) && qGreen(c) > 0x30;
                }).isNull());
}

TEST(MessageStrip, LongTextIsCutAtTheRightEdge) {
    QImage img(400, 97, QImage::Format_RGB32);
    DrawMessageStrip(img, QStringLiteral("ЭТО СООБЩЕНИЕ ИЗ 20!"));
    const QRect red = boundsOf(img, img.rect(), reddish);
    EXPECT_EQ(red.right(), 399);
    EXPECT_LE(red.bottom(), 86) << "no wrapping onto a second line";
}

TEST(AxleStrip, GrayCaptionThenGreenNumber) {
    for (uint16_t axle : {0, 3, 65535}) {
        QImage img(257, 97, QImage::Format_RGB32);
        img.fill(0xFFAA00);
        DrawAxleStrip(img, axle);
        const QRect gray = boundsOf(img, img.rect(), [](QRgb c) { return c == TextGray; });
        const QRect green = boundsOf(img, img.rect(), [](QRgb c) { return c == Green; });
        ASSERT_FALSE(gray.isNull()) << axle;
        ASSERT_FALSE(green.isNull()) << axle;
        EXPECT_GE(gray.left(), 10);
        EXPECT_GE(green.left(), gray.right() + 20) << axle;
        EXPECT_GE(green.top(), 10);
        EXPECT_LE(green.bottom(), 86);
        EXPECT_TRUE(boundsOf(img, img.rect(), [](QRgb c) { return c == 0xFFAA00; }).isNull());
    }
}

TEST(Strips, TooLowBoxesStayBlack) {
    for (int h : {0, 1, 20}) {
        QImage img(100, qMax(1, h), QImage::Format_RGB32);
        DrawAxleStrip(img, 7);
        EXPECT_TRUE(boundsOf(img, img.rect(), notBlack).isNull()) << h;
        DrawMessageStrip(img, QStringLiteral("X"));
        EXPECT_TRUE(boundsOf(img, img.rect(), notBlack).isNull()) << h;
    }
}

TEST(BitsToText, LowByteInTwoGroupsMostSignificantFirst) {
    const struct {
        uint16_t word;
        const char* text;
    } cases[] = {
        {0x00A5, "1010  0101"}, {0x0000, "0000  0000"}, {0xFF00, "0000  0000"},
        {0x00FF, "1111  1111"}, {0x0180, "1000  0000"}, {0x0001, "0000  0001"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BitsToText(c.word).toStdString(), c.text) << c.word;
}

// The board's own seven-segment figures, which stand in for the missing font.
class SevenSegmentFigures : public ::testing::Test {
protected:
    static constexpr int H = 100;
    const SevenSegment seg{H, false};

    // The lit pixels of one character, drawn at the origin.
    QRect litOf(const QString& text) {
        QImage img(seg.width(text) + 20, H + 20, QImage::Format_RGB32);
        img.fill(0xFFAA00);
        QPainter p(&img);
        seg.draw(p, 0, 0, text, Qt::red);
        p.end();
        // The text cell is painted black, nothing is drawn outside it.
        EXPECT_TRUE(boundsOf(img, QRect(seg.width(text), 0, 20, H + 20), [](QRgb c) {
                        return c != 0xFFAA00;
                    }).isNull());
        EXPECT_TRUE(boundsOf(img, QRect(0, H, seg.width(text) + 20, 20), [](QRgb c) {
                        return c != 0xFFAA00;
                    }).isNull());
        return boundsOf(img, QRect(0, 0, seg.width(text), H), reddish);
    }
};

TEST_F(SevenSegmentFigures, EachCharacterLightsItsBars) {
    // The bars of a figure, sampled at their middles within the outline of an "8".
    const QRect f = litOf(QStringLiteral("8"));
    ASSERT_FALSE(f.isNull());
    const int mx = f.center().x(), my = f.center().y(), in = 4;
    const QPoint bars[7] = {
        {mx, f.top() + in},                      // a: top
        {f.right() - in, (f.top() + my) / 2},    // b: upper right
        {f.right() - in, (my + f.bottom()) / 2}, // c: lower right
        {mx, f.bottom() - in},                   // d: bottom
        {f.left() + in, (my + f.bottom()) / 2},  // e: lower left
        {f.left() + in, (f.top() + my) / 2},     // f: upper left
        {mx, my},                                // g: middle
    };
    // The no-value animation runs bottom, left, top, right: "_", "I", "~", "1".
    const struct {
        char c;
        const char* lit;
    } cases[] = {
        {'0', "abcdef"}, {'1', "bc"},     {'2', "abdeg"}, {'3', "abcdg"},   {'4', "bcfg"},
        {'5', "acdfg"},  {'6', "acdefg"}, {'7', "abc"},   {'8', "abcdefg"}, {'9', "abcdfg"},
        {'-', "g"},      {'_', "d"},      {'~', "a"},     {'I', "ef"},
    };
    for (const auto& c : cases) {
        QImage img(seg.width(QChar(c.c)), H, QImage::Format_RGB32);
        QPainter p(&img);
        seg.draw(p, 0, 0, QChar(c.c), Qt::red);
        p.end();
        for (int b = 0; b < 7; ++b) {
            const bool want = std::strchr(c.lit, 'a' + b) != nullptr;
            EXPECT_EQ(reddish(rgbAt(img, bars[b].x(), bars[b].y())), want)
                << "'" << c.c << "' bar " << char('a' + b);
        }
    }
}

TEST_F(SevenSegmentFigures, MeasuresLikeAFontAtAnyHeight) {
    EXPECT_EQ(seg.height(), H);
    EXPECT_EQ(seg.width(QStringLiteral("12.34")),
              4 * seg.width(QStringLiteral("8")) + seg.width(QStringLiteral(".")));
    EXPECT_LT(seg.width(QStringLiteral(".")), seg.width(QStringLiteral("8")));
    // The point stands at the foot of the figures, between them.
    const QRect point = litOf(QStringLiteral("."));
    EXPECT_GT(point.top(), H / 2);
    for (int h : {0, 1, 2, 3, 5, 9, 400}) {
        const SevenSegment s(h, false);
        EXPECT_EQ(s.height(), h);
        EXPECT_EQ(s.width(QStringLiteral("~~~~")), 4 * s.width(QStringLiteral("~")));
        EXPECT_EQ(s.width(QStringLiteral("8")) > 0, h > 0);
        QImage img(qMax(1, s.width(QStringLiteral("-12.3_I~"))), qMax(1, h), QImage::Format_RGB32);
        QPainter p(&img);
        s.draw(p, 0, 0, QStringLiteral("-12.3_I~"), Qt::red);
    }
}

TEST(SevenSegmentFont, UsedWhenInstalledAndMeasuredByItsOwnMetrics) {
    EXPECT_EQ(SevenSegment(68).usesFont(),
              QFontDatabase::families().contains(SevenSegment::Family, Qt::CaseInsensitive));
    // Through the font path: the family (or what the system offers for it) is asked for a
    // cell height of 68 and measured by its metrics.
    const SevenSegment s(68, true);
    EXPECT_TRUE(s.usesFont());
    EXPECT_LE(s.height(), 68);
    EXPECT_GE(s.height(), 67);
    const QString t = QStringLiteral("12.34");
    QImage img(s.width(t) + 10, 80, QImage::Format_RGB32);
    img.fill(0xFFAA00);
    QPainter p(&img);
    s.draw(p, 0, 0, t, Qt::red);
    p.end();
    EXPECT_FALSE(boundsOf(img, img.rect(), reddish).isNull());
    // The text cell is opaque black.
    EXPECT_EQ(rgbAt(img, 1, s.height() - 1), 0u);
    EXPECT_EQ(rgbAt(img, s.width(t) + 5, 5), 0xFFAA00u);
}
