#pragma once

// The rows a statement reads on a connection the caller opened: for the tests, the benchmarks
// and the harnesses alike, so no test framework here.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariantList>

#include <vector>

// Each column as the engine gives it; a failure is added to errors.
inline std::vector<QVariantList> queryRows(QSqlDatabase& c, const QString& sql, QStringList* errors) {
    std::vector<QVariantList> out;
    QSqlQuery q(c);
    if (!q.exec(sql) && errors)
        *errors << sql + QStringLiteral(": ") + q.lastError().text();
    while (q.next()) {
        QVariantList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << q.value(i);
        out.push_back(r);
    }
    return out;
}
