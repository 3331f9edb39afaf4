// The simulated stand's course and values: later end-to-end tests predict what it serves.

#include "StandModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace StandSim;

namespace {

std::vector<uint8_t> textBytes(const std::vector<uint16_t>& regs) {
    std::vector<uint8_t> b;
    for (int i = 1210; i < 1220; ++i) {
        b.push_back(uint8_t(regs[i] >> 8));
        b.push_back(uint8_t(regs[i] & 0xFF));
    }
    while (!b.empty() && b.back() == 0)
        b.pop_back();
    return b;
}

} // namespace

TEST(StandModel, RunsATestFromStartToTheReadResults) {
    std::vector<uint16_t> regs(RegisterCount);
    ModelOptions o;
    o.seed = 11;
    o.axles = 2;
    o.testSeconds = 1.0;
    StandModel m(o, regs.data());
    EXPECT_EQ(regs[1200], Idle);
    EXPECT_EQ(regs[1204], 0x8000);
    EXPECT_EQ(textBytes(regs), cp1251(u"СТЕНД ГОТОВ"));
    EXPECT_EQ(regs[150], 150); // page registers hold their own number
    EXPECT_EQ(regs[25540], 25540);
    EXPECT_EQ(regs[100], 0xFFFF);

    m.command(3, 0.1);
    EXPECT_EQ(m.state(), Measuring);
    m.advance(0.5);
    EXPECT_GT(regs[1202], 300);
    EXPECT_EQ(regs[1209], 1);
    m.advance(0.9);
    EXPECT_EQ(regs[1209], 2);
    m.advance(1.2);
    EXPECT_EQ(regs[1200], ResultsReady);
    const FinishedTest t = finishedTest(11, 1, 2);
    for (int k = 0; k < 25; ++k)
        EXPECT_EQ(regs[1000 + k], t.header[k]) << k;
    for (int a = 1; a <= 9; ++a)
        for (int j = 0; j < 32; ++j)
            ASSERT_EQ(regs[a * 100 + j], t.axles[a - 1][j]) << a << " " << j;

    // Served once the block after the last axle has been read; the results stay readable, for
    // a fetch whose last reply the line broke, until the next start.
    m.served(1000, 25, 1.3);
    m.served(100, 32, 1.3);
    m.served(200, 32, 1.3);
    EXPECT_FALSE(m.ready());
    m.served(300, 32, 1.3);
    EXPECT_EQ(m.state(), ResultsReady);
    EXPECT_TRUE(m.ready());
    EXPECT_EQ(m.readySince(), 1.3);
    m.served(1000, 25, 1.5);
    m.served(300, 32, 1.5);
    EXPECT_EQ(m.testsServed(), 1) << "read again, served once";
    EXPECT_EQ(m.readySince(), 1.3);
    EXPECT_EQ(regs[1000 + 8], t.header[8]);
    EXPECT_EQ(m.takeEvents(),
              (std::vector<std::string>{"command 3", "state 2 test 1", "state 5 test 1 order 20260001",
                                        "read header", "read axle 1", "read axle 2", "read axle 3",
                                        "served test 1", "read header", "read axle 3"}));
    m.command(3, 1.8);
    EXPECT_EQ(m.state(), Measuring) << "a start with the results ready begins the next test";
    m.command(4, 1.9);

    // Stop ends a test without a result; end finishes it at once.
    m.command(1, 2.0);
    m.command(4, 2.1);
    EXPECT_EQ(m.state(), Idle);
    m.command(2, 2.2);
    m.command(16, 2.3);
    EXPECT_EQ(m.state(), ResultsReady);
    EXPECT_EQ(regs[1008], finishedTest(11, 4, 2).header[8]);
}

TEST(StandModel, FinishedTestsFollowTheirDocumentedLayout) {
    struct Case {
        int k;
        int axles;
        int day, hour, minute;
    };
    for (const Case& c :
         {Case{1, 1, 14, 9, 0}, Case{2, 3, 14, 9, 7}, Case{129, 9, 14, 23, 56}, Case{130, 9, 15, 0, 3}}) {
        const FinishedTest t = finishedTest(5, c.k, c.axles, 70000);
        EXPECT_EQ(t.orderNumber, 70000 + c.k - 1);
        EXPECT_EQ(t.header[8] | t.header[9] << 16, t.orderNumber);
        EXPECT_EQ(t.header[10], c.day) << c.k;
        EXPECT_EQ(t.header[11], 3);
        EXPECT_EQ(t.header[12], 2026);
        EXPECT_EQ(t.header[13], c.hour) << c.k;
        EXPECT_EQ(t.header[14], c.minute) << c.k;
        EXPECT_EQ(t.header[22], c.axles);
        EXPECT_EQ(t.header[24], c.axles >= 3 ? 1 : 0);
        for (int a = 1; a <= 9; ++a) {
            const auto& row = t.axles[a - 1];
            if (a > c.axles) {
                EXPECT_EQ(std::count(row.begin(), row.end(), 0xFFFF), 32);
                continue;
            }
            EXPECT_NE(row[0], 0xFFFF);
            // The parking brake is measured on the last axle only.
            EXPECT_EQ(row[12] != 0xFFFF, a == c.axles) << c.k << " axle " << a;
        }
        EXPECT_EQ(finishedTest(5, c.k, c.axles, 70000).axles, t.axles);
        EXPECT_NE(finishedTest(6, c.k, c.axles, 70000).axles[0], t.axles[0]);
    }
}
