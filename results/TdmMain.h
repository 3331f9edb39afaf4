#pragma once

#include "CallGuard.h"
#include "DatabaseConfig.h"
#include "SqlRowsModel.h"
#include "TestRecord.h"
#include "TestsModel.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The data module: owns the connection to the test database and every statement on it.
// Every statement binds its values; none is built from them, so the same statements run on
// any engine with standard SQL (the station's own file is SQLite).
class TdmMain : public QObject {
    Q_OBJECT
public:
    enum class StoreResult { Stored, Duplicate, NotConnected, Failed };

    explicit TdmMain(QObject* parent = nullptr);
    ~TdmMain() override;

    // Opens the database file. Never creates it: a missing file is a failed connection.
    bool DatabaseConnect(const QString& FileName);
    // Opens the configured database: the station's file or a shared PostgreSQL database.
    bool DatabaseConnect(const DatabaseConfig& config);
    bool isConnected() const;
    void close();

    // How long one statement may wait for a PostgreSQL server (2 s unless set; the database
    // page reads on the window's thread): the server ends a statement that runs longer, and a
    // server that does not answer at all has the connection cut half a second later. Either
    // way the call fails with that reason, and a later call opens a fresh connection. Applies
    // to connections opened after the call.
    void setCallLimit(int ms) { callLimitMs_ = ms; }
    int callLimit() const { return callLimitMs_; }
    // Ends a call that waits for the server now, from any thread (the station is closing).
    void abortCall() { guard_.abortNow(); }

    QSqlDatabase database() const;

    // Reopens the test list with the tests of DTBegin's date 00:00:00 to DTEnd's date
    // 23:59:59, oldest first, deleted tests left out; the current test stays current when it
    // is still listed. Does nothing without a connection. An error leaves the list empty.
    void TableTestsSelect(const QDateTime& DTBegin, const QDateTime& DTEnd);
    // True when a test that is not deleted has this order number and DTBegin cut to the
    // minute. ok (when given) tells whether the check could be made at all.
    bool TableTestsCheck(int32_t OrederNumber, const QDateTime& DTBegin, bool* ok = nullptr);
    // Inserts one Tests row and returns the id the engine gave it, or -1 when nothing was
    // inserted. An invalid verification date is stored as NULL.
    int TableTestsAdd(const std::array<uint16_t, 25>& FinalOKData, const QDateTime& testTime,
                      const std::array<uint16_t, 3>& totals, const QString& KalvexType,
                      const QString& KalvexSerial, double BrakeWorkEfficiency, double BrakeStopEfficiency);
    // Inserts one Axles row; false when the engine refused it.
    bool TableAxlesAdd(int TestID, uint16_t AxleNumber, const std::array<uint16_t, 32>& values,
                       const std::array<uint16_t, 9>& derived);
    // Marks the test as deleted; false when the engine refused it.
    bool TableTestsDelete(int ID);
    // Reopens the axle query with the axles of this test by ascending number; an error
    // leaves it empty.
    void TableAxlesSelect(int TestID);
    // Reopens the test list with the tests (not deleted) of this order number, oldest first,
    // or with the one test of this id: a protocol named from outside the window. The axle
    // query follows the first. False when the statement failed (the list is then empty).
    bool TableTestsSelectOrder(int32_t OrderNumber);
    bool TableTestsSelectId(int ID);

    // Stores a finished test with its axles in one transaction, all rows or none: the
    // duplicate check, the test row, then its axles with the new id.
    StoreResult TableTestsStore(const TestRecord& test);

    // The engine's text for the last failed statement of this module.
    QString lastError() const { return lastError_; }
    // Whether the last read of the axle query came back (false: the view has nothing to show).
    bool axlesReadOk() const { return axlesReadOk_; }

    // Creates an empty station database at path: both tables and their indexes. Refuses a
    // path that exists, so a station's tests are never overwritten.
    static bool createDatabase(const QString& path, QString* error);
    // The same on the configured engine: for PostgreSQL the tables are created in the named
    // database, which must exist and must not hold them yet.
    static bool createDatabase(const DatabaseConfig& config, QString* error);

    // The list's columns in the order of the module's field list, and the axle query's.
    static const QStringList& testsColumns();
    static const QStringList& axlesColumns();

    // The current row of the list changed or the list was reopened: the axle query follows
    // the current test (0 when the list is empty), then testsDataChanged is signalled.
    void dsTestsDataChange();

    TestsModel qrTests;
    SqlRowsModel qrAxles;

signals:
    // The list and the axle query show a new current test: the record view refreshes.
    void testsDataChanged();
    // A read for the database page (the list or the axles of its current test) has ended:
    // ok, or failed with the reason (the database did not answer, the connection is gone).
    void readDone(bool ok, const QString& why);

private:
    bool fail(const QString& text);
    bool TableTestsSetText(int id, const QString& column, const QString& text);
    // The test list's statement with this condition on one bound value.
    bool TableTestsSelectWhere(const QString& condition, const QVariant& value);
    CallGuard::Scope guarded();
    // A connection that was lost (or never came back) is opened afresh, at most once in a
    // few seconds, so that one look at the page during an outage costs one bounded wait.
    bool reopenIfLost();

    QString connectionName_;
    QString lastError_;
    std::optional<DatabaseConfig> config_; // of the last connection that opened
    CallGuard guard_;
    int callLimitMs_ = 2000;
    bool lost_ = false;
    QElapsedTimer reopenFailed_;
    bool axlesReadOk_ = true;
    // The last insert of a test was refused as a second copy of a stored test (another station
    // stored the same finished test first).
    bool lastInsertDuplicate_ = false;
};
