// The station's window on a real X server (run under Xvfb) with a real keyboard (xdotool):
// typing a VIN into the test list while the simulated stand listens for commands, the board's
// command keys, and where the about box appears on the screen.

#include "BrowserSupport.h"
#include "DatabasePage.h"
#include "RealSerialPorts.h"
#include "SimProcess.h"
#include "TestsGrid.h"
#include "TestsGridModel.h"
#include "TfrMain.h"

#include <QApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

// Runs xdotool and lets the window handle what it types meanwhile; its standard output.
QString xdotool(const QStringList& args) {
    QProcess p;
    p.start(u"xdotool"_s, args);
    if (!QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000) ||
        p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << "xdotool " << args.join(u' ').toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return {};
    }
    QTest::qWait(50);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The key presses the window gets, as the X server delivers them.
class KeyLog : public QObject {
public:
    struct Press {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
    };
    std::vector<Press> presses;

protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        if (e->type() == QEvent::KeyPress && obj == QApplication::focusWidget()) {
            auto* k = static_cast<QKeyEvent*>(e);
            presses.push_back({k->key(), k->modifiers(), k->text()});
        }
        return false;
    }
};

class X11Window : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    FixedClock clock;
    const RealSerialPorts ports;
    std::unique_ptr<TfrMain> w;

    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), u"xcb"_s) << "run under an X server (xvfb-run)";
        writeFile(dir.filePath(u"Profile.dat"_s), "[Reg_1]\nName=Brake1\nPage=1\n");
    }
    void TearDown() override { w.reset(); }

    // The station, its window placed at `geometry` and given the keyboard.
    void start(const QString& ini, const QRect& geometry) {
        writeFile(dir.filePath(u"mirvane.ini"_s), ini.toUtf8());
        Station s;
        s.dir = dir.path();
        s.settingsFile = dir.filePath(u"mirvane.ini"_s);
        w = std::make_unique<TfrMain>(s, dialogs, clock, QStringList{});
        w->setGeometry(geometry);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->FormShow();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
};

} // namespace

TEST_F(X11Window, AVinTypedWithShiftKeepsItsLettersAndSendsNoCommandWhileTheBoardKeysStillDo) {
    const QString db = createStationDatabase(dir);
    {
        TdmMain dm;
        ASSERT_TRUE(dm.DatabaseConnect(db));
        ASSERT_EQ(dm.TableTestsStore(makeTest(1, clock.t.addSecs(-3600), {carAxle()})), TdmMain::StoreResult::Stored);
    }
    SimProcess sim({"--baud", "115200"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    start(u"[Device]\nPortName=%1\nBaud=115200\n[Program]\nDatabaseEnabled=1\nRCEnabled=1\n"_s.arg(sim.slavePath),
          {40, 30, 1163, 822});
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->link.fConnect; }, 5000));

    xdotool({u"key"_s, u"F12"_s});
    ASSERT_EQ(w->PageControl1->currentIndex(), 1);
    TestsGrid& grid = *w->TabSheet2->grTests;
    grid.setCurrentIndex(grid.gridModel()->index(0, 2)); // the VIN cell, as a click makes it current
    ASSERT_EQ(QApplication::focusWidget(), &grid);

    KeyLog log;
    qApp->installEventFilter(&log);
    const int from = sim.lines.size();
    xdotool({u"type"_s, u"--delay"_s, u"40"_s, u"XTA21099ABCDEF123"_s});
    QTest::qWait(300); // several poll cycles: a command would be on the line by now
    const QStringList whileTyping = sim.lines.mid(from);
    xdotool({u"key"_s, u"Return"_s});
    qApp->removeEventFilter(&log);

    // The capitals came with Shift, the physical keys of the command keys among them.
    int shiftedCommandKeys = 0;
    for (const KeyLog::Press& p : log.presses)
        shiftedCommandKeys += p.modifiers == Qt::ShiftModifier && p.key >= Qt::Key_A && p.key <= Qt::Key_F;
    EXPECT_EQ(shiftedCommandKeys, 7) << "A, A, B, C, D, E, F";
    EXPECT_EQ(whileTyping.filter(QRegularExpression(u"^command "_s)).join(u", "_s).toStdString(), "");
    QSqlQuery q(w->dmMain.database());
    ASSERT_TRUE(q.exec(u"SELECT VIN FROM Tests WHERE OrderNumber = 1"_s) && q.next());
    EXPECT_EQ(q.value(0).toString().toStdString(), "XTA21099ABCDEF123");
    q.finish();

    // On the board the same keys are the operator's commands.
    xdotool({u"key"_s, u"F11"_s});
    ASSERT_EQ(w->PageControl1->currentIndex(), 0);
    const int before = sim.lines.size();
    xdotool({u"key"_s, u"shift+a"_s});
    EXPECT_TRUE(sim.waitFor(u"command 34"_s, 3000, before)) << sim.lines.mid(before).join(u'\n').toStdString();
}

TEST_F(X11Window, TheAboutBoxIsCentredOnTheScreenWhereverTheMainWindowIs) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // The main window in the top-left corner, its centre far from the screen's.
    const QRect mainGeometry(20, 20, 640, 480);
    start(u"[Device]\nPortName=%1/no-port\n"_s.arg(dir.path()), mainGeometry);
    QRect shown;
    dialogs.onExec = [&](QDialog& d) {
        d.show();
        if (QTest::qWaitForWindowExposed(&d)) {
            // Where the X server has the box, not where the toolkit thinks it is.
            const QString out = xdotool({u"search"_s, u"--sync"_s, u"--name"_s, u"^About$"_s, u"getwindowgeometry"_s});
            const QRegularExpressionMatch m =
                QRegularExpression(u"Position: (\\d+),(\\d+).*Geometry: (\\d+)x(\\d+)"_s,
                                   QRegularExpression::DotMatchesEverythingOption)
                    .match(out);
            if (m.hasMatch())
                shown = QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                              m.captured(4).toInt());
            else
                ADD_FAILURE() << out.toStdString();
        }
        d.done(QDialog::Accepted);
        return int(QDialog::Accepted);
    };
    xdotool({u"key"_s, u"F1"_s});
    ASSERT_EQ(dialogs.dialogs.last(), u"frAbout"_s);
    ASSERT_EQ(shown.size(), QSize(336, 182));
    const QPoint centre(screen.x() + screen.width() / 2, screen.y() + screen.height() / 2);
    EXPECT_LE((shown.center() - centre).manhattanLength(), 2)
        << "at " << shown.x() << "," << shown.y() << " on " << screen.width() << "x" << screen.height();
    EXPECT_GT((mainGeometry.center() - centre).manhattanLength(), 200);
}
