#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Files the station reads and writes in directories where anyone may have planted something:
// a FIFO or a device must never block the window's thread, and a symbolic link must never
// make the station write somewhere else.
namespace RegularFile {

// The whole file, when the path names a regular file (a link to one is fine for reading).
// A FIFO, device or directory is refused without blocking; error says why.
std::optional<QByteArray> read(const QString& path, QString* error = nullptr);

// Puts data at path as a whole or not at all: written to a new temporary file beside it,
// synced, then renamed over path and the directory synced. A failed write, sync or rename
// leaves path as it was (no empty or cut file); a symbolic link at path is replaced, never
// followed. error says why it failed.
bool writeAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Makes what was last done in the directory (a file made, renamed or a directory made in it)
// last through a power cut. A file system that cannot sync a directory counts as done.
bool syncDirectory(const QString& dir, QString* error = nullptr);

} // namespace RegularFile
