// The outbox and the storage thread on real files and real servers: what an earlier run left,
// a crash between the commit and the removal, readers and writers of other programs, a
// read-only file, a server that goes away and one that stops answering.

#include "ResultsSupport.h"

#include "Outbox.h"
#include "RegisterImage.h"
#include "Settings.h"
#include "StandLink.h"
#include "StorageNotice.h"
#include "TestAssembly.h"
#include "TestHandOver.h"
#include "TestMount.h"
#include "TestStorage.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

namespace {

// A test as the stand gives it: order number order, taken over at 14:05:07 plus minute
// minutes, with axles whose words name the test.
OutboxEntry entry(int order, int minute = 0, int axles = 2) {
    OutboxEntry e;
    e.header = {3082, 2564, 351, 15, 6, 2025, 0, 0, uint16_t(order), uint16_t(order < 0 ? 65535 : 0), 9, 12, 2026, 14, 5,
                0,    0,    0,   0,  0, 0,    0, 2, 0, 1};
    for (int a = 1; a <= axles; ++a) {
        std::array<uint16_t, 32> w;
        for (int j = 0; j < 32; ++j)
            w[size_t(j)] = uint16_t(order * 100 + a * 40 + j);
        w[12] = w[13] = TestAssembly::NoValue;
        e.axles.push_back(w);
    }
    e.taken = QDateTime(QDate(2026, 12, 9), QTime(14, 5, 7)).addSecs(60 * minute);
    e.KalvexType = QStringLiteral("Калвекс-3500 «двухосный»");
    e.KalvexSerial = QStringLiteral("00042 %+\n");
    return e;
}

using Result = Storing::Result;
constexpr auto Stored = TdmMain::StoreResult::Stored;
constexpr auto Duplicate = TdmMain::StoreResult::Duplicate;

} // namespace

TEST(OutboxFile, KeepsEveryWordTheTimeAndTheSettingsExactlyAndRefusesADamagedFile) {
    for (int axles : {0, 1, 9}) {
        OutboxEntry e = entry(-7, 0, axles);
        e.fPCDateTime = axles != 1;
        e.taken = e.taken.addMSecs(123);
        const std::optional<OutboxEntry> back = Outbox::decode(Outbox::encode(e), nullptr);
        ASSERT_TRUE(back) << axles;
        EXPECT_TRUE(back->sameTest(e)) << axles;
        EXPECT_EQ(back->taken, e.taken);
        EXPECT_EQ(back->taken.toMSecsSinceEpoch(), e.taken.toMSecsSinceEpoch());
        EXPECT_EQ(back->KalvexSerial, e.KalvexSerial);
        const TestRecord r = back->record();
        EXPECT_EQ(r.axles.size(), size_t(axles));
        EXPECT_EQ(r.testTime, e.fPCDateTime ? e.taken : QDateTime(QDate(2026, 12, 9), QTime(14, 5)));
    }

    const QByteArray good = Outbox::encode(entry(42));
    QByteArray flipped = good;
    flipped[good.indexOf("header ") + 8] = '9';
    QByteArray tenAxles = Outbox::encode(entry(42, 0, 9));
    tenAxles.insert(tenAxles.indexOf("sha1"), "axle 10 " + QByteArray("1 ").repeated(31) + "1\n");
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"empty", QByteArray()},
        {"cut short", good.left(good.size() / 2)},
        {"one digit changed", flipped},
        {"no checksum", good.left(good.indexOf("sha1"))},
        {"ten axles with a right checksum", [&] {
             QByteArray b = tenAxles.left(tenAxles.indexOf("sha1"));
             return b + "sha1 " + QCryptographicHash::hash(b, QCryptographicHash::Sha1).toHex() + "\n";
         }()},
        {"another file", "[Program]\nDatabaseEnabled=1\n"},
    };
    for (const Case& c : cases) {
        QString why;
        EXPECT_FALSE(Outbox::decode(c.bytes, &why)) << c.name;
        EXPECT_FALSE(why.isEmpty()) << c.name;
    }
}

TEST(OutboxDirectory, KeepsTheOrderPutsDamagedFilesAsideAndRemembersTheLastStoredTest) {
    QTemporaryDir dir;
    const QString at = dir.filePath(QStringLiteral("Outbox"));
    Outbox outbox(at);
    EXPECT_FALSE(outbox.newest());
    QString why;
    std::vector<QString> files;
    for (int order : {7, -1, 12})
        files.push_back(outbox.put(entry(order), &why));
    EXPECT_EQ(QDir(at).entryList(QDir::Files), (QStringList{"0000000001-7.test", "0000000002--1.test",
                                                            "0000000003-12.test"}));
    // A damaged file and a FIFO among them; a restarted station reads the rest in order.
    writeFile(QDir(at).filePath(QStringLiteral("0000000004-5.test")), "mirvane outbox 1\ntaken 1\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(QDir(at).filePath(QStringLiteral("0000000005-6.test"))).constData(), 0644), 0);
    Outbox again(at);
    QStringList problems;
    const std::vector<Outbox::Waiting> waiting = again.load(&problems);
    ASSERT_EQ(waiting.size(), 3u);
    EXPECT_EQ(waiting[0].entry.orderNumber(), 7);
    EXPECT_EQ(waiting[1].entry.orderNumber(), -1);
    EXPECT_EQ(waiting[2].entry.orderNumber(), 12);
    EXPECT_EQ(problems.size(), 2) << problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QFileInfo::exists(QDir(at).filePath(QStringLiteral("0000000004-5.test.damaged"))));
    EXPECT_EQ(again.newest()->orderNumber(), 12);
    // The next file goes after them.
    EXPECT_TRUE(again.put(entry(13), &why).endsWith(QStringLiteral("0000000006-13.test")));

    for (const Outbox::Waiting& w : waiting)
        ASSERT_TRUE(again.retire(w.file, &why)) << why.toStdString();
    EXPECT_EQ(again.newest()->orderNumber(), 13);
    ASSERT_TRUE(again.retire(QDir(at).filePath(QStringLiteral("0000000006-13.test")), &why));
    EXPECT_EQ(again.newest()->orderNumber(), 13);
    EXPECT_TRUE(again.load(nullptr).empty());
}

class StorageEngines : public ::testing::TestWithParam<Engine> {
protected:
    std::unique_ptr<StationDatabase> db;
    QTemporaryDir station;
    QString outbox = station.filePath(QStringLiteral("Outbox"));
    void SetUp() override {
        db = std::make_unique<StationDatabase>(GetParam());
        if (!db->usable())
            GTEST_SKIP() << db->unavailable.toStdString();
    }
};

// What an earlier run left waiting is stored first, in order; a test whose commit the crash
// did not let leave the outbox is refused as a second copy, not stored twice.
TEST_P(StorageEngines, AnEarlierRunsWaitingTestsAreStoredFirstInOrderAndACommittedOneOnlyOnce) {
    {
        Outbox earlier(outbox);
        QString why;
        for (int i = 0; i < 3; ++i)
            ASSERT_FALSE(earlier.put(entry(10 + i, i), &why).isEmpty()) << why.toStdString();
        // Test 10 was committed just before the station died.
        ASSERT_EQ(db->dm.TableTestsStore(entry(10, 0).record()), Stored);
    }
    Storing s(outbox);
    EXPECT_EQ(s.storage.loadOutbox(), 3);
    s.start(db->config);
    s.storage.put(entry(20, 5), nullptr);
    ASSERT_TRUE(s.waitFor(4));
    EXPECT_EQ(s.results, (std::vector<Result>{{Duplicate, 10}, {Stored, 11}, {Stored, 12}, {Stored, 20}}));
    OtherConnection other(db->config);
    EXPECT_EQ(other.rows(QStringLiteral("SELECT OrderNumber FROM Tests ORDER BY id")),
              (std::vector<QVariantList>{{10}, {11}, {12}, {20}}));
    EXPECT_EQ(other.count(QStringLiteral("Axles")), 8);
    EXPECT_TRUE(QDir(outbox).entryList({QStringLiteral("*.test")}).isEmpty());
}

// The stand keeps a finished test's results until its next start: a station started again in
// between fetches its earlier run's last test once more, minutes later by the PC clock.
TEST_P(StorageEngines, TheStandsKeptResultsReadAgainAfterARestartAreNotStoredTwice) {
    RegisterImage image;
    StandLink link{image};
    Settings settings; // PCDateTime on: the test time is the PC clock at the hand-over
    FixedClock clock;
    const OutboxEntry served = entry(42);
    auto fetch = [&](const OutboxEntry& e) {
        std::copy(e.header.begin(), e.header.end(), link.FinalOKData.begin() + 1);
        for (auto& row : link.AxleOkData)
            row.fill(TestAssembly::NoValue);
        for (size_t a = 0; a < e.axles.size(); ++a)
            std::copy(e.axles[a].begin(), e.axles[a].end(), link.AxleOkData[a + 1].begin() + 1);
        link.CurrentAxle = int(e.axles.size()) + 1;
    };
    for (int run = 1; run <= 3; ++run) {
        Storing s(outbox);
        s.storage.loadOutbox();
        s.start(db->config);
        TestHandOver handOver(link, settings, s.storage, clock, QString());
        fetch(served);
        EXPECT_EQ(handOver.StoreTest(), TestHandOver::Taken::Outbox);
        ASSERT_TRUE(s.waitFor(1));
        EXPECT_EQ(s.results[0], (Result{run == 1 ? Stored : Duplicate, 42})) << "run " << run;
        // The next test of the same run is a new one, even with the same words.
        if (run == 3) {
            clock.t = clock.t.addSecs(120);
            fetch(served);
            handOver.StoreTest();
            ASSERT_TRUE(s.waitFor(2));
            EXPECT_EQ(s.results[1].first, Stored);
        }
        clock.t = clock.t.addSecs(300);
    }
    OtherConnection other(db->config);
    EXPECT_EQ(other.count(QStringLiteral("Tests")), 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, StorageEngines, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const ::testing::TestParamInfo<Engine>& info) { return engineName(info.param); });

// A backup, a report tool or the sqlite3 shell reading the file for seconds never holds up a
// store; a file made before write-ahead logging is switched to it.
TEST(StorageOnSqlite, AReaderHoldingAReadTransactionNeverHoldsUpAStore) {
    StationDatabase db;
    db.dm.close();
    auto journalMode = [&] {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {db.path, QStringLiteral("PRAGMA journal_mode")});
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    EXPECT_EQ(journalMode(), QStringLiteral("wal")) << "a new database file";
    {
        OtherConnection old(db.path);
        old.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    }
    ASSERT_EQ(journalMode(), QStringLiteral("delete"));

    QTemporaryDir station;
    Storing s(station.filePath(QStringLiteral("Outbox")));
    s.start(db.config);
    s.storage.put(entry(1), nullptr);
    ASSERT_TRUE(s.waitFor(1));
    EXPECT_EQ(journalMode(), QStringLiteral("wal"));

    QProcess reader;
    reader.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), db.path});
    ASSERT_TRUE(reader.waitForStarted(10000));
    reader.write("BEGIN;\nSELECT 'reading', count(*) FROM Tests;\n.shell sleep 5\nCOMMIT;\n");
    reader.closeWriteChannel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.readAllStandardOutput().contains("reading"); }, 10000));
    QElapsedTimer took;
    took.start();
    s.storage.put(entry(2, 1), nullptr);
    ASSERT_TRUE(s.waitFor(2));
    EXPECT_LT(took.elapsed(), 3000);
    EXPECT_EQ(reader.state(), QProcess::Running) << "the reader let go before the test was stored";
    EXPECT_EQ(s.results[1], (Result{Stored, 2}));
    reader.waitForFinished(15000);
}

TEST(StorageOnSqlite, ATestWaitsWhileTheDatabaseFileIsReadOnlyAndIsStoredOnceItIsWritable) {
    StationDatabase db;
    db.dm.close();
    // Root writes through any file mode: the file is bound read-only over itself instead.
    std::unique_ptr<TestMount> readOnly;
    if (::geteuid() == 0) {
        readOnly = TestMount::readOnly(db.path);
        if (!readOnly->unavailable.isEmpty())
            GTEST_SKIP() << "cannot make the file read-only for root: " << readOnly->unavailable.toStdString();
    } else {
        ASSERT_TRUE(QFile::setPermissions(db.path, QFileDevice::ReadOwner));
    }
    QTemporaryDir station;
    Storing s(station.filePath(QStringLiteral("Outbox")));
    s.start(db.config);
    s.storage.put(entry(1), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.storage.status().failing; }, 10000));
    EXPECT_TRUE(s.storage.status().reason.contains(QLatin1String("readonly"))) << s.storage.status().reason.toStdString();
    QTest::qWait(500);
    EXPECT_TRUE(s.results.empty());

    readOnly.reset();
    QFile::setPermissions(db.path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(s.waitFor(1));
    EXPECT_EQ(s.results[0], (Result{Stored, 1}));
    EXPECT_EQ(OtherConnection(db.config).count(QStringLiteral("Axles")), 2);
}

// The station's server shut down and started again: nobody restarts the station.
TEST(StorageOnPostgres, TestsHandedOverWhileTheServerIsDownAreStoredWhenItIsBack) {
    PgTestServer::PrivateServer server;
    if (!server.database)
        GTEST_SKIP() << server.why.toStdString();
    QString error;
    ASSERT_TRUE(TdmMain::createDatabase(*server.database, &error)) << error.toStdString();
    QTemporaryDir station;
    Storing s(station.filePath(QStringLiteral("Outbox")));
    s.start(*server.database);
    s.storage.put(entry(1), nullptr);
    ASSERT_TRUE(s.waitFor(1));

    ASSERT_TRUE(server.run("down"));
    s.storage.put(entry(2, 1), nullptr);
    s.storage.put(entry(3, 2), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.storage.status().failing; }, 15000));
    EXPECT_EQ(s.storage.status().waiting, 2);
    QTest::qWait(1000);
    ASSERT_TRUE(server.run("up"));
    ASSERT_TRUE(s.waitFor(3, 20000));
    EXPECT_EQ(s.results, (std::vector<Result>{{Stored, 1}, {Stored, 2}, {Stored, 3}}));
    EXPECT_EQ(OtherConnection(*server.database).count(QStringLiteral("Axles")), 6);
}

// A server that stops answering (its processes stopped, the one serving the connection
// included): a call gives up after its limit with the reason, and once the server answers
// again the next call works on a fresh connection.
TEST(StorageOnPostgres, ACallToAServerThatStoppedAnsweringEndsWithinItsLimit) {
    PgTestServer::PrivateServer server;
    if (!server.database)
        GTEST_SKIP() << server.why.toStdString();
    QString error;
    ASSERT_TRUE(TdmMain::createDatabase(*server.database, &error)) << error.toStdString();
    TdmMain dm;
    dm.setCallLimit(1000);
    ASSERT_TRUE(dm.DatabaseConnect(*server.database)) << dm.lastError().toStdString();
    const QDateTime day(QDate(2026, 12, 9), QTime(0, 0));
    dm.TableTestsSelect(day, day);

    ASSERT_TRUE(server.run("stall"));
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(dm.TableTestsStore(entry(1).record()), TdmMain::StoreResult::Failed);
    EXPECT_LT(took.elapsed(), 4000);
    EXPECT_TRUE(dm.lastError().contains(QLatin1String("did not answer within 1.5 s"))) << dm.lastError().toStdString();
    // The list: one bounded wait to open a fresh connection, the list empty and the failure told.
    std::vector<std::pair<bool, QString>> reads;
    QObject::connect(&dm, &TdmMain::readDone, [&](bool ok, const QString& why) { reads.push_back({ok, why}); });
    took.restart();
    dm.TableTestsSelect(day, day);
    EXPECT_LT(took.elapsed(), 6000);
    ASSERT_FALSE(reads.empty());
    EXPECT_FALSE(reads.front().first);
    EXPECT_EQ(dm.qrTests.rowCount(), 0);

    ASSERT_TRUE(server.run("resume"));
    QTest::qWait(5000); // a failed reopening is not tried again at once
    reads.clear();
    dm.TableTestsSelect(day, day);
    ASSERT_FALSE(reads.empty());
    EXPECT_TRUE(reads.front().first) << reads.front().second.toStdString();
    EXPECT_EQ(dm.TableTestsStore(entry(1).record()), Stored) << dm.lastError().toStdString();
}

TEST(StorageNoticeRules, AMarkWhileTestsWaitAndOneMessagePerOutage) {
    StorageNotice notice;
    struct Step {
        int waiting;
        qint64 oldestMs;
        bool failing;
        const char* mark;
        bool message;
    };
    const Step steps[] = {
        {1, 10, false, "", false},     // a store under way: nothing to see
        {1, 2500, false, "Ожидают записи в базу данных: 1", false}, // waited a while
        {2, 2600, true, "Ожидают записи в базу данных: 2", true},   // the outage begins
        {3, 4000, true, "Ожидают записи в базу данных: 3", false},  // more tests, no more messages
        {3, 4500, false, "Ожидают записи в базу данных: 3", false}, // a try under way
        {1, 100, true, "Ожидают записи в базу данных: 1", false},   // still the same outage
        {0, 0, false, "", false},                                   // all stored: it ends
        {1, 10, true, "Ожидают записи в базу данных: 1", true},     // a new one
    };
    int i = 0;
    for (const Step& st : steps) {
        TestStorage::Status s;
        s.waiting = st.waiting;
        s.oldestWaitingMs = st.oldestMs;
        s.failing = st.failing;
        s.reason = QStringLiteral("database is locked");
        s.orderNumber = 42;
        const StorageNotice::Told t = notice.update(s);
        EXPECT_EQ(t.mark, QString::fromUtf8(st.mark)) << "step " << i;
        EXPECT_EQ(t.message.has_value(), st.message) << "step " << i;
        if (t.message) {
            EXPECT_TRUE(t.message->startsWith(QStringLiteral("Испытание № 42 не сохранено в базе данных.\ndatabase is locked")));
        }
        ++i;
    }
}
