#pragma once

// What a station run against the simulated stand needs around it: the station directory's
// files, and the rows a statement reads back from its database.

#include "QueryRows.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

// Settings with the stand's and the remote's ports (115200 baud), the database, the protocol
// file (into dir/protocols) and the remote on, plus programExtra in section [Program]; a
// profile; the demo's Titles.txt.
inline void layOutStation(const QString& dir, const QString& standPort, const QString& remotePort,
                          const QString& programExtra = QString()) {
    const QString protocols = QDir(dir).filePath(QStringLiteral("protocols"));
    QDir().mkpath(protocols);
    writeFile(QDir(dir).filePath(QStringLiteral("mirvane.ini")),
              QStringLiteral("[Device]\nPortName=%1\nBaud=115200\nKalvexType=Калвекс-3500\nKalvexSerial=00042\n"
                             "[IR]\nEnabled=1\nPortName=%2\n"
                             "[Program]\nDatabaseEnabled=1\nPrintAct=1\nRCEnabled=1\nProtocolDir=%3\n%4")
                  .arg(standPort, remotePort, protocols, programExtra)
                  .toUtf8());
    writeFile(QDir(dir).filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=20\nAddress=5\n");
    QFile::copy(QStringLiteral(MIRVANE_SOURCE_DIR "/scripts/demo/Titles.txt"), QDir(dir).filePath(QStringLiteral("Titles.txt")));
}
