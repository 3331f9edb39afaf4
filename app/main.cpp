#include "QtDialogs.h"
#include "Station.h"
#include "TfrMain.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("mirvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("POST Mirvane"));
    QApplication::setApplicationVersion(QStringLiteral(MIRVANE_VERSION));

    QStringList args = QCoreApplication::arguments().mid(1);
    QString stationDir;
    QString screenshot;
    int screenshotAfter = 1000;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--station-dir") && i + 1 < args.size()) {
            stationDir = args[++i];
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
    return app.exec();
}
