#include "Station.h"

#include <QFileInfo>
#include <QStandardPaths>

QString Station::userDataDir() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("mirvane"));
}

QString Station::namedDir(const QString& explicitDir) {
    const QString dir = explicitDir.isEmpty() ? qEnvironmentVariable("MIRVANE_STATION_DIR") : explicitDir;
    return dir.isEmpty() ? QString() : QDir::cleanPath(QDir(dir).absolutePath());
}

Station Station::resolve(const QString& explicitDir, const QString& executablePath) {
    const QFileInfo exe(executablePath);
    const QString settingsName = exe.completeBaseName() + QStringLiteral(".ini");
    Station s;
    QString dir = namedDir(explicitDir);
    if (dir.isEmpty()) {
        if (QFileInfo(QDir(exe.absolutePath()).filePath(settingsName)).isFile()) {
            dir = exe.absolutePath();
        } else {
            dir = userDataDir();
            s.userHome = true;
        }
    }
    s.dir = dir;
    s.settingsFile = QDir(s.dir).filePath(settingsName);
    return s;
}
