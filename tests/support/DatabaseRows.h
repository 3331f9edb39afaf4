#pragma once

#include "QueryRows.h"

#include <QUuid>

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
            QStringList errors;
            out = queryRows(c, sql, &errors);
            for (const QString& e : errors)
                ADD_FAILURE() << e.toStdString();
        } else {
            ADD_FAILURE() << "cannot open " << db.toStdString() << ": " << c.lastError().text().toStdString();
        }
        c.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}
