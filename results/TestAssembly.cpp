#include "TestAssembly.h"

#include <algorithm>
#include <cstdlib>

namespace TestAssembly {

uint16_t GetDiffPercent(uint16_t a, uint16_t b) {
    const uint32_t m = std::max(a, b);
    if (m == 0)
        return 0;
    // Exact in integers: a floating quotient would put some halves on the wrong side.
    const uint32_t num = static_cast<uint32_t>(std::abs(int32_t(a) - int32_t(b))) * 100;
    uint32_t q = num / m;
    const uint32_t twiceRest = 2 * (num % m);
    if (twiceRest > m || (twiceRest == m && (q & 1)))
        ++q;
    return static_cast<uint16_t>(q);
}

static uint16_t add16(uint16_t a, uint16_t b) {
    return static_cast<uint16_t>(a + b);
}

std::array<uint16_t, 9> derivedValues(const std::array<uint16_t, 32>& w) {
    // Offsets of the block: StaticWeight 0/1, Resist 4/5, Ovality 6/7, BrakeWork 10/11,
    // BrakeStop 12/13, MaxEffortPedal 18/19.
    return {add16(w[0], w[1]),   add16(w[4], w[5]),   GetDiffPercent(w[4], w[5]),
            add16(w[6], w[7]),   add16(w[10], w[11]), GetDiffPercent(w[10], w[11]),
            add16(w[18], w[19]), add16(w[12], w[13]), GetDiffPercent(w[12], w[13])};
}

int32_t joinWords(uint16_t low, uint16_t high) {
    return static_cast<int32_t>((static_cast<uint32_t>(high) << 16) | low);
}

QDate validDate(int year, int month, int day) {
    // The years a date-time column of every engine we use can hold.
    if (year < 1 || year > 9999)
        return {};
    return QDate(year, month, day);
}

QDate verificationDate(const Header& h) {
    return validDate(h[6], h[5], h[4]);
}

QDateTime testTime(const Header& h, bool fPCDateTime, const QDateTime& now) {
    if (fPCDateTime)
        return now;
    const QDate d = validDate(h[13], h[12], h[11]);
    const QTime t(h[14], h[15]);
    const QDateTime dt(d, t);
    // An hour of 24, month 13 or a local time skipped by a clock change.
    if (!d.isValid() || !t.isValid() || !dt.isValid() || dt.time() != t)
        return now;
    return dt;
}

TestRecord assemble(const Header& FinalOKData, const AxleRows& AxleOkData, int n, const QDateTime& time,
                    const QString& KalvexType, const QString& KalvexSerial) {
    TestRecord r;
    std::copy(FinalOKData.begin() + 1, FinalOKData.end(), r.header.begin());
    r.testTime = time;
    r.KalvexType = KalvexType;
    r.KalvexSerial = KalvexSerial;

    uint16_t weight = 0;
    uint16_t work = 0;
    uint16_t stop = NoValue;
    n = std::clamp(n, 0, 9);
    for (int a = 1; a <= n; ++a) {
        AxleRecord axle;
        axle.AxleNumber = static_cast<uint16_t>(a);
        std::copy(AxleOkData[a].begin() + 1, AxleOkData[a].end(), axle.measured.begin());
        axle.derived = derivedValues(axle.measured);
        weight = add16(weight, axle.derived[0]);
        work = add16(work, axle.derived[4]);
        if (axle.measured[12] != NoValue) {
            if (stop == NoValue)
                stop = 0;
            stop = add16(stop, axle.derived[7]);
        }
        r.axles.push_back(axle);
    }
    r.totals = {weight, work, stop};
    if (weight != 0) {
        r.BrakeWorkEfficiency = double(work) / double(weight);
        r.BrakeStopEfficiency = double(stop) / double(weight);
    }
    return r;
}

} // namespace TestAssembly
