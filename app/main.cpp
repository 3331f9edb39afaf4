#include "KalvexService.h"
#include "QtDialogs.h"
#include "Registration.h"
#include "Station.h"
#include "TdmMain.h"
#include "TfrMain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>

#include <cstdio>
#include <cstring>

// mirvane --create-database [PATH]: an empty station database at PATH (default: Mirvane.db in
// the station directory), then exit. Runs before any window exists, so it needs no display.
static int createDatabase(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    QString stationDir;
    QString path;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--station-dir") && i + 1 < args.size())
            stationDir = args[++i];
        else if (args[i] == QLatin1String("--create-database") && i + 1 < args.size() &&
                 !args[i + 1].startsWith(QLatin1String("--")))
            path = args[++i];
    }
    if (path.isEmpty())
        path = Station::resolve(stationDir, QCoreApplication::applicationFilePath()).databaseFile();
    QString error;
    if (!TdmMain::createDatabase(path, &error)) {
        std::fprintf(stderr, "mirvane: cannot create the database: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("mirvane: created %s\n", qPrintable(path));
    return 0;
}

// Installs or removes the automation server's activation and ends, without a window.
static int runRegistration(const AutomationSwitches& sw, const QString& stationDir) {
    if (sw.registration == AutomationSwitches::Registration::Unregister) {
        Registration::remove(sw.perUser);
        return 0;
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

int main(int argc, char* argv[]) {
    QStringList rawArgs;
    for (int i = 1; i < argc; ++i)
        rawArgs << QString::fromLocal8Bit(argv[i]);
    const AutomationSwitches sw = parseAutomationSwitches(rawArgs);
    QString stationDir;
    const qsizetype dirAt = rawArgs.indexOf(QStringLiteral("--station-dir"));
    if (dirAt >= 0 && dirAt + 1 < rawArgs.size())
        stationDir = rawArgs[dirAt + 1];
    if (sw.registration != AutomationSwitches::Registration::None) {
        QCoreApplication app(argc, argv);
        return runRegistration(sw, stationDir);
    }
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--create-database") == 0)
            return createDatabase(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mirvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("POST Mirvane"));
    QApplication::setApplicationVersion(QStringLiteral(MIRVANE_VERSION));

    QStringList args = QCoreApplication::arguments().mid(1);
    QString screenshot;
    int screenshotAfter = 1000;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--station-dir") && i + 1 < args.size()) {
            ++i;
        } else if (a == QLatin1String("--screenshot") && i + 1 < args.size()) {
            screenshot = args[++i];
        } else if (a == QLatin1String("--screenshot-after") && i + 1 < args.size()) {
            bool ok = false;
            screenshotAfter = args[++i].toInt(&ok);
            if (!ok || screenshotAfter < 0) {
                std::fprintf(stderr, "mirvane: --screenshot-after needs a number of milliseconds\n");
                return 2;
            }
        }
    }

    const Station station = Station::resolve(stationDir, QCoreApplication::applicationFilePath());
    QtDialogs dialogs;
    SystemClock clock;
    TfrMain w(station, dialogs, clock, args);

    // The automation class is offered whatever the command line; without a session bus, or
    // with another station holding the name, the station runs without it.
    KalvexService kalvex(w.automation, QDBusConnection::sessionBus());
    QString why;
    if (kalvex.start(&why))
        w.kalvex = &kalvex;
    else
        std::fprintf(stderr, "mirvane: automation interface not offered: %s\n", qPrintable(why));
    if (sw.automation)
        QObject::connect(&kalvex, &KalvexService::lastObjectReleased, &app, &QCoreApplication::quit);

    w.showMaximized();
    QTimer::singleShot(0, &w, &TfrMain::FormShow);
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(screenshotAfter, &w, [&w, screenshot] {
            const bool saved = w.grab().save(screenshot, "PNG");
            if (!saved)
                std::fprintf(stderr, "mirvane: cannot save the screenshot to %s\n", qPrintable(screenshot));
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    const int rc = app.exec();
    w.kalvex = nullptr;
    return rc;
}
