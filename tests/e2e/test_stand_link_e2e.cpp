// The station's link against the simulated stand over real pseudo-terminals.

#include "QtSerialPort.h"
#include "RegisterImage.h"
#include "Settings.h"
#include "SimProcess.h"
#include "StandLink.h"
#include "StandModel.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The headless station core: the link on real serial ports.
struct Station {
    RegisterImage image;
    StandLink link{image};
    QtSerialPort port{4096};
    QtSerialPort ir{40960};
    int handOvers = 0;
    std::array<uint16_t, 26> header{};
    std::array<std::array<uint16_t, 33>, 10> axles{};
    int currentAxle = 0;

    explicit Station(const Settings& s) {
        link.setPorts(&port, &ir);
        QObject::connect(&link, &StandLink::handOver, [this] {
            ++handOvers;
            header = link.FinalOKData;
            axles = link.AxleOkData;
            currentAxle = link.CurrentAxle;
        });
        opened = link.openPorts(s);
        link.setIdle();
    }
    bool opened = false;
};

Settings settingsFor(const SimProcess& sim, int baud) {
    Settings s;
    s.PortName = sim.slavePath;
    s.Baud = baud;
    return s;
}

} // namespace

TEST(StandLinkE2E, LiveValuesArriveAndACommandLandsInHoldingRegisterZero) {
    SimProcess sim({"--baud", "115200", "--pieces"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    Station st(settingsFor(sim, 115200));
    ASSERT_TRUE(st.opened);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return st.link.fConnect && st.link.CycleLeft == 0 && st.link.tFPS + st.link.FPS > 2; }, 5000));
    EXPECT_EQ(st.link.Status, 1);
    EXPECT_EQ(st.link.TextSt, QStringLiteral("СТЕНД ГОТОВ"));
    EXPECT_EQ(st.link.HReg[4], 0x8000);
    EXPECT_EQ(st.link.HReg[8], 2);
    EXPECT_EQ(st.link.HReg[9], 1);

    st.link.IRByte = 34; // axle up
    ASSERT_TRUE(sim.waitFor(QStringLiteral("command 34"), 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return st.link.HReg[9] == 2; }, 3000));
    EXPECT_EQ(st.link.BadPacket, 0);
}

TEST(StandLinkE2E, FinishedTestIsHandedOverWithExactlyTheSimulatorsWords) {
    // On a clean line, on a line that echoes every request (2-wire RS-485), with noise before
    // every reply, and from a stand that sends every reply twice: every exchange is answered.
    struct Case {
        const char* baud;
        int axles;
        bool pieces;
        QStringList line;
    };
    const Case cases[] = {
        {"115200", 3, true, {}},
        {"9600", 9, false, {}},
        {"115200", 3, true, {"--echo"}},
        {"9600", 9, false, {"--echo"}},
        {"115200", 9, true, {"--echo", "--noise-before", "1"}},
        {"115200", 9, false, {"--twice"}},
    };
    for (const Case& c : cases) {
        QStringList args{"--baud",      c.baud, "--axles", QString::number(c.axles),
                         "--test-time", "0.5",  "--seed",  "7"};
        if (c.pieces)
            args << "--pieces";
        args << c.line;
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        SimProcess sim(args);
        Station st(settingsFor(sim, QString::fromLatin1(c.baud).toInt()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.fConnect; }, 5000));
        st.link.IRByte = 1; // start
        ASSERT_TRUE(QTest::qWaitFor([&] { return st.handOvers > 0; }, 10000)) << c.axles;
        ASSERT_TRUE(sim.waitFor(QStringLiteral("served test 1"), 3000));
        // Routine replies after the fetch still report the finished test; nothing is fetched twice.
        QTest::qWait(500);
        EXPECT_EQ(st.link.Status, 5);
        EXPECT_EQ(st.handOvers, 1);
        EXPECT_EQ(sim.count(QStringLiteral("read header")), 1);

        const StandSim::FinishedTest expected = StandSim::finishedTest(7, 1, c.axles);
        EXPECT_EQ(st.currentAxle, c.axles + 1);
        for (int k = 0; k < 25; ++k)
            EXPECT_EQ(st.header[k + 1], expected.header[k]) << "header word " << k + 1;
        for (int a = 1; a <= 9; ++a)
            for (int j = 0; j < 32; ++j)
                ASSERT_EQ(st.axles[a][j + 1], expected.axles[a - 1][j]) << "axle " << a << " word " << j;
        EXPECT_EQ(st.link.BadPacket, 0);
    }
}

TEST(StandLinkE2E, SilentStandIsCountedAndTheLinkRecovers) {
    SimProcess sim({"--baud", "115200", "--silent-after", "1", "--silent-for", "2.2"});
    Station st(settingsFor(sim, 115200));
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.fConnect; }, 5000));
    ASSERT_TRUE(sim.waitFor(QStringLiteral("silent"), 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !st.link.fConnect; }, 3000));
    EXPECT_EQ(st.link.BadPacket, 1);
    ASSERT_TRUE(sim.waitFor(QStringLiteral("speaking"), 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.fConnect; }, 2000));
    // One lost reply a second while it was silent.
    EXPECT_GE(st.link.BadPacket, 2);
    EXPECT_LE(st.link.BadPacket, 3);
    const uint16_t lost = st.link.BadPacket;
    QTest::qWait(1200);
    EXPECT_EQ(st.link.BadPacket, lost);
    EXPECT_GT(st.link.FPS, 10);
}

TEST(StandLinkE2E, UnpluggedPortReconnectsWithinTwoSecondsOfComingBack) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("stand.tty"));
    SimProcess sim({"--baud", "115200", "--link", link, "--unplug-after", "1", "--unplug-for", "1.5"});
    Settings s;
    s.PortName = link;
    s.Baud = 115200;
    Station st(s);
    ASSERT_TRUE(st.opened);
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.fConnect; }, 5000));
    ASSERT_TRUE(sim.waitFor(QStringLiteral("unplugged"), 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !st.port.isOpen(); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !st.link.fConnect; }, 2000));
    const int unplugged = sim.indexOf(QStringLiteral("unplugged"));
    ASSERT_TRUE(sim.waitFor(QStringLiteral("slave "), 5000, unplugged));
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.fConnect; }, 4000));
    EXPECT_LT(back.elapsed(), 2000);
    EXPECT_TRUE(st.port.isOpen());
}

TEST(StandLinkE2E, RemoteCodesFromTheReceiverReachTheControllerTheLatestOfABurst) {
    SimProcess sim({"--baud", "115200"});
    Settings s = settingsFor(sim, 115200);
    s.IREnabled = true;
    s.IRPortName = sim.remotePath;
    Station st(s);
    ASSERT_TRUE(st.ir.isOpen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.fConnect; }, 5000));
    sim.send("38\n");
    ASSERT_TRUE(sim.waitFor(QStringLiteral("remote 38"), 3000));
    ASSERT_TRUE(sim.waitFor(QStringLiteral("command 38"), 3000));
    // Two presses in one burst: the later is sent, and the next press is not one behind.
    sim.send("5 6\n");
    ASSERT_TRUE(sim.waitFor(QStringLiteral("command 6"), 3000));
    sim.send("7\n");
    ASSERT_TRUE(sim.waitFor(QStringLiteral("command 7"), 3000));
    sim.send("8\n");
    ASSERT_TRUE(sim.waitFor(QStringLiteral("command 8"), 3000));
    QStringList commands;
    for (const QString& l : sim.lines)
        if (l.startsWith(QStringLiteral("command ")))
            commands << l;
    EXPECT_EQ(commands, (QStringList{"command 38", "command 6", "command 7", "command 8"}));
}

TEST(StandLinkE2E, LineFaultsCostRepliesButNeverLetGarbleThrough) {
    SimProcess sim({"--baud", "115200", "--fault-rate", "0.3", "--seed", "3"});
    Station st(settingsFor(sim, 115200));
    int routine = 0, wrong = 0;
    QObject::connect(&st.link, &StandLink::repaintBoard, [&] {
        if (st.link.State != 2)
            return;
        ++routine;
        wrong += st.link.Status != 1 || st.link.TextSt != QStringLiteral("СТЕНД ГОТОВ") ||
                 st.link.HReg[4] != 0x8000;
    });
    // Every kind of fault the line does, the ones that keep the CRC right among them.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return routine > 20 && sim.count(QStringLiteral("fault count")) > 0 &&
                   sim.count(QStringLiteral("fault address")) > 0 && sim.count(QStringLiteral("fault cut")) > 0 &&
                   sim.count(QStringLiteral("fault corrupted")) > 0;
        },
        20000));
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(st.link.BadPacket, 4);
}

TEST(StandLinkE2E, SimulatorCountsTheRepliesItPutsOnTheLineEachSecond) {
    SimProcess sim({"--baud", "115200", "--report-rate"});
    Station st(settingsFor(sim, 115200));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.count(QStringLiteral("rate ")) >= 3; }, 6000));
    // The first second may have begun before the station opened its port.
    const int second = sim.indexOf(QStringLiteral("rate "), sim.indexOf(QStringLiteral("rate ")) + 1);
    const int polled = sim.lines[second].mid(5).toInt();
    // Each turn of the cycle reads the routine block and the status words: at 115200 baud up to
    // the 20 ms tick's 25 turns a second, a turn either side of a second's edge.
    EXPECT_GE(polled, 2 * 20);
    EXPECT_LE(polled, 2 * 26);
    st.link.stop();
    const int stopped = sim.lines.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.indexOf(QStringLiteral("rate 0"), stopped) >= 0; }, 3500));
}

TEST(StandLinkE2E, WrongCountRepliesNeverReachTheResultsOrTheImageAndTheFetchIsMadeAgain) {
    // The first reply to the page read, to the header read and to the read of axle 2 comes
    // with a wrong number of registers (and a right CRC).
    SimProcess sim({"--baud", "115200", "--pieces", "--axles", "3", "--test-time", "0.5", "--seed", "9",
                    "--fault-kinds", "count", "--fault-once", "2005,1000,200"});
    Station st(settingsFor(sim, 115200));
    st.image.Pages[20] = {5, 5, 1, nullptr};
    const StandSim::FinishedTest expected = StandSim::finishedTest(9, 1, 3);
    // Watches every value the link holds while it works: only what the stand served, or what
    // was there before, ever appears.
    int foreign = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (int k = 1; k <= 25; ++k)
            foreign += st.link.FinalOKData[k] != 0 && st.link.FinalOKData[k] != expected.header[k - 1];
        for (int a = 1; a <= 9; ++a)
            for (int j = 1; j <= 32; ++j) {
                const uint16_t w = st.link.AxleOkData[a][j];
                foreign += w != 0 && w != 0xFFFF && w != expected.axles[a - 1][j - 1];
            }
        foreign += st.image.word(20, 5) != 0 && st.image.word(20, 5) != 2005;
    });
    watch.start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.fConnect; }, 5000));

    // The page: the wrong reply is no answer, the read times out as a lost one; asked again, it comes.
    st.link.CurrentPage = 20;
    st.link.fRequest = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.PageStatus == 3; }, 3000));
    EXPECT_EQ(st.image.word(20, 5), 0);
    EXPECT_EQ(st.link.BadPacket, 1);
    st.link.fRequest = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.PageStatus == 1 && !st.link.fRequest; }, 3000));
    EXPECT_EQ(st.image.word(20, 5), 2005);

    // The test: the first fetch loses its header, the second its axle 2, the third is clean.
    st.link.IRByte = 1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.handOvers > 0; }, 15000));
    QTest::qWait(300);
    EXPECT_EQ(st.handOvers, 1);
    EXPECT_EQ(sim.count(QStringLiteral("read header")), 3);
    EXPECT_EQ(sim.count(QStringLiteral("fault count")), 3);
    EXPECT_EQ(st.link.BadPacket, 3);
    EXPECT_EQ(st.currentAxle, 4);
    for (int k = 0; k < 25; ++k)
        EXPECT_EQ(st.header[k + 1], expected.header[k]) << "header word " << k + 1;
    for (int a = 1; a <= 9; ++a)
        for (int j = 0; j < 32; ++j)
            ASSERT_EQ(st.axles[a][j + 1], expected.axles[a - 1][j]) << "axle " << a << " word " << j;
    EXPECT_EQ(foreign, 0);
}

TEST(StandLinkE2E, RepliesFromAnotherSlaveAddressAreIgnored) {
    SimProcess sim({"--baud", "115200", "--fault-kinds", "address", "--fault-rate", "1"});
    Station st(settingsFor(sim, 115200));
    QTest::qWait(2500);
    EXPECT_FALSE(st.link.fConnect);
    EXPECT_EQ(st.link.Status, 0);
    EXPECT_TRUE(st.link.TextSt.isEmpty());
    EXPECT_EQ(st.link.tFPS + st.link.FPS, 0);
    // One lost reply a second, as from a silent stand.
    EXPECT_GE(st.link.BadPacket, 2);
    EXPECT_LE(st.link.BadPacket, 3);
    EXPECT_GE(sim.count(QStringLiteral("fault address")), 2);
}
