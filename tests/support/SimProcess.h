#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>

// The simulated stand as a child process: its pty paths and what it reports, line by line.
class SimProcess {
public:
    explicit SimProcess(const QStringList& args) {
        clock_.start();
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            while (process_.canReadLine()) {
                lines << QString::fromUtf8(process_.readLine()).trimmed();
                lineAt << clock_.elapsed();
            }
        });
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(MIRVANE_BINARY_DIR "/sim/mirvane-stand-sim"), args);
        if (waitFor(QStringLiteral("remote "), 5000)) {
            slavePath = lines[indexOf(QStringLiteral("slave "))].mid(6);
            remotePath = lines[indexOf(QStringLiteral("remote "))].mid(7);
        }
    }
    ~SimProcess() {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }

    // Waits until a line starting with prefix has come (since line from, counted from 0).
    bool waitFor(const QString& prefix, int ms, int from = 0) {
        return QTest::qWaitFor([&] { return indexOf(prefix, from) >= 0; }, ms);
    }
    int indexOf(const QString& prefix, int from = 0) const {
        for (int i = from; i < lines.size(); ++i)
            if (lines[i].startsWith(prefix))
                return i;
        return -1;
    }
    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& l : lines)
            n += l.startsWith(prefix);
        return n;
    }
    void send(const QByteArray& text) { process_.write(text); }
    bool running() const { return process_.state() == QProcess::Running; }

    QStringList lines;
    QList<qint64> lineAt; // when each line came, in ms since the stand was started
    QString slavePath;
    QString remotePath;

    qint64 elapsed() const { return clock_.elapsed(); }

private:
    QElapsedTimer clock_;
    QProcess process_;
};
