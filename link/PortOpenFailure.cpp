#include "PortOpenFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <vector>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString nameOfGroup(gid_t gid) {
    const group* g = ::getgrgid(gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

QString nameOfUser(uid_t uid) {
    const passwd* p = ::getpwuid(uid);
    return p ? QString::fromLocal8Bit(p->pw_name) : QString::number(uid);
}

bool inGroup(gid_t gid) {
    if (::getegid() == gid)
        return true;
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(n > 0 ? static_cast<size_t>(n) : 0);
    if (n > 0 && ::getgroups(n, groups.data()) == n)
        return std::find(groups.begin(), groups.end(), gid) != groups.end();
    return false;
}

QString processName(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// The process named in a serial lock file ("LCK.." and the device's name below /dev, as the
// toolkit and the classic serial programs write them), when it is still running.
qint64 lockFileHolder(const QString& device) {
    QString name = device;
    if (name.startsWith(QLatin1String("/dev/")))
        name = name.mid(5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString& dir : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock"), QDir::tempPath()}) {
        QFile lock(QDir(dir).filePath(QStringLiteral("LCK..") + name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        bool ok = false;
        const qint64 pid = QString::fromLatin1(lock.readLine(64)).trimmed().toLongLong(&ok);
        if (ok && pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)))
            return pid;
    }
    return 0;
}

// A process that has the device open; only processes this user may look into are seen.
qint64 openedBy(const QString& device) {
    const QString target = QFileInfo(device).canonicalFilePath();
    const qint64 self = ::getpid();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& p : pids) {
        bool ok = false;
        const qint64 pid = p.toLongLong(&ok);
        if (!ok || pid == self)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
            if (fd.symLinkTarget() == target)
                return pid;
    }
    return 0;
}

// An access mode as chmod takes it: 0660.
QString octal(unsigned mode) {
    return QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0'));
}

} // namespace

PortOpenFailure PortOpenFailure::diagnose(const QString& device, Said said, const QString& text) {
    PortOpenFailure f;
    f.device = device;
    f.systemText = text;
    const QByteArray native = QFile::encodeName(device);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        f.reason = (errno == ENOENT || errno == ENOTDIR) ? Reason::NoDevice : Reason::Other;
        return f;
    }
    if (::access(native.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) {
        f.reason = Reason::PermissionDenied;
        f.group = nameOfGroup(st.st_gid);
        f.mode = st.st_mode & 07777;
        f.userInGroup = inGroup(st.st_gid);
        f.groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        f.user = nameOfUser(::getuid());
        return f;
    }
    switch (said) {
    case Said::NotFound:
        // The node is there, the hardware behind it is not (a serial port the machine lacks).
        f.reason = Reason::NoDevice;
        return f;
    case Said::NoPermission:
        // This user may use the device, so someone else has it: a lock file of a serial
        // program, or a process that opened it for itself alone.
        f.reason = Reason::Busy;
        f.holderPid = lockFileHolder(device);
        if (f.holderPid == 0)
            f.holderPid = openedBy(device);
        if (f.holderPid != 0)
            f.holderName = processName(f.holderPid);
        return f;
    default:
        f.reason = Reason::Other;
        return f;
    }
}

QString PortOpenFailure::operatorText() const {
    switch (reason) {
    case Reason::None:
        return QString();
    case Reason::NoDevice:
        return QStringLiteral("Устройство %1 не найдено. Проверьте, подключён ли преобразователь, и имя порта "
                              "в настройках (раздел [Device], ключ PortName или ComNumber).")
            .arg(device);
    case Reason::PermissionDenied: {
        const QString modeText = octal(mode);
        if (userInGroup)
            return QStringLiteral("Нет доступа к %1: пользователь %2 входит в группу %3, которой принадлежит "
                                  "устройство, но права устройства (%4) не разрешают группе чтение и запись. "
                                  "Разрешите их (chmod g+rw %1 или правило udev).")
                .arg(device, user, group, modeText);
        QString t = QStringLiteral("Нет доступа к %1: устройство принадлежит группе %2, а пользователь %3 в неё "
                                   "не входит. Добавьте его командой\n  sudo usermod -aG %2 %3\nи войдите в "
                                   "систему заново.")
                        .arg(device, group, user);
        if (!groupMayUse)
            t += QStringLiteral("\nПрава устройства (%1) не разрешают чтение и запись и группе %2: разрешите их "
                                "(chmod g+rw %3 или правило udev).")
                     .arg(modeText, group, device);
        return t;
    }
    case Reason::Busy:
        if (holderPid != 0)
            return QStringLiteral("Устройство %1 занято другой программой: %2 (процесс %3).")
                .arg(device, holderName.isEmpty() ? QStringLiteral("?") : holderName)
                .arg(holderPid);
        return QStringLiteral("Устройство %1 занято другой программой.").arg(device);
    case Reason::Other:
        return QStringLiteral("%1: %2").arg(device, systemText);
    }
    return QString();
}

QString PortOpenFailure::engineerText() const {
    switch (reason) {
    case Reason::None:
        return QString();
    case Reason::NoDevice:
        return QStringLiteral("%1: no such device").arg(device);
    case Reason::PermissionDenied: {
        const QString modeText = octal(mode);
        if (userInGroup)
            return QStringLiteral("%1: permission denied: user %2 is in the device's group %3, but the device's "
                                  "mode %4 gives the group no read-write access (chmod g+rw, or a udev rule)")
                .arg(device, user, group, modeText);
        QString t = QStringLiteral("%1: permission denied: the device belongs to group %2, which user %3 is not "
                                   "in; add the user with 'sudo usermod -aG %2 %3' and log in again")
                        .arg(device, group, user);
        if (!groupMayUse)
            t += QStringLiteral(" (the device's mode %1 gives group %2 no read-write access either: chmod g+rw, "
                                "or a udev rule)")
                     .arg(modeText, group);
        return t;
    }
    case Reason::Busy:
        if (holderPid != 0)
            return QStringLiteral("%1: busy, held by process %2 (%3)")
                .arg(device)
                .arg(holderPid)
                .arg(holderName.isEmpty() ? QStringLiteral("?") : holderName);
        return QStringLiteral("%1: busy, held by another program").arg(device);
    case Reason::Other:
        return QStringLiteral("%1: %2").arg(device, systemText);
    }
    return QString();
}
