// An automation read end to end: a client on the session bus, the station polling the
// simulated stand over a pseudo-terminal, the page read on the real line.

#include "KalvexService.h"
#include "PrivateBus.h"
#include "QtSerialPort.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QDBusConnection>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

TEST(AutomationE2E, AClientReadsATagFromTheStandAndSeesASilentStand) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    // A slow controller keeps each read outstanding long enough for the client to see it
    // under way; from the sixth second on it stays silent.
    SimProcess sim({"--baud", "115200", "--turnaround", "300", "--silent-after", "6", "--silent-for", "60"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    QElapsedTimer sinceSimStart;
    sinceSimStart.start();

    const SerialPortFactory saved = serialPortFactory();
    serialPortFactory() = [](int size) { return std::make_unique<QtSerialPort>(size); };
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Profile.dat")),
              "[Reg_1]\nName=Brake1\nPage=20\nAddress=5\n[Reg_2]\nName=Brake2\nPage=20\nAddress=7\n");
    writeFile(dir.filePath(QStringLiteral("mirvane.ini")),
              QStringLiteral("[Device]\nPortName=%1\nBaud=115200\n").arg(sim.slavePath).toUtf8());
    Station st;
    st.dir = dir.path();
    st.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
    RecordingDialogs dialogs;
    FixedClock clock;
    auto w = std::make_unique<TfrMain>(st, dialogs, clock, QStringList{QStringLiteral("-EMBEDDING")});
    KalvexService service(w->automation, QDBusConnection::connectToBus(bus.address, QStringLiteral("e2e")));
    ASSERT_TRUE(service.start());
    w->kalvex = &service;
    w->show();
    w->FormShow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->link.fConnect; }, 5000));

    const QString obj = service.Create().path(); // held by the station's side for the test
    auto call = [&](const char* method, const char* arg) {
        return bus
            .call(obj, QStringLiteral("Mirvane.IKalvex.") + QString::fromLatin1(method),
                  {QString::fromLatin1(arg)})
            .out;
    };
    auto pageStatus = [&] {
        return bus
            .call(obj, QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                  {QStringLiteral("Mirvane.IKalvex"), QStringLiteral("PageStatus")})
            .out;
    };
    auto waitForStatus = [&](const QString& status, int ms) {
        QElapsedTimer t;
        t.start();
        while (pageStatus() != status)
            if (t.elapsed() > ms)
                return false;
        return true;
    };

    EXPECT_EQ(call("GetTagAsWord", "<'Brake1'>"), QStringLiteral("(0,)")); // never read
    EXPECT_EQ(call("RequestTag", "<'Brake1'>"), QStringLiteral("(<'Brake1'>,)"));
    EXPECT_TRUE(waitForStatus(QStringLiteral("(<2>,)"), 3000)) << "the read was never under way";
    EXPECT_TRUE(waitForStatus(QStringLiteral("(<1>,)"), 3000)) << "the read never ended";
    // The stand holds P x 100 + A in a page register; one read brought the whole window.
    EXPECT_EQ(call("GetTagAsWord", "<'Brake1'>"), QStringLiteral("(2005,)"));
    EXPECT_EQ(call("GetTagAsWord", "<'Brake2'>"), QStringLiteral("(2007,)"));
    ASSERT_LT(sinceSimStart.elapsed(), 6000) << "too slow to read before the stand falls silent";

    // The silent stand: the read times out and the older words stay.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->link.fConnect; }, 10000));
    EXPECT_EQ(call("RequestTag", "<'Brake2'>"), QStringLiteral("(<'Brake2'>,)"));
    EXPECT_TRUE(waitForStatus(QStringLiteral("(<3>,)"), 5000));
    EXPECT_EQ(call("GetTagAsWord", "<'Brake2'>"), QStringLiteral("(2007,)"));
    EXPECT_EQ(bus.call(obj, QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                       {QStringLiteral("Mirvane.IKalvex"), QStringLiteral("Connect")})
                  .out,
              QStringLiteral("(<false>,)"));

    w->kalvex = nullptr;
    w.reset();
    serialPortFactory() = saved;
    QDBusConnection::disconnectFromBus(QStringLiteral("e2e"));
}
