#include "StationSetup.h"

#include "Station.h"
#include "TdmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace StationSetup {

QStringList sampleDirectories() {
    return {QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/mirvane/station")),
            QStringLiteral(MIRVANE_DATA_DIR "/station"), QStringLiteral(MIRVANE_SOURCE_DIR "/scripts/demo")};
}

namespace {

// The first of the directories that holds the sample station, or an empty text.
QString findSamples(const QStringList& sampleDirs, QString* error) {
    for (const QString& d : sampleDirs)
        if (QFileInfo(QDir(d).filePath(QStringLiteral("Profile.dat"))).isFile())
            return d;
    *error = QStringLiteral("the sample station files are not installed (looked in %1)")
                 .arg(sampleDirs.join(QStringLiteral(", ")));
    return QString();
}

// A sample file becomes the station's own: the user may edit it (the installed samples are
// read-only). An empty text, or what went wrong.
QString copySample(const QString& source, const QString& target) {
    if (!QFile::copy(source, target))
        return QStringLiteral("cannot copy %1 to %2").arg(source, target);
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return QString();
}

} // namespace

QString initStation(const QString& dir, const QStringList& sampleDirs) {
    QString error;
    const QString samples = findSamples(sampleDirs, &error);
    if (samples.isEmpty())
        return error;

    const QDir target(dir);
    if (!QDir().mkpath(dir))
        return QStringLiteral("cannot create the directory %1").arg(dir);
    const QStringList files = QDir(samples).entryList(QDir::Files);
    Station station;
    station.dir = target.absolutePath();
    // Check first, so that a refused station is left exactly as it was.
    for (const QString& f : files + QStringList{QFileInfo(station.databaseFile()).fileName()})
        if (QFileInfo::exists(target.filePath(f)))
            return QStringLiteral("%1 already exists; a station directory is never overwritten")
                .arg(target.filePath(f));
    for (const QString& f : files) {
        error = copySample(QDir(samples).filePath(f), target.filePath(f));
        if (!error.isEmpty())
            return error;
    }
    if (!TdmMain::createDatabase(station.databaseFile(), &error))
        return error;
    return QString();
}

FirstStart prepareUserStation(const Station& station, const QStringList& sampleDirs) {
    FirstStart r;
    if (!station.userHome || QFileInfo::exists(station.settingsFile))
        return r;
    const QString samples = findSamples(sampleDirs, &r.error);
    if (samples.isEmpty())
        return r;
    if (!QDir().mkpath(station.dir)) {
        r.error = QStringLiteral("cannot create the directory %1").arg(station.dir);
        return r;
    }
    // The settings go last: until they are there, the next start tries again.
    const QString sampleSettings = QDir(samples).filePath(QStringLiteral("mirvane.ini"));
    QStringList files = QDir(samples).entryList(QDir::Files);
    files.removeAll(QFileInfo(sampleSettings).fileName());
    files.removeAll(QFileInfo(station.settingsFile).fileName());
    for (const QString& f : files)
        if (!QFileInfo::exists(station.path(f)) &&
            !(r.error = copySample(QDir(samples).filePath(f), station.path(f))).isEmpty())
            return r;
    if (!QFileInfo::exists(station.databaseFile()) && !TdmMain::createDatabase(station.databaseFile(), &r.error))
        return r;
    // The sample's settings file is mirvane.ini; a program under another name reads its own.
    r.error = copySample(sampleSettings, station.settingsFile);
    r.laidOut = r.error.isEmpty();
    return r;
}

QString firstStartNotice(const Station& station) {
    return QStringLiteral("Рабочее место создано в папке %1.\n\n"
                          "Порт контроллера задаётся в файле %2: раздел [Device], ключ PortName "
                          "(например, PortName=/dev/ttyUSB0) или ComNumber (порт N — это /dev/ttyS<N-1>). "
                          "Настройки читаются при запуске программы.")
        .arg(QDir::toNativeSeparators(station.dir), QDir::toNativeSeparators(station.settingsFile));
}

QString firstStartLogLine(const Station& station) {
    return QStringLiteral("laid out a new station in %1; name the controller's port in %2 "
                          "(section [Device]: PortName=/dev/ttyUSB0, or ComNumber=N for /dev/ttyS<N-1>) "
                          "then start the station again")
        .arg(station.dir, station.settingsFile);
}

} // namespace StationSetup
