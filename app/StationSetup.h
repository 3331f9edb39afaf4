#pragma once

#include <QString>
#include <QStringList>

// Laying out a new station directory from the sample station files that come with the
// program, and an empty database in it.
namespace StationSetup {

// Where the sample station files are: beside an installed program (../share/mirvane/station),
// the installation's data directory, or the source tree the program was built from.
QStringList sampleDirectories();

// Copies every sample file into dir (created when missing) and creates its database. Refuses
// to overwrite anything already there. Returns an empty text on success, else what went wrong.
QString initStation(const QString& dir, const QStringList& sampleDirs = sampleDirectories());

} // namespace StationSetup
