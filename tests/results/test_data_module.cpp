#include "ResultsSupport.h"
#include "TestsModel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>

#include <memory>

namespace {

const QDate Day(2026, 12, 9);

QDateTime at(const QDate& d, int h, int m, int s = 0) {
    return QDateTime(d, QTime(h, m, s));
}

TestRecord testAt(int32_t order, const QDateTime& time, int axles = 0) {
    TestRecord r;
    r.header[3] = 15; // verified 15.06.2025
    r.header[4] = 6;
    r.header[5] = 2025;
    r.header[8] = static_cast<uint16_t>(order & 0xFFFF);
    r.header[9] = static_cast<uint16_t>(uint32_t(order) >> 16);
    r.header[22] = static_cast<uint16_t>(axles);
    r.testTime = time;
    for (int a = 1; a <= axles; ++a) {
        AxleRecord x;
        x.AxleNumber = static_cast<uint16_t>(a);
        x.measured.fill(static_cast<uint16_t>(100 * a));
        x.derived.fill(static_cast<uint16_t>(a));
        r.axles.push_back(x);
    }
    return r;
}

QStringList orderNumbers(const TestsModel& m) {
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r)
        out << m.value(r, QStringLiteral("OrderNumber")).toString();
    return out;
}

} // namespace

TEST(DatabaseFile, IsCreatedWithBothTablesAndNeverOverwrittenOrCreatedByConnecting) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Mirvane.db"));

    TdmMain dm;
    EXPECT_FALSE(dm.DatabaseConnect(path));
    EXPECT_FALSE(QFile::exists(path));

    QString error;
    ASSERT_TRUE(TdmMain::createDatabase(path, &error)) << error.toStdString();
    {
        OtherConnection other(path);
        // Every column the module names exists; a new row takes the defaults the inserts rely on.
        other.exec(
            QStringLiteral("SELECT %1 FROM Tests").arg(TdmMain::testsColumns().join(QLatin1Char(','))));
        other.exec(
            QStringLiteral("SELECT %1 FROM Axles").arg(TdmMain::axlesColumns().join(QLatin1Char(','))));
        other.exec(QStringLiteral("INSERT INTO Tests (OrderNumber) VALUES (1)"));
        const auto row = other.rows(QStringLiteral("SELECT DeleteFlag, VIN, CarNumber FROM Tests"));
        EXPECT_EQ(row.at(0), (QVariantList{0, QString(), QString()}));
        const auto index = other.rows(QStringLiteral(
            "SELECT count(*) FROM pragma_index_info('TestsTestDTBegin') WHERE name = 'TestDTBegin'"));
        EXPECT_EQ(index.at(0).at(0).toInt(), 1);
    }

    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    EXPECT_FALSE(TdmMain::createDatabase(path, &error));
    EXPECT_TRUE(error.contains(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);

    const QString notADatabase = dir.filePath(QStringLiteral("notes.txt"));
    QFile n(notADatabase);
    ASSERT_TRUE(n.open(QIODevice::WriteOnly));
    n.write(QByteArray(4096, 'x'));
    n.close();
    EXPECT_FALSE(dm.DatabaseConnect(notADatabase));
    EXPECT_FALSE(dm.isConnected());
}

// The data module's behaviour on each engine a station may use.
class DataModule : public ::testing::TestWithParam<Engine> {
protected:
    std::unique_ptr<StationDatabase> db;
    std::unique_ptr<OtherConnection> other;

    void SetUp() override {
        db = std::make_unique<StationDatabase>(GetParam());
        if (!db->usable())
            GTEST_SKIP() << db->unavailable.toStdString();
        other = std::make_unique<OtherConnection>(db->config);
    }
    void TearDown() override {
        other.reset();
        db.reset();
    }
    bool sqlite() const { return GetParam() == Engine::SQLite; }

    TdmMain::StoreResult store(const TestRecord& t) { return db->dm.TableTestsStore(t); }
    int lastId() { return other->rows(QStringLiteral("SELECT max(id) FROM Tests")).at(0).at(0).toInt(); }
    int idOf(int order) {
        return other->rows(QStringLiteral("SELECT id FROM Tests WHERE OrderNumber = %1").arg(order))
            .at(0)
            .at(0)
            .toInt();
    }
};

TEST_P(DataModule, StoresTheHeaderWordsAsTheirColumns) {
    struct Case {
        uint16_t id0, id1, version;
        uint16_t order0, order1;
        qint64 KalvexID;
        const char* SoftwareVersion;
        qint64 OrderNumber;
    };
    const Case cases[] = {
        {3082, 2564, 100, 42, 0, 168037386, "1.00", 42},
        {65535, 65535, 65535, 65535, 65535, -1, "655.35", -1},
        {0, 32768, 5, 0, 1, -2147483647 - 1, "0.05", 65536},
        {1, 0, 351, 7, 0, 1, "3.51", 7},
    };
    int minute = 0;
    for (const Case& c : cases) {
        TestRecord t = testAt(0, at(Day, 10, minute++), 0);
        t.header = {c.id0, c.id1, c.version, 15, 6, 2025, 1, 2, c.order0, c.order1, 9, 12, 2026,
                    10,    0,     1,         2,  3, 4,    5, 6, 7,        3,        1, 2};
        t.totals = {2000, 1500, 65535};
        t.KalvexType = QStringLiteral("Калвекс \"3500\" 'Л'");
        t.KalvexSerial = QStringLiteral("№ 0042; DROP TABLE Tests");
        t.BrakeWorkEfficiency = 0.75;
        t.BrakeStopEfficiency = 32.7675;
        ASSERT_EQ(store(t), TdmMain::StoreResult::Stored) << db->dm.lastError().toStdString();

        const auto row = other->rows(
            QStringLiteral(
                "SELECT KalvexID, SoftwareVersion, VerificationDate, OrderNumber, AxleCount, MeasureUnit, "
                "CarType, KalvexType, KalvexSerial, Weight, BrakeWorkTotal, BrakeStopTotal, "
                "BrakeWorkEfficiency, BrakeStopEfficiency, VIN, CarNumber, DeleteFlag "
                "FROM Tests WHERE id = %1")
                .arg(lastId()));
        ASSERT_EQ(row.size(), 1u);
        const QVariantList expected = {c.KalvexID,
                                       QString::fromLatin1(c.SoftwareVersion),
                                       QStringLiteral("2025-06-15T00:00:00.000"),
                                       c.OrderNumber,
                                       3,
                                       1,
                                       2,
                                       t.KalvexType,
                                       t.KalvexSerial,
                                       2000,
                                       1500,
                                       65535,
                                       0.75,
                                       32.7675,
                                       QString(),
                                       QString(),
                                       0};
        EXPECT_EQ(row[0], expected) << c.KalvexID;
    }
}

TEST_P(DataModule, InvalidVerificationDateIsStoredAsNullAndTheTestIsKept) {
    const uint16_t dates[][3] = {
        {0, 6, 2025}, {30, 2, 2025}, {15, 13, 2025}, {15, 6, 0}, {65535, 65535, 65535}};
    int minute = 0;
    for (const auto& d : dates) {
        TestRecord t = testAt(1, at(Day, 11, minute++), 1);
        t.header[3] = d[0];
        t.header[4] = d[1];
        t.header[5] = d[2];
        ASSERT_EQ(store(t), TdmMain::StoreResult::Stored) << d[0] << "." << d[1] << "." << d[2];
        const auto row = other->rows(
            QStringLiteral("SELECT VerificationDate IS NULL FROM Tests WHERE id = %1").arg(lastId()));
        EXPECT_EQ(row.at(0).at(0).toInt(), 1) << d[0] << "." << d[1] << "." << d[2];
    }
    EXPECT_EQ(other->count(QStringLiteral("Axles")), 5);
}

TEST_P(DataModule, TestTimeIsKeptToTheMinuteAndASecondTestInThatMinuteIsADuplicateUntilDeleted) {
    ASSERT_EQ(store(testAt(7, at(Day, 14, 5, 59), 2)), TdmMain::StoreResult::Stored);
    const int first = lastId();
    EXPECT_EQ(
        other->rows(QStringLiteral("SELECT TestDTBegin, TestDTEnd FROM Tests")).at(0),
        (QVariantList{QStringLiteral("2026-12-09T14:05:00.000"), QStringLiteral("2026-12-09T14:05:00.000")}));

    EXPECT_EQ(store(testAt(7, at(Day, 14, 5, 1), 2)), TdmMain::StoreResult::Duplicate);
    EXPECT_TRUE(db->dm.TableTestsCheck(7, at(Day, 14, 5, 30)));
    EXPECT_FALSE(db->dm.TableTestsCheck(7, at(Day, 14, 6, 0)));
    EXPECT_FALSE(db->dm.TableTestsCheck(8, at(Day, 14, 5, 0)));
    EXPECT_EQ(other->count(QStringLiteral("Tests")), 1);
    EXPECT_EQ(other->count(QStringLiteral("Axles")), 2);

    ASSERT_TRUE(db->dm.TableTestsDelete(first));
    EXPECT_FALSE(db->dm.TableTestsCheck(7, at(Day, 14, 5, 0)));
    EXPECT_EQ(store(testAt(7, at(Day, 14, 5, 1), 2)), TdmMain::StoreResult::Stored);
    EXPECT_EQ(other->count(QStringLiteral("Tests")), 2);
    EXPECT_EQ(other->rows(QStringLiteral("SELECT DeleteFlag FROM Tests ORDER BY id")),
              (std::vector<QVariantList>{{1}, {0}}));
}

TEST_P(DataModule, AxlesAreStoredInOrderWithTheirTestsId) {
    ASSERT_EQ(store(testAt(1, at(Day, 9, 0), 1)), TdmMain::StoreResult::Stored);
    // A test from another program between ours: ids are not consecutive any more.
    other->exec(QStringLiteral("INSERT INTO Tests (OrderNumber) VALUES (999)"));
    ASSERT_EQ(store(testAt(2, at(Day, 9, 1), 3)), TdmMain::StoreResult::Stored);
    const auto axles = other->rows(QStringLiteral("SELECT t.OrderNumber, a.AxleNumber, a.StaticWeightL, "
                                                 "a.BrakeStopN FROM Axles a JOIN Tests t ON t.id = "
                                                 "a.TestID ORDER BY a.TestID, a.AxleNumber"));
    const std::vector<QVariantList> expected = {
        {1, 1, 100, 1}, {2, 1, 100, 1}, {2, 2, 200, 2}, {2, 3, 300, 3}};
    EXPECT_EQ(axles, expected);
}

TEST_P(DataModule, AFailedInsertLeavesNoRowAnywhere) {
    ASSERT_EQ(store(testAt(1, at(Day, 8, 0), 2)), TdmMain::StoreResult::Stored);
    struct Case {
        const char* name;
        const char* table;
        const char* when;
    };
    const Case cases[] = {
        {"test row refused", "Tests", "TRUE"},
        {"third axle refused", "Axles", "NEW.AxleNumber = 3"},
    };
    for (const Case& c : cases) {
        const QString table = QString::fromLatin1(c.table), when = QString::fromLatin1(c.when),
                      name = QString::fromLatin1(c.name);
        if (sqlite()) {
            other->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 WHEN %2 BEGIN SELECT "
                                       "RAISE(ABORT, '%3'); END")
                            .arg(table, when, name));
        } else {
            other->exec(QStringLiteral("CREATE OR REPLACE FUNCTION refuse() RETURNS trigger AS $$ BEGIN RAISE "
                                       "EXCEPTION '%1'; END $$ LANGUAGE plpgsql")
                            .arg(name));
            other->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 FOR EACH ROW WHEN (%2) "
                                       "EXECUTE FUNCTION refuse()")
                            .arg(table, when));
        }
        EXPECT_EQ(store(testAt(2, at(Day, 8, 1), 4)), TdmMain::StoreResult::Failed) << c.name;
        EXPECT_TRUE(db->dm.lastError().contains(QLatin1String(c.name))) << db->dm.lastError().toStdString();
        EXPECT_EQ(other->count(QStringLiteral("Tests")), 1) << c.name;
        // Not even the earlier test got any axles of the failed one.
        EXPECT_EQ(other->rows(QStringLiteral("SELECT TestID, AxleNumber FROM Axles ORDER BY AxleNumber")),
                  (std::vector<QVariantList>{{1, 1}, {1, 2}}))
            << c.name;
        other->exec(sqlite() ? QStringLiteral("DROP TRIGGER refuse")
                             : QStringLiteral("DROP TRIGGER refuse ON %1").arg(table));
    }
    EXPECT_EQ(store(testAt(2, at(Day, 8, 1), 4)), TdmMain::StoreResult::Stored);
    EXPECT_EQ(other->count(QStringLiteral("Axles")), 6);
}

TEST_P(DataModule, AWriteLockAnotherProgramHoldsBrieflyIsWaitedFor) {
    // Another program takes the write lock, adds a test and lets go a moment later.
    QProcess client;
    if (sqlite()) {
        client.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), db->path});
        ASSERT_TRUE(client.waitForStarted(10000));
        client.write(".timeout 5000\nBEGIN IMMEDIATE;\nINSERT INTO Tests (OrderNumber) VALUES (999);\n"
                     ".shell sleep 0.3\nCOMMIT;\n");
    } else {
        const DatabaseConfig& c = db->config;
        client.start(QStringLiteral("psql"), {QStringLiteral("-q"), QStringLiteral("-h"), c.host, QStringLiteral("-p"),
                                              QString::number(c.port), QStringLiteral("-U"), c.user, c.name});
        ASSERT_TRUE(client.waitForStarted(10000));
        client.write("BEGIN;\nLOCK TABLE Tests IN EXCLUSIVE MODE;\nINSERT INTO Tests (OrderNumber) VALUES (999);\n"
                     "SELECT pg_sleep(0.3);\nCOMMIT;\n");
    }
    ASSERT_TRUE(client.waitForBytesWritten(10000));
    client.closeWriteChannel();
    auto lockHeld = [&] {
        QSqlQuery probe(other->db());
        if (sqlite()) {
            if (!probe.exec(QStringLiteral("BEGIN IMMEDIATE")))
                return true;
            probe.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
        return probe.exec(QStringLiteral("SELECT 1 FROM pg_locks l JOIN pg_class c ON c.oid = l.relation WHERE "
                                         "c.relname = 'tests' AND l.mode = 'ExclusiveLock' AND l.granted")) &&
               probe.next();
    };
    QElapsedTimer waited;
    waited.start();
    while (!lockHeld()) {
        ASSERT_LT(waited.elapsed(), 10000) << "the other program never took the lock";
        QThread::msleep(5);
    }
    EXPECT_EQ(store(testAt(1, at(Day, 9, 0), 2)), TdmMain::StoreResult::Stored) << db->dm.lastError().toStdString();
    ASSERT_TRUE(client.waitForFinished(10000));
    EXPECT_EQ(other->rows(QStringLiteral("SELECT OrderNumber FROM Tests ORDER BY id")),
              (std::vector<QVariantList>{{999}, {1}}));
    EXPECT_EQ(other->count(QStringLiteral("Axles")), 2);
}

TEST_P(DataModule, TheListHoldsTheDaysOfTheRangeOldestFirstWithoutDeletedTests) {
    const QDate before = Day.addDays(-1), after = Day.addDays(1);
    // Stored out of order; the order number tells them apart.
    const std::pair<int, QDateTime> tests[] = {
        {3, at(Day, 23, 59, 59)}, {1, at(Day, 0, 0)},   {90, at(before, 23, 59)}, {2, at(Day, 12, 0)},
        {91, at(after, 0, 0)},    {4, at(Day, 12, 30)}, {5, at(after, 18, 0)},
    };
    for (const auto& [order, time] : tests)
        ASSERT_EQ(store(testAt(order, time)), TdmMain::StoreResult::Stored);
    ASSERT_TRUE(db->dm.TableTestsDelete(idOf(4)));

    struct Case {
        QDateTime begin, end;
        QStringList orders;
    };
    const Case cases[] = {
        {at(Day, 17, 0), at(Day, 9, 0), {"1", "2", "3"}}, // only the dates count
        {at(Day, 0, 0), at(after, 0, 0), {"1", "2", "3", "91", "5"}},
        {at(before, 0, 0), at(before, 0, 0), {"90"}},
        {at(after, 0, 0), at(Day, 0, 0), {}}, // start after end
    };
    for (const Case& c : cases) {
        db->dm.TableTestsSelect(c.begin, c.end);
        EXPECT_EQ(orderNumbers(db->dm.qrTests), c.orders) << c.begin.toString().toStdString();
    }
    // The list's dates are date-times again.
    db->dm.TableTestsSelect(at(Day, 0, 0), at(Day, 0, 0));
    EXPECT_EQ(db->dm.qrTests.value(2, QStringLiteral("TestDTBegin")).toDateTime(), at(Day, 23, 59));
    EXPECT_EQ(db->dm.qrTests.value(2, QStringLiteral("VerificationDate")).toDateTime(),
              at(QDate(2025, 6, 15), 0, 0));
}

TEST_P(DataModule, ATestIsNamedByItsOrderNumberOrItsIdDeletedTestsLeftOut) {
    ASSERT_EQ(store(testAt(7, at(Day, 11, 0), 2)), TdmMain::StoreResult::Stored);
    ASSERT_EQ(store(testAt(7, at(Day, 10, 0), 1)), TdmMain::StoreResult::Stored);
    ASSERT_EQ(store(testAt(8, at(Day, 12, 0), 3)), TdmMain::StoreResult::Stored);
    const int later7 = lastId() - 2, deleted8 = lastId();
    ASSERT_TRUE(db->dm.TableTestsDelete(deleted8));
    TdmMain& dm = db->dm;

    struct Case {
        bool byId;
        int number;
        QStringList orders; // oldest first
        int axles;          // of the first, which the axle query follows
    };
    const Case cases[] = {
        {false, 7, {"7", "7"}, 1}, {false, 8, {}, 0}, {false, 99, {}, 0},
        {true, later7, {"7"}, 2},  {true, deleted8, {}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(c.byId ? dm.TableTestsSelectId(c.number) : dm.TableTestsSelectOrder(c.number));
        EXPECT_EQ(orderNumbers(dm.qrTests), c.orders) << c.byId << " " << c.number;
        EXPECT_EQ(dm.qrAxles.rowCount(), c.axles) << c.byId << " " << c.number;
    }
}

TEST_P(DataModule, TheCurrentTestStaysCurrentAcrossAReopenAndTheAxlesFollowIt) {
    for (int i = 1; i <= 3; ++i)
        ASSERT_EQ(store(testAt(i, at(Day, 10 + i, 0), i)), TdmMain::StoreResult::Stored);
    TdmMain& dm = db->dm;
    QStringList seen; // current order number and its axle count, each time the view is told
    QObject::connect(&dm, &TdmMain::testsDataChanged, [&] {
        seen << QStringLiteral("%1:%2")
                    .arg(dm.qrTests.value(dm.qrTests.currentRow(), QStringLiteral("OrderNumber")).toString())
                    .arg(dm.qrAxles.rowCount());
    });

    dm.TableTestsSelect(at(Day, 0, 0), at(Day, 0, 0));
    dm.qrTests.setCurrentRow(2);
    dm.qrTests.setCurrentRow(2); // no move, no refresh
    EXPECT_EQ(seen, (QStringList{"1:1", "3:3"}));
    EXPECT_EQ(dm.qrAxles.value(2, QStringLiteral("AxleNumber")).toInt(), 3);
    EXPECT_EQ(dm.qrAxles.value(2, QStringLiteral("TestID")).toInt(), dm.qrTests.currentId());

    // A test stored earlier in the day moves the current one down a row; it stays current.
    ASSERT_EQ(store(testAt(4, at(Day, 6, 0), 2)), TdmMain::StoreResult::Stored);
    dm.TableTestsSelect(at(Day, 0, 0), at(Day, 0, 0));
    EXPECT_EQ(dm.qrTests.currentRow(), 3);
    EXPECT_EQ(seen.last(), QStringLiteral("3:3"));

    // Gone from the list: the first row becomes current.
    dm.TableTestsDelete(dm.qrTests.currentId());
    dm.TableTestsSelect(at(Day, 0, 0), at(Day, 0, 0));
    EXPECT_EQ(dm.qrTests.currentRow(), 0);
    EXPECT_EQ(seen.last(), QStringLiteral("4:2"));

    // An empty list: no current test, and the axle query asks for test 0.
    dm.TableTestsSelect(at(Day.addDays(3), 0, 0), at(Day.addDays(3), 0, 0));
    EXPECT_EQ(dm.qrTests.currentRow(), -1);
    EXPECT_EQ(dm.qrTests.currentId(), 0);
    EXPECT_EQ(seen.last(), QStringLiteral(":0"));
    EXPECT_EQ(seen.size(), 5);
}

TEST_P(DataModule, CarNumberAndVinEditedInTheListAreWrittenToTheirTest) {
    for (int i = 1; i <= 2; ++i) {
        TestRecord t = testAt(i, at(Day, 10, i));
        t.header[24] = static_cast<uint16_t>(i == 1 ? 0 : 3); // CarType
        ASSERT_EQ(store(t), TdmMain::StoreResult::Stored);
    }
    TdmMain& dm = db->dm;
    TestsModel& list = dm.qrTests;
    dm.TableTestsSelect(at(Day, 0, 0), at(Day, 0, 0));
    EXPECT_EQ(list.value(0, QStringLiteral("StCarType")).toString(), QStringLiteral("легковой"));
    EXPECT_EQ(list.value(1, QStringLiteral("StCarType")).toString(), QStringLiteral("грузовой"));
    list.setCurrentRow(1);
    const int id = list.currentId();

    QSignalSpy refreshed(&dm, &TdmMain::testsDataChanged);
    const int carNumber = list.fieldIndex(QStringLiteral("CarNumber"));
    const int vin = list.fieldIndex(QStringLiteral("VIN"));
    EXPECT_TRUE(
        list.setData(list.index(1, carNumber), QStringLiteral("А123ВС77RUS"))); // 11: the first 10 stay
    EXPECT_TRUE(list.setData(list.index(1, vin), QStringLiteral("X'9\"ZZZ0123456789AB")));
    EXPECT_EQ(refreshed.count(), 2);
    EXPECT_EQ(list.value(1, QStringLiteral("CarNumber")).toString(), QStringLiteral("А123ВС77RU"));
    EXPECT_EQ(other->rows(QStringLiteral("SELECT CarNumber, VIN FROM Tests WHERE id = %1").arg(id)).at(0),
              (QVariantList{QStringLiteral("А123ВС77RU"), QStringLiteral("X'9\"ZZZ0123456789")}));
    EXPECT_EQ(other->rows(QStringLiteral("SELECT CarNumber, VIN FROM Tests WHERE id <> %1").arg(id)).at(0),
              (QVariantList{QString(), QString()}));

    // Only those two columns take edits, and no row can be added.
    for (int c = 0; c < list.columnCount(); ++c) {
        const bool editable = list.flags(list.index(0, c)) & Qt::ItemIsEditable;
        EXPECT_EQ(editable, c == carNumber || c == vin) << list.columns()[c].toStdString();
    }
    EXPECT_FALSE(list.setData(list.index(1, list.fieldIndex(QStringLiteral("OrderNumber"))), 99));
    EXPECT_FALSE(list.insertRows(0, 1));
    EXPECT_EQ(list.rowCount(), 2);

    // The edit survives a reopen: it came back from the file.
    dm.TableTestsSelect(at(Day, 0, 0), at(Day, 0, 0));
    EXPECT_EQ(list.value(1, QStringLiteral("VIN")).toString(), QStringLiteral("X'9\"ZZZ0123456789"));
}

TEST_P(DataModule, AnEditTheFileRefusesKeepsTheOldText) {
    ASSERT_EQ(store(testAt(1, at(Day, 10, 0))), TdmMain::StoreResult::Stored);
    TestsModel& list = db->dm.qrTests;
    db->dm.TableTestsSelect(at(Day, 0, 0), at(Day, 0, 0));
    // Another program holds the write lock past our wait.
    if (sqlite()) {
        other->exec(QStringLiteral("BEGIN IMMEDIATE"));
    } else {
        other->exec(QStringLiteral("BEGIN"));
        other->exec(QStringLiteral("LOCK TABLE Tests IN ACCESS EXCLUSIVE MODE"));
    }
    EXPECT_FALSE(
        list.setData(list.index(0, list.fieldIndex(QStringLiteral("CarNumber"))), QStringLiteral("A1")));
    EXPECT_EQ(list.value(0, QStringLiteral("CarNumber")).toString(), QString());
    EXPECT_FALSE(db->dm.lastError().isEmpty());
    other->exec(QStringLiteral("ROLLBACK"));
}

INSTANTIATE_TEST_SUITE_P(Engines, DataModule, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const ::testing::TestParamInfo<Engine>& info) { return engineName(info.param); });

TEST(DataModuleWithoutConnection, StoresNothingAndLeavesTheListAlone) {
    TdmMain dm;
    QSignalSpy refreshed(&dm, &TdmMain::testsDataChanged);
    EXPECT_EQ(dm.TableTestsStore(testAt(1, at(Day, 10, 0), 1)), TdmMain::StoreResult::NotConnected);
    dm.TableTestsSelect(at(Day, 0, 0), at(Day, 0, 0));
    EXPECT_EQ(refreshed.count(), 0);
    EXPECT_EQ(dm.qrTests.rowCount(), 0);
}

TEST(DataModuleOnDisk, StoredRowsReadBackWithTheSqliteShell) {
    StationDatabase db;
    TestRecord t = testAt(168, at(Day, 17, 46, 38), 3);
    t.header[0] = 3082;
    t.header[1] = 2564;
    t.header[2] = 351;
    t.totals = {2200, 950, 65535};
    t.KalvexType = QStringLiteral("Калвекс-3500");
    t.BrakeWorkEfficiency = 950.0 / 2200.0;
    t.BrakeStopEfficiency = 65535.0 / 2200.0;
    t.axles[1].measured[12] = 65535; // BrakeStopL of axle 2
    ASSERT_EQ(db.dm.TableTestsStore(t), TdmMain::StoreResult::Stored);

    auto shell = [&](const char* sql) {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), QStringLiteral("-separator"),
                                            QStringLiteral("|"), db.path, QString::fromLatin1(sql)});
        EXPECT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    EXPECT_EQ(
        shell("SELECT id, KalvexID, SoftwareVersion, VerificationDate, OrderNumber, TestDTBegin, TestDTEnd, "
              "KalvexType, Weight, BrakeWorkTotal, BrakeStopTotal, round(BrakeStopEfficiency, 6), "
              "DeleteFlag, quote(VIN), quote(CarNumber) FROM Tests"),
        QStringLiteral("1|168037386|3.51|2025-06-15T00:00:00.000|168|2026-12-09T17:46:00.000|"
                       "2026-12-09T17:46:00.000|Калвекс-3500|2200|950|65535|29.788636|0|''|''\n"));
    EXPECT_EQ(shell("SELECT TestID, AxleNumber, StaticWeightL, BrakeStopL, TruckBlockStopR, StaticWeightSum, "
                    "BrakeStopN FROM Axles ORDER BY AxleNumber"),
              QStringLiteral("1|1|100|100|100|1|1\n1|2|200|65535|200|2|2\n1|3|300|300|300|3|3\n"));
    // The list finds it through the index on the test time.
    EXPECT_TRUE(
        shell("EXPLAIN QUERY PLAN SELECT id FROM Tests WHERE (NOT DeleteFlag) AND TestDTBegin >= "
              "'2026-12-09T00:00:00.000' AND TestDTBegin <= '2026-12-09T23:59:59.000' ORDER BY TestDTBegin")
            .contains(QLatin1String("TestsTestDTBegin")));
}
