#pragma once

#include "Registration.h"

#include <QString>
#include <QStringList>

// What the command line asks of the program. The automation switches (-EMBEDDING, /REGSERVER
// and the like) are taken out first, whatever their case and prefix; the rest is read as
// ordinary long options.
struct CommandLine {
    enum class Mode { Station, Help, Version, CreateDatabase, InitStation, Registration, Error };

    Mode mode = Mode::Station;
    QString stationDir;   // --station-dir
    QString databasePath; // --create-database [PATH]
    QString initDir;      // --init-station DIR
    QString screenshot;   // --screenshot FILE
    int screenshotAfter = 1000;
    QString recordDemo;   // --record-demo DIR
    AutomationSwitches automation;
    QString error; // Mode::Error: what is wrong, for the operator
};

CommandLine parseCommandLine(const QStringList& arguments);
QString commandLineHelp();
