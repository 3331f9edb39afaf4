#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QVariantList>

#include <gtest/gtest.h>

#include <vector>

// Rows of a station's SQLite database read with a connection of the test's own.
inline std::vector<QVariantList> rows(const QString& db, const QString& sql) {
    const QString name = QUuid::createUuid().toString();
    std::vector<QVariantList> out;
    {
        QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        c.setDatabaseName(db);
        if (c.open()) {
            QSqlQuery q(c);
            if (!q.exec(sql))
                ADD_FAILURE() << sql.toStdString();
            while (q.next()) {
                QVariantList r;
                for (int i = 0; i < q.record().count(); ++i)
                    r << q.value(i);
                out.push_back(r);
            }
        }
        c.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}
