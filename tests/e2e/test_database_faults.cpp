// The whole station against the simulated stand while its PostgreSQL server comes and goes:
// polling goes on through every fault and every test the stand serves is stored, once and
// word for word, without anyone restarting the station. The replies per second kept through
// each fault are measured by bench/db_faults; here the poll must merely not stop.

#include "PgTestServer.h"
#include "StationRig.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A rate the poll never falls to while it runs, even on a loaded machine; a poll that waits
// for the database shows 0.
constexpr int StillPolling = 15;

int lowest(const std::vector<int>& rates) {
    return rates.empty() ? 0 : *std::min_element(rates.begin(), rates.end());
}

class PostgresFaults : public ::testing::Test {
protected:
    std::unique_ptr<PgTestServer::PrivateServer> server;
    QTemporaryDir dir;
    StationRig rig;

    void SetUp() override {
        server = std::make_unique<PgTestServer::PrivateServer>();
        if (!server->database)
            GTEST_SKIP() << server->why.toStdString();
        QString error;
        ASSERT_TRUE(TdmMain::createDatabase(*server->database, &error)) << error.toStdString();
        ASSERT_FALSE(rig.sim.slavePath.isEmpty());
        ASSERT_TRUE(rig.start(dir.path(), *server->database)) << "the station never heard the stand";
        // A first test stored the ordinary way.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.stored.empty(); }, 20000));
    }
};

} // namespace

// The server and the backend serving the station stopped with SIGSTOP for 20 s, as a hung
// server or a cable cut without a reset: the tests finished meanwhile wait, the operator is
// told once, the database page gives up on its read within its bound, and after SIGCONT
// everything is stored.
TEST_F(PostgresFaults, AServerStoppedFor20sStopsNeitherThePollNorTheTestsAndThePageReadGivesUp) {
    const size_t before = rig.stored.size();
    ASSERT_TRUE(server->run("stall"));
    const qint64 stalled = rig.now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.served().size() > before + 1; }, 15000));

    // The operator looks at the database page meanwhile: a bounded wait and a clear message.
    // The window's thread waits for it, so the poll pauses that long: those seconds are left
    // out of the poll's figures below.
    const qint64 pageAt = rig.now();
    QTest::keyClick(rig.w.get(), Qt::Key_F12);
    const qint64 pageMs = rig.now() - pageAt;
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.dialogs.messages.size() >= 2; }, 10000));
    bool pageTold = false, storeTold = false;
    for (const Dialogs::Message& m : rig.dialogs.messages) {
        pageTold |= m.title == QStringLiteral("Ошибка чтения базы данных");
        storeTold |= m.title == QStringLiteral("Ошибка записи в базу данных");
    }
    EXPECT_TRUE(pageTold && storeTold);
    EXPECT_LT(pageMs, 4000) << "the page's read held the window";
    QTest::keyClick(rig.w.get(), Qt::Key_F11);
    EXPECT_TRUE(rig.w->lbWaiting->isVisible());

    QTest::qWait(int(std::max<qint64>(0, 20000 - (rig.now() - stalled))));
    const qint64 resumed = rig.now();
    std::vector<int> rates = rig.rates(stalled, pageAt);
    const std::vector<int> after = rig.rates(pageAt + pageMs + 1000, resumed);
    rates.insert(rates.end(), after.begin(), after.end());
    ASSERT_TRUE(server->run("resume"));
    const size_t servedInStall = rig.served().size();
    EXPECT_GE(lowest(rates), StillPolling) << "replies per second while the server was stopped";
    EXPECT_EQ(rig.stored.size(), before) << "stored while the server was stopped";

    ASSERT_TRUE(rig.waitStored(30000));
    EXPECT_GE(servedInStall, before + 2);
    EXPECT_EQ(rig.check(), QStringList());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rig.w->lbWaiting->isVisible(); }, 2000));
    int storeMessages = 0;
    for (const Dialogs::Message& m : rig.dialogs.messages)
        storeMessages += m.title == QStringLiteral("Ошибка записи в базу данных");
    EXPECT_EQ(storeMessages, 1);
}

// The server shut down for 8 s and started again: the station finds it again by itself.
TEST_F(PostgresFaults, AServerShutDownAndStartedAgainGetsEveryTestServedMeanwhile) {
    const size_t before = rig.served().size();
    ASSERT_TRUE(server->run("down"));
    const qint64 down = rig.now();
    QTest::qWait(8000);
    const std::vector<int> rates = rig.rates(down, rig.now());
    ASSERT_TRUE(server->run("up"));
    EXPECT_GE(lowest(rates), StillPolling);
    EXPECT_GE(rig.served().size(), before + 1) << "no test finished while the server was down";
    ASSERT_TRUE(rig.waitStored(30000));
    EXPECT_EQ(rig.check(), QStringList());
}
