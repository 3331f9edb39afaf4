#pragma once

#include <QByteArray>
#include <QString>

// The stand's controller, the protocol header file and the protocol files speak the
// Cyrillic single-byte code page; these helpers keep that choice in one place.
namespace AnsiText {

// Windows-1251 bytes to text. Bytes without a character in the code page become U+FFFD.
QString decode(const QByteArray& bytes);
// Text to Windows-1251; characters outside the code page become '?'.
QByteArray encode(const QString& text);

enum class Fallback { Ansi, Utf8ThenAnsi };

// A byte-order mark selects UTF-8 or UTF-16 (either order) and is dropped. Without one the
// bytes are read in the code page, or, with Utf8ThenAnsi, as UTF-8 when they are valid UTF-8.
QString decodeFile(const QByteArray& bytes, Fallback fallback);

} // namespace AnsiText
