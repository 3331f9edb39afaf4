#include "TdmMain.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QUuid>

TdmMain::TdmMain(QObject* parent)
    : QObject(parent), connectionName_(QStringLiteral("mirvane-") + QUuid::createUuid().toString()) {}

TdmMain::~TdmMain() {
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
}

QSqlDatabase TdmMain::database() const { return QSqlDatabase::database(connectionName_, false); }

bool TdmMain::isConnected() const {
    const QSqlDatabase db = database();
    return db.isValid() && db.isOpen();
}

bool TdmMain::DatabaseConnect(const QString& FileName) {
    {
        QSqlDatabase old = database();
        if (old.isValid())
            old.close();
    }
    // SQLite would create a missing file on open; the station must not.
    if (!QFileInfo(FileName).isFile())
        return false;
    QSqlDatabase db = QSqlDatabase::contains(connectionName_)
                          ? QSqlDatabase::database(connectionName_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    db.setDatabaseName(FileName);
    if (!db.open())
        return false;
    // Opening is lazy in SQLite: make sure the file really is a database.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
        db.close();
        return false;
    }
    return true;
}
