// Figures of the database page on a real SQLite file holding one year of 50 000 tests: the time
// from applying the year's range to the page showing the list (the list reopened, the grid and
// the record view following its current test, the page painted), and the time from moving the
// grid's current row to the record view showing that test (its axles read, the view refilled
// and painted). The file lives in a temporary directory under $MIRVANE_BENCH_DIR, else under
// the system's temporary directory. Runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include "BenchTests.h"
#include "DatabasePage.h"
#include "Dialogs.h"
#include "RecordView.h"
#include "TdmMain.h"
#include "TestsGrid.h"
#include "TestsGridModel.h"

#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int StoredTests = 50000;
const QDate FirstDay(2025, 1, 1);
const QDate LastDay(2025, 12, 31);

// No message box or dialog is ever asked for here.
class NoDialogs final : public Dialogs {
public:
    int message(QWidget*, const Message&) override { return Ok; }
    int exec(QDialog&) override { return 0; }
};

// The station: a year of tests spread evenly over the days, and the page on it.
class Station {
public:
    Station()
        : dir_(QDir(qEnvironmentVariable("MIRVANE_BENCH_DIR", QDir::tempPath()))
                   .filePath("mirvane-browser-XXXXXX")),
          page(dm, dialogs) {
        const QString path = dir_.filePath(QStringLiteral("Mirvane.db"));
        QString error;
        if (!TdmMain::createDatabase(path, &error) || !dm.DatabaseConnect(path))
            qFatal("cannot create %s: %s", qPrintable(path), qPrintable(error));
        std::fprintf(stderr, "filling %s with %d tests...\n", qPrintable(path), StoredTests);
        const int days = FirstDay.daysTo(LastDay) + 1;
        QSqlDatabase db = dm.database();
        db.transaction();
        for (int i = 0; i < StoredTests; ++i) {
            const qint64 minute = qint64(i) * days * 24 * 60 / StoredTests;
            const QDateTime time(FirstDay.addDays(minute / (24 * 60)),
                                 QTime(0, 0).addSecs(60 * (minute % (24 * 60))));
            const TestRecord t = finishedTest(i + 1, time, 1 + i % 3);
            const int id = dm.TableTestsAdd(t.header, t.testTime, t.totals, t.KalvexType, t.KalvexSerial,
                                            t.BrakeWorkEfficiency, t.BrakeStopEfficiency);
            for (const AxleRecord& a : t.axles)
                dm.TableAxlesAdd(id, a.AxleNumber, a.measured, a.derived);
        }
        if (!db.commit())
            qFatal("cannot fill the database");
        QObject::connect(&dm, &TdmMain::testsDataChanged, &page, &DatabasePage::ShowInfo);
        page.resize(1280, 760);
        page.show();
        QCoreApplication::processEvents();
    }

    QTemporaryDir dir_;
    TdmMain dm;
    NoDialogs dialogs;
    DatabasePage page;
};

// Made in main and gone before the application: its widgets need one.
Station* theStation = nullptr;

Station& station() {
    return *theStation;
}

void ApplyYearRangeOf50000(benchmark::State& state) {
    Station& s = station();
    const QDateTime begin(FirstDay, QTime(0, 0));
    const QDateTime end(LastDay, QTime(0, 0));
    const QDateTime emptyDay(FirstDay.addDays(-1), QTime(0, 0));
    for (auto _ : state) {
        state.PauseTiming();
        s.page.refresh(emptyDay, emptyDay);
        s.page.repaint();
        state.ResumeTiming();
        s.page.refresh(begin, end);
        s.page.setRangeCaption(begin, end);
        s.page.repaint();
    }
    if (s.dm.qrTests.rowCount() != StoredTests || s.page.sbInfo->isHidden())
        state.SkipWithError("the year's list is not what was stored");
    state.counters["tests_listed"] = s.dm.qrTests.rowCount();
}

void MoveCurrentRowInAYear(benchmark::State& state) {
    Station& s = station();
    s.page.refresh(QDateTime(FirstDay, QTime(0, 0)), QDateTime(LastDay, QTime(0, 0)));
    TestsGrid& grid = *s.page.grTests;
    int row = 0;
    for (auto _ : state) {
        row = (row + 9973) % StoredTests; // far from the last one: no cache helps
        grid.setCurrentIndex(grid.gridModel()->index(row, 0));
        s.page.sbInfo->repaint();
        grid.viewport()->repaint();
        if (s.dm.qrTests.currentRow() != row || s.dm.qrAxles.rowCount() != 1 + row % 3)
            state.SkipWithError("the record view does not show the current test");
    }
}

// Each repetition is one application or one move, so the median is that of single operations.
BENCHMARK(ApplyYearRangeOf50000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(21)
    ->ReportAggregatesOnly(true);
BENCHMARK(MoveCurrentRowInAYear)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(101)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    auto s = std::make_unique<Station>(); // filled before anything is timed
    theStation = s.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theStation = nullptr;
    return 0;
}
