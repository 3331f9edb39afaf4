#pragma once

// What the file readers' fuzz targets share: an application for Qt's file classes, and the
// input written to a file of the name the station reads, as the station would find it.

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace FuzzInput {

inline QTemporaryDir* dir;

inline void init(int* argc, char*** argv) {
    new QCoreApplication(*argc, *argv);
    dir = new QTemporaryDir;
}

// The input as the file `name`, replacing the last one; its path.
inline QString write(const char* name, const uint8_t* data, size_t size) {
    const QString path = dir->filePath(QLatin1String(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
        std::abort();
    return path;
}

// A broken promise of the code under test: a finding.
inline void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace FuzzInput
