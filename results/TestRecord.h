#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// One measured axle as it is stored: the controller's block of 32 words as received and the
// 9 values derived from it, in the order of the columns of Axles.
struct AxleRecord {
    uint16_t AxleNumber = 0;
    std::array<uint16_t, 32> measured{};
    std::array<uint16_t, 9> derived{};
};

// A finished test as it is stored: the raw result header (registers 1000..1024, register 1000
// at index 0), the test time, the three totals (weight, service brake, parking brake), the
// stand's identity from the settings, the two efficiencies and the measured axles.
struct TestRecord {
    std::array<uint16_t, 25> header{};
    QDateTime testTime;
    std::array<uint16_t, 3> totals{};
    QString KalvexType;
    QString KalvexSerial;
    double BrakeWorkEfficiency = 0;
    double BrakeStopEfficiency = 0;
    std::vector<AxleRecord> axles;
};
