#pragma once

#include <QString>
#include <QStringList>

struct Station;

// Laying out a new station directory from the sample station files that come with the
// program, and an empty database in it.
namespace StationSetup {

// Where the sample station files are: beside an installed program (../share/mirvane/station),
// the installation's data directory, or the source tree the program was built from.
QStringList sampleDirectories();

// Copies every sample file into dir (created when missing) and creates its database. Refuses
// to overwrite anything already there. Returns an empty text on success, else what went wrong.
QString initStation(const QString& dir, const QStringList& sampleDirs = sampleDirectories());

// The first start in the user's own station directory: when it has no settings file yet,
// lays out the sample station files and the database that are missing (whatever is there
// already stays as it is). Nothing is done for a station directory someone named.
struct FirstStart {
    bool laidOut = false; // the sample station was laid out now
    QString error;        // why it could not be
};
FirstStart prepareUserStation(const Station& station, const QStringList& sampleDirs = sampleDirectories());

// What a first start tells the operator: where the station is and which file names the
// controller's port. In Russian for the operator's box, in English for the error output.
QString firstStartNotice(const Station& station);
QString firstStartLogLine(const Station& station);

} // namespace StationSetup
