// Saves a screenshot of the main window with the board showing chosen live values, for
// looking at the board without a controller. The values are written into the link's fields
// as a routine and a status reply would leave them; the blink tick is stepped by hand so
// that the picture shows a known half of the flashing.
//
//   board_screenshot --station-dir DIR --scene start|live|overlay|novalue [--ticks N] FILE

#include "BoardPage.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QAction>
#include <QApplication>

#include <cstdio>

static void live(StandLink& l) {
    l.fConnect = true;
    l.TextSt = QStringLiteral("ТОРМОЖЕНИЕ");
    l.Status = 3;
    l.HReg[2] = 583; // levels 35 and 22 of 60
    l.HReg[3] = 367;
    l.LeftV = 35;
    l.RightV = 22;
    l.HReg[4] = 1234;   // 12.34
    l.HReg[5] = 0xFFF6; // -0.10
    // Left: brake force steady, upward triangle flashing, service brake steady.
    l.HReg[6] = 0x0001 | 0x0004 | 0x0010 | 0x0400;
    // Right: ovality flashing, downward triangle steady, car steady.
    l.HReg[7] = 0x0002 | 0x0008 | 0x0010 | 0x0200;
    l.HReg[8] = 2;
    l.HReg[9] = 2;
    l.FPS = 24;
    l.BadPacket = 3;
    l.Sensor = 0x00A5;
    l.CycleLeft = 1530;
    l.CycleRight = 1490;
}

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    QString stationDir, scene = QStringLiteral("live"), file;
    int ticks = 1;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--station-dir") && i + 1 < args.size())
            stationDir = args[++i];
        else if (args[i] == QLatin1String("--scene") && i + 1 < args.size())
            scene = args[++i];
        else if (args[i] == QLatin1String("--ticks") && i + 1 < args.size())
            ticks = args[++i].toInt();
        else
            file = args[i];
    }
    const QStringList scenes{QStringLiteral("start"), QStringLiteral("live"), QStringLiteral("overlay"),
                             QStringLiteral("novalue")};
    if (file.isEmpty() || stationDir.isEmpty() || !scenes.contains(scene) || ticks < 0) {
        std::fprintf(stderr, "usage: board_screenshot --station-dir DIR --scene start|live|overlay|novalue "
                             "[--ticks N] FILE\n");
        return 2;
    }

    // The station's settings are those of the station program, named after it.
    const Station station = Station::resolve(stationDir, QStringLiteral("mirvane"));
    RecordingDialogs dialogs; // start-up messages and the about box are not shown
    SystemClock clock;
    TfrMain w(station, dialogs, clock, {});
    w.showMaximized();
    QCoreApplication::processEvents();
    w.FormShow();
    // Nothing runs by itself from here on: the picture is the one asked for.
    w.link.stop();
    w.link.tmFPS.stop();
    w.TabSheet1->tmBlink.stop();
    QCoreApplication::processEvents();

    if (scene != QLatin1String("start")) {
        live(w.link);
        if (scene == QLatin1String("overlay"))
            w.acShowSysData->trigger();
        if (scene == QLatin1String("novalue"))
            w.link.HReg[4] = 0x8000;
        for (int i = 0; i < ticks; ++i)
            w.TabSheet1->tmBlinkTimer();
    }
    for (const Dialogs::Message& m : dialogs.messages)
        std::fprintf(stderr, "board_screenshot: start-up message: %s\n", qPrintable(m.text));
    if (!w.grab().save(file, "PNG")) {
        std::fprintf(stderr, "board_screenshot: cannot save %s\n", qPrintable(file));
        return 1;
    }
    return 0;
}
