#pragma once

#include <QDateTime>
#include <QString>

class Clock;
struct Settings;

// The automation debug log: one time-stamped line per call that names a tag, written only
// in automation debug mode.
class OleLog {
public:
    OleLog(const Settings& settings, const Clock& clock) : settings_(settings), clock_(clock) {}

    // A relative log name is taken from here (the station directory), not from whatever
    // working directory the program was started in.
    void setBaseDir(const QString& dir) { baseDir_ = dir; }
    QString path() const;

    // Appends "[stamp] St" + CR LF as UTF-16LE. Does nothing outside debug mode. Throws
    // AutomationError when the file cannot be opened or written: when it is not a regular
    // file (a FIFO or a device is never opened for writing), or another program holds it
    // locked for longer than LockWaitMs, during which the station's events go on.
    void WriteOleLog(const QString& St) const;

    static constexpr int LockWaitMs = 100;

    // "[dd.mm.yyyy hh:nn:ss:mm] ": the last field repeats the month, as the log always had it.
    static QString timeStamp(const QDateTime& t);

private:
    const Settings& settings_;
    const Clock& clock_;
    QString baseDir_;
};
