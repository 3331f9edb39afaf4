#include "ResultsSupport.h"
#include "Settings.h"
#include "TestSupport.h"

#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>

namespace {

// Test n of the concurrency runs: order number n, made at minute n of the day, with axles
// whose every word names the test, so that an axle row shows which test it belongs to.
TestRecord numbered(int n) {
    TestRecord r;
    r.header[8] = static_cast<uint16_t>(n);
    r.header[22] = 2;
    r.testTime = QDateTime(QDate(2026, 12, 9), QTime(0, 0)).addSecs(60 * n);
    for (uint16_t a = 1; a <= 2; ++a) {
        AxleRecord x;
        x.AxleNumber = a;
        x.measured.fill(static_cast<uint16_t>(n));
        x.derived.fill(a);
        r.axles.push_back(x);
    }
    return r;
}

// One station storing a run of tests over a connection of its own, in a thread of its own.
class Station : public QThread {
public:
    Station(const DatabaseConfig& c, QList<int> orders) : config_(c), orders_(std::move(orders)) {}
    std::atomic<int> stored{0}, duplicates{0}, failed{0};
    QString lastError;

protected:
    void run() override {
        TdmMain dm;
        if (!dm.DatabaseConnect(config_)) {
            lastError = dm.lastError();
            failed = static_cast<int>(orders_.size());
            return;
        }
        for (int n : orders_) {
            switch (dm.TableTestsStore(numbered(n))) {
            case TdmMain::StoreResult::Stored:
                ++stored;
                break;
            case TdmMain::StoreResult::Duplicate:
                ++duplicates;
                break;
            default:
                ++failed;
                lastError = dm.lastError();
            }
        }
    }

private:
    DatabaseConfig config_;
    QList<int> orders_;
};

class SharedDatabase : public ::testing::TestWithParam<Engine> {
protected:
    std::unique_ptr<StationDatabase> db;
    void SetUp() override {
        db = std::make_unique<StationDatabase>(GetParam());
        if (!db->usable())
            GTEST_SKIP() << db->unavailable.toStdString();
    }
};

} // namespace

// Two stations store 200 tests each at the same time, and then the same 50 finished tests,
// which each of them fetched. Every test is stored once, with its own axles.
TEST_P(SharedDatabase, TwoStationsStoringAtOnceStoreEveryTestOnceWithItsOwnAxles) {
    auto range = [](int first, int last) {
        QList<int> r;
        for (int n = first; n <= last; ++n)
            r << n;
        return r;
    };
    Station a(db->config, range(1, 200) + range(401, 450)), b(db->config, range(201, 400) + range(401, 450));
    a.start();
    b.start();
    ASSERT_TRUE(a.wait(120000) && b.wait(120000));
    EXPECT_EQ(a.failed + b.failed, 0) << a.lastError.toStdString() << " / " << b.lastError.toStdString();
    EXPECT_EQ(a.stored + b.stored, 450);
    EXPECT_EQ(a.duplicates + b.duplicates, 50);

    OtherConnection other(db->config);
    EXPECT_EQ(other.count(QStringLiteral("Tests")), 450);
    EXPECT_EQ(other.rows(QStringLiteral("SELECT count(DISTINCT OrderNumber) FROM Tests")).at(0).at(0).toInt(), 450);
    EXPECT_EQ(other.count(QStringLiteral("Axles")), 900);
    // Every axle row carries the order number of the test it is attached to.
    EXPECT_EQ(other.rows(QStringLiteral("SELECT count(*) FROM Axles x JOIN Tests t ON t.id = x.TestID "
                                        "WHERE x.StaticWeightL <> t.OrderNumber OR x.TruckBlockStopR <> "
                                        "t.OrderNumber"))
                  .at(0)
                  .at(0)
                  .toInt(),
              0);
    EXPECT_EQ(other.rows(QStringLiteral("SELECT count(*) FROM (SELECT TestID FROM Axles GROUP BY TestID "
                                        "HAVING count(*) <> 2) g"))
                  .at(0)
                  .at(0)
                  .toInt(),
              0);
}

INSTANTIATE_TEST_SUITE_P(Engines, SharedDatabase, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const ::testing::TestParamInfo<Engine>& info) { return engineName(info.param); });

TEST(SharedDatabaseSchema, IsCreatedOnceOnPostgreSQLAndConnectionFailuresAreReported) {
    QString why;
    std::optional<DatabaseConfig> c = PgTestServer::freshDatabase(&why);
    if (!c)
        GTEST_SKIP() << why.toStdString();
    QString error;
    ASSERT_TRUE(TdmMain::createDatabase(*c, &error)) << error.toStdString();
    EXPECT_FALSE(TdmMain::createDatabase(*c, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("holds the station tables already"))) << error.toStdString();
    {
        OtherConnection other(*c);
        // The types hold every value a test may bring.
        const auto types = other.rows(
            QStringLiteral("SELECT column_name, data_type, character_maximum_length, column_default FROM "
                           "information_schema.columns WHERE table_name = 'tests' AND column_name IN ('id', "
                           "'kalvexid', 'softwareversion', 'verificationdate', 'vin', 'carnumber', "
                           "'kalvextype', 'brakeworkefficiency', 'deleteflag') ORDER BY column_name"));
        const std::vector<QVariantList> expected = {
            {"brakeworkefficiency", "double precision", QVariant(), QVariant()},
            {"carnumber", "character varying", 10, "''::character varying"},
            {"deleteflag", "boolean", QVariant(), "false"},
            {"id", "integer", QVariant(), "nextval('tests_id_seq'::regclass)"},
            {"kalvexid", "integer", QVariant(), QVariant()},
            {"kalvextype", "character varying", 50, QVariant()},
            {"softwareversion", "character varying", 10, QVariant()},
            {"verificationdate", "timestamp without time zone", QVariant(), QVariant()},
            {"vin", "character varying", 17, "''::character varying"},
        };
        ASSERT_EQ(types.size(), expected.size());
        for (size_t i = 0; i < types.size(); ++i)
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(types[i][k].isNull() ? QString() : types[i][k].toString(), expected[i][k].toString())
                    << i << " " << k;
        EXPECT_EQ(other.count(QStringLiteral("Axles")), 0);
    }
    TdmMain dm;
    EXPECT_TRUE(dm.DatabaseConnect(*c)) << dm.lastError().toStdString();
    DatabaseConfig missing = *c;
    missing.name += QStringLiteral("_missing");
    EXPECT_FALSE(dm.DatabaseConnect(missing));
    EXPECT_TRUE(dm.lastError().contains(missing.name)) << dm.lastError().toStdString();
    EXPECT_FALSE(dm.isConnected());
    PgTestServer::dropDatabase(*c);
}

TEST(DatabaseSettings, ChooseTheEngineAndItsConnection) {
    QTemporaryDir dir;
    Settings s;
    QString why;
    std::optional<DatabaseConfig> c = DatabaseConfig::fromSettings(s, QStringLiteral("/st/Mirvane.db"), &why);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->engine, Engine::SQLite);
    EXPECT_EQ(c->file, QStringLiteral("/st/Mirvane.db"));

    s.DatabaseDriver = QStringLiteral("Postgres");
    s.DatabaseHost = QStringLiteral("db.centre.local");
    s.DatabasePort = 6543;
    s.DatabaseUser = QStringLiteral("stand3");
    s.DatabasePassword = QStringLiteral("in-settings");
    c = DatabaseConfig::fromSettings(s, QString(), &why);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->engine, Engine::PostgreSQL);
    EXPECT_EQ(c->describe(), QStringLiteral("stand3@db.centre.local:6543/mirvane"));
    EXPECT_EQ(c->password, QStringLiteral("in-settings"));

    // A password file wins over the settings' password; one that cannot be read is refused.
    s.DatabasePasswordFile = dir.filePath(QStringLiteral("pw"));
    writeFile(s.DatabasePasswordFile, "from-file\nsecond line\n");
    EXPECT_EQ(DatabaseConfig::fromSettings(s, QString(), &why)->password, QStringLiteral("from-file"));
    s.DatabasePasswordFile = dir.filePath(QStringLiteral("none"));
    EXPECT_FALSE(DatabaseConfig::fromSettings(s, QString(), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("password file"))) << why.toStdString();

    s.DatabaseDriver = QStringLiteral("oracle");
    EXPECT_FALSE(DatabaseConfig::fromSettings(s, QString(), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("oracle"))) << why.toStdString();
}

// The station's own switch creates the shared schema from its settings.
TEST(SharedDatabaseSchema, TheCreateDatabaseSwitchUsesTheStationSettings) {
    QString why;
    std::optional<DatabaseConfig> c = PgTestServer::freshDatabase(&why);
    if (!c)
        GTEST_SKIP() << why.toStdString();
    QTemporaryDir station;
    writeFile(station.filePath(QStringLiteral("mirvane.ini")),
              (QStringLiteral("[Program]\n") + programSettings(*c)).toUtf8());
    QProcess p;
    p.start(QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane"),
            {QStringLiteral("--station-dir"), station.path(), QStringLiteral("--create-database")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_FALSE(QFile::exists(station.filePath(QStringLiteral("Mirvane.db"))));
    OtherConnection other(*c);
    EXPECT_EQ(other.count(QStringLiteral("Tests")), 0);
    PgTestServer::dropDatabase(*c);
}
