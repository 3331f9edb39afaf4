#pragma once

#include "DatabaseConfig.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <optional>

// The PostgreSQL server the test run started (tests/support/pg_server.sh, a ctest fixture):
// each caller gets a fresh database of its own on it.
namespace PgTestServer {

// The server's connection settings, or nothing with the reason why there is no server.
inline std::optional<DatabaseConfig> server(QString* why) {
    // Written by pg_server.sh into the build directory; the environment may name another.
    const QString infoPath =
        qEnvironmentVariable("MIRVANE_TEST_PG_INFO", QStringLiteral(MIRVANE_BINARY_DIR "/pg-test.info"));
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
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(server.host);
        db.setPort(server.port);
        db.setUserName(server.user);
        db.setDatabaseName(QStringLiteral("postgres"));
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

// A new empty database (no tables) on the test server.
inline std::optional<DatabaseConfig> freshDatabase(QString* why) {
    std::optional<DatabaseConfig> c = server(why);
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

} // namespace PgTestServer
