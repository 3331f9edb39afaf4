#pragma once

#include "TdmMain.h"

#include <QString>
#include <QStringList>

class Clock;
class StandLink;
struct Settings;

// The end of a finished test: the link has fetched the header and the axle rows; StoreTest
// stores the test, then WriteProtocol writes its protocol file. Neither shows anything: the
// window decides how the operator learns of a failed store.
class TestHandOver {
public:
    struct Protocol {
        bool written = false;
        QStringList lines; // the protocol's lines; empty when none could be made
        QString path;      // the file written
        QString error;     // why no file was written
    };

    TestHandOver(StandLink& link, const Settings& settings, TdmMain& dm, const Clock& clock,
                 QString titlesFile);

    // Takes the number of measured axles from CurrentAxle (and leaves it there), assembles the
    // test and stores it unless it is a duplicate or the database is not open.
    TdmMain::StoreResult StoreTest();
    // Writes the protocol file when PrintAct is on; nothing when Titles.txt is missing or
    // unusable. Independent of CurrentAxle: nine axle columns, absent axles blank.
    Protocol WriteProtocol();

    // After a failed store: what the operator is told.
    QString failureText() const { return failureText_; }

    static QString failureTitle();

private:
    StandLink& link_;
    const Settings& settings_;
    TdmMain& dm_;
    const Clock& clock_;
    const QString titlesFile_;
    QString failureText_;
};
