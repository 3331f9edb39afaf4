// Reading the station's files at start-up: the settings file and the register profile with a
// great many keys in one section. The readers index the text once, so the time grows with the
// file's size, not with the square of its keys.
//   SettingsWith200000Keys   a settings file of 200 000 keys in [Device] (about 3 MB)
//   SettingsOf100MB          a settings file of 100 MB of keys in [Device]; also the process's
//                            peak resident memory (MiB) after reading it
//   ProfileWith200000Keys    a register profile of 1024 tags with 200 000 more keys in Reg_1
// The real keys stand after the many, so they are found by the index and not by luck.
// Files go under $MIRVANE_BENCH_DIR (default: the system's temporary directory).

#include "RegisterImage.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

QTemporaryDir& dir() {
    static QTemporaryDir d(QDir(qEnvironmentVariable("MIRVANE_BENCH_DIR", QDir::tempPath()))
                               .filePath(QStringLiteral("station-files-XXXXXX")));
    return d;
}

// [Device] with `keys` keys (or as many as fill `bytes`), then the keys the station reads.
QString settingsFile(const QString& name, qint64 keys, qint64 bytes) {
    const QString path = dir().filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray chunk;
    f.write("[Device]\r\n");
    for (qint64 k = 0; k < keys || f.size() + chunk.size() < bytes; ++k) {
        chunk += "Key" + QByteArray::number(k) + "=" + QByteArray::number(k % 1000) + "\r\n";
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    chunk += "Baud=115200\r\nAddress=7\r\nKey1=first key wins\r\n[Program]\r\nRCEnabled=1\r\n";
    f.write(chunk);
    return path;
}

long peakResidentMiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

void readSettings(benchmark::State& state, const QString& path) {
    for (auto _ : state) {
        const Settings s = loadSettings(path);
        if (s.Baud != 115200 || s.Address != 7 || !s.fIRDebug)
            state.SkipWithError("the settings read are not the ones written");
    }
}

void SettingsWith200000Keys(benchmark::State& state) {
    static const QString path = settingsFile(QStringLiteral("200000.ini"), 200000, 0);
    readSettings(state, path);
}

void SettingsOf100MB(benchmark::State& state) {
    static const QString path = settingsFile(QStringLiteral("100MB.ini"), 0, 100 << 20);
    readSettings(state, path);
    state.counters["peak_rss_MiB"] = double(peakResidentMiB());
}

void ProfileWith200000Keys(benchmark::State& state) {
    static const QString path = [] {
        const QString p = dir().filePath(QStringLiteral("Profile.dat"));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(p));
        QByteArray text = "[Reg_1]\r\n";
        for (int k = 0; k < 200000; ++k)
            text += "Extra" + QByteArray::number(k) + "=" + QByteArray::number(k) + "\r\n";
        text += "Name=Tag1\r\nPage=1\r\nAddress=1\r\n";
        for (int t = 2; t <= RegisterImage::MaxTags; ++t)
            text += "[Reg_" + QByteArray::number(t) + "]\r\nName=Tag" + QByteArray::number(t) + "\r\nPage=" +
                    QByteArray::number(t % 200 + 1) + "\r\nAddress=" + QByteArray::number(t % 50) + "\r\n";
        f.write(text);
        return p;
    }();
    for (auto _ : state) {
        RegisterImage image;
        const RegisterImage::LoadResult r = image.loadProfile(path);
        if (image.TagCount != RegisterImage::MaxTags || !r.refused.isEmpty() || image.findTag("Tag1") != 1)
            state.SkipWithError("the profile read is not the one written");
    }
}

BENCHMARK(SettingsWith200000Keys)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(11)
    ->ReportAggregatesOnly(true);
BENCHMARK(ProfileWith200000Keys)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(11)
    ->ReportAggregatesOnly(true);
// Last: its peak memory is the process's.
BENCHMARK(SettingsOf100MB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!dir().isValid()) {
        std::fprintf(stderr, "bench_station_files: no temporary directory\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
