#pragma once

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal the test owns: the station opens the slave by its path, the test talks
// through the master. The test keeps a slave handle of its own so the master stays usable
// while the station's handle is closed, and never reads from it.
class Pty {
public:
    Pty() {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        path_ = QString::fromLocal8Bit(ttyname(slave_));
    }
    ~Pty() {
        closeMaster();
        if (slave_ >= 0)
            ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const QString& path() const { return path_; }
    void write(const QByteArray& bytes) const {
        if (::write(master_, bytes.constData(), bytes.size()) != bytes.size())
            qFatal("pty write failed");
    }
    // What arrived from the station within timeoutMs.
    QByteArray read(int timeoutMs = 1000) const {
        QByteArray out;
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, out.isEmpty() ? timeoutMs : 20) > 0) {
            char buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, static_cast<int>(n));
        }
        return out;
    }
    // The other side goes away: the station's handle is hung up.
    void hangUp() {
        if (slave_ >= 0)
            ::close(slave_);
        slave_ = -1;
        closeMaster();
    }

private:
    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};
