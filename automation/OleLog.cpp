#include "OleLog.h"

#include "AutomationError.h"
#include "Clock.h"
#include "Settings.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString OleLog::timeStamp(const QDateTime& t) {
    const QDate d = t.date();
    const QTime tm = t.time();
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("[%1.%2.%3 %4:%5:%6:%7] ")
        .arg(two(d.day()), two(d.month()), QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0')),
             two(tm.hour()), two(tm.minute()), two(tm.second()), two(d.month()));
}

void OleLog::WriteOleLog(const QString& St) const {
    if (!settings_.fDebugOLE)
        return;
    const QString path = settings_.oleLogPath();
    const QByteArray native = QFile::encodeName(path);
    // Never through a symbolic link: the log may sit in a directory others can write to.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        throw AutomationError(QStringLiteral("Не удалось открыть журнал автоматизации %1: %2")
                                  .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    // Held exclusively while the line is written, so lines of two writers never mix.
    ::flock(fd, LOCK_EX);
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
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        done += n;
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    if (err)
        throw AutomationError(QStringLiteral("Не удалось записать журнал автоматизации %1: %2")
                                  .arg(path, QString::fromLocal8Bit(std::strerror(err))));
}
