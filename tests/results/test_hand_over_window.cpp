#include "ResultsSupport.h"

#include "AnsiText.h"
#include "BoardPage.h"
#include "TestMount.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <memory>
#include <sys/stat.h>

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The station as it runs: settings, database and header file in the station directory, the
// main window wired to the link, and a finished test handed over by the link's signal.
class WindowHandOver : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString dir;
    RecordingDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<TfrMain> w;
    QString db;
    QString protocols;
    std::vector<TdmMain::StoreResult> stored;

    // Lays out a station in where and starts it.
    void start(const QString& where) {
        dir = where;
        db = QDir(dir).filePath(QStringLiteral("Mirvane.db"));
        protocols = QDir(dir).filePath(QStringLiteral("protocols"));
        writeFile(QDir(dir).filePath(QStringLiteral("mirvane.ini")),
                  "[Device]\nKalvexType=KLX-3500\n[Program]\nDatabaseEnabled=1\nPrintAct=1\nPCDateTime=1\n"
                  "ProtocolDir=" +
                      protocols.toUtf8() + "\n");
        writeFile(QDir(dir).filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
        writeFile(QDir(dir).filePath(QStringLiteral("Titles.txt")),
                  readFile(QStringLiteral(MIRVANE_SOURCE_DIR "/tests/results/data/Titles-w30.txt")));
        QDir().mkpath(protocols);
        QString error;
        ASSERT_TRUE(TdmMain::createDatabase(db, &error)) << error.toStdString();

        Station station;
        station.dir = dir;
        station.settingsFile = QDir(dir).filePath(QStringLiteral("mirvane.ini"));
        w = std::make_unique<TfrMain>(station, dialogs, clock, QStringList{});
        QObject::connect(w.get(), &TfrMain::testStored,
                         [this](TdmMain::StoreResult r, int) { stored.push_back(r); });
        w->show();
        w->FormShow();
        ASSERT_TRUE(w->dmMain.isConnected());
        ASSERT_TRUE(dialogs.messages.empty());
    }

    // The link has fetched a three-axle test and hands it over; true when the hand-over came
    // back within the moment a file write takes (it never waits for the database).
    bool finishTest(uint16_t order = 42) {
        StandLink& link = w->link;
        link.FinalOKData = {0,    3082, 2564, 351, 15, 6, 2025, 0, 0, order, 0, 9, 12,
                            2026, 14,   5,    0,   0,  0, 0,    0, 0, 0,  3,     0, 1};
        for (auto& row : link.AxleOkData)
            row.fill(65535);
        for (int a = 1; a <= 3; ++a)
            for (int j = 1; j <= 32; ++j)
                link.AxleOkData[a][j] = static_cast<uint16_t>(100 * a + j);
        link.CurrentAxle = 4;
        QElapsedTimer took;
        took.start();
        emit link.handOver();
        return took.elapsed() < 500;
    }
    QString protocolFile() const { return QDir(protocols).filePath(QStringLiteral("2026-12-09 14-05-07.txt")); }
    bool waitStored(size_t n, int ms = 15000) {
        return QTest::qWaitFor([&] { return stored.size() >= n; }, ms);
    }
    QString mark() const { return w->lbWaiting->isVisible() ? w->lbWaiting->text() : QString(); }
};

TEST_F(WindowHandOver, StoresTheTestWritesTheProtocolAndKeepsItInTheMemo) {
    start(tmp.path());
    EXPECT_TRUE(finishTest());
    // Read before any poll tick: with no stand state 5 the next tick sets it back to 0.
    const int axlesAtHandOver = w->link.CurrentAxle;
    EXPECT_EQ(axlesAtHandOver, 3);
    const QByteArray file = readFile(protocolFile());
    ASSERT_FALSE(file.isEmpty());
    EXPECT_EQ(w->TabSheet1->mmData->toPlainText() + QStringLiteral("\n"),
              AnsiText::decode(file).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    ASSERT_TRUE(waitStored(1));
    EXPECT_EQ(stored, std::vector<TdmMain::StoreResult>{TdmMain::StoreResult::Stored});
    OtherConnection other(db);
    EXPECT_EQ(other.rows(QStringLiteral("SELECT OrderNumber, KalvexType FROM Tests")),
              (std::vector<QVariantList>{{42, QStringLiteral("KLX-3500")}}));
    EXPECT_EQ(other.count(QStringLiteral("Axles")), 3);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(mark().isEmpty());
}

TEST_F(WindowHandOver, ALockedDatabaseIsToldOncePerOutageWithASteadyMarkAndItsTestsAreStoredAfterwards) {
    start(tmp.path());
    StderrCapture err;
    const QRect board = w->TabSheet1->geometry();
    {
        // Another program holds a write transaction on the file while two tests finish.
        OtherConnection other(db);
        other.exec(QStringLiteral("BEGIN IMMEDIATE"));
        other.exec(QStringLiteral("INSERT INTO Tests (OrderNumber) VALUES (999)"));

        EXPECT_TRUE(finishTest(42)) << "the hand-over waited";
        EXPECT_TRUE(dialogs.messages.empty()) << "no message box inside the hand-over";
        EXPECT_FALSE(readFile(protocolFile()).isEmpty());

        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 10000));
        const Dialogs::Message& m = dialogs.messages[0];
        EXPECT_EQ(m.icon, Dialogs::Icon::Error);
        EXPECT_EQ(m.title, QStringLiteral("Ошибка записи в базу данных"));
        EXPECT_TRUE(m.text.startsWith(QStringLiteral("Испытание № 42 не сохранено в базе данных.")))
            << m.text.toStdString();
        EXPECT_TRUE(m.text.contains(QLatin1String("locked"))) << m.text.toStdString();
        EXPECT_EQ(mark(), QStringLiteral("Ожидают записи в базу данных: 1"));
        EXPECT_TRUE(err.text().contains(QLatin1String("test 42 waits to be stored"))) << err.text().toStdString();

        // The mark sits in the tab bar's row: the board keeps its place and size.
        EXPECT_EQ(w->TabSheet1->geometry(), board);
        const QRect markAt(w->lbWaiting->mapTo(w.get(), QPoint(0, 0)), w->lbWaiting->size());
        const QRect tabs(w->PageControl1->tabBar()->mapTo(w.get(), QPoint(0, 0)), w->PageControl1->tabBar()->size());
        EXPECT_LE(markAt.bottom(), tabs.bottom());
        EXPECT_FALSE(markAt.intersects(tabs)) << "the mark covers a page tab";
        // To look at it: MIRVANE_KEEP_SHOTS keeps a screenshot in the build directory.
        if (qEnvironmentVariableIsSet("MIRVANE_KEEP_SHOTS"))
            w->grab().save(QStringLiteral(MIRVANE_BINARY_DIR "/tests/waiting-mark.png"));

        // A second test in the same outage: counted by the mark, no second message.
        clock.t = clock.t.addSecs(60);
        EXPECT_TRUE(finishTest(43));
        QTest::qWait(2500);
        EXPECT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(mark(), QStringLiteral("Ожидают записи в базу данных: 2"));
        EXPECT_TRUE(stored.empty());
        other.exec(QStringLiteral("ROLLBACK"));
    }
    // The lock is gone: both tests are stored, in order, with no one doing anything.
    ASSERT_TRUE(waitStored(2));
    OtherConnection after(db);
    EXPECT_EQ(after.rows(QStringLiteral("SELECT OrderNumber FROM Tests ORDER BY id")),
              (std::vector<QVariantList>{{42}, {43}}));
    EXPECT_EQ(after.count(QStringLiteral("Axles")), 6);
    EXPECT_TRUE(QTest::qWaitFor([&] { return mark().isEmpty(); }, 2000));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(err.text().contains(QLatin1String("the database took every waiting test"))) << err.text().toStdString();

    // A new outage is told again.
    after.exec(QStringLiteral("BEGIN IMMEDIATE"));
    clock.t = clock.t.addSecs(60);
    EXPECT_TRUE(finishTest(44));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs.messages.size() == 2; }, 10000));
    after.exec(QStringLiteral("ROLLBACK"));
    EXPECT_TRUE(waitStored(3));
}

TEST_F(WindowHandOver, EveryReasonAProtocolWasNotWrittenGoesToTheErrorOutputAndTheOperatorIsToldOnce) {
    start(tmp.path());
    StderrCapture err;
    // A FIFO at Titles.txt that nobody writes into: the hand-over must not wait for it.
    const QString titles = QDir(dir).filePath(QStringLiteral("Titles.txt"));
    const QByteArray goodTitles = readFile(titles);
    QFile::remove(titles);
    ASSERT_EQ(::mkfifo(QFile::encodeName(titles).constData(), 0644), 0);
    EXPECT_TRUE(finishTest(42));
    clock.t = clock.t.addSecs(60);
    EXPECT_TRUE(finishTest(43));
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Ошибка записи протокола"));
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Протокол испытания № 42 не записан.")))
        << dialogs.messages[0].text.toStdString();
    EXPECT_TRUE(dialogs.messages[0].text.contains(QLatin1String("not a regular file")));
    for (const char* line : {"the protocol of test 42 was not written", "the protocol of test 43 was not written"})
        EXPECT_TRUE(err.text().contains(QLatin1String(line))) << line << "\n" << err.text().toStdString();
    EXPECT_TRUE(QDir(protocols).isEmpty());
    // The tests themselves are stored all the same.
    EXPECT_TRUE(waitStored(2));

    // Written again, and then a directory that is gone: told again.
    QFile::remove(titles);
    writeFile(titles, goodTitles);
    clock.t = clock.t.addSecs(60);
    EXPECT_TRUE(finishTest(44));
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    ASSERT_TRUE(QDir(protocols).removeRecursively());
    clock.t = clock.t.addSecs(60);
    EXPECT_TRUE(finishTest(45));
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].text.contains(protocols)) << dialogs.messages[1].text.toStdString();
}

TEST_F(WindowHandOver, AFullDiskKeepsTheTestUntilThereIsSpaceAndNeverLeavesAnEmptyOrCutProtocol) {
    const QString disk = tmp.filePath(QStringLiteral("disk"));
    QDir().mkpath(disk);
    const std::unique_ptr<TestMount> mount = TestMount::tmpfs(disk, QStringLiteral("2m"));
    if (!mount->unavailable.isEmpty())
        GTEST_SKIP() << "no tmpfs of the test's own: " << mount->unavailable.toStdString();
    start(disk);
    StderrCapture err;
    // A good protocol of the same second is there already; then the disk fills up.
    writeFile(protocolFile(), "a good protocol");
    const QString filler = QDir(dir).filePath(QStringLiteral("filler"));
    {
        QFile f(filler);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray block(64 * 1024, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
    }

    EXPECT_TRUE(finishTest(42));
    QCoreApplication::processEvents();
    EXPECT_EQ(readFile(protocolFile()), QByteArray("a good protocol"));
    EXPECT_EQ(QDir(protocols).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(protocolFile()).fileName()})
        << "a temporary or cut file was left";
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.messages.size() >= 2; }, 10000));
    EXPECT_TRUE(err.text().contains(QLatin1String("No space left on device"))) << err.text().toStdString();
    EXPECT_TRUE(err.text().contains(QLatin1String("the protocol of test 42 was not written")));
    EXPECT_TRUE(mark().endsWith(QStringLiteral(": 1"))) << mark().toStdString();
    EXPECT_TRUE(stored.empty());

    // Space again: the test is stored, once, with its axles.
    QFile::remove(filler);
    ASSERT_TRUE(waitStored(1));
    EXPECT_EQ(stored, std::vector<TdmMain::StoreResult>{TdmMain::StoreResult::Stored});
    {
        OtherConnection other(db);
        EXPECT_EQ(other.rows(QStringLiteral("SELECT OrderNumber FROM Tests")), (std::vector<QVariantList>{{42}}));
        EXPECT_EQ(other.count(QStringLiteral("Axles")), 3);
    }
    clock.t = clock.t.addSecs(1);
    EXPECT_TRUE(finishTest(43));
    EXPECT_TRUE(readFile(QDir(protocols).filePath(QStringLiteral("2026-12-09 14-05-08.txt"))).startsWith("   "));
    EXPECT_TRUE(waitStored(2));
    w.reset();
}

TEST(CreateDatabaseSwitch, MakesAnEmptyStationDatabaseWithoutADisplayAndNeverOverwrites) {
    QTemporaryDir dir;
    auto run = [](const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("MIRVANE_STATION_DIR"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane"), args);
        EXPECT_TRUE(p.waitForFinished(20000));
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    const QString explicitPath = dir.filePath(QStringLiteral("elsewhere.db"));
    EXPECT_EQ(run({QStringLiteral("--create-database"), explicitPath}), 0);
    EXPECT_EQ(run({QStringLiteral("--station-dir"), dir.path(), QStringLiteral("--create-database")}), 0);
    for (const QString& path : {explicitPath, dir.filePath(QStringLiteral("Mirvane.db"))}) {
        TdmMain dm;
        ASSERT_TRUE(dm.DatabaseConnect(path)) << path.toStdString();
        TestRecord t;
        t.testTime = QDateTime(QDate(2026, 12, 9), QTime(10, 0));
        EXPECT_EQ(dm.TableTestsStore(t), TdmMain::StoreResult::Stored);
    }
    const QByteArray before = readFile(explicitPath);
    EXPECT_EQ(run({QStringLiteral("--create-database"), explicitPath}), 1);
    EXPECT_EQ(readFile(explicitPath), before);
}
