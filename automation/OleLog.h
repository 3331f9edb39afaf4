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

    // Appends "[stamp] St" + CR LF as UTF-16LE. Does nothing outside debug mode. Throws
    // AutomationError when the file cannot be opened or written.
    void WriteOleLog(const QString& St) const;

    // "[dd.mm.yyyy hh:nn:ss:mm] ": the last field repeats the month, as the log always had it.
    static QString timeStamp(const QDateTime& t);

private:
    const Settings& settings_;
    const Clock& clock_;
};
