#pragma once

#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>

#include <csignal>

// A session bus of the test's own: a dbus-daemon started for the test and stopped with it.
class PrivateBus {
public:
    // extraEnv: environment for the daemon and so for the services it activates.
    explicit PrivateBus(const QProcessEnvironment& extraEnv = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& k : extraEnv.keys())
            env.insert(k, extraEnv.value(k));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--fork"), QStringLiteral("--print-address=1"),
                 QStringLiteral("--print-pid=1")});
        p.waitForFinished(10000);
        const QStringList lines =
            QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (lines.size() >= 2) {
            address = lines[0].trimmed();
            pid_ = lines[1].trimmed().toLongLong();
        }
    }
    ~PrivateBus() {
        if (pid_ > 0)
            ::kill(static_cast<pid_t>(pid_), SIGTERM);
    }
    bool ok() const { return !address.isEmpty() && pid_ > 0; }

    // Runs a client program on this bus while the caller's event loop keeps serving calls.
    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Result run(const QString& program, const QStringList& args, int timeoutMs = 10000) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        p.setProcessEnvironment(env);
        QEventLoop loop;
        QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        p.start(program, args);
        loop.exec();
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
        }
        Result r;
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        r.err = QString::fromUtf8(p.readAllStandardError()).trimmed();
        return r;
    }
    // gdbus call --session --dest D --object-path P --method M args...
    Result call(const QString& path, const QString& method, const QStringList& args = {},
                const QString& dest = QStringLiteral("Mirvane.Kalvex")) const {
        QStringList a{QStringLiteral("call"),          QStringLiteral("--session"),
                      QStringLiteral("--dest"),        dest,
                      QStringLiteral("--object-path"), path,
                      QStringLiteral("--method"),      method};
        return run(QStringLiteral("gdbus"), a + args);
    }

    QString address;

private:
    qint64 pid_ = 0;
};
