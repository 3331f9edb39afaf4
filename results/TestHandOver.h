#pragma once

#include "TestStorage.h"

#include <QString>
#include <QStringList>

class Clock;
class StandLink;
struct Settings;

// The end of a finished test: the link has fetched the header and the axle rows; StoreTest
// takes the test over into the outbox, from which the storage stores it, then WriteProtocol
// writes its protocol file. Neither waits for the database or shows anything: the window
// decides how the operator learns of a failure.
class TestHandOver {
public:
    enum class Taken {
        Outbox,    // durable in the outbox; the storage stores it
        Memory,    // the outbox could not take it; kept in memory until stored
        NotStored, // the database is not in use
    };

    struct Protocol {
        bool written = false;
        QStringList lines; // the protocol's lines; empty when none could be made
        QString path;      // the file written
        QString error;     // why no file was written
    };

    TestHandOver(StandLink& link, const Settings& settings, TestStorage& storage, const Clock& clock,
                 QString titlesFile);

    // Takes the number of measured axles from CurrentAxle (and leaves it there) and hands the
    // test to the storage while it runs. The duplicate rule is the database's: a test already
    // stored is refused there and leaves the outbox as such.
    Taken StoreTest();
    // Writes the protocol file when PrintAct is on; nothing when Titles.txt is missing or
    // unusable. Independent of CurrentAxle: nine axle columns, absent axles blank.
    Protocol WriteProtocol();

    // Why the last test went into memory only.
    QString storeError() const { return storeError_; }
    // The order number of the test the link fetched last.
    int32_t orderNumber() const;

private:
    StandLink& link_;
    const Settings& settings_;
    TestStorage& storage_;
    const Clock& clock_;
    const QString titlesFile_;
    QString storeError_;
};
