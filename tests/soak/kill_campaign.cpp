// The kill campaign: the station program (mirvane) killed with SIGKILL at random moments,
// again and again, while the simulated stand finishes test after test; started again at
// once each time. Afterwards the database must hold every test that reached the outbox
// exactly once, word for word, with no partial test and an intact file. A test the stand
// served but the station never took over is counted and explained, and the tests that the
// stand's kept results saved (fetched again by the restarted station) are counted.
//
//   mirvane_kill_campaign [KILLS [WORKDIR [SEED]]]
//
// 50 kills by default; WORKDIR (default /tmp/mirvane-kill-campaign) keeps the station, its
// database, the stand's log and the station's error output. Prints its figures and exits 1
// when a check fails.
//
// Every other kill is aimed at a fetch: it comes 0 to 60 ms after the stand answered a read
// of a finished test's header, so that it lands in the fetch, in the hand-over or just after
// it (a kill at a random moment hits those few milliseconds only by chance).
//
// Which tests reached the outbox is watched from outside with inotify: a test's file appears
// there by a rename once it is written and synced, and its name carries the order number.

#include "StandModel.h"
#include "StationFiles.h"
#include "TdmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QSqlDatabase>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr int Axles = 3;
constexpr int32_t FirstOrder = 20260001;

QElapsedTimer sinceStart;
double seconds() {
    return sinceStart.nsecsElapsed() / 1e9;
}

// One start of the station and how it ended.
struct Run {
    double startedAt = 0;
    double killedAt = -1;
};

// A finished test as the stand and the outbox saw it.
struct StandTest {
    double servedAt = -1;         // its last block read
    std::vector<int> headerReads; // the runs that read its header
    int reachedInRun = -1;        // the run whose outbox file it became (first time)
    double nextStartAt = -1;      // the stand began the next test
};

int runAt(const std::vector<Run>& runs, double t) {
    for (int i = int(runs.size()) - 1; i >= 0; --i)
        if (runs[size_t(i)].startedAt <= t)
            return i;
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // no window here: the station is a program of its own
    sinceStart.start();
    const int kills = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    const QString work =
        QDir(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/mirvane-kill-campaign")).absolutePath();
    const uint64_t seed = argc > 3 ? QByteArray(argv[3]).toULongLong() : 1;
    QDir(work).removeRecursively();
    const QDir dir(work);
    const QString outbox = dir.filePath(QStringLiteral("Outbox"));
    QDir().mkpath(outbox);
    const QString db = dir.filePath(QStringLiteral("Mirvane.db"));
    std::printf("kill campaign: %d kills, seed %llu, station directory %s\n", kills,
                static_cast<unsigned long long>(seed), qPrintable(work));
    std::fflush(stdout);

    // The stand: a test of 1.5 s, the remote's start 1.5 s after its results were read.
    std::map<int, StandTest> tests;
    std::vector<Run> runs;
    int lastFinished = 0;
    // An aimed kill: armed from this time on, fired by the next read of a header.
    double aimFrom = -1;
    std::function<void()> aimedKill;
    QFile standLog(dir.filePath(QStringLiteral("stand-sim.log")));
    standLog.open(QIODevice::WriteOnly | QIODevice::Text);
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] {
        while (sim.canReadLine()) {
            const double t = seconds();
            const QString l = QString::fromUtf8(sim.readLine()).trimmed();
            standLog.write(QStringLiteral("%1 %2\n").arg(t, 0, 'f', 3).arg(l).toUtf8());
            const QStringList w = l.split(QLatin1Char(' '));
            if (w.size() >= 4 && w[0] == QLatin1String("state") && w[1] == QLatin1String("2")) {
                tests[lastFinished].nextStartAt = t;
            } else if (w.size() >= 4 && w[0] == QLatin1String("state") && w[1] == QLatin1String("5")) {
                lastFinished = w[3].toInt();
            } else if (l == QLatin1String("read header")) {
                tests[lastFinished].headerReads.push_back(runAt(runs, t));
                if (aimFrom >= 0 && t >= aimFrom) {
                    aimFrom = -1;
                    aimedKill();
                }
            } else if (w.size() == 3 && w[0] == QLatin1String("served")) {
                tests[w[2].toInt()].servedAt = t;
            }
        }
    });
    const QString link = dir.filePath(QStringLiteral("stand.tty"));
    const QString remote = dir.filePath(QStringLiteral("remote.tty"));
    sim.start(QStringLiteral(MIRVANE_BINARY_DIR "/sim/mirvane-stand-sim"),
              {"--baud", "115200", "--pieces", "--seed", QString::number(seed), "--axles", QString::number(Axles),
               "--test-time", "1.5", "--remote-start", "1.5", "--first-order", QString::number(FirstOrder), "--link",
               link, "--remote-link", remote});
    if (!QTest::qWaitFor([&] { return QFile::exists(link) && QFile::exists(remote); }, 5000)) {
        std::printf("kill campaign: FAIL the simulated stand did not start\n");
        return 1;
    }

    // The test time from the PC clock, so that a test read again after a restart gets a later
    // one: the duplicate rule alone would not see it as the same test.
    layOutStation(work, link, remote, QStringLiteral("PCDateTime=1\n"));
    QString error;
    if (!TdmMain::createDatabase(db, &error)) {
        std::printf("kill campaign: FAIL cannot create the database: %s\n", qPrintable(error));
        return 1;
    }

    // The outbox, watched: a test's file arrives by a rename, named "<sequence>-<order>.test".
    std::map<int32_t, int> reachedInRun; // order number -> run
    const int ino = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (ino < 0 || inotify_add_watch(ino, QFile::encodeName(outbox).constData(), IN_MOVED_TO | IN_CREATE) < 0) {
        std::printf("kill campaign: FAIL cannot watch %s\n", qPrintable(outbox));
        return 1;
    }
    const QRegularExpression testFile(QStringLiteral("^\\d+-(-?\\d+)\\.test$"));
    QSocketNotifier watch(ino, QSocketNotifier::Read);
    QObject::connect(&watch, &QSocketNotifier::activated, [&] {
        alignas(inotify_event) char buf[8192];
        for (;;) {
            const ssize_t n = ::read(ino, buf, sizeof buf);
            if (n <= 0)
                break;
            for (char* p = buf; p < buf + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                const QRegularExpressionMatch m =
                    e->len ? testFile.match(QString::fromLocal8Bit(e->name)) : QRegularExpressionMatch();
                if (m.hasMatch() && !reachedInRun.count(m.captured(1).toInt()))
                    reachedInRun[m.captured(1).toInt()] = int(runs.size()) - 1;
                p += sizeof(inotify_event) + e->len;
            }
        }
    });

    // The station, started and killed.
    QFile stationLog(dir.filePath(QStringLiteral("station.log")));
    stationLog.open(QIODevice::WriteOnly | QIODevice::Text);
    QProcess station;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("MIRVANE_STATION_DIR"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    station.setProcessEnvironment(env);
    station.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&station, &QProcess::readyRead, [&] { stationLog.write(station.readAll()); });
    auto startStation = [&] {
        runs.push_back({seconds(), -1});
        stationLog.write(QStringLiteral("== run %1 at %2 s\n").arg(runs.size() - 1).arg(seconds(), 0, 'f', 3).toUtf8());
        station.start(QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane"), {QStringLiteral("--station-dir"), work});
        return station.waitForStarted(10000);
    };
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<int> uptime(300, 6000), aim(0, 60);
    int aimed = 0;
    auto kill = [&] {
        if (station.state() == QProcess::NotRunning || runs.back().killedAt >= 0)
            return;
        station.kill(); // SIGKILL
        runs.back().killedAt = seconds();
    };
    aimedKill = [&] { QTimer::singleShot(aim(random), Qt::PreciseTimer, kill); };
    for (int k = 0; k < kills; ++k) {
        if (!startStation()) {
            std::printf("kill campaign: FAIL the station did not start\n");
            return 1;
        }
        if (k % 2 == 1) {
            aimFrom = seconds() + 0.3;
            aimed += QTest::qWaitFor([&] { return runs.back().killedAt >= 0; }, 15000);
            aimFrom = -1;
        } else {
            QTest::qWait(uptime(random));
        }
        kill();
        station.waitForFinished(5000);
        if ((k + 1) % 10 == 0) {
            std::printf("kill campaign: %d kills, %.0f s, %d tests finished\n", k + 1, seconds(), lastFinished);
            std::fflush(stdout);
        }
    }
    // A last run that is left to store everything: the stand's current test served and handed
    // over, the outbox empty.
    startStation();
    const bool settled = QTest::qWaitFor(
        [&] {
            const auto& t = tests[lastFinished];
            return t.servedAt >= 0 && seconds() - t.servedAt > 1.0 &&
                   QDir(outbox).entryList({QStringLiteral("*.test")}, QDir::Files).isEmpty();
        },
        60000);
    QCoreApplication::processEvents();
    station.kill();
    station.waitForFinished(5000);
    sim.terminate();
    sim.waitForFinished(3000);
    QCoreApplication::processEvents();

    // What the database holds.
    bool ok = settled;
    if (!settled)
        std::printf("kill campaign: the last run did not settle within 60 s\n");
    auto check = [&](bool pass, const QString& what) {
        std::printf("kill campaign: %s %s\n", pass ? "ok  " : "FAIL", qPrintable(what));
        ok &= pass;
    };
    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("campaign"));
    c.setDatabaseName(db);
    if (!c.open()) {
        std::printf("kill campaign: FAIL cannot open %s\n", qPrintable(db));
        return 1;
    }
    QStringList failedQueries;
    const auto integrity = queryRows(c, QStringLiteral("PRAGMA integrity_check"), &failedQueries);
    const QString integrityText = integrity.empty() ? QStringLiteral("(nothing)") : integrity[0][0].toString();
    StoredTests stored = readStoredTests(c, QString(), &failedQueries);
    auto& byOrder = stored.byOrder;

    int served = 0, reached = 0, storedOnce = 0, twice = 0, differing = 0;
    int lostInHandOver = 0, lostOther = 0, savedByKept = 0, readAgain = 0;
    for (auto& [k, t] : tests) {
        if (k < 1 || t.servedAt < 0)
            continue;
        ++served;
        const StandSim::FinishedTest want = StandSim::finishedTest(seed, k, Axles, FirstOrder);
        const auto reachedIt = reachedInRun.find(want.orderNumber);
        const bool inOutbox = reachedIt != reachedInRun.end();
        reached += inOutbox;
        std::set<int> readers(t.headerReads.begin(), t.headerReads.end());
        readAgain += readers.size() > 1;
        const auto& found = byOrder[want.orderNumber];
        if (found.empty()) {
            // Served, never taken over: where was the station when the stand served it?
            const int r = runAt(runs, t.servedAt);
            const double killedAfter = r >= 0 && runs[size_t(r)].killedAt >= 0 ? runs[size_t(r)].killedAt - t.servedAt : -1;
            const bool fetchedAgain = std::count_if(t.headerReads.begin(), t.headerReads.end(), [&](int x) { return x > r; });
            if (killedAfter > -0.5 && killedAfter < 0.5) {
                ++lostInHandOver;
                std::printf("kill campaign: test %d (order %d) lost: the station was killed %.0f ms %s; %s\n", k,
                            want.orderNumber, std::abs(killedAfter) * 1000,
                            killedAfter >= 0 ? "after the stand served its last block, inside the hand-over before "
                                               "its outbox file was durable"
                                             : "before the stand's answer to its last read came in",
                            fetchedAgain ? "a restarted station read it again but was killed before it finished"
                                         : "the stand began the next test before a restarted station fetched it "
                                           "again");
            } else {
                ++lostOther;
                std::printf("kill campaign: test %d (order %d) lost, served at %.1f s in run %d, %s\n", k,
                            want.orderNumber, t.servedAt, r,
                            inOutbox ? "after it reached the outbox" : "never in the outbox");
            }
            continue;
        }
        if (found.size() > 1) {
            ++twice;
            std::printf("kill campaign: test %d (order %d) stored %zu times\n", k, want.orderNumber, found.size());
        }
        ++storedOnce;
        // Saved by the stand's kept results: the run that first read it died before the test
        // was in the outbox, and a later run read it again.
        if (inOutbox && !t.headerReads.empty() && reachedIt->second > t.headerReads.front())
            ++savedByKept;
        differing += !stored.axlesMatch(found.front(), want);
    }
    const int partial = stored.partial();
    int notServed = 0;
    for (const auto& [order, list] : byOrder) {
        const int k = order - FirstOrder + 1;
        notServed += !tests.count(k) || tests[k].servedAt < 0;
    }

    std::printf("kill campaign: %zu station runs, %d kills (%d aimed at a fetch) in %.0f s; the stand served %d "
                "tests\n",
                runs.size(), kills, aimed, seconds(), served);
    std::printf("kill campaign: reached the outbox %d; stored %d (exactly once %d, more than once %d); differing %d; "
                "partial %d; stored but never served %d\n",
                reached, storedOnce, storedOnce - twice, twice, differing, partial, notServed);
    std::printf("kill campaign: lost %d (inside the hand-over %d, otherwise %d); read again by a restarted station %d, "
                "of which saved by the stand's kept results %d\n",
                lostInHandOver + lostOther, lostInHandOver, lostOther, readAgain, savedByKept);
    int reachedStored = 0;
    for (const auto& [order, run] : reachedInRun)
        reachedStored += byOrder[order].size() == 1;
    for (const QString& f : failedQueries)
        std::printf("kill campaign: query failed: %s\n", qPrintable(f));
    check(failedQueries.isEmpty() && integrityText == QLatin1String("ok"),
          QStringLiteral("PRAGMA integrity_check: %1").arg(integrityText));
    check(reachedStored == int(reachedInRun.size()),
          QStringLiteral("every test that reached the outbox stored exactly once (%1 of %2)")
              .arg(reachedStored)
              .arg(reachedInRun.size()));
    check(twice == 0 && differing == 0 && notServed == 0,
          QStringLiteral("no test stored twice or differing from what the stand served"));
    check(partial == 0, QStringLiteral("no partial test (%1)").arg(partial));
    check(lostOther == 0, QStringLiteral("no test lost but inside a hand-over (%1)").arg(lostOther));
    std::printf("kill campaign: %s\n", ok ? "PASS" : "FAIL");
    c.close();
    return ok ? 0 : 1;
}
