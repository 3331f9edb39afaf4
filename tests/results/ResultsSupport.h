#pragma once

#include "PgTestServer.h"
#include "QueryRows.h"
#include "TdmMain.h"
#include "TestStorage.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUuid>
#include <QVariantList>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using Engine = DatabaseConfig::Engine;

inline const char* engineName(Engine e) {
    return e == Engine::SQLite ? "SQLite" : "PostgreSQL";
}
inline void PrintTo(Engine e, std::ostream* os) {
    *os << engineName(e);
}

// An empty station database made the way a station makes it, and the data module on it: a
// SQLite file, or a fresh database on the test run's PostgreSQL server.
struct StationDatabase {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Mirvane.db")); // SQLite
    DatabaseConfig config;
    TdmMain dm;
    QString unavailable; // PostgreSQL: why there is no server to test on

    explicit StationDatabase(Engine engine = Engine::SQLite) {
        if (engine == Engine::SQLite) {
            config = DatabaseConfig::sqlite(path);
        } else {
            const std::optional<DatabaseConfig> c = PgTestServer::freshDatabase(&unavailable);
            if (!c)
                return;
            config = *c;
        }
        QString error;
        if (!TdmMain::createDatabase(config, &error))
            ADD_FAILURE() << error.toStdString();
        if (!dm.DatabaseConnect(config))
            ADD_FAILURE() << "cannot connect " << config.describe().toStdString() << ": "
                          << dm.lastError().toStdString();
    }
    ~StationDatabase() {
        if (config.engine == Engine::PostgreSQL && !config.name.isEmpty())
            PgTestServer::dropDatabase(config);
    }
    bool usable() const { return unavailable.isEmpty(); }
};

// The storage of a station directory with the results it reports, one per test it was done
// with.
struct Storing {
    using Result = std::pair<TdmMain::StoreResult, int>; // and the test's order number

    explicit Storing(const QString& outbox) : storage(outbox) {
        QObject::connect(&storage, &TestStorage::stored, &storage, [this](TdmMain::StoreResult r, int order) {
            results.push_back({r, order});
        });
    }
    // maxRetryMs: the longest pause between attempts while the database refuses.
    void start(const DatabaseConfig& c, int maxRetryMs = 200) {
        storage.start(c, {10000, 20, maxRetryMs, 5000});
    }
    bool waitFor(size_t n, int ms = 15000) {
        return QTest::qWaitFor([&] { return results.size() >= n; }, ms);
    }
    TestStorage storage;
    std::vector<Result> results;
};

// A connection of its own on a station database: reads what was stored without the module's
// code, or holds locks as another program would. Values read come in one form whatever the
// engine: date-times as ISO text to the millisecond, booleans as 0 or 1.
class OtherConnection {
public:
    explicit OtherConnection(const DatabaseConfig& c) : name_(QUuid::createUuid().toString()) {
        const bool sqlite = c.engine == Engine::SQLite;
        QSqlDatabase db = addConnection(c, name_);
        if (sqlite)
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        if (!db.open())
            ADD_FAILURE() << db.lastError().text().toStdString();
        if (!sqlite)
            exec(QStringLiteral("SET TIME ZONE '%1'").arg(QString::fromLatin1(QTimeZone::systemTimeZoneId())));
    }
    explicit OtherConnection(const QString& sqliteFile) : OtherConnection(DatabaseConfig::sqlite(sqliteFile)) {}
    ~OtherConnection() {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

    void exec(const QString& sql) {
        QSqlQuery q(db());
        if (!q.exec(sql))
            ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    std::vector<QVariantList> rows(const QString& sql) {
        QSqlDatabase c = db();
        QStringList errors;
        std::vector<QVariantList> out = queryRows(c, sql, &errors);
        for (const QString& e : errors)
            ADD_FAILURE() << e.toStdString();
        for (QVariantList& r : out)
            for (QVariant& v : r)
                v = normalised(v);
        return out;
    }
    int count(const QString& table) {
        return rows(QStringLiteral("SELECT count(*) FROM ") + table).at(0).at(0).toInt();
    }

private:
    static QVariant normalised(const QVariant& v) {
        if (v.metaType() == QMetaType::fromType<bool>())
            return QVariant(v.toBool() ? 1 : 0);
        if (v.metaType() == QMetaType::fromType<QDateTime>())
            return v.isNull() ? QVariant() : QVariant(v.toDateTime().toString(Qt::ISODateWithMs));
        return v;
    }
    QString name_;
};

// What the code under test writes to the program's error output while this lives (and still
// passes it on when it ends).
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        QFile f(path_);
        if (f.open(QIODevice::ReadOnly))
            std::fputs(f.readAll().constData(), stderr);
    }
    QString text() const {
        std::fflush(stderr);
        QFile f(path_);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QTemporaryDir dir_;
    QString path_ = dir_.filePath(QStringLiteral("stderr"));
    int saved_ = -1;
};
