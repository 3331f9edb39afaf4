#include "KalvexService.h"
#include "PrivateBus.h"
#include "SimProcess.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

// The installed activation starts the station for a client and the station ends with the
// client's last object.
class Activation : public ::testing::Test {
protected:
    QTemporaryDir home;
    QTemporaryDir station;
    const QString program = QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane");

    QProcessEnvironment env() const {
        QProcessEnvironment e;
        e.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return e;
    }
    QString serviceFile() const { return home.filePath(QStringLiteral("dbus-1/services/Mirvane.Kalvex.service")); }
    // Runs the program's registration in workDir with extra environment; fails the test
    // when it does not succeed.
    void registerStation(const QStringList& args, const QString& workDir,
                         const QProcessEnvironment& extra = {}) const {
        QProcess reg;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.remove(QStringLiteral("MIRVANE_STATION_DIR"));
        e.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        e.insert(extra);
        reg.setProcessEnvironment(e);
        reg.setWorkingDirectory(workDir);
        reg.start(program, QStringList{QStringLiteral("-RegServerPerUser")} + args);
        ASSERT_TRUE(reg.waitForFinished(10000));
        ASSERT_EQ(reg.exitCode(), 0) << reg.readAllStandardError().toStdString();
        ASSERT_TRUE(QFile::exists(serviceFile()));
    }
    void SetUp() override {
        // A station whose port is not there: no test opens a serial device of the machine.
        writeFile(station.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
        writeFile(station.filePath(QStringLiteral("mirvane.ini")),
                  QStringLiteral("[Device]\nPortName=%1/no-port\n").arg(station.path()).toUtf8());
    }
    static bool nameOwned(const PrivateBus& bus) {
        return bus.call(QStringLiteral("/org/freedesktop/DBus"),
                        QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                        {QStringLiteral("Mirvane.Kalvex")}, QStringLiteral("org.freedesktop.DBus"))
                   .out == QStringLiteral("(true,)");
    }
    static QString ownerPid(const PrivateBus& bus) {
        const QString pidText =
            bus.call(QStringLiteral("/org/freedesktop/DBus"),
                     QStringLiteral("org.freedesktop.DBus.GetConnectionUnixProcessID"),
                     {QStringLiteral("Mirvane.Kalvex")}, QStringLiteral("org.freedesktop.DBus"))
                .out;
        return pidText.mid(8).section(QLatin1Char(','), 0, 0); // "(uint32 1234,)"
    }
    static bool waitUntil(const std::function<bool()>& done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms)
                return false;
            QThread::msleep(50);
        }
        return true;
    }
};

TEST_F(Activation, AClientStartsTheStationWhichEndsWithItsLastObject) {
    registerStation({QStringLiteral("--station-dir"), station.path()}, QDir::tempPath());
    PrivateBus bus(env());
    ASSERT_TRUE(bus.ok());
    EXPECT_FALSE(nameOwned(bus));

    // gdbus holds its object only for its own call: the started station ends right after.
    const auto created = bus.call(QStringLiteral("/Kalvex"), QStringLiteral("Mirvane.KalvexFactory.Create"));
    ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    EXPECT_EQ(created.out, QStringLiteral("(objectpath '/Kalvex/1',)"));
    EXPECT_TRUE(waitUntil([&] { return !nameOwned(bus); }, 10000)) << "the station did not end";

    // Started again by the next client; hiding its window does not end it, releasing does.
    QDBusConnection holder = QDBusConnection::connectToBus(bus.address, QStringLiteral("activation-holder"));
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("Mirvane.Kalvex"), QStringLiteral("/Kalvex"),
                                       QStringLiteral("Mirvane.KalvexFactory"), QStringLiteral("Create"));
    const QDBusMessage reply = holder.call(call, QDBus::Block, 20000);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
    const QString pid = ownerPid(bus);
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral("/proc/") + pid)) << pid.toStdString();
    // The station's window was shown for the client.
    EXPECT_TRUE(waitUntil(
        [&] {
            return bus.call(path, QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                            {QStringLiteral("Mirvane.IKalvex"), QStringLiteral("Visible")})
                       .out == QStringLiteral("(<true>,)");
        },
        5000));
    EXPECT_EQ(
        bus.call(path, QStringLiteral("org.freedesktop.DBus.Properties.Set"),
                 {QStringLiteral("Mirvane.IKalvex"), QStringLiteral("Visible"), QStringLiteral("<false>")})
            .exitCode,
        0);
    QThread::msleep(500);
    EXPECT_TRUE(nameOwned(bus)) << "hiding the window ended the station";
    EXPECT_EQ(
        bus.call(QStringLiteral("/Kalvex"), QStringLiteral("Mirvane.KalvexFactory.Release"), {path}).exitCode,
        0);
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/") + pid); }, 10000));
    QDBusConnection::disconnectFromBus(QStringLiteral("activation-holder"));
}

// The bus starts the station in a working directory of its own and with its own environment:
// the station directory registered, however it was named, must be the one the started station
// reads. The example client reads a tag from the simulated stand through it.
TEST_F(Activation, TheRegisteredStationIsTheOneStartedWhetherNamedRelativeOrByTheEnvironment) {
    struct Case {
        const char* what;
        bool byEnvironment;
    };
    for (const Case c : {Case{"relative --station-dir", false}, Case{"MIRVANE_STATION_DIR only", true}}) {
        SCOPED_TRACE(c.what);
        SimProcess sim({"--baud", "115200"});
        ASSERT_FALSE(sim.slavePath.isEmpty());
        QTemporaryDir parent;
        const QString dir = parent.filePath(QStringLiteral("st"));
        ASSERT_TRUE(QDir().mkpath(dir));
        writeFile(QDir(dir).filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=20\nAddress=5\n");
        writeFile(QDir(dir).filePath(QStringLiteral("mirvane.ini")),
                  QStringLiteral("[Device]\nPortName=%1\nBaud=115200\n").arg(sim.slavePath).toUtf8());
        QProcessEnvironment extra;
        if (c.byEnvironment)
            extra.insert(QStringLiteral("MIRVANE_STATION_DIR"), QStringLiteral("st"));
        registerStation(c.byEnvironment ? QStringList{} : QStringList{QStringLiteral("--station-dir"), QStringLiteral("st")},
                        parent.path(), extra);
        QFile service(serviceFile());
        ASSERT_TRUE(service.open(QIODevice::ReadOnly));
        EXPECT_TRUE(QString::fromUtf8(service.readAll()).contains(QStringLiteral(" --station-dir \"%1\"").arg(dir)));

        PrivateBus bus(env());
        ASSERT_TRUE(bus.ok());
        // The system's python, which has python3-dbus.
        const auto read = bus.run(QStringLiteral("/usr/bin/python3"),
                                  {QStringLiteral(MIRVANE_SOURCE_DIR "/examples/read_tag.py"), QStringLiteral("Brake1")},
                                  30000);
        EXPECT_EQ(read.exitCode, 0) << read.err.toStdString();
        EXPECT_EQ(read.out, QStringLiteral("2005")) << read.err.toStdString(); // page 20, address 5
        // The client has left: the station it started ends.
        EXPECT_TRUE(waitUntil([&] { return !nameOwned(bus); }, 10000));
    }
}

// A message to the bus name that makes no object (here an introspection) still starts the
// station; it must not hold the stand's port for nobody. One the operator started stays.
TEST_F(Activation, AStationStartedForNoObjectEndsOneTheOperatorStartedStays) {
    registerStation({QStringLiteral("--station-dir"), station.path()}, QDir::tempPath());
    PrivateBus bus(env());
    ASSERT_TRUE(bus.ok());
    PrivateBus operatorBus(env());
    ASSERT_TRUE(operatorBus.ok());
    QProcess byOperator;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    e.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), operatorBus.address);
    byOperator.setProcessEnvironment(e);
    byOperator.setProcessChannelMode(QProcess::ForwardedChannels);
    byOperator.start(program, {QStringLiteral("--station-dir"), station.path()});
    ASSERT_TRUE(byOperator.waitForStarted());

    QElapsedTimer sinceStart;
    sinceStart.start();
    const auto introspection =
        bus.run(QStringLiteral("gdbus"), {QStringLiteral("introspect"), QStringLiteral("--session"),
                                          QStringLiteral("--dest"), QStringLiteral("Mirvane.Kalvex"),
                                          QStringLiteral("--object-path"), QStringLiteral("/Kalvex")},
                20000);
    ASSERT_EQ(introspection.exitCode, 0) << introspection.err.toStdString();
    EXPECT_TRUE(introspection.out.contains(QStringLiteral("Mirvane.KalvexFactory")));
    const QString pid = ownerPid(bus);
    ASSERT_FALSE(pid.isEmpty());
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/") + pid); }, 40000));
    EXPECT_LE(sinceStart.elapsed(), KalvexService::ClientWaitMs + 5000) << "the unused station ended too late";
    EXPECT_GE(sinceStart.elapsed(), KalvexService::ClientWaitMs - 1000)
        << "the unused station ended before its client had time";

    EXPECT_TRUE(QFileInfo::exists(QStringLiteral("/proc/%1").arg(byOperator.processId())))
        << "the operator's station ended by itself";
    EXPECT_TRUE(nameOwned(operatorBus));
    byOperator.terminate();
    byOperator.waitForFinished(5000);
}
