#pragma once

#include "TdmMain.h"
#include "TestAssembly.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <vector>

// The values of an axle that the protocol shows, as the controller reports them; the other
// words of the block are 0.
struct AxleValues {
    uint16_t StaticWeightL, StaticWeightR;
    uint16_t ResistL, ResistR;
    uint16_t OvalityL, OvalityR;
    uint16_t BrakeWorkL, BrakeWorkR;
    uint16_t BrakeStopL, BrakeStopR;
    uint16_t MaxEffortPedalL, MaxEffortPedalR;
};

constexpr uint16_t NoValue = TestAssembly::NoValue;

// A finished test put together as the hand-over does it, derived values and totals included.
inline TestRecord makeTest(int32_t order, const QDateTime& time, const std::vector<AxleValues>& axles,
                           uint16_t MeasureUnit = 0, uint16_t CarType = 0) {
    TestAssembly::Header h{};
    h[1] = 3082; // KalvexID 168037386
    h[2] = 2564;
    h[3] = 351; // version 3.51
    h[4] = 15;  // verified 15.06.2025
    h[5] = 6;
    h[6] = 2025;
    h[9] = static_cast<uint16_t>(order & 0xFFFF);
    h[10] = static_cast<uint16_t>(uint32_t(order) >> 16);
    h[23] = static_cast<uint16_t>(axles.size());
    h[24] = MeasureUnit;
    h[25] = CarType;
    TestAssembly::AxleRows rows{};
    for (size_t a = 0; a < axles.size(); ++a) {
        auto& r = rows[a + 1];
        const AxleValues& v = axles[a];
        r[1] = v.StaticWeightL;
        r[2] = v.StaticWeightR;
        r[5] = v.ResistL;
        r[6] = v.ResistR;
        r[7] = v.OvalityL;
        r[8] = v.OvalityR;
        r[11] = v.BrakeWorkL;
        r[12] = v.BrakeWorkR;
        r[13] = v.BrakeStopL;
        r[14] = v.BrakeStopR;
        r[19] = v.MaxEffortPedalL;
        r[20] = v.MaxEffortPedalR;
    }
    return TestAssembly::assemble(h, rows, static_cast<int>(axles.size()), time, QStringLiteral("Калвекс-3500"),
                                  QStringLiteral("00042"));
}

// A plausible passenger-car axle in kilograms with every value measured.
inline AxleValues carAxle(uint16_t scale = 1) {
    return {uint16_t(410 * scale), uint16_t(395 * scale), 12,  14,  3,  5,
            uint16_t(265 * scale), uint16_t(250 * scale), 180, 172, 31, 31};
}

// An empty station database made the way a station makes it.
inline QString createStationDatabase(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("Mirvane.db"));
    QString error;
    if (!TdmMain::createDatabase(path, &error))
        qFatal("cannot create %s: %s", qPrintable(path), qPrintable(error));
    return path;
}
