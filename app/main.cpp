#include "CommandLine.h"
#include "DemoRecorder.h"
#include "KalvexService.h"
#include "ProtocolExport.h"
#include "QtDialogs.h"
#include "QtTranslations.h"
#include "Registration.h"
#include "Settings.h"
#include "Station.h"
#include "StationSetup.h"
#include "TdmMain.h"
#include "TfrMain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

// The switches that do their work and end run without a window, so they need no display.
static int runWithoutWindow(const CommandLine& cl) {
    switch (cl.mode) {
    case CommandLine::Mode::Help:
        std::fputs(qPrintable(commandLineHelp()), stdout);
        return 0;
    case CommandLine::Mode::Version:
        std::printf("mirvane %s\n", MIRVANE_VERSION);
        return 0;
    case CommandLine::Mode::Error:
        std::fprintf(stderr, "mirvane: %s\nSee 'mirvane --help'.\n", qPrintable(cl.error));
        return 2;
    case CommandLine::Mode::CreateDatabase: {
        // A path names a new SQLite file; without one, the station's settings say where: its
        // own Mirvane.db or the shared PostgreSQL database.
        const Station station = Station::resolve(cl.stationDir, QCoreApplication::applicationFilePath());
        QString error;
        std::optional<DatabaseConfig> config = DatabaseConfig::sqlite(cl.databasePath);
        if (cl.databasePath.isEmpty())
            config = DatabaseConfig::fromSettings(loadSettings(station.settingsFile), station.databaseFile(), &error);
        if (cl.databasePath.isEmpty() && station.userHome)
            QDir().mkpath(station.dir);
        if (!config || !TdmMain::createDatabase(*config, &error)) {
            std::fprintf(stderr, "mirvane: cannot create the database: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("mirvane: created %s\n", qPrintable(config->describe()));
        return 0;
    }
    case CommandLine::Mode::InitStation: {
        const QString error = StationSetup::initStation(cl.initDir);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "mirvane: cannot lay out the station: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("mirvane: station laid out in %s; start it with: mirvane --station-dir %s\n",
                    qPrintable(cl.initDir), qPrintable(cl.initDir));
        return 0;
    }
    case CommandLine::Mode::Registration: {
        const AutomationSwitches& sw = cl.automation;
        if (sw.registration == AutomationSwitches::Registration::Unregister) {
            Registration::remove(sw.perUser);
            return 0;
        }
        // The bus starts the program in a working directory of its own: the station directory
        // goes into the activation absolute, or not at all (the started program then finds its
        // station as any start does).
        const QString stationDir = Station::namedDir(cl.stationDir);
        if (!stationDir.isEmpty() && !QFileInfo(stationDir).isDir()) {
            std::fprintf(stderr, "mirvane: the station directory '%s' does not exist\n", qPrintable(stationDir));
            return 1;
        }
        const QString err =
            Registration::install(sw.perUser, QCoreApplication::applicationFilePath(), stationDir);
        if (!err.isEmpty()) {
            std::fprintf(stderr, "mirvane: cannot register the automation server: %s\n", qPrintable(err));
            return 1;
        }
        std::printf("mirvane: automation server registered in %s\n",
                    qPrintable(Registration::serviceFile(sw.perUser)));
        return 0;
    }
    case CommandLine::Mode::Station:
    case CommandLine::Mode::ExportProtocol:
        break;
    }
    return -1;
}

int main(int argc, char* argv[]) {
    QStringList rawArgs;
    for (int i = 1; i < argc; ++i)
        rawArgs << QString::fromLocal8Bit(argv[i]);
    const CommandLine cl = parseCommandLine(rawArgs);
    if (cl.mode == CommandLine::Mode::ExportProtocol) {
        // The page is laid out with the widget toolkit, but never needs a screen.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        const ProtocolExport::Result r = ProtocolExport::exportProtocol(
            Station::resolve(cl.stationDir, QCoreApplication::applicationFilePath()), cl.exportById,
            cl.exportTest, cl.exportFile);
        std::fprintf(r.outcome == ProtocolExport::Written ? stdout : stderr, "mirvane: %s\n", qPrintable(r.text));
        return r.outcome;
    }
    if (cl.mode != CommandLine::Mode::Station) {
        QCoreApplication app(argc, argv);
        return runWithoutWindow(cl);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mirvane"));
    QApplication::setApplicationVersion(QStringLiteral(MIRVANE_VERSION));
    // No application display name: Qt would append it to every window title. The application
    // title "POST Mirvane" is the desktop entry's name, which the task bar shows.
    QGuiApplication::setDesktopFileName(QStringLiteral("mirvane"));
    QString noTranslations;
    if (!installQtTranslations(app, &noTranslations))
        std::fprintf(stderr, "mirvane: %s\n", qPrintable(noTranslations));

    const Station station = Station::resolve(cl.stationDir, QCoreApplication::applicationFilePath());
    const StationSetup::FirstStart first = StationSetup::prepareUserStation(station);
    if (!first.error.isEmpty())
        std::fprintf(stderr, "mirvane: cannot lay out the station in %s: %s\n", qPrintable(station.dir),
                     qPrintable(first.error));
    if (first.laidOut)
        std::fprintf(stderr, "mirvane: %s\n", qPrintable(StationSetup::firstStartLogLine(station)));
    QtDialogs dialogs;
    SystemClock clock;
    // The window sees the command line as given: -EMBEDDING as the first argument matters.
    TfrMain w(station, dialogs, clock, rawArgs);

    // The automation class is offered whatever the command line; without a session bus, or
    // with another station holding the name, the station runs without it.
    KalvexService kalvex(w.automation, QDBusConnection::sessionBus());
    QString why;
    if (kalvex.start(&why))
        w.kalvex = &kalvex;
    else
        std::fprintf(stderr, "mirvane: automation interface not offered: %s\n", qPrintable(why));
    if (cl.automation.automation) {
        QObject::connect(&kalvex, &KalvexService::lastObjectReleased, &app, &QCoreApplication::quit);
        QObject::connect(&kalvex, &KalvexService::noClient, &app, [] {
            std::fprintf(stderr, "mirvane: started for a client, but no client made an object; ending\n");
            QCoreApplication::quit();
        });
        kalvex.expectClientWithin(KalvexService::ClientWaitMs);
    }

    w.showMaximized();
    if (first.laidOut) {
        // Shown without holding start-up: the station starts on the sample settings meanwhile.
        auto* notice = new QMessageBox(QMessageBox::Information, QStringLiteral("Новое рабочее место"),
                                       StationSetup::firstStartNotice(station), QMessageBox::Ok, &w);
        notice->setAttribute(Qt::WA_DeleteOnClose);
        notice->setWindowModality(Qt::NonModal);
        notice->show();
    }
    QTimer::singleShot(0, &w, &TfrMain::FormShow);
    if (!cl.recordDemo.isEmpty())
        new DemoRecorder(w, cl.recordDemo, 120000);
    if (!cl.screenshot.isEmpty()) {
        const QString file = cl.screenshot;
        QTimer::singleShot(cl.screenshotAfter, &w, [&w, file] {
            const bool saved = w.grab().save(file, "PNG");
            if (!saved)
                std::fprintf(stderr, "mirvane: cannot save the screenshot to %s\n", qPrintable(file));
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    const int rc = app.exec();
    w.kalvex = nullptr;
    return rc;
}
