#include "PrivateBus.h"
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
    void SetUp() override {
        writeFile(station.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
        QProcess reg;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        reg.setProcessEnvironment(e);
        reg.start(program,
                  {QStringLiteral("-RegServerPerUser"), QStringLiteral("--station-dir"), station.path()});
        ASSERT_TRUE(reg.waitForFinished(10000));
        ASSERT_EQ(reg.exitCode(), 0) << reg.readAllStandardError().toStdString();
        ASSERT_TRUE(QFile::exists(home.filePath(QStringLiteral("dbus-1/services/Mirvane.Kalvex.service"))));
    }
    static bool nameOwned(const PrivateBus& bus) {
        return bus.call(QStringLiteral("/org/freedesktop/DBus"),
                        QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                        {QStringLiteral("Mirvane.Kalvex")}, QStringLiteral("org.freedesktop.DBus"))
                   .out == QStringLiteral("(true,)");
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
    const QString pidText =
        bus.call(QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus.GetConnectionUnixProcessID"),
                 {QStringLiteral("Mirvane.Kalvex")}, QStringLiteral("org.freedesktop.DBus"))
            .out;
    const QString pid = pidText.mid(8).section(QLatin1Char(','), 0, 0); // "(uint32 1234,)"
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral("/proc/") + pid)) << pidText.toStdString();
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
