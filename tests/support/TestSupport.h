#pragma once

#include "Clock.h"
#include "Dialogs.h"

#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <vector>

// Records every message box and modal dialog instead of showing it.
class RecordingDialogs final : public Dialogs {
public:
    std::vector<Message> messages;
    QStringList dialogs; // object names of the dialogs run
    // Called while "showing" a message; returns the button pressed (default: Ok, or Yes).
    std::function<int(const Message&)> onMessage;
    // Called while "running" a dialog; default: not run, Rejected.
    std::function<int(QDialog&)> onExec;

    int message(QWidget*, const Message& m) override {
        messages.push_back(m);
        if (onMessage)
            return onMessage(m);
        return (m.buttons & Yes) ? Yes : Ok;
    }
    int exec(QDialog& d) override {
        dialogs << d.objectName();
        return onExec ? onExec(d) : QDialog::Rejected;
    }
};

class FixedClock final : public Clock {
public:
    QDateTime t = QDateTime(QDate(2026, 12, 9), QTime(14, 5, 7));
    QDateTime now() const override { return t; }
};

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

// The bytes of s as the debug log stores its text: UTF-16, low byte first.
inline QByteArray utf16le(const QString& s) {
    QByteArray b;
    for (QChar c : s) {
        b.append(static_cast<char>(c.unicode() & 0xFF));
        b.append(static_cast<char>(c.unicode() >> 8));
    }
    return b;
}

// Sets an environment variable for the scope, or removes it (null value); the old value is
// back afterwards, whichever way the test leaves.
class Env {
public:
    Env(const char* name, const QString& value) : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toLocal8Bit());
    }
    ~Env() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    Env(const Env&) = delete;
    Env& operator=(const Env&) = delete;

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};
