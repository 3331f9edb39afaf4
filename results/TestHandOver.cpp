#include "TestHandOver.h"

#include "Clock.h"
#include "ProtocolFile.h"
#include "Settings.h"
#include "StandLink.h"
#include "TestAssembly.h"

#include <QDir>

#include <algorithm>

TestHandOver::TestHandOver(StandLink& link, const Settings& settings, TdmMain& dm, const Clock& clock,
                           QString titlesFile)
    : link_(link), settings_(settings), dm_(dm), clock_(clock), titlesFile_(std::move(titlesFile)) {}

QString TestHandOver::failureTitle() {
    return QStringLiteral("Ошибка записи в базу данных");
}

TdmMain::StoreResult TestHandOver::StoreTest() {
    failureText_.clear();
    // CurrentAxle is the first row without an axle: one past the measured ones.
    if (link_.CurrentAxle > 0)
        --link_.CurrentAxle;
    const int n = std::min<int>(link_.CurrentAxle, 9);
    if (!dm_.isConnected())
        return TdmMain::StoreResult::NotConnected;

    const QDateTime time = TestAssembly::testTime(link_.FinalOKData, settings_.fPCDateTime, clock_.now());
    const TestRecord test = TestAssembly::assemble(link_.FinalOKData, link_.AxleOkData, n, time,
                                                   settings_.KalvexType, settings_.KalvexSerial);
    const TdmMain::StoreResult r = dm_.TableTestsStore(test);
    if (r == TdmMain::StoreResult::Failed) {
        const int32_t order = TestAssembly::joinWords(test.header[8], test.header[9]);
        failureText_ =
            QStringLiteral("Испытание № %1 не сохранено в базе данных.\n%2").arg(order).arg(dm_.lastError());
    }
    return r;
}

TestHandOver::Protocol TestHandOver::WriteProtocol() {
    Protocol p;
    if (!settings_.fPrintAct)
        return p;
    const std::optional<QStringList> titles = ProtocolFile::readTitles(titlesFile_, &p.error);
    if (!titles)
        return p;
    p.lines = ProtocolFile::lines(*titles, link_.FinalOKData, link_.AxleOkData, clock_.now());
    // The name is a reading of its own, which may be a second later than the title.
    const QString name = ProtocolFile::fileName(clock_.now());
    p.path = settings_.ProtocolDir.isEmpty() ? QDir::current().filePath(name)
                                             : QDir(settings_.ProtocolDir).filePath(name);
    p.written = ProtocolFile::save(p.path, p.lines, &p.error);
    return p;
}
