#pragma once

// The simulated stand's controller: its register map and the scripted course of a test.
// Plain C++ without Qt or libmodbus, so that tests can predict what the simulator serves.
//
// Register map (input registers; register r of the flat 65536-register space):
//   100 x a + j   axle block a (1..9), word j (0..31) of the last finished test; 65535 in
//                 every word of a block without an axle (and in all nine before the first test)
//   1000..1024    result header of the last finished test (0 before the first)
//   1200..1219    routine block: 1200 stand state (1 idle, 2 measuring, 5 results ready),
//                 1201 seconds into the test, 1202/1203 bar values 0..1000, 1204/1205
//                 readouts (signed, 0x8000 = no value), 1206/1207 indicator words (bits 0..6
//                 lamps, bits 8..14 flashing), 1208 decimal places, 1209 axle on the rollers,
//                 1210..1219 message text in Windows-1251, high byte first, zero-padded
//   1314..1316    status words: left and right cycle counts, sensor bits
//   anything else holds its own register number (r), so that a page read of P x 100 + A
//                 returns P x 100 + A
// Holding register 0 takes the operator's command codes.
//
// The course of a test: idle; a start code (1, 2 or 3) makes the values move for the test
// time, axle by axle; code 16 ends the test early, code 4 stops it without a result. Then
// the state is 5 with finishedTest(seed, k, axles) in the header and axle blocks until the
// next start, as the stand keeps its result lamp lit. The test counts as served once the block
// after the last axle (or axle 9) has been read; the stand cannot know whether that reply
// reached the station, so its results stay readable and a fetch the line broke can be made
// again. A start code is taken when idle or with the results ready.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace StandSim {

constexpr int RegisterCount = 65536;
constexpr uint16_t Idle = 1;
constexpr uint16_t Measuring = 2;
constexpr uint16_t ResultsReady = 5;

struct FinishedTest {
    int number = 0; // k, from 1
    int32_t orderNumber = 0;
    std::array<uint16_t, 25> header{};               // registers 1000..1024
    std::array<std::array<uint16_t, 32>, 9> axles{}; // block a at index a - 1; 65535 past the axle count
};

// The k-th test (from 1) a stand run with this seed and axle count (1..9) finishes:
//   1000/1001 controller identity 1000000 + seed mod 1000000 (low, high word)
//   1002 software version 351; 1003..1005 verification date 15.03.2026
//   1008/1009 order number firstOrder + k - 1 (low, high word)
//   1010..1014 day, month, year, hour, minute: 14.03.2026 09:00 plus 7 minutes per test
//   1022 axle count; 1023 measure unit; 1024 vehicle type (1, a truck, from 3 axles)
//   1006, 1007, 1015..1021 are 0. Axle words are drawn from the seed within plausible
//   ranges; the parking brake (words 12, 13) is measured on the last axle only, the truck
//   blocking values (28..31) only on trucks; unmeasured values are 65535.
FinishedTest finishedTest(uint64_t seed, int k, int axles, int32_t firstOrder = 20260001,
                          uint16_t measureUnit = 0);

// Windows-1251 bytes of a text of ASCII and Cyrillic letters ('?' for anything else).
std::vector<uint8_t> cp1251(const std::u16string& text);

struct ModelOptions {
    uint64_t seed = 1;
    int axles = 3;
    double testSeconds = 4.0;
    int32_t firstOrder = 20260001;
    uint16_t measureUnit = 0;
};

class StandModel {
public:
    // input: the 65536 input registers the slave serves; filled here.
    StandModel(const ModelOptions& options, uint16_t* input);

    // Brings the live registers to the time now (seconds since the start).
    void advance(double now);
    // A code written into holding register 0.
    void command(uint16_t code, double now);
    // A read of count input registers from start has been answered.
    void served(uint16_t start, uint16_t count, double now);

    uint16_t state() const { return state_; }
    int testsStarted() const { return testNumber_; }
    int testsServed() const { return served_; }
    // Idle, or its last test served: where the remote's scenario presses start.
    bool ready() const { return state_ == Idle || (state_ == ResultsReady && resultsRead_); }
    // When the stand last became ready.
    double readySince() const { return readySince_; }

    // What happened since the last call, one line each ("state 2 test 1", "command 34").
    std::vector<std::string> takeEvents();

private:
    void setState(uint16_t state, double now);
    void setText(const std::u16string& text);
    void finish(double now);

    ModelOptions options_;
    uint16_t* input_;
    uint16_t state_ = Idle;
    int testNumber_ = 0;
    int served_ = 0;
    double stateSince_ = 0;
    double readySince_ = 0;
    bool resultsRead_ = false;
    uint16_t displayAxle_ = 1;
    uint16_t lamps_ = 0;
    uint16_t cycles_ = 0;
    std::vector<std::string> events_;
};

} // namespace StandSim
