#include "Registration.h"

#include "RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

AutomationSwitches parseAutomationSwitches(const QStringList& arguments) {
    AutomationSwitches s;
    for (const QString& a : arguments) {
        if (a.size() < 2 || (a.front() != QLatin1Char('-') && a.front() != QLatin1Char('/')))
            continue;
        const QString w = a.mid(1).toUpper();
        using R = AutomationSwitches::Registration;
        if (w == QLatin1String("AUTOMATION") || w == QLatin1String("EMBEDDING")) {
            s.automation = true;
        } else if (s.registration == R::None) {
            if (w == QLatin1String("REGSERVER") || w == QLatin1String("REGSERVERPERUSER"))
                s.registration = R::Register;
            else if (w == QLatin1String("UNREGSERVER") || w == QLatin1String("UNREGSERVERPERUSER"))
                s.registration = R::Unregister;
            s.perUser = w.endsWith(QLatin1String("PERUSER"));
        }
    }
    return s;
}

// The interface description travels inside the program as a resource of this library.
static void initResources() {
    Q_INIT_RESOURCE(automation);
}

namespace Registration {

QString dataDir(bool perUser) {
    if (!perUser)
        return QStringLiteral("/usr/share");
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    return xdg.isEmpty() ? QDir::home().filePath(QStringLiteral(".local/share")) : xdg;
}

QString serviceFile(bool perUser) {
    return dataDir(perUser) + QStringLiteral("/dbus-1/services/Mirvane.Kalvex.service");
}

QString interfaceFile(bool perUser) {
    return dataDir(perUser) + QStringLiteral("/dbus-1/interfaces/Mirvane.IKalvex.xml");
}

static QString quoted(const QString& arg) {
    QString q = arg;
    q.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    q.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// The lines by which an activation file tells that registration wrote it, and what else.
static const QString WrittenBy = QStringLiteral("# Written by mirvane's automation registration; "
                                                "mirvane -UNREGSERVER (or -UNREGSERVERPERUSER) removes it.");
static const QString AlsoWrote = QStringLiteral("# Also written by it: ");

QString serviceText(const QString& executable, const QString& stationDir, const QString& wroteInterface) {
    // -EMBEDDING first: the started program then skips its about box.
    QString exec = quoted(executable) + QStringLiteral(" -EMBEDDING");
    if (!stationDir.isEmpty())
        exec += QStringLiteral(" --station-dir ") + quoted(stationDir);
    QString text = WrittenBy + QLatin1Char('\n');
    if (!wroteInterface.isEmpty())
        text += AlsoWrote + wroteInterface + QLatin1Char('\n');
    return text + QStringLiteral("[D-BUS Service]\nName=Mirvane.Kalvex\nExec=") + exec + QLatin1Char('\n');
}

// What the activation file at path says of itself: whether it is the activation of this bus
// name, and the files registration wrote with it.
struct ServiceFile {
    bool ours = false;
    QStringList alsoWrote;
};

static ServiceFile readServiceFile(const QString& path) {
    ServiceFile f;
    const std::optional<QByteArray> bytes = RegularFile::read(path);
    if (!bytes)
        return f;
    for (const QString& line : QString::fromUtf8(*bytes).split(QLatin1Char('\n'))) {
        if (line.trimmed() == QLatin1String("Name=Mirvane.Kalvex"))
            f.ours = true;
        else if (line.startsWith(AlsoWrote))
            f.alsoWrote << line.mid(AlsoWrote.size());
    }
    return f;
}

static QString writeFile(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("cannot create the directory of %1").arg(path);
    QString error;
    if (!RegularFile::writeAtomically(path, bytes, &error))
        return QStringLiteral("cannot write %1").arg(error);
    return QString();
}

QString install(bool perUser, const QString& executable, const QString& stationDir) {
    initResources();
    QFile xml(QStringLiteral(":/automation/Mirvane.IKalvex.xml"));
    if (!xml.open(QIODevice::ReadOnly))
        return QStringLiteral("the interface description is missing from the program");
    const QString service = serviceFile(perUser);
    const QString iface = interfaceFile(perUser);
    // A description someone else put there (the package's own) is left as it is; one an
    // earlier registration wrote is brought up to date.
    QString wrote;
    if (!QFileInfo::exists(iface) || readServiceFile(service).alsoWrote.contains(iface)) {
        const QString err = writeFile(iface, xml.readAll());
        if (!err.isEmpty())
            return err;
        wrote = iface;
    }
    return writeFile(service, serviceText(executable, stationDir, wrote).toUtf8());
}

void remove(bool perUser) {
    const QString service = serviceFile(perUser);
    const ServiceFile f = readServiceFile(service);
    if (!f.ours)
        return;
    QFile::remove(service);
    const QString iface = interfaceFile(perUser);
    if (f.alsoWrote.contains(iface))
        QFile::remove(iface);
}

} // namespace Registration
