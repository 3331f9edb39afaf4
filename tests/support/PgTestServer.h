#pragma once

#include "DatabaseConfig.h"
#include "TestMount.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <optional>

// A station's settings for its database, the lines of section [Program]: none for a SQLite file,
// which the station finds in its own directory.
inline QString programSettings(const DatabaseConfig& c) {
    if (c.engine == DatabaseConfig::Engine::SQLite)
        return QString();
    return QStringLiteral("DatabaseDriver=postgres\nDatabaseHost=%1\nDatabasePort=%2\nDatabaseName=%3\n"
                          "DatabaseUser=%4\n")
        .arg(c.host)
        .arg(c.port)
        .arg(c.name, c.user);
}

// A connection of the caller's own, named name, pointed at the database; not opened yet.
inline QSqlDatabase addConnection(const DatabaseConfig& c, const QString& name) {
    const bool sqlite = c.engine == DatabaseConfig::Engine::SQLite;
    QSqlDatabase db =
        QSqlDatabase::addDatabase(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), name);
    if (sqlite) {
        db.setDatabaseName(c.file);
    } else {
        db.setHostName(c.host);
        db.setPort(c.port);
        db.setUserName(c.user);
        db.setDatabaseName(c.name);
    }
    return db;
}

// The PostgreSQL server the test run started (tests/support/pg_server.sh, a ctest fixture):
// each caller gets a fresh database of its own on it.
namespace PgTestServer {

// The server's connection settings, or nothing with the reason why there is no server. The
// run's server unless infoPath names another server's info file.
inline std::optional<DatabaseConfig> server(QString* why, QString infoPath = QString()) {
    // Written by pg_server.sh into the build directory; the environment may name another.
    if (infoPath.isEmpty())
        infoPath = qEnvironmentVariable("MIRVANE_TEST_PG_INFO", QStringLiteral(MIRVANE_BINARY_DIR "/pg-test.info"));
    QFile info(infoPath);
    if (infoPath.isEmpty() || !info.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("no PostgreSQL test server (MIRVANE_TEST_PG_INFO=%1)").arg(infoPath);
        return std::nullopt;
    }
    const QString line = QString::fromUtf8(info.readAll()).trimmed();
    if (line.startsWith(QLatin1String("unavailable"))) {
        *why = line;
        return std::nullopt;
    }
    DatabaseConfig c;
    c.engine = DatabaseConfig::Engine::PostgreSQL;
    c.name = QStringLiteral("postgres");
    for (const QString& kv : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString k = kv.section(QLatin1Char('='), 0, 0), v = kv.section(QLatin1Char('='), 1);
        if (k == QLatin1String("host"))
            c.host = v;
        else if (k == QLatin1String("port"))
            c.port = v.toInt();
        else if (k == QLatin1String("user"))
            c.user = v;
    }
    return c;
}

// Runs one statement on the server's maintenance database.
inline bool admin(const DatabaseConfig& server, const QString& sql, QString* error) {
    const QString name = QStringLiteral("pg-admin-") + QUuid::createUuid().toString();
    bool ok = false;
    {
        DatabaseConfig maintenance = server;
        maintenance.name = QStringLiteral("postgres");
        QSqlDatabase db = addConnection(maintenance, name);
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(sql);
            if (!ok)
                *error = q.lastError().text();
        } else {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// A new empty database (no tables) on the test server (or the one infoPath names).
inline std::optional<DatabaseConfig> freshDatabase(QString* why, const QString& infoPath = QString()) {
    std::optional<DatabaseConfig> c = server(why, infoPath);
    if (!c)
        return std::nullopt;
    c->name = QStringLiteral("mirvane_") + QUuid::createUuid().toString(QUuid::Id128);
    if (!admin(*c, QStringLiteral("CREATE DATABASE ") + c->name, why))
        return std::nullopt;
    return c;
}

inline void dropDatabase(const DatabaseConfig& c) {
    QString ignored;
    admin(c, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(c.name), &ignored);
}

#ifdef MIRVANE_SOURCE_DIR
// A server of a test's own, for faults that would disturb the tests sharing the run's server:
// shut down and started again, or stalled with SIGSTOP. Gone with the object.
class PrivateServer {
public:
    PrivateServer() {
        info_ = dir_.filePath(QStringLiteral("pg.info"));
        if (run("start"))
            database = freshDatabase(&why, info_);
        else
            why = QStringLiteral("pg_server.sh start failed");
    }
    ~PrivateServer() { run("stop"); } // a stalled server is let go first
    // down, up, stall or resume (pg_server.sh).
    bool run(const char* command) {
        return runCommand(QStringLiteral("bash"),
                          {QStringLiteral(MIRVANE_SOURCE_DIR "/tests/support/pg_server.sh"),
                           QString::fromLatin1(command), info_},
                          60000) == 0;
    }
    // A fresh database on it, or nothing with the reason in why.
    std::optional<DatabaseConfig> database;
    QString why;
    // Its info file, for running pg_server.sh on it without waiting.
    QString infoFile() const { return info_; }

private:
    QTemporaryDir dir_;
    QString info_;
};
#endif

} // namespace PgTestServer
