#include "CommandLine.h"
#include "StationSetup.h"
#include "TestSupport.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

using Mode = CommandLine::Mode;

TEST(CommandLine, ReadsEveryOptionAndRefusesWhatItCannotUse) {
    QTemporaryDir dir;
    const QString d = dir.path();
    struct Case {
        QStringList args;
        Mode mode;
        const char* errorPart; // for Mode::Error
    };
    const Case cases[] = {
        {{}, Mode::Station, ""},
        {{QStringLiteral("--help")}, Mode::Help, ""},
        {{QStringLiteral("-h")}, Mode::Help, ""},
        {{QStringLiteral("--version")}, Mode::Version, ""},
        {{QStringLiteral("-EMBEDDING"), QStringLiteral("--station-dir"), d}, Mode::Station, ""},
        {{QStringLiteral("/automation"), QStringLiteral("-Embedding")}, Mode::Station, ""},
        {{QStringLiteral("/RegServerPerUser")}, Mode::Registration, ""},
        {{QStringLiteral("--create-database")}, Mode::CreateDatabase, ""},
        {{QStringLiteral("--create-database"), QStringLiteral("/tmp/x.db")}, Mode::CreateDatabase, ""},
        {{QStringLiteral("--init-station"), QStringLiteral("/tmp/st")}, Mode::InitStation, ""},
        {{QStringLiteral("--screenshot"), QStringLiteral("a.png"), QStringLiteral("--screenshot-after"),
          QStringLiteral("250")},
         Mode::Station,
         ""},
        {{QStringLiteral("--frobnicate")}, Mode::Error, "frobnicate"},
        {{QStringLiteral("-x")}, Mode::Error, "x"},
        {{QStringLiteral("stray")}, Mode::Error, "unexpected argument 'stray'"},
        {{QStringLiteral("--station-dir")}, Mode::Error, "station-dir"},
        {{QStringLiteral("--station-dir"), d + QStringLiteral("/missing")}, Mode::Error, "does not exist"},
        {{QStringLiteral("--screenshot"), QStringLiteral("a.png"), QStringLiteral("--screenshot-after"),
          QStringLiteral("soon")},
         Mode::Error,
         "number of milliseconds"},
        {{QStringLiteral("--screenshot"), QStringLiteral("a.png"), QStringLiteral("--screenshot-after"),
          QStringLiteral("-5")},
         Mode::Error,
         "number of milliseconds"},
        {{QStringLiteral("--screenshot-after"), QStringLiteral("5")}, Mode::Error, "goes with --screenshot"},
        {{QStringLiteral("--create-database"), QStringLiteral("a.db"), QStringLiteral("b.db")},
         Mode::Error,
         "unexpected argument 'b.db'"},
        {{QStringLiteral("--create-database"), QStringLiteral("--init-station"), d}, Mode::Error, "alone"},
        {{QStringLiteral("-REGSERVER"), QStringLiteral("--create-database")}, Mode::Error, "alone"},
        {{QStringLiteral("--record-demo"), d}, Mode::Station, ""},
        {{QStringLiteral("--record-demo"), d, QStringLiteral("--screenshot"), QStringLiteral("a.png")}, Mode::Error,
         "--record-demo"},
    };
    for (const Case& c : cases) {
        const CommandLine cl = parseCommandLine(c.args);
        const std::string what = c.args.join(u' ').toStdString();
        EXPECT_EQ(cl.mode, c.mode) << what << ": " << cl.error.toStdString();
        if (c.mode == Mode::Error) {
            EXPECT_TRUE(cl.error.contains(QString::fromUtf8(c.errorPart)))
                << what << ": " << cl.error.toStdString();
        }
    }
    const CommandLine cl = parseCommandLine(
        {QStringLiteral("--station-dir"), d, QStringLiteral("--screenshot"), QStringLiteral("s.png"),
         QStringLiteral("--screenshot-after"), QStringLiteral("250"), QStringLiteral("-EMBEDDING")});
    EXPECT_EQ(cl.stationDir, d);
    EXPECT_EQ(cl.screenshot, QStringLiteral("s.png"));
    EXPECT_EQ(cl.screenshotAfter, 250);
    EXPECT_TRUE(cl.automation.automation);
    EXPECT_EQ(parseCommandLine({QStringLiteral("--create-database"), QStringLiteral("x.db")}).databasePath,
              QStringLiteral("x.db"));
}

TEST(CommandLine, HelpListsEveryOption) {
    const QString help = commandLineHelp();
    for (const char* o : {"--station-dir", "--create-database", "--init-station", "--screenshot",
                          "--screenshot-after", "--record-demo", "--help", "--version", "-EMBEDDING", "-AUTOMATION",
                          "-REGSERVER", "-UNREGSERVER", "-REGSERVERPERUSER", "-UNREGSERVERPERUSER"})
        EXPECT_TRUE(help.contains(QString::fromLatin1(o))) << o;
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: mirvane "))) << help.toStdString();
}

TEST(StationSetup, LaysOutANewStationAndNeverOverwritesOne) {
    QTemporaryDir root;
    const QString dir = root.filePath(QStringLiteral("new/station"));
    ASSERT_EQ(StationSetup::initStation(dir), QString());
    for (const char* f : {"mirvane.ini", "Profile.dat", "Titles.txt", "Mirvane.db"})
        EXPECT_TRUE(QFile::exists(QDir(dir).filePath(QString::fromLatin1(f)))) << f;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("init-check"));
        db.setDatabaseName(QDir(dir).filePath(QStringLiteral("Mirvane.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM Tests")));
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM Axles")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("init-check"));

    writeFile(QDir(dir).filePath(QStringLiteral("mirvane.ini")), "[Device]\nComNumber=3\n");
    const QString again = StationSetup::initStation(dir);
    EXPECT_TRUE(again.contains(QStringLiteral("already exists"))) << again.toStdString();
    QFile ini(QDir(dir).filePath(QStringLiteral("mirvane.ini")));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), QByteArray("[Device]\nComNumber=3\n"));

    EXPECT_TRUE(
        StationSetup::initStation(root.filePath(QStringLiteral("x")), {root.filePath(QStringLiteral("none"))})
            .contains(QStringLiteral("not installed")));
}
