// Saves a screenshot of the database page: a station with a day of stored tests, the list on
// the page and a three-axle test selected, for looking at the page without a stand.
//
//   browser_screenshot FILE [PDF]
//
// With PDF, the selected test's protocol is also printed (F9) into that file at 600 dpi.
// Without QT_QPA_PLATFORM it runs offscreen on a 1280 x 800 screen.

#include "BoardPage.h"
#include "BrowserSupport.h"
#include "DatabasePage.h"
#include "TestsGrid.h"
#include "TestsGridModel.h"
#include "TfrMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPrinter>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char* argv[]) {
    QTemporaryDir dir;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const QString screen = dir.filePath(QStringLiteral("screen.json"));
        writeFile(screen, R"({"windowFrameMargins": false, "screens": [{"name": "s1", "x": 0, "y": 0,
            "width": 1280, "height": 800, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen).toLocal8Bit());
    }
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 1 && args.size() != 2) {
        std::fprintf(stderr, "usage: browser_screenshot FILE [PDF]\n");
        return 2;
    }

    writeFile(dir.filePath(QStringLiteral("mirvane.ini")), "[Program]\nDatabaseEnabled=1\n");
    writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
    const QString db = createStationDatabase(dir);
    FixedClock clock;
    const QDate day = clock.t.date();
    {
        TdmMain dm;
        dm.DatabaseConnect(db);
        const AxleValues truckAxle{2450, 2390, 35, 41, 4, NoValue, 1480, 1395, NoValue, NoValue, 52, 50};
        const AxleValues rear{1720, 1655, 28, 30, 6, 7, 1010, 955, 860, 815, 48, 48};
        const struct {
            int order;
            QTime time;
            std::vector<AxleValues> axles;
            uint16_t unit;
            uint16_t carType;
        } tests[] = {
            {118, QTime(8, 12), {carAxle(), carAxle()}, 0, 0},
            {119, QTime(9, 40), {carAxle(2), carAxle(2)}, 1, 0},
            {120, QTime(11, 5), {truckAxle, rear, rear}, 0, 1},
            {121,
             QTime(13, 27),
             {carAxle(), {400, 380, 10, 12, 2, 3, 240, 228, NoValue, NoValue, 30, 30}},
             0,
             0},
            {122, QTime(14, 1), {carAxle(), carAxle(), carAxle()}, 0, 0},
        };
        for (const auto& t : tests)
            dm.TableTestsStore(makeTest(t.order, QDateTime(day, t.time), t.axles, t.unit, t.carType));
    }

    const Station station = Station::resolve(dir.path(), QStringLiteral("mirvane"));
    RecordingDialogs dialogs;
    TfrMain w(station, dialogs, clock, {});
    w.showMaximized();
    QCoreApplication::processEvents();
    w.FormShow();
    w.link.stop();
    w.link.tmFPS.stop();
    w.TabSheet1->tmBlink.stop();
    w.acShowPageDatabse->trigger();

    // Registration numbers and VINs as an operator fills them in, then the truck selected.
    TestsGridModel& grid = *w.TabSheet2->grTests->gridModel();
    grid.setData(grid.index(0, 1), QStringLiteral("А123ВС77"));
    grid.setData(grid.index(0, 2), QStringLiteral("XTA21140012345678"));
    grid.setData(grid.index(2, 1), QStringLiteral("Е777КХ199"));
    grid.setData(grid.index(2, 2), QStringLiteral("X9L21230070123456"));
    w.TabSheet2->grTests->setCurrentIndex(grid.index(2, 0));
    QCoreApplication::processEvents();

    if (args.size() == 2) {
        const QString pdf = args[1];
        w.TabSheet2->protocolPrinter = [pdf](QString*) {
            auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
            p->setOutputFormat(QPrinter::PdfFormat);
            p->setOutputFileName(pdf);
            p->setResolution(600);
            return p;
        };
        w.acTestsPrint->trigger();
    }
    for (const Dialogs::Message& m : dialogs.messages)
        std::fprintf(stderr, "browser_screenshot: message: %s\n", qPrintable(m.text));
    if (!w.grab().save(args[0], "PNG")) {
        std::fprintf(stderr, "browser_screenshot: cannot save %s\n", qPrintable(args[0]));
        return 1;
    }
    std::printf("browser_screenshot: %d x %d saved to %s\n", w.width(), w.height(), qPrintable(args[0]));
    return 0;
}
