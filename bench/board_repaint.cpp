// The time of one whole-board repaint on a 1920 x 1080 screen: both gauges and both strips,
// each drawn afresh into its off-screen picture (every repaint changes what each box shows, so
// none can reuse its last picture). The board is laid out as the maximised main
// window lays it out with the command panel shown, and shows live values with every
// indicator lit and the diagnostics overlay on, the busiest picture it has.

#include "BoardPage.h"
#include "PaintBox.h"
#include "RegisterImage.h"
#include "StandLink.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

struct Board {
    RegisterImage image;
    StandLink link{image};
    BoardPage page{link};

    Board() {
        link.stop();
        link.tmFPS.stop();
        page.tmBlink.stop();
        page.resize(1920, 1080);
        page.show();
        QCoreApplication::processEvents();
        link.fConnect = true;
        link.TextSt = QStringLiteral("ТОРМОЖЕНИЕ 12345678");
        link.LeftV = 45;
        link.RightV = 38;
        link.HReg[4] = 12345 % 10000;
        link.HReg[5] = 0xFC19; // -999
        link.HReg[6] = 0x007F;
        link.HReg[7] = 0x007F;
        link.HReg[8] = 2;
        link.HReg[9] = 65535;
        link.FPS = 25;
        link.BadPacket = 65535;
        link.Sensor = 0x00A5;
        page.fShowFPS = true;
        page.tmBlinkTimer(); // opens the gates
    }
    // What a reply changing every box would change: both levels, the axle and the message.
    void nextReply() {
        odd = !odd;
        link.LeftV = odd ? 46 : 45;
        link.RightV = odd ? 39 : 38;
        link.HReg[9] = odd ? 3 : 65535;
        link.TextSt = odd ? QStringLiteral("ТОРМОЖЕНИЕ 12345679") : QStringLiteral("ТОРМОЖЕНИЕ 12345678");
    }
    bool odd = false;
    std::array<PaintBox*, 4> boxes() const {
        return {page.Panel2->pbLeft, page.Panel2->pbRight, page.Panel2->pbAxle, page.Panel2->pbText};
    }
};

Board* board = nullptr;

void BM_BoardRepaint(benchmark::State& state) {
    for (auto _ : state) {
        board->nextReply();
        for (PaintBox* box : board->boxes()) {
            QImage img = box->render();
            benchmark::DoNotOptimize(img.constBits());
        }
    }
}
BENCHMARK(BM_BoardRepaint)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

// The same through RepaintBoard, with the copy of each picture to the window.
void BM_BoardRepaintOnScreen(benchmark::State& state) {
    for (auto _ : state) {
        board->nextReply();
        board->page.RepaintBoard();
    }
}
BENCHMARK(BM_BoardRepaintOnScreen)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Board b;
    board = &b;
    for (PaintBox* box : b.boxes()) {
        box->render(); // fonts and glyphs are loaded once, as on a running station
        std::printf("%s %dx%d\n", qPrintable(box->objectName()), box->width(), box->height());
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
