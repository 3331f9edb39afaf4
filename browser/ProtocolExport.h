#pragma once

#include <QString>

struct Station;

// A stored test's protocol as a PDF file, for an inspection archive that keeps files rather
// than paper: the record view filled with the test and drawn by the print routine onto the
// page the printer gets, so the file and the printed protocol are the same page.
namespace ProtocolExport {

// How an export ended, as the program's exit code.
enum Outcome {
    Written = 0,
    NotWritten = 1, // the file could not be written (or the page not drawn)
    NoDatabase = 3, // the station's database cannot be opened or read
    NoSuchTest = 4, // no test (that is not deleted) has this order number or id
    Ambiguous = 5,  // several tests have this order number: name one by its id
};

struct Result {
    Outcome outcome;
    QString text; // what to tell the user: the file written, or why not
};

// The test is named by its order number, or by its id when byId is set. The file is written
// whole or not at all.
Result exportProtocol(const Station& station, bool byId, int number, const QString& file);

} // namespace ProtocolExport
