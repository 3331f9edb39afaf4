#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

namespace {

QString reason(const QString& path, int err) {
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
}

bool fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

bool writeAll(int fd, const QByteArray& data, int* err) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

std::optional<QByteArray> read(const QString& path, QString* error) {
    const QByteArray native = QFile::encodeName(path);
    // Non-blocking, so that opening a FIFO returns at once; the type is checked on what was
    // opened, not on the name, which could change in between.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        fail(error, reason(path, errno));
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        fail(error, reason(path, err));
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(error, QStringLiteral("%1: not a regular file").arg(path));
        return std::nullopt;
    }
    // Reads of a regular file never wait; the flag only mattered for opening.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QByteArray data;
    if (st.st_size > 0)
        data.reserve(static_cast<qsizetype>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            fail(error, reason(path, err));
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.append(buf, n);
    }
    ::close(fd);
    return data;
}

bool writeAtomically(const QString& path, const QByteArray& data, QString* error) {
    const QFileInfo target(path);
    const QString dir = target.absolutePath();
    QByteArray temp = QFile::encodeName(dir + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    // mkostemp: a new file of our own (O_EXCL), so nothing planted at the temporary name is
    // followed or reused.
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(error, reason(path, errno));
    // mkostemp makes the file 0600; a protocol or settings file is as readable as any file
    // the user makes.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    int err = 0;
    bool ok = writeAll(fd, data, &err);
    if (ok && ::fsync(fd) != 0) {
        err = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        err = errno;
        ok = false;
    }
    // rename replaces whatever is at the name, a symbolic link included, without following it.
    if (ok && ::rename(temp.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        err = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.constData());
        return fail(error, reason(path, err));
    }
    // The rename itself lasts only once the directory is on disk.
    return syncDirectory(dir, error);
}

bool syncDirectory(const QString& dir, QString* error) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int err = errno;
    ::close(fd);
    return synced || fail(error, reason(dir, err));
}

} // namespace RegularFile
