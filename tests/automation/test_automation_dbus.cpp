#include "KalvexHost.h"
#include "KalvexService.h"
#include "LockHolder.h"
#include "PrivateBus.h"
#include "RegisterImage.h"
#include "Registration.h"
#include "Settings.h"
#include "StandLink.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QDBusReply>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>

// The station's automation service on a bus of the test's own. Member calls come from gdbus,
// an independent client; a client connection of the test holds the objects it creates, as a
// client program would.
class AutomationBus : public ::testing::Test {
protected:
    PrivateBus bus;
    QTemporaryDir dir;
    std::unique_ptr<RegisterImage> image = std::make_unique<RegisterImage>();
    StandLink link{*image};
    Settings settings;
    FixedClock clock;
    KalvexHost host{link, *image, settings, clock};
    std::unique_ptr<KalvexService> service;
    bool visible = true;

    void SetUp() override {
        ASSERT_TRUE(bus.ok()) << "dbus-daemon did not start";
        writeFile(dir.filePath(QStringLiteral("Profile.dat")),
                  "[Reg_1]\nName=Brake1\nPage=1\nAddress=10\nDebugValue=5\n"
                  "[Reg_2]\nName=Pressure\nPage=2\nAddress=5\n");
        image->loadProfile(dir.filePath(QStringLiteral("Profile.dat")));
        const uint16_t w[1] = {530};
        image->storePageWords(1, w, 1);
        link.PageStatus = 1;
        host.isWindowVisible = [this] { return visible; };
        host.setWindowVisible = [this](bool v) { visible = v; };
        service = std::make_unique<KalvexService>(
            host, QDBusConnection::connectToBus(bus.address, QStringLiteral("station")));
        QString why;
        ASSERT_TRUE(service->start(&why)) << why.toStdString();
    }
    void TearDown() override {
        service.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("station"));
        QDBusConnection::disconnectFromBus(QStringLiteral("holder"));
    }
    // Creates an object through a client connection that stays on the bus.
    QString createHeldObject() {
        QDBusConnection holder = QDBusConnection::connectToBus(bus.address, QStringLiteral("holder"));
        QDBusMessage call =
            QDBusMessage::createMethodCall(QStringLiteral("Mirvane.Kalvex"), QStringLiteral("/Kalvex"),
                                           QStringLiteral("Mirvane.KalvexFactory"), QStringLiteral("Create"));
        QDBusPendingCall pending = holder.asyncCall(call);
        QDBusPendingCallWatcher watcher(pending);
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        loop.exec();
        QDBusPendingReply<QDBusObjectPath> reply = pending;
        return reply.isValid() ? reply.value().path() : QString();
    }
    PrivateBus::Result get(const QString& path, const char* property) {
        return bus.call(path, QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                        {QStringLiteral("Mirvane.IKalvex"), QString::fromLatin1(property)});
    }
    PrivateBus::Result set(const QString& path, const char* property, const char* value) {
        return bus.call(
            path, QStringLiteral("org.freedesktop.DBus.Properties.Set"),
            {QStringLiteral("Mirvane.IKalvex"), QString::fromLatin1(property), QString::fromLatin1(value)});
    }
    PrivateBus::Result method(const QString& path, const char* name, const char* arg) {
        return bus.call(path, QStringLiteral("Mirvane.IKalvex.") + QString::fromLatin1(name),
                        {QString::fromLatin1(arg)});
    }
};

TEST_F(AutomationBus, MembersThroughAnIndependentClient) {
    const QString obj = createHeldObject();
    ASSERT_EQ(obj, QStringLiteral("/Kalvex/1"));
    EXPECT_EQ(service->objectCount(), 1);

    EXPECT_EQ(method(obj, "RequestTag", "<'brake1'>").out, QStringLiteral("(<''>,)"));
    EXPECT_EQ(get(obj, "CurrentPage").out, QStringLiteral("(<0>,)"));
    EXPECT_EQ(method(obj, "RequestTag", "<'Pressure'>").out, QStringLiteral("(<'Pressure'>,)"));
    EXPECT_EQ(method(obj, "RequestTag", "<'Brake1'>").out, QStringLiteral("(<'Brake1'>,)"));
    EXPECT_EQ(get(obj, "CurrentPage").out, QStringLiteral("(<1>,)")); // only the second page
    EXPECT_TRUE(link.fRequest);
    EXPECT_EQ(method(obj, "GetTagAsWord", "<'Pressure'>").out, QStringLiteral("(0,)"));
    EXPECT_EQ(method(obj, "GetTagAsWord", "<'Brake1'>").out, QStringLiteral("(530,)"));

    // Writing CurrentPage or PageStatus succeeds and changes nothing.
    EXPECT_EQ(set(obj, "CurrentPage", "<7>").exitCode, 0);
    EXPECT_EQ(set(obj, "PageStatus", "<3>").exitCode, 0);
    EXPECT_EQ(get(obj, "CurrentPage").out, QStringLiteral("(<1>,)"));
    EXPECT_EQ(get(obj, "PageStatus").out, QStringLiteral("(<1>,)"));

    EXPECT_EQ(get(obj, "Connect").out, QStringLiteral("(<false>,)"));
    link.fConnect = true;
    EXPECT_EQ(get(obj, "Connect").out, QStringLiteral("(<true>,)"));
    EXPECT_NE(set(obj, "Connect", "<false>").exitCode, 0); // read only

    EXPECT_EQ(set(obj, "Visible", "<false>").exitCode, 0);
    EXPECT_FALSE(visible);
    EXPECT_EQ(get(obj, "Visible").out, QStringLiteral("(<false>,)"));
}

TEST_F(AutomationBus, DebugModeThroughTheBus) {
    settings.fDebugOLE = true;
    settings.OleLogFile = dir.filePath(QStringLiteral("ole_log.txt"));
    const QString obj = createHeldObject();
    link.PageStatus = 2;
    EXPECT_EQ(get(obj, "PageStatus").out, QStringLiteral("(<1>,)"));
    EXPECT_EQ(method(obj, "GetTagAsWord", "<'Brake1'>").out, QStringLiteral("(5,)"));
    EXPECT_EQ(method(obj, "RequestTag", "<42>").out, QStringLiteral("(<''>,)")); // a number is its text
    EXPECT_EQ(method(obj, "RequestTag", "<byte 43>").out, QStringLiteral("(<''>,)")); // so is a byte
    QFile log(settings.OleLogFile);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    EXPECT_TRUE(bytes.contains(utf16le(QStringLiteral("[RequestTag]42\r\n"))));
    EXPECT_TRUE(bytes.contains(utf16le(QStringLiteral("[RequestTag]43\r\n"))));
}

// A call that waits for another program's lock on the debug log lets the station's events go
// on, among them a release of the very object called: the object stays until its call is done.
TEST_F(AutomationBus, AnObjectReleasedWhileItsCallWaitsForTheLogStaysUntilTheCallIsDone) {
    settings.fDebugOLE = true;
    settings.OleLogFile = dir.filePath(QStringLiteral("ole_log.txt"));
    writeFile(settings.OleLogFile, "");
    const LockHolder holder(LockHolder::flock(settings.OleLogFile));
    ASSERT_TRUE(holder.held());
    const QString obj = createHeldObject();
    QObject* object = QDBusConnection(QStringLiteral("station")).objectRegisteredAt(obj);
    ASSERT_NE(object, nullptr);
    QElapsedTimer clock;
    qint64 destroyedAt = -1;
    QObject::connect(object, &QObject::destroyed, [&] { destroyedAt = clock.elapsed(); });

    // The client asks for a tag, and while that call waits, releases the object it called.
    std::atomic<qint64> releasedAt{-1};
    QString answer;
    std::unique_ptr<QThread> client(QThread::create([&] {
        {
            QDBusConnection c = QDBusConnection::connectToBus(bus.address, QStringLiteral("caller"));
            QDBusMessage request = QDBusMessage::createMethodCall(
                QStringLiteral("Mirvane.Kalvex"), obj, QStringLiteral("Mirvane.IKalvex"), QStringLiteral("RequestTag"));
            request << QVariant::fromValue(QDBusVariant(QStringLiteral("Brake1")));
            QDBusPendingCall pending = c.asyncCall(request, 5000);
            QThread::msleep(40);
            QDBusMessage release = QDBusMessage::createMethodCall(
                QStringLiteral("Mirvane.Kalvex"), QStringLiteral("/Kalvex"), QStringLiteral("Mirvane.KalvexFactory"),
                QStringLiteral("Release"));
            release << QVariant::fromValue(QDBusObjectPath(obj));
            c.call(release, QDBus::Block, 5000);
            releasedAt = clock.elapsed();
            pending.waitForFinished();
            answer = pending.error().message();
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("caller"));
    }));
    clock.start();
    client->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client->isFinished() && destroyedAt >= 0; }, 5000));
    client->wait();
    EXPECT_EQ(service->objectCount(), 0);
    EXPECT_TRUE(answer.contains(QStringLiteral("занят"))) << answer.toStdString();
    ASSERT_GE(releasedAt, 0);
    EXPECT_LT(releasedAt, OleLog::LockWaitMs) << "the release was not served during the call";
    EXPECT_GE(destroyedAt, OleLog::LockWaitMs) << "the object went while its call was under way";
}

TEST_F(AutomationBus, AFailedCallIsAnErrorWithItsTextAndDoesNothing) {
    settings.fDebugOLE = true;
    settings.OleLogFile = dir.filePath(QStringLiteral("missing/ole_log.txt"));
    const QString obj = createHeldObject();
    const auto r = method(obj, "RequestTag", "<'Brake1'>");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("org.freedesktop.DBus.Error.Failed"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Не удалось открыть журнал автоматизации")))
        << r.err.toStdString();
    EXPECT_FALSE(link.fRequest);
    settings.fDebugOLE = false;
    const auto bad = method(obj, "GetTagAsWord", "<[1, 2]>");
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("Имя тега"))) << bad.err.toStdString();
}

TEST_F(AutomationBus, ObjectsGoWithReleaseOrWithTheirClient) {
    QSignalSpy last(service.get(), &KalvexService::lastObjectReleased);
    // gdbus leaves the bus right after its call: its object goes with it.
    const auto created = bus.call(QStringLiteral("/Kalvex"), QStringLiteral("Mirvane.KalvexFactory.Create"));
    EXPECT_EQ(created.out, QStringLiteral("(objectpath '/Kalvex/1',)"));
    // The release may already have come while the client ran.
    ASSERT_TRUE(last.count() == 1 || last.wait(5000));
    EXPECT_EQ(service->objectCount(), 0);

    const QString a = createHeldObject();
    const QString b = createHeldObject();
    EXPECT_EQ(service->objectCount(), 2);
    EXPECT_EQ(
        bus.call(QStringLiteral("/Kalvex"), QStringLiteral("Mirvane.KalvexFactory.Release"), {a}).exitCode,
        0);
    EXPECT_EQ(service->objectCount(), 1);
    EXPECT_NE(get(a, "Visible").exitCode, 0); // gone
    EXPECT_EQ(get(b, "Visible").exitCode, 0);
    EXPECT_NE(
        bus.call(QStringLiteral("/Kalvex"), QStringLiteral("Mirvane.KalvexFactory.Release"), {a}).exitCode,
        0);
    EXPECT_EQ(last.count(), 1);
    QDBusConnection::disconnectFromBus(QStringLiteral("holder"));
    ASSERT_TRUE(last.count() == 2 || last.wait(5000));
    EXPECT_EQ(service->objectCount(), 0);
}

// What the live objects offer matches the interface description kept in the repository.
TEST_F(AutomationBus, IntrospectionMatchesTheInterfaceDescription) {
    using Members = std::set<QString>;
    auto members = [](const QString& xml, const QString& iface) {
        Members out;
        QXmlStreamReader r(xml);
        bool inside = false;
        QString current;
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement() && r.name() == QLatin1String("interface"))
                inside = r.attributes().value(QLatin1String("name")) == iface;
            else if (r.isEndElement() && r.name() == QLatin1String("interface"))
                inside = false;
            if (!inside || !r.isStartElement())
                continue;
            const auto a = r.attributes();
            if (r.name() == QLatin1String("property"))
                out.insert(QStringLiteral("property %1 %2 %3")
                               .arg(a.value(QLatin1String("name")), a.value(QLatin1String("type")),
                                    a.value(QLatin1String("access"))));
            else if (r.name() == QLatin1String("method"))
                out.insert(current = QStringLiteral("method ") + a.value(QLatin1String("name")).toString());
            else if (r.name() == QLatin1String("arg"))
                out.insert(QStringLiteral("%1 arg %2 %3")
                               .arg(current, a.value(QLatin1String("type")),
                                    a.value(QLatin1String("direction")).isEmpty()
                                        ? QStringLiteral("in")
                                        : a.value(QLatin1String("direction")).toString()));
        }
        return out;
    };
    QFile contract(QStringLiteral(MIRVANE_SOURCE_DIR "/automation/Mirvane.IKalvex.xml"));
    ASSERT_TRUE(contract.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(contract.readAll());
    const QString obj = createHeldObject();
    const auto live =
        bus.run(QStringLiteral("gdbus"), {QStringLiteral("introspect"), QStringLiteral("--session"),
                                          QStringLiteral("--dest"), QStringLiteral("Mirvane.Kalvex"),
                                          QStringLiteral("--object-path"), obj, QStringLiteral("--xml")});
    const auto factory =
        bus.run(QStringLiteral("gdbus"),
                {QStringLiteral("introspect"), QStringLiteral("--session"), QStringLiteral("--dest"),
                 QStringLiteral("Mirvane.Kalvex"), QStringLiteral("--object-path"), QStringLiteral("/Kalvex"),
                 QStringLiteral("--xml")});
    EXPECT_EQ(members(live.out, QStringLiteral("Mirvane.IKalvex")),
              members(xml, QStringLiteral("Mirvane.IKalvex")));
    EXPECT_EQ(members(factory.out, QStringLiteral("Mirvane.KalvexFactory")),
              members(xml, QStringLiteral("Mirvane.KalvexFactory")));
    EXPECT_EQ(members(xml, QStringLiteral("Mirvane.IKalvex")).size(), 10u);
}

TEST(AutomationSwitches, AnywhereWithEitherPrefixInAnyCase) {
    using R = AutomationSwitches::Registration;
    struct Case {
        QStringList args;
        bool automation;
        R registration;
        bool perUser;
    };
    const Case cases[] = {
        {{}, false, R::None, false},
        {{QStringLiteral("-Embedding")}, true, R::None, false},
        {{QStringLiteral("x"), QStringLiteral("/automation")}, true, R::None, false},
        {{QStringLiteral("EMBEDDING")}, false, R::None, false},
        {{QStringLiteral("--embedding")}, false, R::None, false},
        {{QStringLiteral("/RegServer")}, false, R::Register, false},
        {{QStringLiteral("-regserverperuser")}, false, R::Register, true},
        {{QStringLiteral("/UNREGSERVER")}, false, R::Unregister, false},
        {{QStringLiteral("x"), QStringLiteral("-UnRegServerPerUser")}, false, R::Unregister, true},
        {{QStringLiteral("-REGSERVERX")}, false, R::None, false},
    };
    for (const Case& c : cases) {
        const AutomationSwitches s = parseAutomationSwitches(c.args);
        const std::string what = c.args.join(u' ').toStdString();
        EXPECT_EQ(s.automation, c.automation) << what;
        EXPECT_EQ(s.registration, c.registration) << what;
        if (c.registration != R::None) {
            EXPECT_EQ(s.perUser, c.perUser) << what;
        }
    }
}

TEST(AutomationRegistration, InstallsAndRemovesOnlyWhatItWrote) {
    QTemporaryDir home;
    const Env xdg("XDG_DATA_HOME", home.path());
    const QString servicePath = home.filePath(QStringLiteral("dbus-1/services/Mirvane.Kalvex.service"));
    const QString ifacePath = home.filePath(QStringLiteral("dbus-1/interfaces/Mirvane.IKalvex.xml"));
    auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    const QString header = QStringLiteral("# Written by mirvane's automation registration; mirvane -UNREGSERVER "
                                          "(or -UNREGSERVERPERUSER) removes it.\n");
    const QString service = QStringLiteral("[D-BUS Service]\nName=Mirvane.Kalvex\n"
                                           "Exec=\"/opt/my station/mirvane\" -EMBEDDING --station-dir \"/srv/st\"\n");

    // Nothing there yet: both files are written, and the activation records the description.
    EXPECT_EQ(
        Registration::install(true, QStringLiteral("/opt/my station/mirvane"), QStringLiteral("/srv/st")),
        QString());
    EXPECT_EQ(read(servicePath), header + QStringLiteral("# Also written by it: ") + ifacePath + QLatin1Char('\n') + service);
    EXPECT_TRUE(read(ifacePath).contains(QStringLiteral("Mirvane.IKalvex")));
    // Registering again keeps the description its own.
    EXPECT_EQ(
        Registration::install(true, QStringLiteral("/opt/my station/mirvane"), QStringLiteral("/srv/st")),
        QString());
    EXPECT_TRUE(read(servicePath).contains(ifacePath));
    Registration::remove(true);
    EXPECT_FALSE(QFile::exists(servicePath));
    EXPECT_FALSE(QFile::exists(ifacePath));

    // A description someone else installed (a package) stays as it is, through both.
    writeFile(ifacePath, "<node/>\n");
    EXPECT_EQ(
        Registration::install(true, QStringLiteral("/opt/my station/mirvane"), QStringLiteral("/srv/st")),
        QString());
    EXPECT_EQ(read(servicePath), header + service);
    Registration::remove(true);
    EXPECT_FALSE(QFile::exists(servicePath));
    EXPECT_EQ(read(ifacePath), QStringLiteral("<node/>\n"));

    // An activation of another name at our file's place is not ours to remove.
    writeFile(servicePath, "[D-BUS Service]\nName=Other.Service\nExec=/bin/true\n");
    Registration::remove(true);
    EXPECT_TRUE(QFile::exists(servicePath));

    // A place that cannot be written is reported.
    writeFile(home.filePath(QStringLiteral("blocked")), "file, not a directory");
    const Env blocked("XDG_DATA_HOME", home.filePath(QStringLiteral("blocked")));
    EXPECT_FALSE(Registration::install(true, QStringLiteral("/usr/bin/mirvane"), QString()).isEmpty());
}
