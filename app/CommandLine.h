#pragma once

#include "Registration.h"

#include <QString>
#include <QStringList>

// What the command line asks of the program. The automation switches (-EMBEDDING, /REGSERVER
// and the like) are taken out first, whatever their case and prefix; the rest is read as
// ordinary long options.
struct CommandLine {
    enum class Mode { Station, Help, Version, CreateDatabase, InitStation, Registration, ExportProtocol, Error };

    Mode mode = Mode::Station;
    QString stationDir;   // --station-dir
    QString databasePath; // --create-database [PATH]
    QString initDir;      // --init-station DIR
    QString screenshot;   // --screenshot FILE
    int screenshotAfter = 1000;
    QString recordDemo;   // --record-demo DIR
    // --export-protocol ORDER_NUMBER FILE, or --export-protocol-id ID FILE
    int exportTest = 0;
    bool exportById = false;
    QString exportFile;
    AutomationSwitches automation;
    QString error; // Mode::Error: what is wrong, for the operator
};

CommandLine parseCommandLine(const QStringList& arguments);
QString commandLineHelp();
