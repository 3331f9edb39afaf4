#include "OleLog.h"

#include "AutomationError.h"
#include "Clock.h"
#include "Settings.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QString OleLog::timeStamp(const QDateTime& t) {
    const QDate d = t.date();
    const QTime tm = t.time();
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("[%1.%2.%3 %4:%5:%6:%7] ")
        .arg(two(d.day()), two(d.month()), QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0')),
             two(tm.hour()), two(tm.minute()), two(tm.second()), two(d.month()));
}

QString OleLog::path() const {
    return baseDir_.isEmpty() ? settings_.oleLogPath() : QDir(baseDir_).filePath(settings_.oleLogPath());
}

namespace {

// A file descriptor closed on every way out.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Takes the file for this writer alone, against writers that lock the whole file either way
// (flock, or a record lock on it), without waiting. Returns 0 or the error.
int tryLock(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return errno;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0) {
        const int err = errno;
        ::flock(fd, LOCK_UN);
        return err;
    }
    return 0;
}

bool heldByOther(int err) {
    return err == EWOULDBLOCK || err == EAGAIN || err == EACCES || err == EINTR;
}

AutomationError failure(const QString& what, const QString& path, int err) {
    return AutomationError(QStringLiteral("Не удалось %1 журнал автоматизации %2: %3")
                               .arg(what, path, QString::fromLocal8Bit(std::strerror(err))));
}

} // namespace

void OleLog::WriteOleLog(const QString& St) const {
    if (!settings_.fDebugOLE)
        return;
    const QString file = path();
    const QByteArray native = QFile::encodeName(file);
    // Never through a symbolic link: the log may sit in a directory others can write to.
    // Non-blocking, so that a FIFO planted at the name cannot hold the station; it is then
    // refused, as is anything else that is not a regular file.
    const Fd f{::open(native.constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644)};
    if (f.fd < 0)
        throw failure(QStringLiteral("открыть"), file, errno);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0)
        throw failure(QStringLiteral("открыть"), file, errno);
    if (!S_ISREG(st.st_mode))
        throw AutomationError(
            QStringLiteral("Журнал автоматизации %1 не является обычным файлом").arg(file));

    // Held exclusively while the line is written, so lines of two writers never mix. Another
    // program's lock is waited for a little while the station goes on polling; the window's
    // own input waits until the call is done.
    const QDeadlineTimer deadline(LockWaitMs);
    for (int err = tryLock(f.fd); err != 0; err = tryLock(f.fd)) {
        if (!heldByOther(err))
            throw failure(QStringLiteral("заблокировать"), file, err);
        if (deadline.hasExpired())
            throw AutomationError(
                QStringLiteral("Журнал автоматизации %1 занят другой программой дольше %2 мс")
                    .arg(file)
                    .arg(LockWaitMs));
        QEventLoop pause;
        QTimer::singleShot(10, &pause, &QEventLoop::quit);
        pause.exec(QEventLoop::ExcludeUserInputEvents);
    }

    const QString line = timeStamp(clock_.now()) + St + QStringLiteral("\r\n");
    QByteArray bytes;
    bytes.reserve(line.size() * 2);
    for (QChar c : line) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    qsizetype done = 0;
    int err = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(f.fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        done += n;
    }
    // Closing the descriptor releases both locks.
    if (err)
        throw failure(QStringLiteral("записать"), file, err);
}
