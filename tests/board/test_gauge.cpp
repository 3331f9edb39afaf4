#include "BoardFonts.h"
#include "BoardTestSupport.h"
#include "DisplayState.h"
#include "Gauge.h"
#include "Rounding.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

using namespace BoardColour;

TEST(BoardArithmetic, RoundsHalvesToEvenAndTruncatesTowardZero) {
    const struct {
        double x;
        int rnd, trn;
    } cases[] = {
        {2.5, 2, 2}, {3.5, 4, 3},    {0.5, 0, 0},    {1.5, 2, 1},    {-2.5, -2, -2},     {-3.5, -4, -3},
        {2.7, 3, 2}, {-2.7, -3, -2}, {25.0, 25, 25}, {20.4, 20, 20}, {160.65, 161, 160},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rnd(c.x), c.rnd) << c.x;
        EXPECT_EQ(trn(c.x), c.trn) << c.x;
    }
}

TEST(BoardFonts, CellHeightIsAscentPlusDescent) {
    // The strips' 77-pixel font and the gauge's 20-pixel captions come out exact; other heights
    // may fall between two font sizes, and then the smaller size is taken.
    for (const char* family : {"Arial", "MS Sans Serif"})
        for (bool bold : {false, true})
            for (int h = 6; h <= 140; ++h) {
                const QFontMetrics fm(BoardFonts::cellHeight(QString::fromLatin1(family), h, bold));
                EXPECT_LE(fm.height(), h) << family << " " << h;
                EXPECT_GE(fm.height(), h - 1) << family << " " << h;
            }
    EXPECT_EQ(QFontMetrics(BoardFonts::cellHeight(QStringLiteral("Arial"), 20)).height(), 20);
    EXPECT_EQ(QFontMetrics(BoardFonts::cellHeight(QStringLiteral("Arial"), 77)).height(), 77);
    // Points are taken at 96 pixels per inch, whatever the screen says.
    EXPECT_EQ(BoardFonts::points(QStringLiteral("Arial"), 23).pixelSize(), 31);
    EXPECT_EQ(BoardFonts::points(QStringLiteral("Arial"), 20, true).pixelSize(), 27);
}

TEST(GaugeGeometry, ExampleBoxOf459By695) {
    const GaugeGeometry g(459, 695);
    EXPECT_EQ(g.S, 459);
    EXPECT_EQ(g.R1, 136);
    EXPECT_EQ(g.R2, 121);
    EXPECT_EQ(g.cx, 230);
    EXPECT_EQ(g.cy, 348);
    EXPECT_EQ(g.fh, 20);
    EXPECT_EQ(g.sideCaptionPoints, 23);
    EXPECT_EQ(g.readoutHeight, 68);

    const struct {
        int i;
        QPoint outer, inner;
    } dots[] = {
        {0, {230, 484}, {230, 469}},
        {15, {94, 348}, {109, 348}},
        {30, {230, 212}, {230, 227}},
        {45, {366, 348}, {351, 348}},
    };
    for (const auto& d : dots) {
        EXPECT_EQ(g.dot(d.i, g.R1), d.outer) << d.i;
        EXPECT_EQ(g.dot(d.i, g.R2), d.inner) << d.i;
    }

    EXPECT_EQ(g.brakeForceCaption(), QPoint(179, 274));
    EXPECT_EQ(g.brakeForceLamp(), QRect(QPoint(159, 279), QPoint(168, 288)));
    EXPECT_EQ(g.ovalityCaption(), QPoint(179, 402));
    EXPECT_EQ(g.ovalityLamp(), QRect(QPoint(159, 407), QPoint(168, 416)));
    EXPECT_EQ(g.upTriangle(), QPolygon({QPoint(230, 247), QPoint(210, 281), QPoint(250, 281)}));
    EXPECT_EQ(g.downTriangle(), QPolygon({QPoint(230, 449), QPoint(210, 415), QPoint(250, 415)}));
    EXPECT_EQ(g.bottomRowY(), 625);
    const int lampX[] = {70, 222, 373};
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(g.bottomLamp(j), QRect(QPoint(lampX[j], 650), QPoint(lampX[j] + 9, 659))) << j;
}

TEST(GaugeGeometry, HalvesAndTheAngleConstantsShowOnABigBox) {
    // 841 / 2 and 981 / 2 are halves that go down to the even neighbour; on rings this large
    // 1.57 and 6.28 / 60 put dots 30 and 45 one pixel off where a quarter turn would.
    const GaugeGeometry g(841, 981);
    EXPECT_EQ(g.cx, 420);
    EXPECT_EQ(g.cy, 490);
    EXPECT_EQ(g.R1, 269);
    EXPECT_EQ(g.R2, 254);
    EXPECT_EQ(g.fh, 40);
    EXPECT_EQ(g.readoutHeight, 134);
    EXPECT_EQ(g.sideCaptionPoints, 42);
    EXPECT_EQ(g.dot(0, g.R1), QPoint(420, 759));
    EXPECT_EQ(g.dot(15, g.R2), QPoint(166, 490));
    EXPECT_EQ(g.dot(30, g.R1), QPoint(419, 221));
    EXPECT_EQ(g.dot(30, g.R2), QPoint(419, 236));
    EXPECT_EQ(g.dot(45, g.R1), QPoint(689, 489));
    EXPECT_EQ(g.dot(45, g.R2), QPoint(674, 489));
    EXPECT_EQ(g.brakeForceLamp(), QRect(QPoint(236, 353), QPoint(255, 372)));
    EXPECT_EQ(g.upTriangle(), QPolygon({QPoint(420, 256), QPoint(380, 323), QPoint(460, 323)}));
    EXPECT_EQ(g.downTriangle(), QPolygon({QPoint(420, 724), QPoint(380, 657), QPoint(460, 657)}));
    EXPECT_EQ(g.bottomRowY(), 851);
    const int lampX[] = {128, 406, 683};
    for (int j = 0; j < 3; ++j)
        EXPECT_EQ(g.bottomLamp(j), QRect(QPoint(lampX[j], 901), QPoint(lampX[j] + 19, 920))) << j;
}

class GaugePicture : public ::testing::Test {
protected:
    GaugeInput in;
    QImage img{459, 695, QImage::Format_RGB32};

    GaugePicture() {
        in.sideCaption = QStringLiteral("ЛЕВОЕ");
        in.lampCaptions = {QStringLiteral("РАБОЧАЯ"), QStringLiteral("СТОЯНОЧНАЯ"),
                           QStringLiteral("ЗАПАСНАЯ")};
    }
    const QImage& draw() {
        img.fill(0xFFAA00); // anything the gauge leaves undrawn would show
        DrawGauge(img, in);
        return img;
    }
};

TEST_F(GaugePicture, RingLightsEveryDotPairUpToTheLevel) {
    const GaugeGeometry g(459, 695);
    for (uint16_t level : {0, 14, 15, 30, 45, 58, 59, 60, 65535}) {
        in.level = level;
        draw();
        for (int i = 0; i < 60; ++i)
            for (int R : {g.R1, g.R2}) {
                const QPoint c = g.dot(i, R);
                EXPECT_EQ(hex(rgbAt(img, c.x(), c.y())), hex(i <= level ? Lime : Unlit))
                    << "level " << level << " dot " << i << " radius " << R;
            }
    }
    // The dots are 10 pixels across: X - 5 to X + 4.
    in.level = 0;
    draw();
    EXPECT_EQ(hex(rgbAt(img, 230 - 6, 484)), hex(Black));
    EXPECT_NE(hex(rgbAt(img, 230 - 5, 484)), hex(Black));
    EXPECT_NE(hex(rgbAt(img, 230 + 4, 484)), hex(Black));
    EXPECT_EQ(hex(rgbAt(img, 230 + 5, 484)), hex(Black));
    EXPECT_EQ(hex(rgbAt(img, 230, 484 - 6)), hex(Black));
    EXPECT_EQ(hex(rgbAt(img, 230, 484 + 5)), hex(Black));
}

TEST_F(GaugePicture, IndicatorLightsOnlyWithItsBitAndItsGate) {
    // Element centres in the example box, and the colour of each element when lit.
    const struct {
        QPoint centre;
        QRgb lit;
    } elements[7] = {
        {{164, 284}, Yellow}, {{164, 412}, Yellow}, {{230, 270}, White},  {{230, 426}, White},
        {{75, 655}, Yellow},  {{227, 655}, Yellow}, {{378, 655}, Yellow},
    };
    for (int k = 0; k < 7; ++k)
        for (const auto& [bit, gate] : {std::pair{true, true}, {true, false}, {false, true}}) {
            in.indicators = {};
            in.blink = {};
            in.indicators[k] = bit;
            in.blink[k] = gate;
            draw();
            for (int e = 0; e < 7; ++e) {
                const QRgb want = e == k && bit && gate ? elements[e].lit : Unlit;
                EXPECT_EQ(hex(rgbAt(img, elements[e].centre.x(), elements[e].centre.y())), hex(want))
                    << "indicator " << k << " bit " << bit << " gate " << gate << ", element " << e;
            }
        }
    // Lamps are exactly their rectangles: the right and bottom edges are outside.
    in.indicators.fill(true);
    in.blink.fill(true);
    draw();
    EXPECT_EQ(hex(rgbAt(img, 159, 279)), hex(Yellow));
    EXPECT_EQ(hex(rgbAt(img, 168, 288)), hex(Yellow));
    EXPECT_NE(hex(rgbAt(img, 169, 284)), hex(Yellow));
    EXPECT_NE(hex(rgbAt(img, 164, 289)), hex(Yellow));
    EXPECT_EQ(hex(rgbAt(img, 373, 650)), hex(Yellow));
    EXPECT_NE(hex(rgbAt(img, 383, 655)), hex(Yellow));
    EXPECT_NE(hex(rgbAt(img, 378, 660)), hex(Yellow));
}

TEST_F(GaugePicture, ReadoutEndsFortyPixelsInsideTheInnerRingCentredOnTheMiddle) {
    for (int value : {8, 88, 8888, -999}) {
        in.value = value;
        draw();
        const QRect red = boundsOf(img, img.rect(), reddish);
        ASSERT_FALSE(red.isNull()) << value;
        // cx + R2 - 40 = 311; an odd text width may reach one pixel further.
        EXPECT_LE(red.right(), 311) << value;
        EXPECT_GE(red.right(), 311 - 12) << value;
        // 68 pixels high, centred on cy = 348.
        EXPECT_NEAR(red.center().y(), 348, 3) << value;
        EXPECT_GT(red.height(), 68 / 2) << value;
        EXPECT_LE(red.height(), 68) << value;
    }
    // Wider text grows to the left.
    in.value = 8;
    const int one = boundsOf(draw(), img.rect(), reddish).left();
    in.value = 8888;
    EXPECT_LT(boundsOf(draw(), img.rect(), reddish).left(), one - 60);
}

TEST_F(GaugePicture, CaptionsAreGrayOnBlack) {
    draw();
    // Side caption at the top centre, lamp captions under their lamps from y = 665.
    const QRect side = boundsOf(img, QRect(0, 0, 459, 60), [](QRgb c) { return c == TextGray; });
    ASSERT_FALSE(side.isNull());
    EXPECT_NEAR(side.center().x(), 230, 3);
    EXPECT_GE(side.top(), 10);
    for (int j = 0; j < 3; ++j) {
        const int x0 = j == 0 ? 0 : j == 1 ? 151 : 303;
        const QRect cap = boundsOf(img, QRect(x0, 665, 151, 30), [](QRgb c) { return c == TextGray; });
        ASSERT_FALSE(cap.isNull()) << j;
        EXPECT_NEAR(cap.center().x(), x0 + 75, 4) << j;
    }
    EXPECT_FALSE(boundsOf(img, QRect(179, 274, 150, 20), [](QRgb c) { return c == TextGray; }).isNull());
    EXPECT_FALSE(boundsOf(img, QRect(179, 402, 150, 20), [](QRgb c) { return c == TextGray; }).isNull());
}

TEST_F(GaugePicture, OverlayDrawsRedLinesAtTheTopLeftOnlyWhenAsked) {
    const QRect corner(0, 0, 300, 230);
    in.stats.FPS = 25;
    draw();
    EXPECT_TRUE(boundsOf(img, corner, reddish).isNull());
    in.overlay = true;
    draw();
    const QRect red = boundsOf(img, corner, reddish);
    ASSERT_FALSE(red.isNull());
    EXPECT_GE(red.left(), 10);
    EXPECT_GE(red.top(), 10);
    // Seven lines 30 pixels apart: the last starts at y = 190.
    EXPECT_GT(red.bottom(), 200);
    EXPECT_LT(red.bottom(), 230);
}

TEST_F(GaugePicture, BoxesTooSmallForTheFormulasAreBlack) {
    in.indicators.fill(true);
    in.blink.fill(true);
    in.overlay = true;
    for (const QSize s : {QSize(81, 81), QSize(81, 1000), QSize(1000, 40), QSize(1, 1)}) {
        img = QImage(s, QImage::Format_RGB32);
        draw();
        EXPECT_TRUE(boundsOf(img, img.rect(), notBlack).isNull()) << s.width() << "x" << s.height();
    }
    // Just big enough: something is drawn, nothing fails.
    img = QImage(82, 82, QImage::Format_RGB32);
    draw();
    EXPECT_FALSE(boundsOf(img, img.rect(), notBlack).isNull());
    img = QImage();
    DrawGauge(img, in);
}

TEST(ReadoutRule, TextOfEveryKindOfValue) {
    const struct {
        int value;
        uint16_t decimals;
        bool noValue;
        uint16_t phase;
        const char* text;
    } cases[] = {
        {0, 0, false, 0, "0"},
        {0, 1, false, 0, "0.0"},
        {0, 3, false, 0, "0.000"},
        {5, 1, false, 0, "0.5"},
        {1234, 2, false, 0, "12.34"},
        {-5, 2, false, 0, "-0.05"},
        {-1234, 0, false, 0, "____"},
        {-999, 0, false, 0, "-999"},
        {-999, 1, false, 0, "-99.9"},
        {-1000, 0, false, 0, "____"},
        {-1000, 3, false, 0, "____"},
        {9999, 0, false, 0, "9999"},
        {9999, 1, false, 0, "999.9"},
        {10000, 0, false, 0, "~~~~"},
        {-32767, 0, false, 0, "____"},
        // The no-value mark animates whatever the decimals.
        {32768, 0, true, 0, "____"},
        {32768, 2, true, 1, "IIII"},
        {32768, 0, true, 2, "~~~~"},
        {32768, 5, true, 3, "1111"},
        // Decimals beyond what any readout can show are capped at 9.
        {7, 9, false, 0, "0.000000007"},
        {7, 40, false, 0, "0.000000007"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadoutText(c.value, c.decimals, c.noValue, c.phase).toStdString(), c.text)
            << c.value << " d" << c.decimals << " phase " << c.phase;
}

TEST(DisplayState, RawReadoutWord) {
    const struct {
        uint16_t raw;
        int value;
        bool noValue;
    } cases[] = {
        {0, 0, false},         {9999, 9999, false},     {0x7FFF, 32767, false},
        {0x8000, 32768, true}, {0x8001, -32767, false}, {0xFFFF, -1, false},
    };
    for (const auto& c : cases) {
        const DisplayState::Readout r = DisplayState::readout(c.raw);
        EXPECT_EQ(r.value, c.value) << c.raw;
        EXPECT_EQ(r.noValue, c.noValue) << c.raw;
    }
    // 0x8001 is no mark: it reads below range.
    const DisplayState::Readout r = DisplayState::readout(0x8001);
    EXPECT_EQ(ReadoutText(r.value, 0, r.noValue, 1), QStringLiteral("____"));
}
