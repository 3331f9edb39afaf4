#pragma once

#include "TestAssembly.h"

#include <QDateTime>
#include <QString>

// A plausible finished test for the database benchmarks: n axles with measured values and the
// derived ones worked out as the hand-over does; every fifth order a truck.
inline TestRecord finishedTest(int order, const QDateTime& time, int axles) {
    TestAssembly::Header h{};
    h[1] = 3082;
    h[2] = 2564;
    h[3] = 351;
    h[4] = 15;
    h[5] = 6;
    h[6] = 2025;
    h[9] = static_cast<uint16_t>(order & 0xFFFF);
    h[10] = static_cast<uint16_t>(order >> 16);
    h[23] = static_cast<uint16_t>(axles);
    h[25] = static_cast<uint16_t>(order % 5 == 0);
    TestAssembly::AxleRows rows;
    for (auto& r : rows)
        r.fill(TestAssembly::NoValue);
    for (int a = 1; a <= axles; ++a)
        for (int j = 1; j <= 32; ++j)
            rows[a][j] = static_cast<uint16_t>(100 * a + j + order % 7);
    return TestAssembly::assemble(h, rows, axles, time, QStringLiteral("Калвекс-3500"), QStringLiteral("00042"));
}
