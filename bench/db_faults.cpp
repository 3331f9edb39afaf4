// The station through database faults, against the simulated stand at 115200 baud (a test
// about every 3.5 s): the replies per second the stand put on the line while the fault lasted
// (50 is the line's normal), the time from the database's return to an empty outbox, and the
// tests lost (the stand served them, the database does not hold each exactly once).
//
//   db_faults [FAULT...]    none pg-stall pg-restart sqlite-reader sqlite-readonly disk-full (all)
//
//   none             no fault: 10 s of the same run, for comparison
//   pg-stall         the PostgreSQL server's processes stopped with SIGSTOP for 20 s
//   pg-restart       the server shut down (fast), started again 8 s later
//   sqlite-reader    the sqlite3 shell holding a read transaction for 5 s
//   sqlite-readonly  the database file read-only (bound read-only over itself) for 10 s
//   disk-full        the station's disk (a tmpfs of its own) full for 10 s
// The read-only file and the full disk need root (mount); they are skipped, saying so, without.

#include "PgTestServer.h"
#include "StationRig.h"
#include "TestMount.h"

#include <QApplication>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>

namespace {

struct Fault {
    const char* name;
    double seconds;
    // Prepares the database and returns its settings; nothing (with why) when it cannot run here.
    std::function<std::optional<DatabaseConfig>(const QString& dir, QString* why)> database;
    std::function<bool()> begin; // the fault begins (before the station starts: beforeStart)
    std::function<bool()> end;
    bool beforeStart = false;
};

void measure(Fault& f) {
    QTemporaryDir tmp;
    QString why;
    const std::optional<DatabaseConfig> db = f.database(tmp.path(), &why);
    if (!db) {
        std::printf("%-16s skipped: %s\n", f.name, qPrintable(why));
        return;
    }
    StationRig rig;
    if (f.beforeStart && !f.begin()) {
        std::printf("%-16s skipped: the fault could not be made\n", f.name);
        return;
    }
    if (!rig.start(db->engine == DatabaseConfig::Engine::SQLite ? QFileInfo(db->file).absolutePath() : tmp.path(),
                   *db)) {
        std::printf("%-16s FAILED: the station never heard the stand\n", f.name);
        return;
    }
    qint64 began = rig.now();
    if (!f.beforeStart) {
        // A test stored the ordinary way first.
        if (!QTest::qWaitFor([&] { return !rig.stored.empty(); }, 20000)) {
            std::printf("%-16s FAILED: no test was stored before the fault\n", f.name);
            return;
        }
        QTest::qWait(1500);
        began = rig.now();
        if (!f.begin()) {
            std::printf("%-16s skipped: the fault could not be made\n", f.name);
            return;
        }
    }
    QTest::qWait(int(f.seconds * 1000 - (rig.now() - began)));
    const qint64 ended = rig.now();
    const int waitingAtReturn = rig.w->storage.status().waiting;
    const size_t servedInFault = rig.served().size();
    f.end();
    const std::vector<int> rates = rig.rates(began, ended);
    const bool emptied = rig.waitStored(60000);
    const qint64 emptyAfter = rig.now() - ended;
    const QStringList problems = rig.check();
    const double mean = rates.empty() ? 0 : std::accumulate(rates.begin(), rates.end(), 0.0) / double(rates.size());
    std::printf("%-16s %4.0f s: replies/s mean %5.1f, lowest second %2d; waiting at the return %d, "
                "outbox empty %s %5.0f ms after it; served %zu, lost %lld\n",
                f.name, f.seconds, mean, rates.empty() ? 0 : *std::min_element(rates.begin(), rates.end()),
                waitingAtReturn, emptied ? "" : "NOT", double(emptyAfter), servedInFault,
                static_cast<long long>(problems.size()));
    for (const QString& p : problems)
        std::printf("    %s\n", qPrintable(p));
    std::fflush(stdout);
}

std::optional<DatabaseConfig> sqliteIn(const QString& dir, QString* why) {
    const DatabaseConfig c = DatabaseConfig::sqlite(QDir(dir).filePath(QStringLiteral("Mirvane.db")));
    if (!TdmMain::createDatabase(c, why))
        return std::nullopt;
    return c;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList wanted;
    for (int i = 1; i < argc; ++i)
        wanted << QString::fromLocal8Bit(argv[i]);

    std::unique_ptr<PgTestServer::PrivateServer> pg;
    auto postgres = [&](const QString&, QString* why) -> std::optional<DatabaseConfig> {
        pg = std::make_unique<PgTestServer::PrivateServer>();
        if (!pg->database) {
            *why = pg->why;
            return std::nullopt;
        }
        if (!TdmMain::createDatabase(*pg->database, why))
            return std::nullopt;
        return pg->database;
    };
    QString sqliteFile;
    auto sqlite = [&](const QString& dir, QString* why) {
        const std::optional<DatabaseConfig> c = sqliteIn(dir, why);
        if (c)
            sqliteFile = c->file;
        return c;
    };
    std::unique_ptr<QProcess> reader;
    std::unique_ptr<TestMount> mount;
    QString filler;

    std::vector<Fault> faults = {
        {"none", 10, sqlite, [] { return true; }, [] { return true; }},
        {"pg-stall", 20, postgres, [&] { return pg->run("stall"); }, [&] { return pg->run("resume"); }},
        {"pg-restart", 8, postgres, [&] { return pg->run("down"); }, [&] { return pg->run("up"); }},
        {"sqlite-reader", 5, sqlite,
         [&] {
             reader = std::make_unique<QProcess>();
             reader->start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), sqliteFile});
             reader->write("BEGIN;\nSELECT 'reading', count(*) FROM Tests;\n.shell sleep 5\nCOMMIT;\n");
             reader->closeWriteChannel();
             return QTest::qWaitFor([&] { return reader->readAllStandardOutput().contains("reading"); }, 5000);
         },
         [&] {
             reader->waitForFinished(10000);
             return true;
         }},
        {"sqlite-readonly", 10, sqlite,
         [&] {
             mount = TestMount::readOnly(sqliteFile);
             return mount->unavailable.isEmpty();
         },
         [&] {
             mount.reset();
             return true;
         },
         true},
        {"disk-full", 10,
         [&](const QString& dir, QString* why) -> std::optional<DatabaseConfig> {
             const QString disk = QDir(dir).filePath(QStringLiteral("disk"));
             QDir().mkpath(disk);
             mount = TestMount::tmpfs(disk, QStringLiteral("16m"));
             if (!mount->unavailable.isEmpty()) {
                 *why = mount->unavailable;
                 return std::nullopt;
             }
             filler = QDir(disk).filePath(QStringLiteral("filler"));
             return sqliteIn(disk, why);
         },
         [&] {
             QFile f(filler);
             if (!f.open(QIODevice::WriteOnly))
                 return false;
             const QByteArray block(64 * 1024, 'x');
             while (f.write(block) == block.size() && f.flush()) {
             }
             return true;
         },
         [&] { return QFile::remove(filler); }},
    };
    for (Fault& f : faults) {
        if (!wanted.isEmpty() && !wanted.contains(QString::fromLatin1(f.name)))
            continue;
        measure(f);
        pg.reset();
        mount.reset();
        reader.reset();
    }
    return 0;
}
