// An automation read end to end: a client on the session bus, the station polling the
// simulated stand over a pseudo-terminal, the page read on the real line.

#include "KalvexService.h"
#include "LockHolder.h"
#include "PrivateBus.h"
#include "RealSerialPorts.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <sys/stat.h>

namespace {

// The whole station in this process, on a bus of the test's own, polling the simulated stand
// through a real serial port.
struct StationOnBus {
    StationOnBus(const PrivateBus& bus, const char* name, const QString& slavePath, const QByteArray& profile,
                 const QString& programSection = QString())
        : name_(QString::fromLatin1(name)) {
        writeFile(dir.filePath(QStringLiteral("Profile.dat")), profile);
        writeFile(dir.filePath(QStringLiteral("mirvane.ini")),
                  (QStringLiteral("[Device]\nPortName=%1\nBaud=115200\n").arg(slavePath) + programSection).toUtf8());
        Station st;
        st.dir = dir.path();
        st.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
        w = std::make_unique<TfrMain>(st, dialogs, clock, QStringList{QStringLiteral("-EMBEDDING")});
        service = std::make_unique<KalvexService>(w->automation, QDBusConnection::connectToBus(bus.address, name_));
    }
    ~StationOnBus() {
        w->kalvex = nullptr;
        service.reset();
        w.reset();
        QDBusConnection::disconnectFromBus(name_);
    }
    // Offers the service and runs the start-up; true once the stand has answered.
    bool start() {
        if (!service->start())
            return false;
        w->kalvex = service.get();
        w->show();
        w->FormShow();
        return QTest::qWaitFor([&] { return w->link.fConnect; }, 5000);
    }

    const RealSerialPorts ports; // before the window
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<TfrMain> w;
    std::unique_ptr<KalvexService> service;

private:
    QString name_;
};

} // namespace

TEST(AutomationE2E, AClientReadsATagFromTheStandAndSeesASilentStand) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    // A slow controller keeps each read outstanding long enough for the client to see it
    // under way; from the sixth second on it stays silent.
    SimProcess sim({"--baud", "115200", "--turnaround", "300", "--silent-after", "6", "--silent-for", "60"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    QElapsedTimer sinceSimStart;
    sinceSimStart.start();

    StationOnBus station(bus, "e2e", sim.slavePath,
                         "[Reg_1]\nName=Brake1\nPage=20\nAddress=5\n[Reg_2]\nName=Brake2\nPage=20\nAddress=7\n");
    ASSERT_TRUE(station.start());
    TfrMain* w = station.w.get();
    KalvexService& service = *station.service;

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

}

namespace {

// Calls RequestTag one after another (20 ms apart) on a connection of its own for a while and
// counts how the calls ended.
class LoggingClient : public QThread {
public:
    LoggingClient(QString address, QString object, int ms) : address_(std::move(address)), object_(std::move(object)), ms_(ms) {}
    std::atomic<int> calls{0}, failedCleanly{0};
    std::atomic<qint64> longestMs{0};

protected:
    void run() override {
        {
            QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("log-client"));
            QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("Mirvane.Kalvex"), object_,
                                                            QStringLiteral("Mirvane.IKalvex"),
                                                            QStringLiteral("RequestTag"));
            m << QVariant::fromValue(QDBusVariant(QStringLiteral("Brake1")));
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < ms_) {
                QElapsedTimer one;
                one.start();
                const QDBusMessage reply = bus.call(m, QDBus::Block, 10000);
                longestMs = std::max<qint64>(longestMs, one.elapsed());
                ++calls;
                if (reply.type() == QDBusMessage::ErrorMessage &&
                    reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Failed") &&
                    reply.errorMessage().contains(QStringLiteral("журнал"), Qt::CaseInsensitive))
                    ++failedCleanly;
                QThread::msleep(20);
            }
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("log-client"));
    }

private:
    QString address_, object_;
    int ms_;
};

double mean(const std::vector<int>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

} // namespace

// The debug log at a FIFO, or locked by another program: every call that logs fails with the
// log's message, and the station polls the stand on at its full rate all the while.
TEST(AutomationE2E, ALogThatCannotBeWrittenNeverStopsThePolling) {
    PrivateBus bus;
    ASSERT_TRUE(bus.ok());
    SimProcess sim({"--baud", "115200"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString locked = dir.filePath(QStringLiteral("locked.txt"));
    writeFile(locked, "");
    StationOnBus station(bus, "log-e2e", sim.slavePath, "[Reg_1]\nName=Brake1\nPage=20\nAddress=5\n",
                         QStringLiteral("[Program]\nDebugOLE=1\nOleLogFile=%1\n").arg(fifo));
    ASSERT_TRUE(station.start());
    TfrMain* w = station.w.get();
    KalvexService& service = *station.service;
    const QString obj = service.Create().path();

    // A reader that keeps the FIFO open, so that opening it for writing would succeed (and
    // writing would block once its buffer is full) were it not refused.
    // The shell opens it in the child: an open for reading waits there for a writer.
    QProcess reader;
    reader.start(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("exec sleep 60 <\"$0\""), fifo});
    // The station's routine replies of each statistics second while run runs.
    auto ratesWhile = [&](const std::function<void()>& run) {
        std::vector<int> rates;
        const QMetaObject::Connection sample =
            QObject::connect(&w->link.tmFPS, &QTimer::timeout, [&] { rates.push_back(w->link.FPS); });
        run();
        QObject::disconnect(sample);
        return rates;
    };
    // The rate this machine gives the station without calls, for comparison.
    std::vector<int> quietRates = ratesWhile([] { QTest::qWait(4500); });
    ASSERT_GE(quietRates.size(), 4u);
    quietRates.erase(quietRates.begin()); // partly from before
    const double quiet = mean(quietRates);

    std::unique_ptr<LockHolder> holder;
    for (const QString& log : {fifo, locked}) {
        SCOPED_TRACE(log.toStdString());
        w->settings.OleLogFile = log;
        if (log == locked) {
            holder = std::make_unique<LockHolder>(LockHolder::flock(locked));
            ASSERT_TRUE(holder->held());
        }
        // Whole statistics seconds while the client calls without a pause.
        LoggingClient client(bus.address, obj, 5500);
        std::vector<int> rates = ratesWhile([&] {
            QEventLoop loop;
            QObject::connect(&client, &QThread::finished, &loop, &QEventLoop::quit);
            client.start();
            loop.exec();
        });
        ASSERT_GE(rates.size(), 5u);
        rates.erase(rates.begin()); // partly from before the calls
        // At least 24 routine replies a second over the calls (25 with nothing in the way), or
        // what this machine managed without calls when its other work takes more; never a
        // second in which the polling stalled.
        const double during = mean(rates);
        std::fprintf(stderr, "routine replies a second: %.2f without calls, %.2f during calls (lowest second %d)\n",
                     quiet, during, *std::min_element(rates.begin(), rates.end()));
        EXPECT_GE(during, std::min(24.0, quiet - 0.5)) << "routine replies a second during the calls";
        EXPECT_GE(*std::min_element(rates.begin(), rates.end()), 12) << "polling stalled during a call";
        EXPECT_GT(client.calls, 3);
        EXPECT_EQ(client.failedCleanly, client.calls);
        EXPECT_LT(client.longestMs, 1000);
        EXPECT_FALSE(w->link.fRequest);
    }
    reader.kill();
    reader.waitForFinished();
}
