#pragma once

#include <QString>

// Why a serial port could not be opened, in words a service engineer can act on: a device
// that is not there, one the user may not use (with the group that may and the command that
// adds the user to it), or one another program holds.
struct PortOpenFailure {
    enum class Reason { None, NoDevice, PermissionDenied, Busy, Other };

    Reason reason = Reason::None;
    QString device;
    // PermissionDenied: the device's group and access mode, whether that group may read and
    // write it, the user the station runs as and whether the user is in the group.
    QString group;
    unsigned mode = 0;
    bool groupMayUse = true;
    QString user;
    bool userInGroup = false;
    // Busy: the process that holds the device, when it can be found.
    qint64 holderPid = 0;
    QString holderName;
    // Other: the system's own words.
    QString systemText;

    // For the operator's message box (Russian) and for the error output (English).
    QString operatorText() const;
    QString engineerText() const;

    // What the serial port toolkit said when it failed to open the device.
    enum class Said { NotFound, NoPermission, Other };
    // Looks at the device after the toolkit failed to open it, saying so in text.
    static PortOpenFailure diagnose(const QString& device, Said said, const QString& text);
};
