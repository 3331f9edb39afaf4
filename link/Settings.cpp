#include "Settings.h"

#include "IniFile.h"

#include <QDir>

QString Settings::oleLogPath() const {
    if (!OleLogFile.isEmpty())
        return OleLogFile;
    return QDir::home().filePath(QStringLiteral("ole_log.txt"));
}

Settings loadSettings(const QString& path) {
    IniFile ini;
    ini.load(path);
    Settings s;
    const QString dev = QStringLiteral("Device");
    const QString ir = QStringLiteral("IR");
    const QString prog = QStringLiteral("Program");

    // Read in the order of the settings table; the keys added for this platform follow.
    s.ComNumber = ini.readInteger(dev, QStringLiteral("ComNumber"), s.ComNumber);
    s.Baud = ini.readInteger(dev, QStringLiteral("Baud"), s.Baud);
    s.Address = static_cast<quint8>(ini.readInteger(dev, QStringLiteral("Address"), s.Address));
    s.ProfileFile = ini.readString(dev, QStringLiteral("ProfileFile"), s.ProfileFile);
    s.KalvexType = ini.readString(dev, QStringLiteral("KalvexType"), s.KalvexType);
    s.KalvexSerial = ini.readString(dev, QStringLiteral("KalvexSerial"), s.KalvexSerial);
    s.IREnabled = ini.readBool(ir, QStringLiteral("Enabled"), s.IREnabled);
    s.IRComNumber = ini.readInteger(ir, QStringLiteral("ComNumber"), s.IRComNumber);
    s.IRBaud = ini.readInteger(ir, QStringLiteral("Baud"), s.IRBaud);
    s.fPrintAct = ini.readBool(prog, QStringLiteral("PrintAct"), s.fPrintAct);
    s.fIRDebug = ini.readBool(prog, QStringLiteral("RCEnabled"), s.fIRDebug);
    s.fDataBaseEnabled = ini.readBool(prog, QStringLiteral("DatabaseEnabled"), s.fDataBaseEnabled);
    s.fDebugOLE = ini.readBool(prog, QStringLiteral("DebugOLE"), s.fDebugOLE);
    s.fPCDateTime = ini.readBool(prog, QStringLiteral("PCDateTime"), s.fPCDateTime);

    s.PortName = ini.readString(dev, QStringLiteral("PortName"), QString());
    s.IRPortName = ini.readString(ir, QStringLiteral("PortName"), QString());
    s.DatabaseDriver = ini.readString(prog, QStringLiteral("DatabaseDriver"), s.DatabaseDriver);
    s.DatabaseHost = ini.readString(prog, QStringLiteral("DatabaseHost"), s.DatabaseHost);
    s.DatabasePort = ini.readInteger(prog, QStringLiteral("DatabasePort"), s.DatabasePort);
    s.DatabaseName = ini.readString(prog, QStringLiteral("DatabaseName"), s.DatabaseName);
    s.DatabaseUser = ini.readString(prog, QStringLiteral("DatabaseUser"), s.DatabaseUser);
    s.DatabasePassword = ini.readString(prog, QStringLiteral("DatabasePassword"), s.DatabasePassword);
    s.DatabasePasswordFile = ini.readString(prog, QStringLiteral("DatabasePasswordFile"), s.DatabasePasswordFile);
    s.OleLogFile = ini.readString(prog, QStringLiteral("OleLogFile"), QString());
    s.ProtocolDir = ini.readString(prog, QStringLiteral("ProtocolDir"), QString());
    return s;
}
