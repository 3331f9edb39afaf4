#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <unistd.h>
#include <vector>

// Runs a command to its end; its exit code, or -1 (it crashed, or ran longer than timeoutMs).
inline int runCommand(const QString& program, const QStringList& args, int timeoutMs = 30000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    return p.exitCode();
}

// A mount of the test's own, undone when it ends: a small tmpfs (a disk that fills up), or a
// file bound read-only over itself (a file even root cannot write through). Mounting needs
// root; unavailable says why it could not be made.
class TestMount {
public:
    static std::unique_ptr<TestMount> tmpfs(const QString& dir, const QString& size) {
        return std::unique_ptr<TestMount>(new TestMount(
            dir, {{QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), QStringLiteral("size=") + size,
                   QStringLiteral("tmpfs"), dir}}));
    }
    static std::unique_ptr<TestMount> readOnly(const QString& file) {
        return std::unique_ptr<TestMount>(
            new TestMount(file, {{QStringLiteral("--bind"), file, file},
                                 {QStringLiteral("-o"), QStringLiteral("remount,bind,ro"), file}}));
    }
    ~TestMount() {
        if (mounted_)
            runCommand(QStringLiteral("umount"), {QStringLiteral("-l"), at_});
    }
    QString unavailable;

private:
    TestMount(const QString& at, const std::vector<QStringList>& steps) : at_(at) {
        if (::geteuid() != 0) {
            unavailable = QStringLiteral("mounting needs root");
            return;
        }
        for (const QStringList& args : steps) {
            if (runCommand(QStringLiteral("mount"), args) != 0) {
                unavailable = QStringLiteral("mount %1 failed (not allowed here?)").arg(args.join(QLatin1Char(' ')));
                return;
            }
            mounted_ = true;
        }
    }
    QString at_;
    bool mounted_ = false;
};
