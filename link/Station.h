#pragma once

#include <QDir>
#include <QString>

// The station directory holds what the program reads and writes beside itself: the
// settings, the register profile, the database and the protocol header file.
struct Station {
    QString dir;          // absolute
    QString settingsFile; // absolute path of "<executable name>.ini"
    // The user's own station directory: chosen because nothing else named one. Only there
    // does a first start lay out a station by itself.
    bool userHome = false;

    QString path(const QString& name) const { return QDir(dir).filePath(name); }
    QString databaseFile() const { return path(QStringLiteral("Mirvane.db")); }
    QString titlesFile() const { return path(QStringLiteral("Titles.txt")); }

    // The directory given on the command line, else $MIRVANE_STATION_DIR, else the
    // executable's own directory when it holds the settings file (an unpacked station that
    // carries its files with it), else the user's data directory: an installed program's
    // directory is a system directory, never written to. Relative names are taken from the
    // working directory. The settings file is named after the executable.
    static Station resolve(const QString& explicitDir, const QString& executablePath);

    // The directory the command line or $MIRVANE_STATION_DIR names, made absolute; empty
    // when neither names one.
    static QString namedDir(const QString& explicitDir);

    // $XDG_DATA_HOME/mirvane, by default ~/.local/share/mirvane.
    static QString userDataDir();
};
