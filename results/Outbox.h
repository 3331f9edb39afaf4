#pragma once

#include "TestRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// A finished test as the stand gave it, with what the station added at the hand-over: the
// PC clock reading of that moment and the settings that go into its row. Everything else that
// is stored (derived values, totals, efficiencies, the test time) is worked out from these.
struct OutboxEntry {
    std::array<uint16_t, 25> header{};              // registers 1000..1024
    std::vector<std::array<uint16_t, 32>> axles;    // the measured axles, axle 1 first
    QDateTime taken;                                // the PC clock at the hand-over
    bool fPCDateTime = true;
    QString KalvexType;
    QString KalvexSerial;

    int32_t orderNumber() const;
    // What is stored for it: the test time from the controller or the clock, and the rest.
    TestRecord record() const;
    // The same finished test: the same words from the stand and the same settings (the time
    // it was taken over may differ).
    bool sameTest(const OutboxEntry& other) const;
};

// The station's outbox: a directory holding one file per finished test that the database has
// not yet committed. A test is put here before anything else happens to it and leaves only
// once the database has taken it (or refused it as a second copy).
//
// One file per test rather than a small database: a file is made whole or not at all by a
// synced write to a temporary name and a rename (the same code that writes protocol files), so
// the window's thread adding a test and the storage thread removing one never wait for each
// other's lock, and a service engineer can see, copy or move the waiting tests with any tool.
// Files are named by a sequence number, which gives the order of storing, and the order
// number of the test ("0000000012-20260001.test"). The last test that left the outbox stays
// as "stored.last", so that a station started again knows the last test it took over.
class Outbox {
public:
    struct Waiting {
        QString file;
        OutboxEntry entry;
    };

    explicit Outbox(QString dir);
    const QString& dir() const { return dir_; }

    // The bytes of a file: a line-based text that says what every number is, with a checksum
    // over all of it at the end.
    static QByteArray encode(const OutboxEntry& entry);
    static std::optional<OutboxEntry> decode(const QByteArray& bytes, QString* why);

    // Writes the entry as the next file and makes it durable (file and directory synced).
    // The file's path, or an empty text with the reason in why.
    QString put(const OutboxEntry& entry, QString* why);
    // The waiting tests in the order they were put here. A file that cannot be read or is
    // damaged is renamed to NAME.damaged (never deleted) and named in problems.
    std::vector<Waiting> load(QStringList* problems);
    // The newest test put here by anyone: the last waiting one, else the last stored one.
    std::optional<OutboxEntry> newest() const;
    // The database has the test: its file leaves the waiting ones and becomes "stored.last".
    bool retire(const QString& file, QString* why);

private:
    bool makeDir(QString* why);
    QStringList waitingFiles() const;

    QString dir_;
    quint64 next_ = 0; // sequence number of the next file; 0 until the directory was looked at
};
