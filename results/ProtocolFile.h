#pragma once

#include "TestAssembly.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The text protocol of a finished test: a title, the raw header, and a table with one column
// per axle whose row names come from the station's Titles.txt.
namespace ProtocolFile {

// Spaces in front of (AlignRight) or after (AlignLeft) the text until it is at least width
// characters long; a text is never shortened.
QString AlignRight(const QString& text, int width);
QString AlignLeft(const QString& text, int width);

// The lines of a header file: a byte-order mark selects UTF-8 or UTF-16, else the bytes are
// Windows-1251; CR LF, CR and LF all end a line, and a last line needs no ending.
QStringList titleLines(const QByteArray& bytes);
// W: the length of the longest line, 0 without lines.
int nameWidth(const QStringList& titles);
// The row names of a usable header file: at least 36 lines and W from 3 to 255. Otherwise
// nothing, with the reason in why.
std::optional<QStringList> readTitles(const QString& path, QString* why);

// The 42 lines of the protocol; now is the PC clock reading for the title.
QStringList lines(const QStringList& titles, const TestAssembly::Header& FinalOKData,
                  const TestAssembly::AxleRows& AxleOkData, const QDateTime& now);
// "yyyy-mm-dd hh-nn-ss.txt" of a clock reading.
QString fileName(const QDateTime& now);
// The file's bytes: Windows-1251 without a byte-order mark, CR LF after every line.
QByteArray encode(const QStringList& lines);
// Writes the file whole or not at all: a failed write, sync or rename leaves neither an empty
// nor a cut file and keeps a file of the same name as it was; a symbolic link at the name is
// replaced, never followed.
bool save(const QString& path, const QStringList& lines, QString* error);

} // namespace ProtocolFile
