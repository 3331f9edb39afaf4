// The board on a high-density screen: the screenshot tool run on offscreen screens of device
// pixel ratio 1 and 2 with the same live values, and the gauge's readout compared.

#include "BoardTestSupport.h"
#include "TestSupport.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The main window's screenshot on a 1280 x 800 screen (in device-independent pixels) of the
// given device pixel ratio.
QImage boardShot(const QTemporaryDir& dir, int dpr) {
    const QString config = dir.filePath(u"screen-%1.json"_s.arg(dpr));
    writeFile(config, u"{\"windowFrameMargins\": false, \"screens\": [{\"name\": \"s1\", \"x\": 0, \"y\": 0, "
                      "\"width\": 1280, \"height\": 800, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": %1}]}"_s
                          .arg(dpr)
                          .toUtf8());
    const QString file = dir.filePath(u"board-%1.png"_s.arg(dpr));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen:configfile="_s + config);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(MIRVANE_BINARY_DIR "/tests/board/board_screenshot"),
            {u"--station-dir"_s, dir.path(), u"--scene"_s, u"live"_s, file});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        ADD_FAILURE() << "board_screenshot: " << p.readAllStandardError().toStdString();
    return QImage(file);
}

// How soft the edges of red figures on black are: over every row, the mean number of pixels
// a dark-to-bright (or bright-to-dark) step takes between a quarter and three quarters of full red.
double meanEdgeWidth(const QImage& img, const QRect& area) {
    int edges = 0, between = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        int run = 0;
        bool fromDark = false, fromBright = false;
        for (int x = area.left(); x <= area.right(); ++x) {
            const int r = qRed(img.pixel(x, y));
            if (r < 0x40 || r > 0xC0) {
                const bool dark = r < 0x40;
                if ((dark && fromBright) || (!dark && fromDark)) {
                    ++edges;
                    between += run;
                }
                fromDark = dark;
                fromBright = !dark;
                run = 0;
            } else {
                ++run;
            }
        }
    }
    return edges ? double(between) / edges : 0.0;
}

} // namespace

TEST(BoardOnAHighDensityScreen, ReadoutKeepsItsPlaceAndIsDrawnAtTheScreensOwnPixels) {
    QTemporaryDir dir;
    writeFile(dir.filePath(u"Profile.dat"_s), "[Reg_1]\nName=Brake1\nPage=1\n");
    const QImage one = boardShot(dir, 1);
    const QImage two = boardShot(dir, 2);
    ASSERT_EQ(one.size(), QSize(1280, 800));
    ASSERT_EQ(two.size(), QSize(2560, 1600));

    // The left gauge's readout (12.34 in red) above the strip row, in each picture's pixels.
    auto readout = [](const QImage& img, int dpr) {
        return boundsOf(img, QRect(0, 0, 640 * dpr, (800 - 120) * dpr), reddish);
    };
    const QRect r1 = readout(one, 1);
    const QRect r2 = readout(two, 2);
    ASSERT_FALSE(r1.isNull());
    ASSERT_GT(r1.width(), 80);
    // The same place and size in device-independent pixels.
    EXPECT_NEAR(r2.left() / 2.0, r1.left(), 1.0);
    EXPECT_NEAR(r2.top() / 2.0, r1.top(), 1.0);
    EXPECT_NEAR((r2.right() + 1) / 2.0, r1.right() + 1, 1.0);
    EXPECT_NEAR((r2.bottom() + 1) / 2.0, r1.bottom() + 1, 1.0);

    // As sharp in the screen's pixels at 2 as at 1; a picture drawn at 1 and scaled up has
    // edges twice as wide, which the measure sees.
    const double sharp1 = meanEdgeWidth(one, r1);
    const double sharp2 = meanEdgeWidth(two, r2);
    const QImage scaledUp = one.scaled(one.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const double soft = meanEdgeWidth(scaledUp, QRect(r1.topLeft() * 2, r1.size() * 2));
    std::fprintf(stderr, "edge widths: %.3f at 1, %.3f at 2, %.3f scaled up\n", sharp1, sharp2, soft);
    EXPECT_LE(sharp2, sharp1 + 0.1) << sharp1 << " " << sharp2;
    EXPECT_GT(soft, sharp2 * 1.5) << soft << " " << sharp2;
    // To look at them: the screenshots and the two crops are kept.
    if (qEnvironmentVariableIsSet("MIRVANE_KEEP_SHOTS")) {
        one.copy(r1.adjusted(-4, -4, 4, 4)).save(dir.filePath(u"crop-1.png"_s));
        two.copy(r2.adjusted(-8, -8, 8, 8)).save(dir.filePath(u"crop-2.png"_s));
        dir.setAutoRemove(false);
        std::fprintf(stderr, "screenshots in %s\n", qPrintable(dir.path()));
    }
}
