#pragma once

#include "TestRecord.h"

#include <QDate>
#include <QDateTime>

#include <array>
#include <cstdint>

// How a finished test is put together from the words the controller reported: the derived
// axle values, the totals, the efficiencies and the test time.
namespace TestAssembly {

// Header word k (1..25) of the fetch holds register 999 + k; axle row a (1..9) word j (1..32)
// holds register 100 x a + j - 1. Index 0 is unused, as in the link.
using Header = std::array<uint16_t, 26>;
using AxleRows = std::array<std::array<uint16_t, 33>, 10>;

constexpr uint16_t NoValue = 65535;

// Unevenness of a pair in percent: |a - b| x 100 / max(a, b), halves to the even neighbour;
// 0 when both are 0.
uint16_t GetDiffPercent(uint16_t a, uint16_t b);

// The 9 derived columns of an axle from its 32 words (word 1 at index 0), marks included:
// sums wrap modulo 65536.
std::array<uint16_t, 9> derivedValues(const std::array<uint16_t, 32>& words);

// Low and high word joined into one signed 32-bit number (65535, 65535 gives -1).
int32_t joinWords(uint16_t low, uint16_t high);

// A calendar date the database can hold, or an invalid date.
QDate validDate(int year, int month, int day);

// The stand's last verification, or an invalid date when the header's words form none.
QDate verificationDate(const Header& FinalOKData);

// The test time: the PC clock with fPCDateTime, else the controller's date, hour and minute.
// A controller time that is no valid local time falls back to the PC clock, so that a bad
// date never loses a test.
QDateTime testTime(const Header& FinalOKData, bool fPCDateTime, const QDateTime& now);

// Everything that is stored of a test with n measured axles (rows 1..n).
TestRecord assemble(const Header& FinalOKData, const AxleRows& AxleOkData, int n, const QDateTime& testTime,
                    const QString& KalvexType, const QString& KalvexSerial);

} // namespace TestAssembly
