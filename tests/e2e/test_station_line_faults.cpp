// The whole station on the lines a stand is found on in the field: one that echoes every
// request and puts noise before replies, with replies that carry a wrong number of registers;
// and a start-up from a settings file of very many keys.

#include "DatabaseRows.h"
#include "Pty.h"
#include "RealSerialPorts.h"
#include "SimProcess.h"
#include "StandModel.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

TEST(StationOnAFaultyLine, AnEchoingNoisyLineWithWrongCountRepliesStoresTheTestOnceAndBitExact) {
    constexpr int Axles = 9;
    constexpr uint64_t Seed = 5;
    // The first replies to the header read and to the read of axle 3 carry a wrong number of
    // registers; the third fetch is clean.
    SimProcess sim({"--baud", "115200", "--pieces", "--echo", "--noise-before", "1", "--seed",
                    QByteArray::number(qulonglong(Seed)).constData(), "--axles", "9", "--test-time", "0.5",
                    "--fault-kinds", "count", "--fault-once", "1000,300"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    const StandSim::FinishedTest served = StandSim::finishedTest(Seed, 1, Axles);

    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("Mirvane.db"));
    writeFile(dir.filePath(QStringLiteral("mirvane.ini")),
              QStringLiteral("[Device]\nPortName=%1\nBaud=115200\n[Program]\nDatabaseEnabled=1\n")
                  .arg(sim.slavePath)
                  .toUtf8());
    writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=20\nAddress=5\n");
    QString error;
    ASSERT_TRUE(TdmMain::createDatabase(db, &error)) << error.toStdString();

    const RealSerialPorts ports;
    Station st;
    st.dir = dir.path();
    st.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
    RecordingDialogs dialogs;
    FixedClock clock;
    auto w = std::make_unique<TfrMain>(st, dialogs, clock, QStringList{QStringLiteral("-EMBEDDING")});
    w->show();
    w->FormShow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->link.fConnect; }, 5000));
    w->link.IRByte = 1; // start

    const QStringList columns = TdmMain::axlesColumns().mid(2, 32);
    auto axles = [&] {
        return rows(db, QStringLiteral("SELECT AxleNumber, %1 FROM Axles ORDER BY AxleNumber")
                            .arg(columns.join(QLatin1Char(','))));
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return axles().size() == size_t(Axles); }, 20000))
        << sim.lines.join(QLatin1Char('\n')).toStdString();
    QTest::qWait(1500); // the stand still reports the test: nothing is stored twice
    const auto tests = rows(db, QStringLiteral("SELECT OrderNumber, AxleCount FROM Tests"));
    ASSERT_EQ(tests.size(), 1u);
    EXPECT_EQ(tests[0][0].toInt(), served.orderNumber);
    EXPECT_EQ(tests[0][1].toInt(), Axles);
    const auto stored = axles();
    ASSERT_EQ(stored.size(), size_t(Axles));
    for (int a = 0; a < Axles; ++a) {
        EXPECT_EQ(stored[a][0].toInt(), a + 1);
        for (int j = 0; j < 32; ++j)
            EXPECT_EQ(stored[a][1 + j].toInt(), served.axles[a][j]) << "axle " << a + 1 << " word " << j;
    }
    EXPECT_EQ(sim.count(QStringLiteral("fault count")), 2);
    EXPECT_EQ(sim.count(QStringLiteral("read header")), 3);
    EXPECT_EQ(w->link.BadPacket, 2);
    EXPECT_TRUE(dialogs.messages.empty());

    w.reset();
}

TEST(StationStartUp, ASettingsFileOf200000KeysInOneSectionPollsWithinThreeSeconds) {
    QTemporaryDir dir;
    Pty controller;
    QByteArray ini = "[Device]\r\n";
    for (int k = 0; k < 200000; ++k)
        ini += "Key" + QByteArray::number(k) + "=" + QByteArray::number(k) + "\r\n";
    // The keys the station reads stand behind all the others.
    ini += "PortName=" + controller.path().toLocal8Bit() + "\r\nBaud=115200\r\n";
    writeFile(dir.filePath(QStringLiteral("mirvane.ini")), ini);
    writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=20\nAddress=5\n");

    QProcess station;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("MIRVANE_STATION_DIR"));
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer started;
    started.start();
    station.start(QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane"), {QStringLiteral("--station-dir"), dir.path()});
    ASSERT_TRUE(station.waitForStarted(5000));
    // The first request on the line: the routine read.
    const QByteArray first = controller.read(5000);
    const qint64 ms = started.elapsed();
    station.kill();
    station.waitForFinished(5000);
    EXPECT_TRUE(first.startsWith(QByteArray::fromHex("010404B00014F0D2"))) << first.toHex().toStdString();
    EXPECT_LT(ms, 3000);
    std::printf("first request %lld ms after the start\n", static_cast<long long>(ms));
}
