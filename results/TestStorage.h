#pragma once

#include "DatabaseConfig.h"
#include "Outbox.h"
#include "TdmMain.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

class QThread;

// Storing finished tests, off the window's thread. The hand-over puts a test into the outbox
// and returns; a storage thread with a database connection of its own takes the waiting tests
// in order, one transaction each, and lets a test leave the outbox only when the database has
// committed it or refused it as a second copy. Any failure (locked, read-only, disk full,
// server down, connection lost) is tried again after a pause that doubles up to a few seconds,
// each time on a fresh connection. The window asks how things stand (status) whenever it
// likes: that never waits for the database.
class TestStorage : public QObject {
    Q_OBJECT
public:
    enum class Taken {
        Outbox, // durable in the outbox
        Memory, // the outbox could not take it (full disk, ...): kept in memory until stored
    };

    struct Status {
        int waiting = 0;              // tests not yet stored
        qint64 oldestWaitingMs = 0;   // how long the first of them has waited
        bool failing = false;         // the last attempt failed, or the one under way hangs
        QString reason;               // why, in the engine's words
        int32_t orderNumber = 0;      // of the first waiting test
    };

    struct Timing {
        int callLimitMs = 10000;  // one statement's wait for a PostgreSQL server
        int firstRetryMs = 250;   // the first pause after a failure; it doubles...
        int maxRetryMs = 4000;    // ...up to this
        int hangingMs = 5000;     // a call running this long counts as a failure for status
    };

    explicit TestStorage(QString outboxDir, QObject* parent = nullptr);
    ~TestStorage() override;

    // What an earlier run left: its waiting tests are queued first, in order; damaged files
    // are put aside and reported on the error output. Returns the number queued.
    int loadOutbox();
    // The newest test an earlier run took over, once: the first hand-over of this run may be
    // the stand's kept results of that very test, read again.
    std::optional<OutboxEntry> takeEarlierRunsNewest();

    // Starts storing into the database (nothing is stored before).
    void start(const DatabaseConfig& config, Timing timing);
    void start(const DatabaseConfig& config) { start(config, Timing()); }
    // Stops the storage thread; a call waiting for the server is cut short. Waiting tests stay
    // in the outbox for the next run.
    void stop();
    bool isRunning() const;

    // The hand-over: the test is made durable in the outbox and queued; returns at once
    // after the synced write. Memory (with the reason in why) when the outbox could not take it.
    Taken put(const OutboxEntry& entry, QString* why);

    Status status() const;
    const Outbox& outbox() const { return outbox_; }

signals:
    // A waiting test has left the outbox: stored, or refused as a second copy. Queued to the
    // receivers' threads.
    void stored(TdmMain::StoreResult result, int orderNumber);

private:
    struct Item {
        QString file; // empty: in memory only
        OutboxEntry entry;
        QElapsedTimer since;
    };
    void run();
    void failed(TdmMain& dm, const Item& item);
    void reportOnce(const QString& line);

    Outbox outbox_;
    std::optional<OutboxEntry> earlierNewest_;
    DatabaseConfig config_;
    Timing timing_;
    QThread* thread_ = nullptr;

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<Item> queue_;
    bool stop_ = false;
    TdmMain* dm_ = nullptr;        // the storage thread's module, while it runs
    QElapsedTimer busy_;           // valid while a database call is under way
    QString reason_;               // of the last failure
    int attempts_ = 0;             // failed attempts in a row: the storage is failing while any
    QElapsedTimer retryIn_;        // since the last failure
    int retryMs_ = 0;
    QElapsedTimer outage_;         // since the first failure of an outage
    int storedInOutage_ = 0;
    QString lastReported_;
};
