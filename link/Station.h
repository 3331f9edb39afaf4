#pragma once

#include <QDir>
#include <QString>

// The station directory holds what the program reads and writes beside itself: the
// settings, the register profile, the database and the protocol header file.
struct Station {
    QString dir;          // absolute
    QString settingsFile; // absolute path of "<executable name>.ini"

    QString path(const QString& name) const { return QDir(dir).filePath(name); }
    QString databaseFile() const { return path(QStringLiteral("Mirvane.db")); }
    QString titlesFile() const { return path(QStringLiteral("Titles.txt")); }

    // The directory given on the command line, else $MIRVANE_STATION_DIR, else the
    // executable's own directory; the settings file is named after the executable.
    static Station resolve(const QString& explicitDir, const QString& executablePath);
};
