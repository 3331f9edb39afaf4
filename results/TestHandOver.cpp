#include "TestHandOver.h"

#include "Clock.h"
#include "ProtocolFile.h"
#include "Settings.h"
#include "StandLink.h"
#include "TestAssembly.h"

#include <QDir>

#include <algorithm>

TestHandOver::TestHandOver(StandLink& link, const Settings& settings, TestStorage& storage, const Clock& clock,
                           QString titlesFile)
    : link_(link), settings_(settings), storage_(storage), clock_(clock), titlesFile_(std::move(titlesFile)) {}

int32_t TestHandOver::orderNumber() const {
    return TestAssembly::joinWords(link_.FinalOKData[9], link_.FinalOKData[10]);
}

TestHandOver::Taken TestHandOver::StoreTest() {
    storeError_.clear();
    // CurrentAxle is the first row without an axle: one past the measured ones.
    if (link_.CurrentAxle > 0)
        --link_.CurrentAxle;
    const int n = std::min<int>(link_.CurrentAxle, 9);
    if (!storage_.isRunning())
        return Taken::NotStored;

    OutboxEntry e;
    std::copy(link_.FinalOKData.begin() + 1, link_.FinalOKData.end(), e.header.begin());
    for (int a = 1; a <= n; ++a) {
        std::array<uint16_t, 32> row;
        std::copy(link_.AxleOkData[a].begin() + 1, link_.AxleOkData[a].end(), row.begin());
        e.axles.push_back(row);
    }
    e.taken = clock_.now();
    e.fPCDateTime = settings_.fPCDateTime;
    e.KalvexType = settings_.KalvexType;
    e.KalvexSerial = settings_.KalvexSerial;
    // The stand keeps a finished test's results until its next start, so a station started
    // again meanwhile fetches the last test of its earlier run once more. That test keeps the
    // time it was given then, and the duplicate rule recognises it, whatever the clock says now.
    if (const std::optional<OutboxEntry> earlier = storage_.takeEarlierRunsNewest(); earlier && earlier->sameTest(e))
        e.taken = earlier->taken;
    return storage_.put(e, &storeError_) == TestStorage::Taken::Outbox ? Taken::Outbox : Taken::Memory;
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
