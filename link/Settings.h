#pragma once

#include <QString>

#include <cstdint>

// The station's settings, read once at start-up from "<executable name>.ini" in the station
// directory. Field names are those the rest of the station uses for them.
struct Settings {
    // [Device]
    qint32 ComNumber = 1;
    qint32 Baud = 9600;
    quint8 Address = 1;
    QString ProfileFile = QStringLiteral("Profile.dat");
    QString KalvexType;
    QString KalvexSerial;
    QString PortName; // any device path; wins over ComNumber when set

    // [IR]
    bool IREnabled = false;
    qint32 IRComNumber = 5;
    qint32 IRBaud = 9600;
    QString IRPortName;

    // [Program]
    bool fPrintAct = false;
    bool fIRDebug = false;
    bool fDataBaseEnabled = false;
    bool fDebugOLE = false;
    bool fPCDateTime = true;
    // The test database: "sqlite" (the station's own Mirvane.db) or "postgres" (a central
    // server that several stations share).
    QString DatabaseDriver = QStringLiteral("sqlite");
    QString DatabaseHost; // host name, or the directory of the server's Unix socket
    qint32 DatabasePort = 5432;
    QString DatabaseName = QStringLiteral("mirvane");
    QString DatabaseUser;
    QString DatabasePassword;
    QString DatabasePasswordFile; // first line is the password; else libpq's PGPASSFILE / ~/.pgpass
    QString OleLogFile;  // empty: ole_log.txt in the user's home directory
    QString ProtocolDir; // empty: the process's working directory

    // Port numbers are applied to the ports as 16-bit numbers.
    quint16 comPortNumber() const { return static_cast<quint16>(ComNumber); }
    quint16 irPortNumber() const { return static_cast<quint16>(IRComNumber); }
    // The debug log's path with the default applied.
    QString oleLogPath() const;
};

// Reads the settings file; a missing file or key, or text that is not a number, leaves the
// default. Never fails.
Settings loadSettings(const QString& path);
