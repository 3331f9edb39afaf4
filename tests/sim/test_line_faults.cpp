// The line faults that keep a reply's CRC right: what the simulator sends must still check
// out as a frame, only not as the answer the station asked for.

#include "LineFaults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace StandSim;

namespace {

std::vector<uint8_t> framed(std::vector<uint8_t> b) {
    b.resize(b.size() + 2);
    recrc(b);
    return b;
}

std::vector<uint8_t> readReply(int registers) {
    std::vector<uint8_t> b{1, 0x04, uint8_t(registers * 2)};
    for (int r = 0; r < registers; ++r) {
        b.push_back(uint8_t(r));
        b.push_back(uint8_t(100 + r));
    }
    return framed(b);
}

bool crcFits(const std::vector<uint8_t>& f) {
    return crc16(f.data(), f.size()) == 0;
}

} // namespace

TEST(LineFaults, CrcIsTheModbusOne) {
    const std::string check = "123456789";
    EXPECT_EQ(crc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x4B37);
    EXPECT_EQ(framed({1, 0x04, 0x04, 0xB0, 0x00, 0x14}), (std::vector<uint8_t>{1, 4, 4, 0xB0, 0, 0x14, 0xF0, 0xD2}));
}

TEST(LineFaults, WrongByteCountKeepsTheFrameWhole) {
    for (int registers : {1, 3, 20, 32, 125}) {
        for (uint32_t random = 0; random < 64; ++random) {
            std::vector<uint8_t> reply = readReply(registers);
            ASSERT_TRUE(wrongByteCount(reply, random * 2654435761u));
            EXPECT_TRUE(crcFits(reply));
            EXPECT_EQ(reply[0], 1);
            EXPECT_EQ(reply[1], 0x04);
            EXPECT_NE(reply[2], registers * 2) << registers;
            EXPECT_EQ(reply.size(), 5u + reply[2]);
            // The registers it keeps are the ones it had.
            for (size_t r = 0; r < size_t(std::min(reply[2] / 2, registers)); ++r)
                ASSERT_EQ(reply[4 + 2 * r], 100 + r);
        }
    }
    std::vector<uint8_t> write = framed({1, 0x10, 0, 0, 0, 1});
    ASSERT_TRUE(wrongByteCount(write, 7));
    EXPECT_TRUE(crcFits(write));
    EXPECT_NE(write[5], 1);
    EXPECT_EQ(write.size(), 8u);

    std::vector<uint8_t> refusal = framed({1, 0x84, 0x02});
    const std::vector<uint8_t> before = refusal;
    EXPECT_FALSE(wrongByteCount(refusal, 1));
    EXPECT_EQ(refusal, before);
}

TEST(LineFaults, ForeignAddressIsAnotherSlavesWholeFrame) {
    const std::vector<uint8_t> original = readReply(3);
    for (uint8_t address : {1, 2, 246, 247}) {
        std::vector<uint8_t> reply = original;
        reply[0] = address;
        recrc(reply);
        foreignAddress(reply);
        EXPECT_NE(reply[0], address);
        EXPECT_GE(reply[0], 1);
        EXPECT_LE(reply[0], 247);
        EXPECT_TRUE(crcFits(reply));
        EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 1, reply.end() - 2),
                  std::vector<uint8_t>(original.begin() + 1, original.end() - 2));
    }
}

TEST(LineFaults, KindsAreNamedOnTheCommandLine) {
    EXPECT_EQ(parseFaultKinds("count"), std::vector<LineFault>{LineFault::Count});
    EXPECT_EQ(parseFaultKinds("corrupt,cut,split,count,address")->size(), 5u);
    for (const char* bad : {"", "count,", "counts", "count,,cut"})
        EXPECT_FALSE(parseFaultKinds(bad).has_value()) << bad;
}
