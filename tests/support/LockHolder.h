#pragma once

#include <QProcess>
#include <QStringList>
#include <QTest>

// Another program holding a lock on a file until this goes. The command takes the lock and
// then prints a line, so that the line tells the lock is held.
class LockHolder {
public:
    explicit LockHolder(const QStringList& command) {
        process_.start(command.first(), command.mid(1));
        held_ = process_.waitForStarted() && QTest::qWaitFor([this] { return process_.canReadLine(); }, 5000);
    }
    ~LockHolder() {
        process_.kill();
        process_.waitForFinished();
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    bool held() const { return held_; }

    // flock(1) holding file: its command says so once it runs under the lock.
    static QStringList flock(const QString& file) {
        return {QStringLiteral("flock"), QStringLiteral("-o"), file, QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("echo held; exec sleep 60")};
    }

private:
    QProcess process_;
    bool held_ = false;
};
