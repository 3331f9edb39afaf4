#include "Registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

QString serviceText(const QString& executable, const QString& stationDir) {
    // -EMBEDDING first: the started program then skips its about box.
    QString exec = quoted(executable) + QStringLiteral(" -EMBEDDING");
    if (!stationDir.isEmpty())
        exec += QStringLiteral(" --station-dir ") + quoted(stationDir);
    return QStringLiteral("[D-BUS Service]\nName=Mirvane.Kalvex\nExec=") + exec + QLatin1Char('\n');
}

static QString writeFile(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("cannot create the directory of %1").arg(path);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
    f.write(bytes);
    if (!f.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
    return QString();
}

QString install(bool perUser, const QString& executable, const QString& stationDir) {
    initResources();
    QFile xml(QStringLiteral(":/automation/Mirvane.IKalvex.xml"));
    if (!xml.open(QIODevice::ReadOnly))
        return QStringLiteral("the interface description is missing from the program");
    QString err = writeFile(serviceFile(perUser), serviceText(executable, stationDir).toUtf8());
    if (err.isEmpty())
        err = writeFile(interfaceFile(perUser), xml.readAll());
    return err;
}

void remove(bool perUser) {
    QFile::remove(serviceFile(perUser));
    QFile::remove(interfaceFile(perUser));
}

} // namespace Registration
