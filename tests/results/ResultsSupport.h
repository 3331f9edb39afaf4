#pragma once

#include "TdmMain.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <QVariantList>

#include <gtest/gtest.h>

#include <vector>

// An empty station database made the way a station makes it, and the data module on it.
struct StationDatabase {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Mirvane.db"));
    TdmMain dm;

    StationDatabase() {
        QString error;
        if (!TdmMain::createDatabase(path, &error))
            ADD_FAILURE() << error.toStdString();
        if (!dm.DatabaseConnect(path))
            ADD_FAILURE() << "cannot connect " << path.toStdString();
    }
};

// A connection of its own on a database file: reads what was stored without the module's code,
// or holds locks as another program would.
class OtherConnection {
public:
    explicit OtherConnection(const QString& path) : name_(QUuid::createUuid().toString()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        if (!db.open())
            ADD_FAILURE() << db.lastError().text().toStdString();
    }
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
        std::vector<QVariantList> out;
        QSqlQuery q(db());
        if (!q.exec(sql))
            ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
        while (q.next()) {
            QVariantList r;
            for (int i = 0; i < q.record().count(); ++i)
                r << q.value(i);
            out.push_back(r);
        }
        return out;
    }
    int count(const QString& table) {
        return rows(QStringLiteral("SELECT count(*) FROM ") + table).at(0).at(0).toInt();
    }

private:
    QString name_;
};
