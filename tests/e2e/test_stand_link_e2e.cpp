// The station's link against the simulated stand over real pseudo-terminals.

#include "QtSerialPort.h"
#include "RegisterImage.h"
#include "Settings.h"
#include "SimProcess.h"
#include "StandLink.h"
#include "StandModel.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

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
    struct Case {
        const char* baud;
        int axles;
        bool pieces;
    };
    for (const Case& c : {Case{"115200", 3, true}, Case{"9600", 9, false}}) {
        QStringList args{"--baud",      c.baud, "--axles", QString::number(c.axles),
                         "--test-time", "0.5",  "--seed",  "7"};
        if (c.pieces)
            args << "--pieces";
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

TEST(StandLinkE2E, RemoteCodeFromTheReceiverReachesTheController) {
    SimProcess sim({"--baud", "115200"});
    Settings s = settingsFor(sim, 115200);
    s.IREnabled = true;
    s.IRPortName = sim.remotePath;
    Station st(s);
    ASSERT_TRUE(st.ir.isOpen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.fConnect; }, 5000));
    sim.send("38\n");
    ASSERT_TRUE(sim.waitFor(QStringLiteral("remote 38"), 3000));
    EXPECT_TRUE(sim.waitFor(QStringLiteral("command 38"), 3000));
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
    QTest::qWait(4000);
    EXPECT_GT(routine, 20);
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(st.link.BadPacket, 1);
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
