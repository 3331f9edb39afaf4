#pragma once

#include "TdmMain.h"

#include <QObject>
#include <QString>
#include <QTimer>

class TfrMain;

// An unattended run of the station: a picture of the board while the stand measures, and,
// once the next finished test is stored, a picture of the database page with that test
// selected; then the program ends (exit code 0, or 1 when no test was stored in time).
class DemoRecorder : public QObject {
    Q_OBJECT
public:
    DemoRecorder(TfrMain& window, QString directory, int timeoutMs);

    QString boardShot() const;
    QString databaseShot() const;

private:
    void watch();
    void stored(TdmMain::StoreResult result);
    void finish(int exitCode, const QString& why);

    TfrMain& w_;
    const QString dir_;
    QTimer watch_;
    QTimer timeout_;
    qint64 measuringSince_ = -1;
    QString protocolFile_; // of the last test handed over
    bool boardSaved_ = false;
    bool done_ = false;
};
