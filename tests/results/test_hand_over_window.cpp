#include "ResultsSupport.h"

#include "AnsiText.h"
#include "BoardPage.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>

#include <memory>

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
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<TfrMain> w;
    QString db = dir.filePath(QStringLiteral("Mirvane.db"));
    QString protocols = dir.filePath(QStringLiteral("protocols"));

    void SetUp() override {
        writeFile(dir.filePath(QStringLiteral("mirvane.ini")),
                  "[Device]\nKalvexType=STM-3500\n[Program]\nDatabaseEnabled=1\nPrintAct=1\nPCDateTime=1\n"
                  "ProtocolDir=" +
                      protocols.toUtf8() + "\n");
        writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
        writeFile(dir.filePath(QStringLiteral("Titles.txt")),
                  readFile(QStringLiteral(MIRVANE_SOURCE_DIR "/tests/results/data/Titles-w30.txt")));
        QDir().mkpath(protocols);
        QString error;
        ASSERT_TRUE(TdmMain::createDatabase(db, &error)) << error.toStdString();

        Station station;
        station.dir = dir.path();
        station.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
        w = std::make_unique<TfrMain>(station, dialogs, clock, QStringList{});
        w->show();
        w->FormShow();
        ASSERT_TRUE(w->dmMain.isConnected());
        ASSERT_TRUE(dialogs.messages.empty());
    }

    // The link has fetched a three-axle test with order number 42 and hands it over.
    void finishTest() {
        StandLink& link = w->link;
        link.FinalOKData = {0,    3082, 2564, 351, 15, 6, 2025, 0, 0, 42, 0, 9, 12,
                            2026, 14,   5,    0,   0,  0, 0,    0, 0, 0,  3, 0, 1};
        for (auto& row : link.AxleOkData)
            row.fill(65535);
        for (int a = 1; a <= 3; ++a)
            for (int j = 1; j <= 32; ++j)
                link.AxleOkData[a][j] = static_cast<uint16_t>(100 * a + j);
        link.CurrentAxle = 4;
        emit link.handOver();
    }
    QString protocolFile() const {
        return QDir(protocols).filePath(QStringLiteral("2026-12-09 14-05-07.txt"));
    }
};

TEST_F(WindowHandOver, StoresTheTestWritesTheProtocolAndKeepsItInTheMemo) {
    finishTest();
    // Read before any poll tick: with no stand state 5 the next tick sets it back to 0.
    const int axlesAtHandOver = w->link.CurrentAxle;
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs.messages.empty());
    OtherConnection other(db);
    EXPECT_EQ(other.rows(QStringLiteral("SELECT OrderNumber, KalvexType FROM Tests")),
              (std::vector<QVariantList>{{42, QStringLiteral("STM-3500")}}));
    EXPECT_EQ(other.count(QStringLiteral("Axles")), 3);
    EXPECT_EQ(axlesAtHandOver, 3);

    const QByteArray file = readFile(protocolFile());
    ASSERT_FALSE(file.isEmpty());
    EXPECT_EQ(w->TabSheet1->mmData->toPlainText() + QStringLiteral("\n"),
              AnsiText::decode(file).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

TEST_F(WindowHandOver, ALockedDatabaseGivesOneMessageAfterwardsNoRowsAndStillTheProtocol) {
    {
        // Another program holds a write transaction on the file while the test finishes.
        OtherConnection other(db);
        other.exec(QStringLiteral("BEGIN IMMEDIATE"));
        other.exec(QStringLiteral("INSERT INTO Tests (OrderNumber) VALUES (999)"));

        finishTest(); // returns normally: the link goes on polling
        EXPECT_TRUE(dialogs.messages.empty()) << "no message box inside the hand-over";
        EXPECT_FALSE(readFile(protocolFile()).isEmpty());
        EXPECT_FALSE(w->TabSheet1->mmData->toPlainText().isEmpty());

        QCoreApplication::processEvents();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        const Dialogs::Message& m = dialogs.messages[0];
        EXPECT_EQ(m.icon, Dialogs::Icon::Error);
        EXPECT_EQ(m.title, QStringLiteral("Ошибка записи в базу данных"));
        EXPECT_TRUE(m.text.startsWith(QStringLiteral("Испытание № 42 не сохранено в базе данных.")))
            << m.text.toStdString();
        EXPECT_TRUE(m.text.contains(QLatin1String("locked"))) << m.text.toStdString();
        other.exec(QStringLiteral("ROLLBACK"));
    }
    OtherConnection after(db);
    EXPECT_EQ(after.count(QStringLiteral("Tests")), 0);
    EXPECT_EQ(after.count(QStringLiteral("Axles")), 0);

    // The lock is gone: the next finished test is stored, without a message.
    clock.t = clock.t.addSecs(60);
    finishTest();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(after.count(QStringLiteral("Tests")), 1);
    EXPECT_EQ(after.count(QStringLiteral("Axles")), 3);
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
