#include "Station.h"

#include <QFileInfo>

Station Station::resolve(const QString& explicitDir, const QString& executablePath) {
    const QFileInfo exe(executablePath);
    QString dir = explicitDir;
    if (dir.isEmpty())
        dir = qEnvironmentVariable("MIRVANE_STATION_DIR");
    if (dir.isEmpty())
        dir = exe.absolutePath();
    Station s;
    s.dir = QDir(dir).absolutePath();
    s.settingsFile = QDir(s.dir).filePath(exe.completeBaseName() + QStringLiteral(".ini"));
    return s;
}
