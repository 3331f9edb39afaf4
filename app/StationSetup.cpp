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

QString initStation(const QString& dir, const QStringList& sampleDirs) {
    QString samples;
    for (const QString& d : sampleDirs)
        if (QFileInfo(QDir(d).filePath(QStringLiteral("Profile.dat"))).isFile()) {
            samples = d;
            break;
        }
    if (samples.isEmpty())
        return QStringLiteral("the sample station files are not installed (looked in %1)")
            .arg(sampleDirs.join(QStringLiteral(", ")));

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
    for (const QString& f : files)
        if (!QFile::copy(QDir(samples).filePath(f), target.filePath(f)))
            return QStringLiteral("cannot copy %1 into %2").arg(f, dir);
    for (const QString& f : files)
        QFile(target.filePath(f))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QString error;
    if (!TdmMain::createDatabase(station.databaseFile(), &error))
        return error;
    return QString();
}

} // namespace StationSetup
