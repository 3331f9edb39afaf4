// Figures of the test database on a real SQLite file, or with MIRVANE_TEST_PG_INFO naming a
// PostgreSQL server (tests/support/pg_server.sh start INFO --durable) on a fresh database
// there: the median time to store one finished
// 9-axle test (test row and axles in one transaction, committed to disk), and the median time
// to list one day out of 100 000 stored tests (the list reopened and the axle query following
// its current test). The file lives in a temporary directory under $MIRVANE_BENCH_DIR, else
// under the system's temporary directory; it should be on the disk a station would use.

#include "BenchTests.h"
#include "PgTestServer.h"
#include "TdmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int StoredTests = 100000;
constexpr int TestsPerDay = 50;
const QDate FirstDay(2020, 1, 1);

// One database for all benchmarks: 100 000 tests of three axles, 50 a day.
class Station {
public:
    Station()
        : dir_(QDir(qEnvironmentVariable("MIRVANE_BENCH_DIR", QDir::tempPath()))
                   .filePath("mirvane-db-XXXXXX")) {
        config_ = DatabaseConfig::sqlite(dir_.filePath(QStringLiteral("Mirvane.db")));
        QString error;
        if (qEnvironmentVariableIsSet("MIRVANE_TEST_PG_INFO")) {
            const std::optional<DatabaseConfig> pg = PgTestServer::freshDatabase(&error);
            if (!pg)
                qFatal("no PostgreSQL database: %s", qPrintable(error));
            config_ = *pg;
        }
        if (!TdmMain::createDatabase(config_, &error) || !dm.DatabaseConnect(config_))
            qFatal("cannot create %s: %s", qPrintable(config_.describe()), qPrintable(error));
        std::fprintf(stderr, "filling %s with %d tests...\n", qPrintable(config_.describe()), StoredTests);
        QSqlDatabase db = dm.database();
        db.transaction();
        for (int i = 0; i < StoredTests; ++i) {
            const QDateTime time(FirstDay.addDays(i / TestsPerDay),
                                 QTime(8, 0).addSecs(60 * 10 * (i % TestsPerDay)));
            const TestRecord t = finishedTest(i + 1, time, 3);
            const int id = dm.TableTestsAdd(t.header, t.testTime, t.totals, t.KalvexType, t.KalvexSerial,
                                            t.BrakeWorkEfficiency, t.BrakeStopEfficiency);
            for (const AxleRecord& a : t.axles)
                dm.TableAxlesAdd(id, a.AxleNumber, a.measured, a.derived);
        }
        if (!db.commit())
            qFatal("cannot fill the database");
    }

    TdmMain dm;
    int nextOrder = StoredTests + 1;
    QDateTime nextTime{QDate(2030, 1, 1), QTime(0, 0)};
    ~Station() {
        if (config_.engine == DatabaseConfig::Engine::PostgreSQL)
            PgTestServer::dropDatabase(config_);
    }

private:
    QTemporaryDir dir_;
    DatabaseConfig config_;
};

Station& station() {
    static Station s;
    return s;
}

void StoreNineAxleTest(benchmark::State& state) {
    Station& s = station();
    for (auto _ : state) {
        state.PauseTiming();
        const TestRecord t = finishedTest(s.nextOrder++, s.nextTime, 9);
        s.nextTime = s.nextTime.addSecs(60);
        state.ResumeTiming();
        if (s.dm.TableTestsStore(t) != TdmMain::StoreResult::Stored)
            state.SkipWithError(qPrintable(s.dm.lastError()));
    }
}

void ListOneDayOf100000(benchmark::State& state) {
    Station& s = station();
    const QDateTime day(FirstDay.addDays(StoredTests / TestsPerDay / 2), QTime(12, 0));
    for (auto _ : state) {
        s.dm.TableTestsSelect(day, day);
        benchmark::DoNotOptimize(s.dm.qrAxles.rowCount());
    }
    if (s.dm.qrTests.rowCount() != TestsPerDay || s.dm.qrAxles.rowCount() != 3)
        state.SkipWithError("the day's list is not what was stored");
    state.counters["tests_listed"] = s.dm.qrTests.rowCount();
}

// Each repetition is one store or one listing, so the median is that of single operations.
BENCHMARK(StoreNineAxleTest)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(101)
    ->ReportAggregatesOnly(true);
BENCHMARK(ListOneDayOf100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(101)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    station(); // filled before anything is timed
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
