// The whole station's cost on the PC: the real mirvane program with its board on a 1920 x 1080
// screen (offscreen), polling the simulated stand at 115200 baud while a test is under way, so
// the gauges follow every reply. CPU share from the kernel's account of the process over the
// measured span, resident memory at its end; the stand's own count of replies shows the station
// really polled at full rate meanwhile.
//   station_load [SECONDS]   (default 20, after 5 s of warm-up)

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <optional>

#include <unistd.h>

namespace {

QStringList simLines;

std::optional<QByteArray> readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
}

// User plus system time of the process, in seconds.
std::optional<double> cpuSeconds(qint64 pid) {
    const auto stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat)
        return std::nullopt;
    // The command name may hold blanks; the fields counted here follow its closing parenthesis.
    const QList<QByteArray> f = stat->mid(stat->lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return std::nullopt;
    return double(f[11].toLongLong() + f[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// A "Vm..." line of the process's status in megabytes.
double statusMB(qint64 pid, const char* key) {
    const auto status = readAll(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray& line : status.value_or(QByteArray()).split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

int indexOf(const QString& prefix, int from = 0) {
    for (int i = from; i < simLines.size(); ++i)
        if (simLines[i].startsWith(prefix))
            return i;
    return -1;
}

bool fail(const char* what) {
    std::fprintf(stderr, "station_load: %s\n", what);
    return false;
}

bool prepareStation(const QDir& dir) {
    const QDir demo(QStringLiteral(MIRVANE_SOURCE_DIR "/scripts/demo"));
    for (const char* name : {"Profile.dat", "Titles.txt"})
        if (!QFile::copy(demo.filePath(QLatin1String(name)), dir.filePath(QLatin1String(name))))
            return fail("cannot copy the demo station's files");
    const auto ini = readAll(demo.filePath(QStringLiteral("mirvane.ini")));
    if (!ini)
        return fail("cannot read the demo settings");
    QByteArray out;
    for (const QByteArray& line : ini->split('\n')) {
        out += line + '\n';
        if (line.trimmed() == "[Device]")
            out += "PortName=" + dir.filePath(QStringLiteral("stand.tty")).toUtf8() + '\n';
        else if (line.trimmed() == "[IR]")
            out += "PortName=" + dir.filePath(QStringLiteral("remote.tty")).toUtf8() + '\n';
    }
    QFile settings(dir.filePath(QStringLiteral("mirvane.ini")));
    QFile screen(dir.filePath(QStringLiteral("offscreen.json")));
    if (!settings.open(QIODevice::WriteOnly) || settings.write(out) < 0 ||
        !screen.open(QIODevice::WriteOnly) ||
        screen.write(R"({"windowFrameMargins": false, "screens": [{"name": "s1", "x": 0, "y": 0,
            "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
        return fail("cannot write the station's files");
    if (QProcess::execute(
            QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane"),
            {QStringLiteral("--create-database"), dir.filePath(QStringLiteral("Mirvane.db"))}) != 0)
        return fail("mirvane --create-database failed");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    if (!tmp.isValid() || !prepareStation(dir))
        return 2;

    // A test starts a second after the station is polling and runs longer than the measurement.
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] {
        while (sim.canReadLine())
            simLines << QString::fromUtf8(sim.readLine()).trimmed();
    });
    sim.start(QStringLiteral(MIRVANE_BINARY_DIR "/sim/mirvane-stand-sim"),
              {QStringLiteral("--baud"), QStringLiteral("115200"), QStringLiteral("--pieces"),
               QStringLiteral("--report-rate"), QStringLiteral("--remote-start"), QStringLiteral("1"),
               QStringLiteral("--test-time"), QStringLiteral("3600"), QStringLiteral("--link"),
               dir.filePath(QStringLiteral("stand.tty")), QStringLiteral("--remote-link"),
               dir.filePath(QStringLiteral("remote.tty"))});
    if (!QTest::qWaitFor([] { return indexOf(QStringLiteral("remote ")) >= 0; }, 5000)) {
        fail("the simulated stand did not start");
        return 2;
    }

    QProcess station;
    station.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"),
               QStringLiteral("offscreen:configfile=") + dir.filePath(QStringLiteral("offscreen.json")));
    station.setProcessEnvironment(env);
    station.start(QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane"),
                  {QStringLiteral("--station-dir"), dir.path()});
    if (!station.waitForStarted(5000)) {
        fail("mirvane did not start");
        return 2;
    }
    const qint64 pid = station.processId();

    if (!QTest::qWaitFor([] { return indexOf(QStringLiteral("state 2 test 1")) >= 0; }, 10000)) {
        fail("no test started: the station is not polling the stand");
        return 2;
    }
    QTest::qWait(5000);
    const int firstRate = simLines.size();
    const auto cpu0 = cpuSeconds(pid);
    QElapsedTimer span;
    span.start();
    QTest::qWait(seconds * 1000);
    const auto cpu1 = cpuSeconds(pid);
    const double elapsed = span.elapsed() / 1000.0;
    const double rss = statusMB(pid, "VmRSS:");
    const double peak = statusMB(pid, "VmHWM:");
    if (!cpu0 || !cpu1 || station.state() != QProcess::Running) {
        fail("mirvane ended during the measurement");
        return 2;
    }

    int rates = 0;
    double replies = 0;
    for (int i = firstRate; i < simLines.size(); ++i)
        if (simLines[i].startsWith(QStringLiteral("rate "))) {
            replies += simLines[i].mid(5).toDouble();
            ++rates;
        }
    const double perSecond = rates ? replies / rates : 0;
    // Every turn of the cycle is a routine read and a status read.
    const double turns = perSecond / 2;
    const double cpuShare = 100.0 * (*cpu1 - *cpu0) / elapsed;
    const bool polling = turns >= 24.0;
    const bool cpuMet = cpuShare <= 15.0;
    const bool rssMet = rss <= 80.0;
    std::printf("station polling: %.2f turns/s, each a routine and a status reply, over %.0f s "
                "(the 20 ms tick's cap 25/s; needed >= 24) %s\n",
                turns, elapsed, polling ? "met" : "NOT MET");
    std::printf(
        "station CPU share: %.2f%% of one core, board shown at 1920x1080 (goal <= 15%%): ratio %.3f %s\n",
        cpuShare, cpuShare / 15.0, cpuMet ? "met" : "NOT MET");
    std::printf("station resident memory: %.1f MB, peak %.1f MB (goal <= 80 MB): ratio %.3f %s\n", rss, peak,
                rss / 80.0, rssMet ? "met" : "NOT MET");

    station.terminate();
    if (!station.waitForFinished(3000))
        station.kill();
    sim.terminate();
    sim.waitForFinished(3000);
    return polling && cpuMet && rssMet ? 0 : 1;
}
