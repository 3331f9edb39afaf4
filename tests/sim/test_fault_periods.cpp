// The simulated stand's repeating line faults and its remote's repeated start, which the fault
// soak runs for many minutes.

#include "FaultPeriods.h"
#include "SimProcess.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using StandSim::FaultPeriod;

TEST(FaultPeriods, OnceOrRepeatingWindows) {
    struct Case {
        FaultPeriod p;
        double t;
        bool on;
    };
    const Case cases[] = {
        {{-1, 5, 0}, 1, false},                              // never asked for
        {{2, 0, 0}, 2, false},                               // no length
        {{2, 3, 0}, 1.99, false},                            // before the first
        {{2, 3, 0}, 2, true},                                // the first starts on time
        {{2, 3, 0}, 4.99, true},                             //
        {{2, 3, 0}, 5, false},                               // and ends after its length
        {{2, 3, 0}, 500, false},                             // once only
        {{10, 5, 60}, 9.9, false},                           //
        {{10, 5, 60}, 14.9, true},                           //
        {{10, 5, 60}, 15, false},                            //
        {{10, 5, 60}, 69.9, false}, {{10, 5, 60}, 70, true}, // again one repetition later
        {{10, 5, 60}, 74.9, true},  {{10, 5, 60}, 75, false},
        {{10, 5, 60}, 610.5, true}, // and every one after
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.p.active(c.t), c.on)
            << "after " << c.p.after << " for " << c.p.length << " every " << c.p.every << " at " << c.t;
}

TEST(FaultPeriods, SimulatorRepeatsSilenceUnplugAndTheRemotesStart) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("stand.tty"));
    // Silent 0.3..0.6 and 1.3..1.6 s, unplugged 0.8..1.0 and 1.8..2.0 s; nobody polls, so the
    // stand stays idle and the remote presses start every 0.4 s.
    SimProcess sim({"--baud", "115200", "--link", link, "--silent-every", "1", "--silent-after", "0.3",
                    "--silent-for", "0.3", "--unplug-every", "1", "--unplug-after", "0.8", "--unplug-for",
                    "0.2", "--remote-start", "0.4"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    const int first = sim.indexOf(QStringLiteral("remote /"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            int slaves = 0;
            for (int i = first + 1; i < sim.lines.size(); ++i)
                slaves += sim.lines[i].startsWith(QStringLiteral("slave "));
            return slaves == 2;
        },
        6000));
    QStringList faults;
    QString lastSlave;
    for (int i = first + 1; i < sim.lines.size(); ++i) {
        const QString& l = sim.lines[i];
        if (l.startsWith(QStringLiteral("slave ")))
            lastSlave = l.mid(6);
        if (!l.startsWith(QStringLiteral("remote")))
            faults << l.section(QLatin1Char(' '), 0, 0);
    }
    EXPECT_EQ(faults, (QStringList{"silent", "speaking", "unplugged", "slave", "silent", "speaking",
                                   "unplugged", "slave"}));
    // The link follows the pty that came back.
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), lastSlave);
    EXPECT_GE(sim.count(QStringLiteral("remote 3")), 3);
}

TEST(FaultPeriods, ARepetitionNoLongerThanItsPeriodIsRefused) {
    for (const QStringList& args :
         {QStringList{"--silent-every", "1", "--silent-for", "1"}, QStringList{"--unplug-every", "2"},
          QStringList{"--unplug-every", "-3", "--unplug-for", "1"}}) {
        QProcess p;
        p.start(QStringLiteral(MIRVANE_BINARY_DIR "/sim/mirvane-stand-sim"), args);
        ASSERT_TRUE(p.waitForFinished(5000)) << args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains("-every")) << args.join(' ').toStdString();
    }
}
