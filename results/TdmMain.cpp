#include "TdmMain.h"

#include "TestAssembly.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QUuid>

#include <algorithm>
#include <cstdlib>

namespace {

const QStringList TestsDates = {QStringLiteral("VerificationDate"), QStringLiteral("TestDTBegin"),
                                QStringLiteral("TestDTEnd")};

// All date-times are bound as local times: engines that keep them as text compare them as
// text, so one time spec must be used throughout.
QDateTime local(const QDate& d, const QTime& t) {
    return QDateTime(d, t, Qt::LocalTime);
}

QDateTime toMinute(const QDateTime& dt) {
    const QDateTime l = dt.toLocalTime();
    return local(l.date(), QTime(l.time().hour(), l.time().minute()));
}

// A null date-time that an engine stores as NULL.
QVariant nullDateTime() {
    return QVariant(QMetaType::fromType<QDateTime>());
}

QString softwareVersion(uint16_t v) {
    return QStringLiteral("%1.%2").arg(v / 100).arg(v % 100, 2, 10, QLatin1Char('0'));
}

// Takes the write lock at once and rolls back whatever was not committed, also when the store
// is left by an exception. SQLite does not wait for a lock that a read must be promoted to
// (another program's write would fail the store at once), so it begins as a writer there.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db) : db_(std::move(db)) {
        if (db_.driverName() == QLatin1String("QSQLITE")) {
            QSqlQuery begin(db_);
            open_ = begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
            error_ = begin.lastError().text();
        } else {
            open_ = db_.transaction();
            error_ = db_.lastError().text();
        }
    }
    QString error() const { return error_; }
    ~Transaction() {
        if (open_)
            db_.rollback();
    }
    bool isOpen() const { return open_; }
    bool commit() {
        if (!db_.commit())
            return false;
        open_ = false;
        return true;
    }

private:
    QSqlDatabase db_;
    bool open_ = false;
    QString error_;
};

// The schema, the same tables on both engines in each engine's types: 32-bit signed integers
// for ids, numbers and the 0..65535 words, doubles, texts of the listed sizes, a boolean
// DeleteFlag that starts false. The unique index makes a second copy of a stored test fail
// inside its transaction, so two stations storing the same finished test store it once.
QStringList schema(DatabaseConfig::Engine engine) {
    const bool sqlite = engine == DatabaseConfig::Engine::SQLite;
    const QString id = sqlite ? QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT")
                              : QStringLiteral("id SERIAL PRIMARY KEY");
    QStringList axles;
    for (const QString& c : TdmMain::axlesColumns())
        axles << c + QStringLiteral(" INTEGER");
    axles[0] = QStringLiteral("TestID INTEGER NOT NULL REFERENCES Tests (id)");
    axles[1] = QStringLiteral("AxleNumber INTEGER NOT NULL");
    return {
        QStringLiteral("CREATE TABLE Tests (") + id +
            QStringLiteral(", KalvexID INTEGER, SoftwareVersion VARCHAR(10), VerificationDate TIMESTAMP,"
                           " OrderNumber INTEGER, TestDTBegin TIMESTAMP, TestDTEnd TIMESTAMP, AxleCount INTEGER,"
                           " MeasureUnit INTEGER, VIN VARCHAR(17) DEFAULT '', CarNumber VARCHAR(10) DEFAULT '',"
                           " CarType INTEGER, KalvexType VARCHAR(50), KalvexSerial VARCHAR(50), Weight INTEGER,"
                           " BrakeWorkTotal INTEGER, BrakeStopTotal INTEGER, BrakeWorkEfficiency DOUBLE PRECISION,"
                           " BrakeStopEfficiency DOUBLE PRECISION, DeleteFlag BOOLEAN NOT NULL DEFAULT FALSE)"),
        QStringLiteral("CREATE INDEX TestsTestDTBegin ON Tests (TestDTBegin)"),
        QStringLiteral("CREATE UNIQUE INDEX TestsOrderMinute ON Tests (OrderNumber, TestDTBegin) WHERE NOT DeleteFlag"),
        QStringLiteral("CREATE TABLE Axles (%1)").arg(axles.join(QStringLiteral(", "))),
        QStringLiteral("CREATE INDEX AxlesTestID ON Axles (TestID, AxleNumber)"),
    };
}

// libpq's options for a server that may stop answering: a connection attempt gives up after
// connect_timeout (2 s is libpq's least); over TCP, keepalives find a silent peer of an idle
// connection and tcp_user_timeout one that leaves sent data unacknowledged, each within about
// ten seconds.
QString pgConnectOptions(int connectSeconds) {
    return QStringLiteral("connect_timeout=%1;keepalives=1;keepalives_idle=5;keepalives_interval=2;keepalives_count=2;"
                          "tcp_user_timeout=9000")
        .arg(connectSeconds);
}

// Opens a connection of the given name on the configured engine, ready for the module's
// statements; a connection that is not open comes back closed, with the reason in error.
// statementMs (0: none) is how long the server lets one statement run.
QSqlDatabase openConnection(const DatabaseConfig& config, const QString& name, QString* error, int statementMs) {
    // Connecting waits no longer than a statement may, and never long enough to hold up the
    // station's closing much.
    const int connectSeconds = std::clamp(statementMs / 1000, 2, 3);
    const bool sqlite = config.engine == DatabaseConfig::Engine::SQLite;
    QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), name);
    auto failed = [&](const QString& why) {
        if (error)
            *error = why;
        db.close();
        return db;
    };
    if (sqlite) {
        db.setDatabaseName(config.file);
        // Another program writing the file makes us wait this long at most: the database page
        // reads on the window's thread, and a store that waits longer is tried again later.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    } else {
        db.setHostName(config.host);
        db.setPort(config.port);
        db.setDatabaseName(config.name);
        db.setUserName(config.user);
        db.setPassword(config.password);
        db.setConnectOptions(pgConnectOptions(connectSeconds));
    }
    if (!db.open())
        return failed(db.lastError().text());
    QSqlQuery q(db);
    if (sqlite) {
        // Opening is lazy in SQLite: make sure the file really is a database.
        if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            return failed(q.lastError().text());
        // Write-ahead logging, so that other programs reading the file never hold up a store;
        // it stays set in the file, and files made before it are switched here. Switching
        // needs the file to itself for a moment: when another program has it open, or the file
        // is read-only, the next connection tries again. A commit is on disk when it returns
        // (the outbox lets a test go only then), which WAL's default would not promise.
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        q.finish();
        return db;
    }
    // As with SQLite's busy timeout: a lock another station holds is waited for this long at
    // most, so the poll cycle never stalls behind it.
    if (!q.exec(QStringLiteral("SET lock_timeout = '1s'")))
        return failed(q.lastError().text());
    if (statementMs > 0 && !q.exec(QStringLiteral("SET statement_timeout = %1").arg(statementMs)))
        return failed(q.lastError().text());
    // Date-times are bound and read as the station's local time: the server's session works
    // in the same zone, whatever the server's own setting.
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (!q.exec(QStringLiteral("SET TIME ZONE '%1'").arg(QString::fromLatin1(zone.id())))) {
        const int offset = zone.offsetFromUtc(QDateTime::currentDateTime()) / 60;
        const QString hhmm = QStringLiteral("%1%2:%3")
                                 .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                                 .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                                 .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
        if (!q.exec(QStringLiteral("SET TIME ZONE INTERVAL '%1' HOUR TO MINUTE").arg(hhmm)))
            return failed(q.lastError().text());
    }
    return db;
}

// A second copy of a stored test: the unique index on the order number and the minute.
bool isUniqueViolation(const QSqlError& e, const QString& driver) {
    if (driver == QLatin1String("QPSQL"))
        return e.nativeErrorCode() == QLatin1String("23505");
    return e.databaseText().contains(QLatin1String("UNIQUE constraint failed"));
}

} // namespace

const QStringList& TdmMain::testsColumns() {
    static const QStringList c = {QStringLiteral("id"),
                                  QStringLiteral("KalvexID"),
                                  QStringLiteral("SoftwareVersion"),
                                  QStringLiteral("VerificationDate"),
                                  QStringLiteral("OrderNumber"),
                                  QStringLiteral("TestDTBegin"),
                                  QStringLiteral("TestDTEnd"),
                                  QStringLiteral("AxleCount"),
                                  QStringLiteral("MeasureUnit"),
                                  QStringLiteral("VIN"),
                                  QStringLiteral("CarNumber"),
                                  QStringLiteral("CarType"),
                                  QStringLiteral("KalvexType"),
                                  QStringLiteral("KalvexSerial"),
                                  QStringLiteral("Weight"),
                                  QStringLiteral("BrakeWorkTotal"),
                                  QStringLiteral("BrakeStopTotal"),
                                  QStringLiteral("BrakeWorkEfficiency"),
                                  QStringLiteral("BrakeStopEfficiency"),
                                  QStringLiteral("DeleteFlag")};
    return c;
}

const QStringList& TdmMain::axlesColumns() {
    static const QStringList c = {
        QStringLiteral("TestID"), QStringLiteral("AxleNumber"),
        // the controller's block, in register order
        QStringLiteral("StaticWeightL"), QStringLiteral("StaticWeightR"), QStringLiteral("DynamicWeightL"),
        QStringLiteral("DynamicWeightR"), QStringLiteral("ResistL"), QStringLiteral("ResistR"),
        QStringLiteral("OvalityL"), QStringLiteral("OvalityR"), QStringLiteral("OvalityBrakeL"),
        QStringLiteral("OvalityBrakeR"), QStringLiteral("BrakeWorkL"), QStringLiteral("BrakeWorkR"),
        QStringLiteral("BrakeStopL"), QStringLiteral("BrakeStopR"), QStringLiteral("BrakeReservL"),
        QStringLiteral("BrakeReservR"), QStringLiteral("BrakeMaxImbalanceL"),
        QStringLiteral("BrakeMaxImbalanceR"), QStringLiteral("MaxEffortPedalL"),
        QStringLiteral("MaxEffortPedalR"), QStringLiteral("MinPmL"), QStringLiteral("MinPmR"),
        QStringLiteral("MinPxL"), QStringLiteral("MinPxR"), QStringLiteral("MinPyL"),
        QStringLiteral("MinPyR"), QStringLiteral("TimeBreakL"), QStringLiteral("TimeBreakR"),
        QStringLiteral("TruckBlockL"), QStringLiteral("TruckBlockR"), QStringLiteral("TruckBlockStopL"),
        QStringLiteral("TruckBlockStopR"),
        // derived
        QStringLiteral("StaticWeightSum"), QStringLiteral("ResistSum"), QStringLiteral("ResistN"),
        QStringLiteral("OvalitySum"), QStringLiteral("BrakeWorkSum"), QStringLiteral("BrakeWorkN"),
        QStringLiteral("MaxEffortPedalSum"), QStringLiteral("BrakeStopSum"), QStringLiteral("BrakeStopN")};
    return c;
}

TdmMain::TdmMain(QObject* parent)
    : QObject(parent), connectionName_(QStringLiteral("mirvane-") + QUuid::createUuid().toString()) {
    qrTests.setWriteBack([this](int id, const QString& column, const QString& text) {
        return TableTestsSetText(id, column, text);
    });
    connect(&qrTests, &TestsModel::currentChanged, this, &TdmMain::dsTestsDataChange);
    connect(&qrTests, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                if (qrTests.currentRow() >= from.row() && qrTests.currentRow() <= to.row())
                    dsTestsDataChange();
            });
}

TdmMain::~TdmMain() {
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
}

QSqlDatabase TdmMain::database() const {
    return QSqlDatabase::database(connectionName_, false);
}

bool TdmMain::isConnected() const {
    const QSqlDatabase db = database();
    return db.isValid() && db.isOpen();
}

bool TdmMain::fail(const QString& text) {
    lastError_ = text;
    if (guard_.fired()) {
        lastError_ = QStringLiteral("the database did not answer within %1 s").arg((callLimitMs_ + 500) / 1000.0);
        lost_ = true;
        // A server that does not answer would not answer a new connection either: the next
        // few calls fail at once instead of each waiting out the connection's time-out.
        reopenFailed_.start();
        guard_.reset();
    } else if (CallGuard::connectionLost(database())) {
        lost_ = true;
    }
    return false;
}

CallGuard::Scope TdmMain::guarded() {
    // Half a second more than the server's own limit, so that a server that answers ends a
    // slow statement itself and keeps the connection.
    return guard_.arm(database(), callLimitMs_ + 500);
}

bool TdmMain::reopenIfLost() {
    if (!config_)
        return isConnected();
    if (!lost_ && database().isOpen())
        return true;
    if (reopenFailed_.isValid() && reopenFailed_.elapsed() < 5000)
        return false;
    const DatabaseConfig config = *config_;
    if (DatabaseConnect(config))
        return true;
    // Keep trying later on: the module still belongs to that database.
    config_ = config;
    reopenFailed_.start();
    return false;
}

void TdmMain::close() {
    QSqlDatabase db = database();
    if (db.isValid())
        db.close();
}

bool TdmMain::DatabaseConnect(const QString& FileName) {
    return DatabaseConnect(DatabaseConfig::sqlite(FileName));
}

bool TdmMain::DatabaseConnect(const DatabaseConfig& config) {
    {
        QSqlDatabase old = database();
        if (old.isValid())
            old.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
    config_.reset();
    lost_ = false;
    guard_.reset();
    const bool sqlite = config.engine == DatabaseConfig::Engine::SQLite;
    // SQLite would create a missing file on open; the station must not.
    if (sqlite && !QFileInfo(config.file).isFile())
        return fail(QStringLiteral("%1 does not exist").arg(config.file));
    QSqlDatabase db = openConnection(config, connectionName_, &lastError_, callLimitMs_);
    if (!db.isOpen())
        return false;
    config_ = config;
    reopenFailed_.invalidate();
    return true;
}

void TdmMain::TableTestsSelect(const QDateTime& DTBegin, const QDateTime& DTEnd) {
    if (!config_ && !isConnected())
        return;
    const bool open = reopenIfLost();
    QSqlQuery q(database());
    q.setForwardOnly(true);
    bool ok = false;
    {
        const CallGuard::Scope call = guarded();
        if (open) {
            ok = q.prepare(QStringLiteral("SELECT %1 FROM Tests WHERE (NOT DeleteFlag) AND TestDTBegin >= ? AND "
                                          "TestDTBegin <= ? ORDER BY TestDTBegin, id")
                               .arg(testsColumns().join(QStringLiteral(", "))));
            q.addBindValue(local(DTBegin.toLocalTime().date(), QTime(0, 0, 0)));
            q.addBindValue(local(DTEnd.toLocalTime().date(), QTime(23, 59, 59)));
            ok = ok && q.exec();
            if (!ok)
                fail(q.lastError().text());
        }
        // A statement that failed reads as no rows: the list is then empty.
        qrTests.reopen(q, testsColumns(), TestsDates);
    }
    emit readDone(ok, lastError_);
    dsTestsDataChange();
}

bool TdmMain::TableTestsCheck(int32_t OrederNumber, const QDateTime& DTBegin, bool* ok) {
    const CallGuard::Scope call = guarded();
    QSqlQuery q(database());
    q.setForwardOnly(true);
    bool done = q.prepare(QStringLiteral(
        "SELECT id FROM Tests WHERE (NOT DeleteFlag) AND TestDTBegin = ? AND OrderNumber = ?"));
    q.addBindValue(toMinute(DTBegin));
    q.addBindValue(OrederNumber);
    done = done && q.exec();
    const bool found = done && q.next();
    if (!done)
        fail(q.lastError().text());
    q.finish();
    if (ok)
        *ok = done;
    return found;
}

int TdmMain::TableTestsAdd(const std::array<uint16_t, 25>& h, const QDateTime& testTime,
                           const std::array<uint16_t, 3>& totals, const QString& KalvexType,
                           const QString& KalvexSerial, double BrakeWorkEfficiency,
                           double BrakeStopEfficiency) {
    // Index i holds register 1000 + i.
    const QDate verified = TestAssembly::validDate(h[5], h[4], h[3]);
    const QDateTime minute = toMinute(testTime);

    const CallGuard::Scope call = guarded();
    QSqlQuery q(database());
    q.setForwardOnly(true);
    const bool prepared = q.prepare(QStringLiteral(
        "INSERT INTO Tests(KalvexID, SoftwareVersion, VerificationDate, OrderNumber, TestDTBegin, TestDTEnd, "
        "AxleCount, MeasureUnit, CarNumber, VIN, CarType, KalvexType, KalvexSerial, Weight, BrakeWorkTotal, "
        "BrakeStopTotal, BrakeWorkEfficiency, BrakeStopEfficiency) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
    q.addBindValue(TestAssembly::joinWords(h[0], h[1]));
    q.addBindValue(softwareVersion(h[2]));
    q.addBindValue(verified.isValid() ? QVariant(local(verified, QTime(0, 0))) : nullDateTime());
    q.addBindValue(TestAssembly::joinWords(h[8], h[9]));
    q.addBindValue(minute);
    q.addBindValue(minute);
    q.addBindValue(int(h[22]));
    q.addBindValue(int(h[23]));
    q.addBindValue(QString(QLatin1String("")));
    q.addBindValue(QString(QLatin1String("")));
    q.addBindValue(int(h[24]));
    // The columns hold 50 characters; a longer text from the settings must not cost the test.
    q.addBindValue(KalvexType.left(50));
    q.addBindValue(KalvexSerial.left(50));
    q.addBindValue(int(totals[0]));
    q.addBindValue(int(totals[1]));
    q.addBindValue(int(totals[2]));
    q.addBindValue(BrakeWorkEfficiency);
    q.addBindValue(BrakeStopEfficiency);
    int id = -1;
    lastInsertDuplicate_ = false;
    if (prepared && q.exec() && q.next()) {
        id = q.value(0).toInt();
    } else {
        lastInsertDuplicate_ = isUniqueViolation(q.lastError(), database().driverName());
        fail(q.lastError().text());
    }
    q.finish();
    return id;
}

bool TdmMain::TableAxlesAdd(int TestID, uint16_t AxleNumber, const std::array<uint16_t, 32>& values,
                            const std::array<uint16_t, 9>& derived) {
    static const QString statement = [] {
        const QStringList& c = axlesColumns();
        return QStringLiteral("INSERT INTO Axles(%1) VALUES (%2)")
            .arg(c.join(QStringLiteral(", ")),
                 QStringList(c.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    }();
    const CallGuard::Scope call = guarded();
    QSqlQuery q(database());
    bool ok = q.prepare(statement);
    q.addBindValue(TestID);
    q.addBindValue(int(AxleNumber));
    for (uint16_t v : values)
        q.addBindValue(int(v));
    for (uint16_t v : derived)
        q.addBindValue(int(v));
    ok = ok && q.exec();
    if (!ok)
        fail(q.lastError().text());
    return ok;
}

bool TdmMain::TableTestsDelete(int ID) {
    if (!reopenIfLost())
        return false;
    const CallGuard::Scope call = guarded();
    QSqlQuery q(database());
    bool ok = q.prepare(QStringLiteral("UPDATE Tests SET DeleteFlag = TRUE WHERE id = ?"));
    q.addBindValue(ID);
    ok = ok && q.exec();
    if (!ok)
        fail(q.lastError().text());
    return ok;
}

bool TdmMain::TableTestsSetText(int id, const QString& column, const QString& text) {
    // Only the two columns the operator edits; the name never comes from the value.
    QString statement;
    if (column.compare(QLatin1String("CarNumber"), Qt::CaseInsensitive) == 0)
        statement = QStringLiteral("UPDATE Tests SET CarNumber = ? WHERE id = ?");
    else if (column.compare(QLatin1String("VIN"), Qt::CaseInsensitive) == 0)
        statement = QStringLiteral("UPDATE Tests SET VIN = ? WHERE id = ?");
    else
        return fail(QStringLiteral("column %1 is not editable").arg(column));
    if (!reopenIfLost())
        return false;
    const CallGuard::Scope call = guarded();
    QSqlQuery q(database());
    bool ok = q.prepare(statement);
    q.addBindValue(text);
    q.addBindValue(id);
    ok = ok && q.exec();
    if (!ok)
        return fail(q.lastError().text());
    if (q.numRowsAffected() != 1)
        return fail(QStringLiteral("test %1 is not in the database").arg(id));
    return true;
}

void TdmMain::TableAxlesSelect(int TestID) {
    // Without a database there is nothing to read, which is no failure.
    const bool wanted = config_ || isConnected();
    const bool open = wanted && reopenIfLost();
    const CallGuard::Scope call = guarded();
    QSqlQuery q(database());
    q.setForwardOnly(true);
    const bool ok = open && q.prepare(QStringLiteral("SELECT %1 FROM Axles WHERE TestID = ? ORDER BY "
                                                     "AxleNumber")
                                          .arg(axlesColumns().join(QStringLiteral(", "))));
    q.addBindValue(TestID);
    axlesReadOk_ = ok && q.exec();
    if (axlesReadOk_) {
        qrAxles.load(q, axlesColumns());
    } else {
        if (open)
            fail(q.lastError().text());
        qrAxles.clear();
    }
    if (wanted)
        emit readDone(axlesReadOk_, lastError_);
    else
        axlesReadOk_ = true;
}

bool TdmMain::TableTestsSelectWhere(const QString& condition, const QVariant& value) {
    QSqlQuery q(database());
    q.setForwardOnly(true);
    const bool ok = isConnected() &&
                    q.prepare(QStringLiteral("SELECT %1 FROM Tests WHERE (NOT DeleteFlag) AND %2 ORDER BY "
                                             "TestDTBegin, id")
                                  .arg(testsColumns().join(QStringLiteral(", ")), condition));
    q.addBindValue(value);
    bool done = false;
    {
        const CallGuard::Scope call = guarded();
        done = ok && q.exec();
    }
    if (!done && isConnected())
        fail(q.lastError().text());
    qrTests.reopen(q, testsColumns(), TestsDates);
    dsTestsDataChange();
    return done;
}

bool TdmMain::TableTestsSelectOrder(int32_t OrderNumber) {
    return TableTestsSelectWhere(QStringLiteral("OrderNumber = ?"), OrderNumber);
}

bool TdmMain::TableTestsSelectId(int ID) {
    return TableTestsSelectWhere(QStringLiteral("id = ?"), ID);
}

void TdmMain::dsTestsDataChange() {
    TableAxlesSelect(qrTests.currentId());
    emit testsDataChanged();
}

TdmMain::StoreResult TdmMain::TableTestsStore(const TestRecord& test) {
    if (!isConnected())
        return StoreResult::NotConnected;
    const CallGuard::Scope call = guarded();
    Transaction tx(database());
    if (!tx.isOpen()) {
        fail(tx.error());
        return StoreResult::Failed;
    }
    bool ok = false;
    const int32_t order = TestAssembly::joinWords(test.header[8], test.header[9]);
    if (TableTestsCheck(order, test.testTime, &ok))
        return StoreResult::Duplicate;
    if (!ok)
        return StoreResult::Failed;
    const int id = TableTestsAdd(test.header, test.testTime, test.totals, test.KalvexType, test.KalvexSerial,
                                 test.BrakeWorkEfficiency, test.BrakeStopEfficiency);
    // Two stations storing the same finished test at once: the engine lets the first one in.
    if (id < 0)
        return lastInsertDuplicate_ ? StoreResult::Duplicate : StoreResult::Failed;
    for (const AxleRecord& a : test.axles)
        if (!TableAxlesAdd(id, a.AxleNumber, a.measured, a.derived))
            return StoreResult::Failed;
    if (!tx.commit()) {
        fail(database().lastError().text());
        return StoreResult::Failed;
    }
    return StoreResult::Stored;
}

bool TdmMain::createDatabase(const QString& path, QString* error) {
    return createDatabase(DatabaseConfig::sqlite(path), error);
}

bool TdmMain::createDatabase(const DatabaseConfig& config, QString* error) {
    auto refuse = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    const bool sqlite = config.engine == DatabaseConfig::Engine::SQLite;
    if (sqlite && QFileInfo::exists(config.file))
        return refuse(QStringLiteral("%1 exists already").arg(config.file));
    const QString name = QStringLiteral("mirvane-create-") + QUuid::createUuid().toString();
    QString failure;
    {
        QSqlDatabase db = openConnection(config, name, &failure, 0);
        if (db.isOpen()) {
            QSqlQuery q(db);
            // A shared database is never created over: its tests belong to every station.
            if (!sqlite && q.exec(QStringLiteral("SELECT 1 FROM information_schema.tables WHERE "
                                                 "table_schema = current_schema() AND table_name = 'tests'")) &&
                q.next())
                failure = QStringLiteral("%1 holds the station tables already").arg(config.describe());
            if (failure.isEmpty() && !db.transaction())
                failure = db.lastError().text();
            for (const QString& statement : schema(config.engine)) {
                if (!failure.isEmpty())
                    break;
                if (!q.exec(statement))
                    failure = q.lastError().text();
            }
            if (failure.isEmpty() && !db.commit())
                failure = db.lastError().text();
            if (!failure.isEmpty())
                db.rollback();
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty()) {
        if (sqlite)
            QFile::remove(config.file);
        return refuse(failure);
    }
    return true;
}
