// Where the station keeps its files when nobody names a directory, what a first start lays
// out there, and the toolkit's own texts in the station's language.

#include "QtDialogs.h"
#include "QtTranslations.h"
#include "Station.h"
#include "StationSetup.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

TEST(StationHome, NamedDirectoriesWinThenASelfContainedStationThenTheUsersOwn) {
    QTemporaryDir root;
    const QString unpacked = root.filePath(QStringLiteral("unpacked"));
    const QString installed = root.filePath(QStringLiteral("usr/bin"));
    QDir().mkpath(unpacked);
    QDir().mkpath(installed);
    writeFile(QDir(unpacked).filePath(QStringLiteral("mirvane.ini")), "[Device]\n");
    const QString data = root.filePath(QStringLiteral("data"));
    const Env xdg("XDG_DATA_HOME", data);
    const QString work = QDir::currentPath();

    struct Case {
        const char* what;
        QString explicitDir, envDir, executable;
        QString dir;
        bool userHome;
    };
    const Case cases[] = {
        {"--station-dir", QStringLiteral("/srv/st"), QStringLiteral("/env/st"), installed + QStringLiteral("/mirvane"),
         QStringLiteral("/srv/st"), false},
        {"a relative --station-dir", QStringLiteral("st/../st2"), QString(), installed + QStringLiteral("/mirvane"),
         work + QStringLiteral("/st2"), false},
        {"MIRVANE_STATION_DIR", QString(), QStringLiteral("env-st"), installed + QStringLiteral("/mirvane"),
         work + QStringLiteral("/env-st"), false},
        {"an unpacked station", QString(), QString(), unpacked + QStringLiteral("/mirvane"), unpacked, false},
        {"an installed program", QString(), QString(), installed + QStringLiteral("/mirvane"),
         data + QStringLiteral("/mirvane"), true},
        {"an unpacked station under another name", QString(), QString(), unpacked + QStringLiteral("/stand2"),
         data + QStringLiteral("/mirvane"), true},
    };
    for (const Case& c : cases) {
        const Env env("MIRVANE_STATION_DIR", c.envDir);
        const Station s = Station::resolve(c.explicitDir, c.executable);
        EXPECT_EQ(s.dir, c.dir) << c.what;
        EXPECT_EQ(s.userHome, c.userHome) << c.what;
        EXPECT_EQ(s.settingsFile, QDir(c.dir).filePath(QFileInfo(c.executable).completeBaseName() + QStringLiteral(".ini")))
            << c.what;
    }
}

TEST(StationHome, AFirstStartLaysOutWhatIsMissingAndNeverReplacesAFile) {
    QTemporaryDir root;
    Station s;
    s.dir = root.filePath(QStringLiteral("home/mirvane"));
    s.settingsFile = QDir(s.dir).filePath(QStringLiteral("mirvane.ini"));
    s.userHome = true;

    // A directory someone named is never laid out.
    Station named = s;
    named.userHome = false;
    EXPECT_FALSE(StationSetup::prepareUserStation(named).laidOut);
    EXPECT_FALSE(QFileInfo::exists(s.dir));

    // A database made earlier (mirvane --create-database) stays; the rest comes from the sample.
    QDir().mkpath(s.dir);
    writeFile(s.databaseFile(), "kept");
    const StationSetup::FirstStart first = StationSetup::prepareUserStation(s);
    EXPECT_TRUE(first.laidOut);
    EXPECT_EQ(first.error, QString());
    for (const char* f : {"mirvane.ini", "Profile.dat", "Titles.txt"})
        EXPECT_TRUE(QFileInfo(s.path(QString::fromLatin1(f))).isFile()) << f;
    QFile db(s.databaseFile());
    ASSERT_TRUE(db.open(QIODevice::ReadOnly));
    EXPECT_EQ(db.readAll(), QByteArray("kept"));

    // Settings the operator edited are his: the next start lays out nothing.
    writeFile(s.settingsFile, "[Device]\nPortName=/dev/ttyUSB0\n");
    QFile::remove(s.titlesFile());
    EXPECT_FALSE(StationSetup::prepareUserStation(s).laidOut);
    EXPECT_FALSE(QFileInfo::exists(s.titlesFile()));

    // No sample files: said, nothing laid out.
    Station elsewhere = s;
    elsewhere.dir = root.filePath(QStringLiteral("other"));
    elsewhere.settingsFile = QDir(elsewhere.dir).filePath(QStringLiteral("mirvane.ini"));
    const StationSetup::FirstStart none = StationSetup::prepareUserStation(elsewhere, {root.filePath(QStringLiteral("none"))});
    EXPECT_FALSE(none.laidOut);
    EXPECT_TRUE(none.error.contains(QStringLiteral("not installed")));

    const QString notice = StationSetup::firstStartNotice(s);
    EXPECT_TRUE(notice.contains(s.settingsFile));
    EXPECT_TRUE(notice.contains(QStringLiteral("PortName")));
}

// The program itself, run from a directory without settings (as an installed one is): its
// station is the user's own, laid out at the first start; nothing goes beside the program.
TEST(StationHome, TheProgramWithoutOptionsKeepsItsStationInTheUsersDataDirectory) {
    QTemporaryDir home;
    const QString program = QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane");
    const QDir programDir = QFileInfo(program).absoluteDir();
    ASSERT_FALSE(QFileInfo::exists(programDir.filePath(QStringLiteral("mirvane.ini"))));
    auto run = [&](const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("MIRVANE_STATION_DIR"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.start(program, args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return std::make_pair(p.exitCode(), QString::fromLocal8Bit(p.readAllStandardError()));
    };
    const QString station = home.filePath(QStringLiteral("data/mirvane"));

    // As root on an installed program, this wrote the database beside the program.
    const auto created = run({QStringLiteral("--create-database")});
    EXPECT_EQ(created.first, 0) << created.second.toStdString();
    EXPECT_TRUE(QFileInfo(QDir(station).filePath(QStringLiteral("Mirvane.db"))).isFile());

    const auto first = run({QStringLiteral("--screenshot"), home.filePath(QStringLiteral("shot.png")),
                            QStringLiteral("--screenshot-after"), QStringLiteral("300")});
    EXPECT_EQ(first.first, 0) << first.second.toStdString();
    for (const char* f : {"mirvane.ini", "Profile.dat", "Titles.txt", "Mirvane.db"})
        EXPECT_TRUE(QFileInfo(QDir(station).filePath(QString::fromLatin1(f))).isFile()) << f;
    EXPECT_TRUE(first.second.contains(QStringLiteral("laid out a new station in ") + station)) << first.second.toStdString();
    EXPECT_TRUE(first.second.contains(QDir(station).filePath(QStringLiteral("mirvane.ini"))));

    const auto second = run({QStringLiteral("--screenshot"), home.filePath(QStringLiteral("shot.png")),
                             QStringLiteral("--screenshot-after"), QStringLiteral("300")});
    EXPECT_EQ(second.first, 0);
    EXPECT_FALSE(second.second.contains(QStringLiteral("laid out"))) << second.second.toStdString();
    for (const char* f : {"mirvane.ini", "Mirvane.db", "Profile.dat"})
        EXPECT_FALSE(QFileInfo::exists(programDir.filePath(QString::fromLatin1(f)))) << f;
}

// Qt's own texts read in the station's language: a question box's buttons are Да and Нет.
TEST(QtTranslations, AQuestionBoxAnswersInRussian) {
    QString why;
    QTranslator* translator = installQtTranslations(*qApp, &why);
    ASSERT_NE(translator, nullptr) << why.toStdString();
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons())
            texts << b->text().remove(QLatin1Char('&'));
        box->button(QMessageBox::No)->click();
    });
    QtDialogs dialogs;
    const int answer = dialogs.message(
        nullptr, {Dialogs::Icon::Warning, QStringLiteral("COM Server Warning"), QStringLiteral("?"),
                  Dialogs::Yes | Dialogs::No | Dialogs::Cancel, Dialogs::No, true});
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(answer, Dialogs::No);
    texts.sort();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет"), QStringLiteral("Отмена")}));
}
