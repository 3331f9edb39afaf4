#pragma once

#include <QString>
#include <QStringList>

// The automation switches of the command line. Each may stand anywhere, starts with '-' or
// '/', and is matched without regard to letter case.
struct AutomationSwitches {
    enum class Registration { None, Register, Unregister };
    bool automation = false; // started for a client: the program ends with its last object
    Registration registration = Registration::None;
    bool perUser = false;
};

AutomationSwitches parseAutomationSwitches(const QStringList& arguments);

// Installing the automation server: a D-Bus service activation file that starts this
// executable with -EMBEDDING, and the interface description beside it where none is there
// yet. The activation file records what registration wrote, so that removing it takes away
// only that: an interface description a package installed stays.
namespace Registration {

// $XDG_DATA_HOME (or ~/.local/share) for the current user, /usr/share for all users.
QString dataDir(bool perUser);
QString serviceFile(bool perUser);
QString interfaceFile(bool perUser);
// The activation file's text. stationDir, when given, is passed on to the started program
// (an absolute path: the bus starts it in a working directory of its own). wroteInterface:
// the interface description at interfaceFile was written by this registration.
QString serviceText(const QString& executable, const QString& stationDir, const QString& wroteInterface);

// Returns an empty text on success, otherwise what went wrong.
QString install(bool perUser, const QString& executable, const QString& stationDir);
// Removes the activation file and what it records having written; a refused removal is
// ignored. A file that registration did not write is left alone.
void remove(bool perUser);

} // namespace Registration
