#include "DatabaseConfig.h"

#include "RegularFile.h"
#include "Settings.h"

#include <QList>

DatabaseConfig DatabaseConfig::sqlite(const QString& file) {
    DatabaseConfig c;
    c.file = file;
    return c;
}

std::optional<DatabaseConfig> DatabaseConfig::fromSettings(const Settings& s, const QString& stationFile,
                                                           QString* error) {
    auto refuse = [error](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString driver = s.DatabaseDriver.trimmed().toLower();
    if (driver.isEmpty() || driver == QLatin1String("sqlite"))
        return sqlite(stationFile);
    if (driver != QLatin1String("postgres") && driver != QLatin1String("postgresql"))
        return refuse(QStringLiteral("unknown DatabaseDriver '%1' (sqlite or postgres)").arg(s.DatabaseDriver));
    DatabaseConfig c;
    c.engine = Engine::PostgreSQL;
    c.host = s.DatabaseHost;
    c.port = s.DatabasePort;
    c.name = s.DatabaseName;
    c.user = s.DatabaseUser;
    c.password = s.DatabasePassword;
    if (!s.DatabasePasswordFile.isEmpty()) {
        QString why;
        const std::optional<QByteArray> bytes = RegularFile::read(s.DatabasePasswordFile, &why);
        if (!bytes)
            return refuse(QStringLiteral("cannot read the password file: %1").arg(why));
        c.password = QString::fromUtf8(bytes->split('\n').first()).trimmed();
    }
    return c;
}

QString DatabaseConfig::describe() const {
    if (engine == Engine::SQLite)
        return file;
    return QStringLiteral("%1@%2:%3/%4")
        .arg(user, host.isEmpty() ? QStringLiteral("localhost") : host)
        .arg(port)
        .arg(name);
}
