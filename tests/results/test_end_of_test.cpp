#include "ResultsSupport.h"
#include "TestAssembly.h"
#include "TestHandOver.h"
#include "TestStorage.h"

#include "RegisterImage.h"
#include "Settings.h"
#include "StandLink.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace TestAssembly;

TEST(EndOfTest, UnevennessRoundsHalvesToTheEvenNeighbour) {
    struct Case {
        uint16_t a, b, percent;
    };
    const Case cases[] = {
        {0, 0, 0},         {500, 450, 10},  {450, 500, 10}, {3, 2, 33},    {2, 3, 33},  {200, 199, 0},
        {200, 197, 2},     {200, 195, 2},   {200, 193, 4},  {200, 191, 4}, {1, 0, 100}, {65535, 0, 100},
        {65535, 65535, 0}, {65535, 1, 100}, {3, 1, 67},     {40, 39, 2},   {40, 37, 8},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetDiffPercent(c.a, c.b), c.percent) << c.a << " " << c.b;
}

TEST(EndOfTest, DerivedAxleValuesWrapIn16BitsAndKeepMarks) {
    std::array<uint16_t, 32> w;
    w.fill(NoValue);
    w[0] = 40000; // StaticWeight: 70000 wraps to 4464
    w[1] = 30000;
    w[4] = 120; // Resist
    w[5] = 100;
    w[6] = 7; // Ovality
    w[7] = 9;
    w[10] = 500; // BrakeWork
    w[11] = 450;
    w[18] = 300; // MaxEffortPedal
    w[19] = 301;
    // BrakeStop 12/13 not measured: 65535 + 65535
    const std::array<uint16_t, 9> expected = {4464, 220, 17, 16, 950, 10, 601, 65534, 0};
    EXPECT_EQ(derivedValues(w), expected);
}

TEST(EndOfTest, TestTimeComesFromTheControllerOrThePcClock) {
    const QDateTime now(QDate(2026, 12, 9), QTime(14, 5, 7));
    struct Case {
        bool pc;
        uint16_t day, month, year, hour, minute;
        QDateTime expected;
    };
    const Case cases[] = {
        {false, 21, 11, 2011, 17, 46, QDateTime(QDate(2011, 11, 21), QTime(17, 46))},
        {true, 21, 11, 2011, 17, 46, now},
        {false, 29, 2, 2024, 0, 0, QDateTime(QDate(2024, 2, 29), QTime(0, 0))},
        // Not a date or time: the PC clock, so the test is not lost.
        {false, 29, 2, 2023, 10, 0, now},
        {false, 21, 13, 2011, 17, 46, now},
        {false, 0, 0, 0, 0, 0, now},
        {false, 21, 11, 2011, 24, 0, now},
        {false, 21, 11, 2011, 17, 60, now},
        {false, 65535, 65535, 65535, 65535, 65535, now},
    };
    for (const Case& c : cases) {
        Header h{};
        h[11] = c.day;
        h[12] = c.month;
        h[13] = c.year;
        h[14] = c.hour;
        h[15] = c.minute;
        EXPECT_EQ(testTime(h, c.pc, now), c.expected) << c.day << "." << c.month << "." << c.year;
    }
}

// A finished test as the link leaves it, handed over to the outbox and stored from there into
// a real database file.
class HandOver : public ::testing::Test {
public:
    StationDatabase db;
    OtherConnection other{db.path};
    RegisterImage image;
    StandLink link{image};
    Settings settings;
    FixedClock clock;
    Storing storing{db.dir.filePath(QStringLiteral("Outbox"))};
    TestStorage& storage = storing.storage;
    TestHandOver handOver{link, settings, storage, clock, db.dir.filePath(QStringLiteral("Titles.txt"))};
    int axlesTaken = -1;

    HandOver() { storing.start(db.config, 100); }
    // Hands the test over and waits until the storage is done with it.
    TdmMain::StoreResult store() {
        const size_t before = storing.results.size();
        EXPECT_EQ(handOver.StoreTest(), TestHandOver::Taken::Outbox);
        // Read before the wait, in which the link's poll ticks set it back to 0.
        axlesTaken = link.CurrentAxle;
        if (!storing.waitFor(before + 1, 10000))
            return TdmMain::StoreResult::Failed;
        return storing.results.back().first;
    }

    void SetUp() override {
        settings.fPCDateTime = true;
        settings.KalvexType = QStringLiteral("Калвекс-3500");
        settings.KalvexSerial = QStringLiteral("00042");
        link.FinalOKData = {0,    3082, 2564, 351, 15, 6, 2025, 0, 0, 42, 0, 9, 12,
                            2026, 14,   5,    0,   0,  0, 0,    0, 0, 0,  3, 0, 0};
        for (auto& row : link.AxleOkData)
            row.fill(NoValue);
    }
    // Axle a with weights and brake forces; everything else unmeasured.
    void axle(int a, uint16_t weightL, uint16_t weightR, uint16_t workL, uint16_t workR, uint16_t stopL,
              uint16_t stopR) {
        auto& w = link.AxleOkData[a];
        w[1] = weightL;
        w[2] = weightR;
        w[11] = workL;
        w[12] = workR;
        w[13] = stopL;
        w[14] = stopR;
    }
    QVariantList testRow() {
        const auto rows = other.rows(QStringLiteral("SELECT Weight, BrakeWorkTotal, BrakeStopTotal, "
                                                    "BrakeWorkEfficiency, BrakeStopEfficiency FROM Tests"));
        EXPECT_EQ(rows.size(), 1u);
        return rows.empty() ? QVariantList{} : rows[0];
    }
};

TEST_F(HandOver, StoresTheMeasuredAxlesWithTotalsAndEfficiencies) {
    struct Case {
        const char* name;
        std::function<void(HandOver&)> axles;
        uint16_t CurrentAxle;
        QVariantList test; // totals and efficiencies
    };
    const Case cases[] = {
        {"three axles and the controller's terminating block",
         [](HandOver& t) {
             t.axle(1, 500, 500, 300, 250, 100, 90);
             t.axle(2, 400, 450, 200, 210, 80, 85);
             t.axle(3, 300, 350, 150, 160, 60, 50);
             t.link.AxleOkData[4][5] = 7; // the fourth row starts with 65535: no axle
         },
         4,
         {2500, 1270, 465, 1270.0 / 2500, 465.0 / 2500}},
        {"nine axles",
         [](HandOver& t) {
             for (int a = 1; a <= 9; ++a)
                 t.axle(a, 100, 100, 10, 10, 5, 5);
         },
         10,
         {1800, 180, 90, 0.1, 0.05}},
        {"no axle", [](HandOver&) {}, 1, {0, 0, 65535, 0.0, 0.0}},
        {"parking brake of the first two axles only",
         [](HandOver& t) {
             t.axle(1, 500, 500, 300, 250, 100, 90);
             t.axle(2, 400, 450, 200, 210, 80, 85);
             t.axle(3, 300, 350, 150, 160, NoValue, NoValue);
         },
         4,
         {2500, 1270, 355, 1270.0 / 2500, 355.0 / 2500}},
        {"no parking brake at all",
         [](HandOver& t) {
             t.axle(1, 500, 500, 300, 250, NoValue, NoValue);
             t.axle(2, 500, 500, 300, 250, NoValue, NoValue);
         },
         3,
         {2000, 1100, 65535, 0.55, 32.7675}},
        {"totals wrap at 65536",
         [](HandOver& t) {
             t.axle(1, 30000, 30000, 40000, 30000, 40000, 40000);
             t.axle(2, 3000, 3000, 0, 0, 0, 0);
         },
         3,
         {464, 4464, 14464, 4464.0 / 464, 14464.0 / 464}},
    };
    int minute = 0;
    for (const Case& c : cases) {
        SetUp();
        other.exec(QStringLiteral("DELETE FROM Axles"));
        other.exec(QStringLiteral("DELETE FROM Tests"));
        clock.t = QDateTime(QDate(2026, 12, 9), QTime(9, minute++, 30));
        c.axles(*this);
        link.CurrentAxle = c.CurrentAxle;

        EXPECT_EQ(store(), TdmMain::StoreResult::Stored) << c.name;
        const int n = c.CurrentAxle - 1;
        EXPECT_EQ(axlesTaken, n) << c.name;
        EXPECT_EQ(testRow(), c.test) << c.name;
        const auto axles =
            other.rows(QStringLiteral("SELECT a.AxleNumber, a.TestID = t.id, a.StaticWeightL, "
                                      "a.BrakeStopSum FROM Axles a, Tests t ORDER BY a.AxleNumber"));
        ASSERT_EQ(axles.size(), size_t(n)) << c.name;
        for (int a = 1; a <= n; ++a) {
            const auto& w = link.AxleOkData[a];
            EXPECT_EQ(axles[a - 1], (QVariantList{a, 1, w[1], uint16_t(w[13] + w[14])}))
                << c.name << " axle " << a;
        }
    }
}

TEST_F(HandOver, TheStoredRowCarriesTheHeaderTheSettingsAndTheTestTime) {
    settings.fPCDateTime = false;
    link.FinalOKData[11] = 21; // 21.11.2011 17:46
    link.FinalOKData[12] = 11;
    link.FinalOKData[13] = 2011;
    link.FinalOKData[14] = 17;
    link.FinalOKData[15] = 46;
    axle(1, 500, 500, 300, 250, 100, 90);
    link.CurrentAxle = 2;
    ASSERT_EQ(store(), TdmMain::StoreResult::Stored);
    EXPECT_EQ(
        other
            .rows(QStringLiteral("SELECT KalvexID, SoftwareVersion, OrderNumber, TestDTBegin, AxleCount, "
                                 "KalvexType, KalvexSerial FROM Tests"))
            .at(0),
        (QVariantList{168037386, QStringLiteral("3.51"), 42, QStringLiteral("2011-11-21T17:46:00.000"), 3,
                      QStringLiteral("Калвекс-3500"), QStringLiteral("00042")}));
}

TEST_F(HandOver, TheSameTestHandedOverTwiceInOneMinuteIsStoredOnce) {
    axle(1, 500, 500, 300, 250, 100, 90);
    link.CurrentAxle = 2;
    clock.t = QDateTime(QDate(2026, 12, 9), QTime(14, 5, 1));
    EXPECT_EQ(store(), TdmMain::StoreResult::Stored);
    link.CurrentAxle = 2;
    clock.t = clock.t.addSecs(58);
    EXPECT_EQ(store(), TdmMain::StoreResult::Duplicate);
    EXPECT_EQ(other.count(QStringLiteral("Tests")), 1);
    EXPECT_EQ(other.count(QStringLiteral("Axles")), 1);
    link.CurrentAxle = 2;
    clock.t = clock.t.addSecs(1);
    EXPECT_EQ(store(), TdmMain::StoreResult::Stored);
}

TEST_F(HandOver, WithoutTheDatabaseNothingIsStoredAndTheAxleCountIsStillTaken) {
    TestStorage off(db.dir.filePath(QStringLiteral("unused")));
    TestHandOver offline{link, settings, off, clock, QString()};
    axle(1, 500, 500, 300, 250, 100, 90);
    link.CurrentAxle = 2;
    EXPECT_EQ(offline.StoreTest(), TestHandOver::Taken::NotStored);
    EXPECT_EQ(link.CurrentAxle, 1);
    EXPECT_FALSE(QFileInfo::exists(db.dir.filePath(QStringLiteral("unused"))));
}

TEST_F(HandOver, ATestTheDatabaseRefusesWaitsInTheOutboxAndIsStoredOnceItTakesIt) {
    other.exec(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE INSERT ON Axles BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    axle(1, 500, 500, 300, 250, 100, 90);
    link.CurrentAxle = 2;
    EXPECT_EQ(handOver.StoreTest(), TestHandOver::Taken::Outbox);
    ASSERT_TRUE(QTest::qWaitFor([&] { return storage.status().failing; }, 10000));
    const TestStorage::Status s = storage.status();
    EXPECT_EQ(s.waiting, 1);
    EXPECT_EQ(s.orderNumber, 42);
    EXPECT_TRUE(s.reason.contains(QLatin1String("disk full"))) << s.reason.toStdString();
    EXPECT_EQ(other.count(QStringLiteral("Tests")), 0);
    const QDir outbox(db.dir.filePath(QStringLiteral("Outbox")));
    EXPECT_EQ(outbox.entryList({QStringLiteral("*.test")}), QStringList{QStringLiteral("0000000001-42.test")});

    // Tried again and again; once the database takes it, it is stored once and leaves the outbox.
    QTest::qWait(300);
    other.exec(QStringLiteral("DROP TRIGGER refuse"));
    ASSERT_TRUE(storing.waitFor(1, 10000));
    EXPECT_EQ(storing.results, (std::vector<Storing::Result>{{TdmMain::StoreResult::Stored, 42}}));
    EXPECT_EQ(other.count(QStringLiteral("Tests")), 1);
    EXPECT_EQ(other.count(QStringLiteral("Axles")), 1);
    EXPECT_TRUE(outbox.entryList({QStringLiteral("*.test")}).isEmpty());
    EXPECT_TRUE(outbox.exists(QStringLiteral("stored.last")));
    EXPECT_EQ(storage.status().waiting, 0);
    EXPECT_FALSE(storage.status().failing);
}
