// Routine replies per second of the headless station core against the simulated stand, at
// 115200 and at 9600 baud, on a clean line and on the field's faulty ones (a line that echoes
// every request, one stray byte before every reply), each with its ratio to the bound the line
// allows:
//   115200: the poll tick caps a turn (routine read + status read) at two 20 ms ticks, 25/s;
//           an echo (heard while the request is sent) and a noise byte (87 us) leave it so;
//   9600:   a turn's 72 bytes take 75 ms on the line, plus one 20 ms tick: 1000 / 95 = 10.5/s;
//   9600 on the tick grid: requests go out only at ticks, so the routine read (8 + 45 bytes,
//           56.2 ms with the turnaround) waits 3 ticks and the status read (8 + 11 bytes,
//           20.8 ms) 2: 5 ticks, 100 ms a turn, 10/s. An echoing 2-wire line adds no line time.
//           The routine reply is in 3.8 ms before its third tick: a reply held up longer on its
//           way (the machine busy) costs the turn a tick, hence the goal of 0.95.
// usage: link_fps [seconds per line (10)]

#include "QtSerialPort.h"
#include "RegisterImage.h"
#include "Settings.h"
#include "StandLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {

struct Result {
    double perSecond = 0;
    int lost = 0;
};

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return done();
}

Result measure(int baud, const QStringList& line, int seconds) {
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(MIRVANE_BINARY_DIR "/sim/mirvane-stand-sim"),
              QStringList{QStringLiteral("--baud"), QString::number(baud)} + line);
    QString path;
    waitFor(
        [&] {
            while (sim.canReadLine()) {
                const QString line = QString::fromUtf8(sim.readLine()).trimmed();
                if (line.startsWith(QLatin1String("slave ")))
                    path = line.mid(6);
            }
            return !path.isEmpty();
        },
        5000);
    if (path.isEmpty()) {
        std::fprintf(stderr, "link_fps: the simulator did not start\n");
        std::exit(1);
    }

    RegisterImage image;
    StandLink link(image);
    QtSerialPort port(4096);
    link.setPorts(&port, nullptr);
    Settings s;
    s.PortName = path;
    s.Baud = baud;
    if (!link.openPorts(s)) {
        std::fprintf(stderr, "link_fps: cannot open %s\n", qPrintable(path));
        std::exit(1);
    }
    int replies = 0;
    // After a routine reply the state is still 2 while the board is asked to repaint.
    QObject::connect(&link, &StandLink::repaintBoard, [&] { replies += link.State == 2; });
    link.setIdle();
    waitFor([&] { return replies >= 5; }, 5000);

    replies = 0;
    const uint16_t lostBefore = link.BadPacket;
    QElapsedTimer t;
    t.start();
    waitFor([] { return false; }, seconds * 1000);
    const double elapsed = t.nsecsElapsed() / 1e9;
    Result r{replies / elapsed, link.BadPacket - lostBefore};
    link.stop();
    sim.terminate();
    sim.waitForFinished(3000);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    struct Speed {
        int baud;
        QStringList line;
        const char* name;
        double bound;
        double goal;
        const char* why;
    };
    const Speed speeds[] = {
        {115200, {}, "", 25.0, 0.98, "the 20 ms tick's cap of 25 turns/s"},
        {9600, {}, "", 1000.0 / (75.0 + 20.0), 0.9, "1000 / (75 ms line time for 72 bytes + 20 ms tick)"},
        {115200, {"--echo"}, ", echoing line", 25.0, 0.98, "the 20 ms tick's cap of 25 turns/s"},
        {115200, {"--noise-before", "1"}, ", a noise byte before every reply", 25.0, 0.98,
         "the 20 ms tick's cap of 25 turns/s"},
        {9600, {"--echo"}, ", echoing line", 10.0, 0.95, "the tick grid: 3 + 2 ticks of 20 ms a turn"},
    };
    bool ok = true;
    for (const Speed& s : speeds) {
        const Result r = measure(s.baud, s.line, seconds);
        const double ratio = r.perSecond / s.bound;
        const bool met = ratio >= s.goal;
        ok = ok && met;
        std::printf("%6d baud%s: %5.2f routine replies/s over %d s, bound %.2f/s (%s): ratio %.3f, goal >= "
                    "%.2f (%.2f/s) %s; lost replies %d\n",
                    s.baud, s.name, r.perSecond, seconds, s.bound, s.why, ratio, s.goal, s.goal * s.bound,
                    met ? "met" : "NOT MET", r.lost);
        std::fflush(stdout);
    }
    return ok ? 0 : 1;
}
