#include "DemoRecorder.h"

#include "DatabasePage.h"
#include "TfrMain.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QTabWidget>

#include <cstdio>

namespace {
// The stand's state while it measures, and how long into a test the board is worth a picture.
constexpr int32_t Measuring = 2;
constexpr int BoardAfterMs = 3000;
} // namespace

DemoRecorder::DemoRecorder(TfrMain& window, QString directory, int timeoutMs)
    : QObject(&window), w_(window), dir_(std::move(directory)) {
    QDir().mkpath(dir_);
    watch_.setInterval(100);
    connect(&watch_, &QTimer::timeout, this, &DemoRecorder::watch);
    watch_.start();
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this,
            [this] { finish(1, QStringLiteral("no finished test was stored in time")); });
    timeout_.start(timeoutMs);
    connect(&w_, &TfrMain::testHandedOver, this,
            [this](TestHandOver::Taken, const QString& protocolFile) { protocolFile_ = protocolFile; });
    connect(&w_, &TfrMain::testStored, this, &DemoRecorder::stored);
}

QString DemoRecorder::boardShot() const {
    return QDir(dir_).filePath(QStringLiteral("board.png"));
}
QString DemoRecorder::databaseShot() const {
    return QDir(dir_).filePath(QStringLiteral("database.png"));
}

void DemoRecorder::watch() {
    if (boardSaved_)
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (w_.link.Status != Measuring || !w_.link.fConnect) {
        measuringSince_ = -1;
        return;
    }
    if (measuringSince_ < 0)
        measuringSince_ = now;
    if (now - measuringSince_ >= BoardAfterMs) {
        boardSaved_ = w_.grab().save(boardShot(), "PNG");
        std::printf("board while measuring: %s\n", qPrintable(boardShot()));
        std::fflush(stdout);
    }
}

void DemoRecorder::stored(TdmMain::StoreResult result) {
    if (result != TdmMain::StoreResult::Stored) {
        std::printf("a finished test was not stored (%s)\n",
                    result == TdmMain::StoreResult::Duplicate ? "a duplicate" : "see the message");
        return;
    }
    QTimer::singleShot(0, this, [this, protocolFile = protocolFile_] {
        w_.acShowPageDatabse->trigger(); // brings the page forward and refreshes its list
        TestsModel& list = w_.dmMain.qrTests;
        list.setCurrentRow(list.rowCount() - 1); // today's newest test is the last row
        QCoreApplication::processEvents();
        const bool saved = w_.grab().save(databaseShot(), "PNG");
        std::printf("database page with the stored test: %s\n", qPrintable(databaseShot()));
        std::printf("protocol file: %s\n",
                    protocolFile.isEmpty() ? "(none written)" : qPrintable(protocolFile));
        std::printf("database: %s\n", qPrintable(w_.dmMain.database().databaseName()));
        finish(saved && boardSaved_ ? 0 : 1, saved ? QString() : QStringLiteral("cannot save the pictures"));
    });
}

void DemoRecorder::finish(int exitCode, const QString& why) {
    if (done_)
        return;
    done_ = true;
    if (!why.isEmpty())
        std::fprintf(stderr, "mirvane: demo run: %s\n", qPrintable(why));
    if (!boardSaved_ && exitCode == 0) {
        std::fprintf(stderr, "mirvane: demo run: the stand never measured long enough for a picture\n");
        exitCode = 1;
    }
    std::fflush(stdout);
    QCoreApplication::exit(exitCode);
}
