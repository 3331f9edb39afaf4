#pragma once

#include "TestStorage.h"

#include <QString>

#include <optional>

// What the operator is told about finished tests that wait for the database: a steady mark
// with their number while any has waited for more than a moment (a store that goes well takes
// milliseconds and shows nothing), and one message when an outage begins, not one per test.
// An outage ends when the last waiting test is stored.
class StorageNotice {
public:
    static constexpr qint64 MarkAfterMs = 2000;

    struct Told {
        QString mark;                   // empty: no mark
        std::optional<QString> message; // the outage's one message, when it begins
    };

    // Called with the storage's status now and then.
    Told update(const TestStorage::Status& s);

    static QString failureTitle();

private:
    bool inOutage_ = false;
};
