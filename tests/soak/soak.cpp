// The fault soak: the whole station, in this process on the real serial ports, against the
// simulated stand for many minutes, with a faulty line (corrupted, cut and split replies, and
// replies with a wrong byte count or from a foreign slave address, whose CRC is right), a
// silent stand and an unplugged port coming back again and again, and a test finished about
// every 20 s from the stand's remote. Watches and checks:
//   - the station is alive: still polling at the end, its event loop never stuck;
//   - polling resumed within the 1 s time-out and a poll tick after every recovery (silence
//     ended, port back);
//   - every finished test stored exactly once, its Tests and Axles rows word for word what the
//     stand served; no partial test (a test row without all its axles, or axles without one);
//   - resident memory at the end within 10% of the value after the first minute;
//   - the database disturbed once a minute (see DatabaseFaults below): polling at 24 turns a
//     second or more through every such fault, the waiting tests stored after it.
// Prints the figures and exits 1 when a check fails.
//
// MIRVANE_SOAK_DATABASE=postgres runs the station on a PostgreSQL server of the soak's own
// instead of its SQLite file.
//
//   mirvane_soak [MINUTES [WORKDIR [SEED [FAULT_RATE]]]]
//
// 10 minutes by default, 2 at least (memory is compared with the first minute's); WORKDIR keeps
// the database, the protocol files and the stand's log; the fault rate is 0.05 by default.
//
// The station runs in this process rather than as the mirvane program so that the link's own
// view can be watched: the moment each reply arrives, the fetch attempts and the hand-overs.
// Start-up, the command line and D-Bus are what the acceptance test and the demo cover.

#include "PgTestServer.h"
#include "QtSerialPort.h"
#include "StandModel.h"
#include "StationFiles.h"
#include "TdmMain.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

// The stand and its line. A test about every 20 s: 15 s measuring, and the remote's start 5 s
// after the test was served (time for a fetch the line broke to be made again), pressed again
// every 5 s while the stand stays ready (a start is lost when it comes
// while the station waits out a lost reply). Silences and unplugs a minute apart, half a minute
// from each other.
constexpr int Baud = 115200; // what layOutStation gives the station
constexpr int Axles = 3;
constexpr double TestSeconds = 15, RemoteStart = 5;
constexpr double SilentAfter = 25, SilentFor = 5, SilentEvery = 60;
constexpr double UnplugAfter = 55, UnplugFor = 3, UnplugEvery = 60;
constexpr int32_t FirstOrder = 20260001;
// The station notices a stand that speaks again, or reopens a port that came back, at its next
// time-out (1 s, as the poll cycle has it); the request goes out at the poll tick after that
// (20 ms). 10 ms more for the timers' own slack.
constexpr qint64 ResumeLimitMs = 1000 + 20 + 10;

QElapsedTimer sinceStart;
double seconds() {
    return sinceStart.nsecsElapsed() / 1e9;
}

// The station's real serial port, telling when a request went out on the line.
class WatchedPort final : public SerialPort {
public:
    explicit WatchedPort(int bufferSize) : port_(bufferSize) {
        port_.setArrivalHandler([this](int n) { arrived(n); });
    }
    static inline std::function<void()> onRequest;

    void setPort(quint16 number, const QString& deviceName) override { port_.setPort(number, deviceName); }
    void setBaud(qint32 baud) override { port_.setBaud(baud); }
    bool open() override { return port_.open(); }
    void close() override { port_.close(); }
    bool isOpen() const override { return port_.isOpen(); }
    int write(const uint8_t* data, int n) override {
        const int taken = port_.write(data, n);
        if (taken > 0 && onRequest)
            onRequest();
        return taken;
    }
    int read(uint8_t* data, int n) override { return port_.read(data, n); }
    bool readByte(uint8_t& byte) override { return port_.readByte(byte); }
    void clearInput() override { port_.clearInput(); }
    void clearOutput() override { port_.clearOutput(); }
    int bytesAvailable() const override { return port_.bytesAvailable(); }
    void setChooser(std::function<QString()> chooser) override { port_.setChooser(std::move(chooser)); }

private:
    QtSerialPort port_;
};

long residentKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

int32_t joined(uint16_t low, uint16_t high) {
    return int32_t(uint32_t(high) << 16 | low);
}

// A finished test as the stand told it: when it was finished, read (served) and how many
// times its header was read, and whether the station handed it over.
struct StandTest {
    double finishedAt = -1;
    double servedAt = -1;
    int headerReads = 0;
    int handOvers = 0;
    bool lastReplyBroken = false; // the line corrupted or cut the reply to the read that served it
};

// A silence or an unplug and the polling after it.
struct Recovery {
    QString kind;
    double faultAt = 0;
    double backAt = -1;    // the stand speaks again, the port is back
    double requestAt = -1; // the first request the station sent after that
    double replyAt = -1;   // the first reply the station got after the fault
    int lostBefore = 0;    // replies the station had counted lost when the fault ended
    int lostAfter = -1;    // ... and when its first reply came
};

struct Sim {
    QProcess process;
    QFile log;
};

// Database faults. Once a minute, in a period in which the line corrupts and cuts nothing (so
// that what the poll keeps up is the database's doing alone), the station's database is
// disturbed: on SQLite the sqlite3 shell holds a read transaction on the file for 5 s; on
// PostgreSQL (a server of the soak's own) the server's processes are stopped with SIGSTOP for
// 10 s, and the next minute the server is shut down for 5 s and started again. The poll keeps
// at least 24 turns (two requests on the line each) a second through every such fault; the
// tests that waited are stored after it.
class DatabaseFaults {
public:
    // Seconds into each minute of the stand's run: the line is clean from CleanAfter for
    // CleanFor; the fault begins at FaultAfter.
    static constexpr double CleanAfter = 35, CleanFor = 18, FaultAfter = 38, Every = 60;
    static constexpr double MinTurns = 24;

    struct Fault {
        QString kind;
        double at = 0, until = -1; // the fault, until the database is back
        long requestsAt = 0, requestsUntil = 0;
        int waitingAtReturn = 0;
        double emptyAt = -1; // the outbox empty again
        double turns() const { return until > at ? (requestsUntil - requestsAt) / 2.0 / (until - at) : 0; }
    };

    explicit DatabaseFaults(bool postgres) : postgres_(postgres) {}

    // The database the station uses: the station's SQLite file, or a fresh database on a
    // server of the soak's own. Nothing (with why) when there is none.
    std::optional<DatabaseConfig> database(const QString& sqliteFile, QString* why) {
        if (!postgres_)
            return config_ = DatabaseConfig::sqlite(sqliteFile);
        server_ = std::make_unique<PgTestServer::PrivateServer>();
        if (!server_->database) {
            *why = server_->why;
            return std::nullopt;
        }
        return config_ = *server_->database;
    }
    static QStringList simArgs() {
        return {QStringLiteral("--clean-after"), QString::number(CleanAfter), QStringLiteral("--clean-for"),
                QString::number(CleanFor), QStringLiteral("--clean-every"), QString::number(Every)};
    }

    // From the stand's start (in the soak's seconds) on; waiting tells how many tests wait.
    void start(double standStartedAt, std::function<int()> waiting) {
        waiting_ = std::move(waiting);
        next_ = standStartedAt + FaultAfter;
        tick_.setInterval(50);
        QObject::connect(&tick_, &QTimer::timeout, [this] { tick(); });
        tick_.start();
    }
    void countRequest() { ++requests_; }
    // No new fault from here on; a fault under way ends as planned.
    void stopStarting() { next_ = 1e300; }
    bool settled() const { return faults.empty() || (faults.back().until >= 0 && faults.back().emptyAt >= 0); }

    // Prints the figures; true when the poll kept its rate through every fault.
    bool report() const {
        int low = 0;
        std::map<QString, std::vector<const Fault*>> byKind;
        for (const Fault& f : faults)
            byKind[f.kind].push_back(&f);
        for (const auto& [kind, list] : byKind) {
            double least = 1e9, sum = 0, emptyWorst = 0, emptySum = 0;
            int emptied = 0, waited = 0;
            for (const Fault* f : list) {
                least = std::min(least, f->turns());
                sum += f->turns();
                low += f->until >= 0 && f->turns() < MinTurns;
                waited += f->waitingAtReturn;
                if (f->emptyAt >= 0) {
                    ++emptied;
                    emptySum += f->emptyAt - f->until;
                    emptyWorst = std::max(emptyWorst, f->emptyAt - f->until);
                }
            }
            std::printf("soak: database fault %s x%zu: turns/s mean %.1f, lowest %.1f; tests waiting at the "
                        "database's return %d; outbox empty after the return: mean %.0f ms, worst %.0f ms\n",
                        qPrintable(kind), list.size(), sum / double(list.size()), least, waited,
                        emptied ? emptySum / emptied * 1000 : 0.0, emptyWorst * 1000);
        }
        return !faults.empty() && low == 0;
    }

    std::vector<Fault> faults;

private:
    void tick() {
        const double t = seconds();
        if (!faults.empty()) {
            Fault& f = faults.back();
            if (f.until >= 0 && f.emptyAt < 0 && waiting_() == 0)
                f.emptyAt = t;
        }
        if (t >= next_ && (faults.empty() || faults.back().until >= 0)) {
            next_ += Every;
            begin();
        }
    }
    // Runs pg_server.sh on the soak's server without waiting (the station shares this thread).
    void server(const char* command, std::function<void()> then) {
        auto* p = new QProcess;
        QObject::connect(p, &QProcess::finished, [p, then = std::move(then)] {
            p->deleteLater();
            if (then)
                then();
        });
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(QStringLiteral("bash"), {QStringLiteral(MIRVANE_SOURCE_DIR "/tests/support/pg_server.sh"),
                                          QString::fromLatin1(command), server_->infoFile()});
    }
    void begin() {
        Fault f;
        f.at = seconds();
        f.requestsAt = requests_;
        auto back = [this] {
            Fault& g = faults.back();
            g.until = seconds();
            g.requestsUntil = requests_;
            g.waitingAtReturn = waiting_();
        };
        if (!postgres_) {
            f.kind = QStringLiteral("sqlite-reader-5s");
            reader_ = std::make_unique<QProcess>();
            QObject::connect(reader_.get(), &QProcess::finished, back);
            reader_->start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), config_.file});
            reader_->write("BEGIN;\nSELECT count(*) FROM Tests;\n.shell sleep 5\nCOMMIT;\n");
            reader_->closeWriteChannel();
        } else if (stallNext_) {
            f.kind = QStringLiteral("postgres-stall-10s");
            server("stall", [this, back] { QTimer::singleShot(10000, [this, back] { server("resume", back); }); });
        } else {
            f.kind = QStringLiteral("postgres-restart-5s");
            server("down", [this, back] { QTimer::singleShot(5000, [this, back] { server("up", back); }); });
        }
        stallNext_ = !stallNext_;
        faults.push_back(f);
    }

    const bool postgres_;
    DatabaseConfig config_;
    std::unique_ptr<PgTestServer::PrivateServer> server_;
    std::unique_ptr<QProcess> reader_;
    std::function<int()> waiting_;
    QTimer tick_;
    double next_ = 1e300;
    long requests_ = 0;
    bool stallNext_ = true;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    sinceStart.start();
    const double minutes = argc > 1 ? std::max(2.0, QByteArray(argv[1]).toDouble()) : 10.0;
    // Absolute: a port name without a slash in front would be looked for in /dev.
    const QString work = QDir(argc > 2 ? QString::fromLocal8Bit(argv[2])
                                       : QDir::temp().filePath(QStringLiteral("mirvane-soak")))
                             .absolutePath();
    const uint64_t seed = argc > 3 ? QByteArray(argv[3]).toULongLong() : 1;
    const double faultRate = argc > 4 ? std::clamp(QByteArray(argv[4]).toDouble(), 0.0, 1.0) : 0.05;
    const double runFor = minutes * 60;

    QDir(work).removeRecursively();
    QDir().mkpath(work);
    const QDir dir(work);
    const QString link = dir.filePath(QStringLiteral("stand.tty"));
    const QString remote = dir.filePath(QStringLiteral("remote.tty"));
    const QString db = dir.filePath(QStringLiteral("Mirvane.db"));
    DatabaseFaults dbFaults(qEnvironmentVariable("MIRVANE_SOAK_DATABASE") == QLatin1String("postgres"));
    QString dbWhy;
    const std::optional<DatabaseConfig> database = dbFaults.database(db, &dbWhy);
    if (!database) {
        std::printf("soak: FAIL no database: %s\n", qPrintable(dbWhy));
        return 1;
    }

    std::printf(
        "soak: %.1f min; stand at %d baud, %d axles, fault rate %.2f, seed %llu; tests of %.0f s, started "
        "from the remote %.0f s after the last was served; silent %.0f s every %.0f s from %.0f s; unplugged "
        "%.0f s every "
        "%.0f s from %.0f s\n",
        minutes, Baud, Axles, faultRate, static_cast<unsigned long long>(seed), TestSeconds, RemoteStart,
        SilentFor, SilentEvery, SilentAfter, UnplugFor, UnplugEvery, UnplugAfter);
    std::printf("soak: station directory %s\n", qPrintable(work));
    std::fflush(stdout);

    // The stand.
    Sim sim;
    sim.log.setFileName(dir.filePath(QStringLiteral("stand-sim.log")));
    sim.log.open(QIODevice::WriteOnly | QIODevice::Text);
    std::map<int, StandTest> tests;
    std::vector<Recovery> recoveries;
    int lastFinished = 0;
    // Set by the station's replies below; the stand's lines refer to it.
    double lastReplyAt = -1;
    const StandLink* station = nullptr;
    int presses = 0, starts = 0, brokenReplies = 0;
    auto onLine = [&](double t, const QString& l) {
        sim.log.write(QStringLiteral("%1 %2\n").arg(t, 0, 'f', 3).arg(l).toUtf8());
        const QStringList w = l.split(QLatin1Char(' '));
        if (l == QLatin1String("silent") || l == QLatin1String("unplugged")) {
            recoveries.push_back({l, t, -1, -1});
        } else if ((l == QLatin1String("speaking") ||
                    (w[0] == QLatin1String("slave") && !recoveries.empty() &&
                     recoveries.back().kind == QLatin1String("unplugged"))) &&
                   !recoveries.empty() && recoveries.back().backAt < 0) {
            recoveries.back().backAt = t;
            recoveries.back().lostBefore = station ? station->BadPacket : 0;
        } else if (l == QLatin1String("remote 3")) {
            ++presses;
        } else if (l == QLatin1String("command 3")) {
            ++starts;
        } else if (w.size() >= 4 && w[0] == QLatin1String("state") && w[1] == QLatin1String("5")) {
            lastFinished = w[3].toInt();
            tests[lastFinished].finishedAt = t;
        } else if (l == QLatin1String("read header")) {
            ++tests[lastFinished].headerReads;
        } else if (w.size() == 3 && w[0] == QLatin1String("served")) {
            tests[w[2].toInt()].servedAt = t;
        } else if (w.size() == 3 && w[0] == QLatin1String("fault") && w[1] != QLatin1String("split")) {
            // The read of the block after the last axle is the one that serves the test.
            if (w[2].toInt() == (Axles + 1) * 100)
                tests[lastFinished].lastReplyBroken = true;
            ++brokenReplies;
        }
    };
    QObject::connect(&sim.process, &QProcess::readyReadStandardOutput, [&] {
        while (sim.process.canReadLine()) {
            const QString l = QString::fromUtf8(sim.process.readLine()).trimmed();
            onLine(seconds(), l);
        }
    });
    sim.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    auto num = [](double v) { return QString::number(v); };
    QStringList args;
    args << "--baud" << num(Baud) << "--pieces"
         << "--seed" << QString::number(seed);
    args << "--axles" << num(Axles) << "--test-time" << num(TestSeconds);
    args << "--remote-start" << num(RemoteStart) << "--fault-rate" << num(faultRate);
    args << "--fault-kinds" << "corrupt,cut,split,count,address";
    args << "--silent-after" << num(SilentAfter) << "--silent-for" << num(SilentFor);
    args << "--silent-every" << num(SilentEvery);
    args << "--unplug-after" << num(UnplugAfter) << "--unplug-for" << num(UnplugFor);
    args << "--unplug-every" << num(UnplugEvery);
    args << "--first-order" << QString::number(FirstOrder);
    args << "--link" << link << "--remote-link" << remote;
    args << DatabaseFaults::simArgs();
    const double standStartedAt = seconds();
    sim.process.start(QStringLiteral(MIRVANE_BINARY_DIR "/sim/mirvane-stand-sim"), args);
    if (!QTest::qWaitFor([&] { return QFile::exists(link) && QFile::exists(remote); }, 5000)) {
        std::printf("soak: FAIL the simulated stand did not start\n");
        return 1;
    }

    // The station: settings with the database, the protocol file and the remote on.
    layOutStation(work, link, remote, programSettings(*database));
    QString error;
    if (!TdmMain::createDatabase(*database, &error)) {
        std::printf("soak: FAIL cannot create the database: %s\n", qPrintable(error));
        return 1;
    }
    serialPortFactory() = [](int size) { return std::make_unique<WatchedPort>(size); };
    Station st;
    st.dir = work;
    st.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
    RecordingDialogs dialogs;
    SystemClock clock;
    auto w = std::make_unique<TfrMain>(st, dialogs, clock, QStringList());
    w->resize(1280, 1024);
    station = &w->link;

    long replies = 0;
    QObject::connect(&w->link, &StandLink::repaintBoard, [&] {
        const double t = seconds();
        lastReplyAt = t;
        ++replies;
        // The first reply after a fault, once the replies still on the line when it began
        // have had their time.
        if (!recoveries.empty() && recoveries.back().replyAt < 0 && t > recoveries.back().faultAt + 0.2) {
            recoveries.back().replyAt = t;
            recoveries.back().lostAfter = w->link.BadPacket;
        }
    });
    WatchedPort::onRequest = [&] {
        if (!recoveries.empty() && recoveries.back().backAt >= 0 && recoveries.back().requestAt < 0)
            recoveries.back().requestAt = seconds();
        dbFaults.countRequest(); // the poll's turns through the database faults
    };
    std::map<TdmMain::StoreResult, int> stores;
    QObject::connect(w.get(), &TfrMain::testHandedOver, [&](TestHandOver::Taken, const QString&) {
        // The stand still reports the test whose last block this was.
        ++tests[lastFinished].handOvers;
    });
    QObject::connect(w.get(), &TfrMain::testStored, [&](TdmMain::StoreResult r, int) { ++stores[r]; });
    // The event loop's longest stall.
    double lastBeat = seconds(), longestStall = 0;
    QTimer beat;
    beat.setInterval(50);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const double t = seconds();
        longestStall = std::max(longestStall, t - lastBeat - 0.05);
        lastBeat = t;
    });
    beat.start();
    long rssFirstMinute = -1;
    QTimer::singleShot(60000, [&] { rssFirstMinute = residentKiB(); });
    QTimer progress;
    progress.setInterval(60000);
    QObject::connect(&progress, &QTimer::timeout, [&] {
        std::printf("soak: %4.0f s  tests finished %d, handed over %d; replies %ld, lost %u; RSS %ld KiB\n",
                    seconds(), lastFinished, stores[TdmMain::StoreResult::Stored], replies,
                    unsigned(w->link.BadPacket), residentKiB());
        std::fflush(stdout);
    });
    progress.start();

    w->show();
    w->FormShow();
    if (!QTest::qWaitFor([&] { return replies > 0; }, 10000)) {
        std::printf("soak: FAIL the station never heard the stand\n");
        for (const Dialogs::Message& m : dialogs.messages)
            std::printf("soak: message: %s\n", qPrintable(m.text));
        return 1;
    }
    dbFaults.start(standStartedAt, [&] { return w ? w->storage.status().waiting : 0; });

    // The run; then the tests the stand finished in it are given their time to be read.
    QTest::qWait(int(runFor * 1000));
    dbFaults.stopStarting();
    const int finishedInRun = lastFinished;
    const bool settled = QTest::qWaitFor(
        [&] {
            bool open = false;
            for (const auto& [k, t] : tests)
                open |= k <= finishedInRun && (t.servedAt < 0 || t.handOvers == 0);
            const bool faulty = !recoveries.empty() && recoveries.back().replyAt < 0;
            // ... and stored: the database is back and the outbox empty.
            return !open && !faulty && dbFaults.settled() && w->storage.status().waiting == 0;
        },
        45000);
    if (!settled)
        std::printf("soak: the run's last tests or its last fault did not settle within 45 s\n");
    // Alive: replies still coming (a fault that began meanwhile is waited out).
    const bool polling = QTest::qWaitFor([&] { return seconds() - lastReplyAt < 0.2; }, 10000);
    const double ended = seconds();
    const long rssEnd = residentKiB();
    const uint16_t lost = w->link.BadPacket;
    w.reset();
    sim.process.terminate();
    sim.process.waitForFinished(3000);

    // What the database holds.
    bool ok = true;
    auto check = [&](bool pass, const QString& what) {
        std::printf("soak: %s %s\n", pass ? "ok  " : "FAIL", qPrintable(what));
        ok &= pass;
    };
    QSqlDatabase c = addConnection(*database, QStringLiteral("soak"));
    if (!c.open()) {
        std::printf("soak: FAIL cannot open %s\n", qPrintable(database->describe()));
        return 1;
    }
    QStringList failedQueries;
    StoredTests stored = readStoredTests(
        c,
        QStringLiteral(
            "KalvexID, SoftwareVersion, VerificationDate, MeasureUnit, CarType, KalvexType, KalvexSerial"),
        &failedQueries);
    for (const QString& f : failedQueries)
        std::printf("soak: query failed: %s\n", qPrintable(f));
    // Date-times as SQLite keeps them, whatever the engine.
    for (auto& [order, list] : stored.byOrder)
        for (QVariantList& r : list)
            for (QVariant& v : r)
                if (v.metaType() == QMetaType::fromType<QDateTime>())
                    v = v.toDateTime().toString(Qt::ISODateWithMs);
    auto& byOrder = stored.byOrder;

    int checked = 0, exact = 0, duplicates = 0, mismatched = 0;
    int lostAfterServed = 0, lostStuck = 0, lostOther = 0;
    std::map<int, int> attempts;
    for (const auto& [k, t] : tests) {
        if (k > finishedInRun || t.finishedAt < 0)
            continue;
        ++checked;
        ++attempts[t.headerReads];
        const StandSim::FinishedTest served = StandSim::finishedTest(seed, k, Axles, FirstOrder);
        const auto& found = byOrder[served.orderNumber];
        if (found.empty()) {
            // Why it was lost: every fetch the station may make was broken on the line, or the
            // next test began before a broken fetch was made again, or something else.
            const char* why = "no line fault explains it";
            if (t.headerReads >= StandLink::MaxFetchAttempts) {
                ++lostStuck;
                why = "the line broke every fetch the station may make of it";
            } else if (t.servedAt >= 0 && t.lastReplyBroken) {
                ++lostAfterServed;
                why = "the next test began before the fetch the line broke was made again";
            } else {
                ++lostOther;
            }
            std::printf("soak: test %d (order %d, finished at %.1f s, header read %d times) not stored: %s\n",
                        k, served.orderNumber, t.finishedAt, t.headerReads, why);
            continue;
        }
        if (found.size() > 1) {
            ++duplicates;
            std::printf("soak: test %d (order %d) stored %zu times\n", k, served.orderNumber, found.size());
        }
        const QVariantList& r = found.front();
        const uint16_t* h = served.header.data();
        const QVariantList want{h[22],
                                joined(h[0], h[1]),
                                QStringLiteral("3.51"),
                                QStringLiteral("2026-03-15T00:00:00.000"),
                                h[23],
                                h[24],
                                QStringLiteral("Калвекс-3500"),
                                QStringLiteral("00042")};
        bool same = r.mid(2) == want;
        if (!same)
            std::printf("soak: test %d row differs: %s\n", k,
                        qPrintable(QVariant(r.mid(2)).toStringList().join(QLatin1Char(' '))));
        for (const QString& d : stored.axleDifferences(r, served)) {
            same = false;
            std::printf("soak: test %d: %s\n", k, qPrintable(d));
        }
        same ? ++exact : ++mismatched;
    }
    // Partial tests: a test row without as many axle rows as it says, axle rows of no test.
    const int partial = stored.partial();
    int unexpected = 0;
    for (const auto& [order, list] : byOrder)
        if (order < FirstOrder || order >= FirstOrder + finishedInRun)
            unexpected += int(list.size());

    // Recoveries: polling resumed when the station's first request after the fault's end went
    // out; its first reply may take longer when that request's reply is lost on the line too.
    int resumed = 0, late = 0, never = 0;
    std::vector<double> delays, replyDelays;
    for (const Recovery& r : recoveries) {
        if (r.backAt < 0)
            continue;
        if (r.requestAt < 0 || r.replyAt < 0) {
            ++never;
            std::printf("soak: no %s after the %s at %.1f s\n", r.requestAt < 0 ? "request" : "reply",
                        qPrintable(r.kind), r.faultAt);
            continue;
        }
        const double d = std::max(0.0, r.requestAt - r.backAt);
        const double reply = std::max(0.0, r.replyAt - r.backAt);
        delays.push_back(d);
        replyDelays.push_back(reply);
        if (d * 1000 <= ResumeLimitMs)
            ++resumed;
        else
            ++late;
        if (d * 1000 > ResumeLimitMs || reply * 1000 > ResumeLimitMs)
            std::printf("soak: after the %s at %.1f s: first request %.0f ms, first reply %.0f ms after it "
                        "ended, %d replies lost in between\n",
                        qPrintable(r.kind), r.faultAt, d * 1000, reply * 1000, r.lostAfter - r.lostBefore);
    }
    std::sort(delays.begin(), delays.end());
    std::sort(replyDelays.begin(), replyDelays.end());
    auto median = [](const std::vector<double>& v) { return v.empty() ? 0.0 : v[v.size() / 2] * 1000; };
    auto worst = [](const std::vector<double>& v) { return v.empty() ? 0.0 : v.back() * 1000; };
    int silences = 0, unplugs = 0;
    for (const Recovery& r : recoveries)
        (r.kind == QLatin1String("silent") ? silences : unplugs) += r.backAt >= 0;

    std::printf("soak: ran %.1f s; routine and status replies %ld (%.1f/s), lost replies %u (the line broke "
                "%d replies, the rest fell in silences and unplugs), event loop's longest stall %.0f ms, "
                "messages shown %zu\n",
                ended, replies, replies / ended, unsigned(lost), brokenReplies, longestStall * 1000,
                dialogs.messages.size());
    QStringList tries;
    for (const auto& [n, count] : attempts)
        tries << QStringLiteral("%1 read(s) of the header: %2").arg(n).arg(count);
    std::printf(
        "soak: finished tests %d; stored exactly and once %d; lost %d (next test began before a broken "
        "fetch was made again %d, every fetch broken %d, other %d); duplicates %d; differing %d; partial %d; "
        "unexpected rows %d; hand-overs stored %d, duplicate %d, failed %d\n",
        checked, exact, lostAfterServed + lostStuck + lostOther, lostAfterServed, lostStuck, lostOther,
        duplicates, mismatched, partial, unexpected, stores[TdmMain::StoreResult::Stored],
        stores[TdmMain::StoreResult::Duplicate],
        stores[TdmMain::StoreResult::Failed] + stores[TdmMain::StoreResult::NotConnected]);
    std::printf("soak: fetches: %s\n", qPrintable(tries.join(QStringLiteral(", "))));
    std::printf("soak: recoveries %d (silences %d, unplugs %d): first request within %lld ms %d, later %d, "
                "never %d; first request median %.0f ms, worst %.0f ms; first reply median %.0f ms, worst "
                "%.0f ms\n",
                silences + unplugs, silences, unplugs, static_cast<long long>(ResumeLimitMs), resumed, late,
                never, median(delays), worst(delays), median(replyDelays), worst(replyDelays));
    std::printf("soak: the remote's start pressed %d times, reached the stand %d times\n", presses, starts);
    std::printf("soak: resident memory after the first minute %ld KiB, at the end %ld KiB (%+.1f%%)\n",
                rssFirstMinute, rssEnd,
                rssFirstMinute > 0 ? 100.0 * (rssEnd - rssFirstMinute) / rssFirstMinute : 0.0);

    for (const Dialogs::Message& m : dialogs.messages)
        std::printf("soak: message: %s\n", qPrintable(m.text));
    check(polling && longestStall < 1.0,
          QStringLiteral("station alive: polling at the end, longest stall %1 ms")
              .arg(longestStall * 1000, 0, 'f', 0));
    check(late == 0 && never == 0 && silences + unplugs > 0,
          QStringLiteral("polling resumed within %1 ms (the 1 s time-out and a tick) after every recovery "
                         "(%2 of %3)")
              .arg(ResumeLimitMs)
              .arg(resumed)
              .arg(silences + unplugs));
    check(checked > 0 && exact == checked && duplicates == 0 && unexpected == 0,
          QStringLiteral("every finished test stored exactly once and bit-exact (%1 of %2)")
              .arg(exact)
              .arg(checked));
    check(partial == 0, QStringLiteral("no partial tests (%1)").arg(partial));
    check(dbFaults.report(), QStringLiteral("polling at %1 turns a second or more through every database fault (%2)")
                                 .arg(DatabaseFaults::MinTurns)
                                 .arg(dbFaults.faults.size()));
    check(rssFirstMinute > 0 && rssEnd <= rssFirstMinute * 1.10,
          QStringLiteral("resident memory at the end within 10% of the first minute's"));
    std::printf("soak: %s\n", ok ? "PASS" : "FAIL");
    c.close();
    return ok ? 0 : 1;
}
