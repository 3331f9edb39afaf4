#include "Modbus.h"

#include <gtest/gtest.h>

#include <vector>

using Bytes = std::vector<uint8_t>;

static Bytes framed(int (*build)(uint8_t*)) {
    uint8_t buf[Modbus::BufferSize] = {};
    const int n = build(buf);
    Modbus::appendCrc(buf, n);
    return Bytes(buf, buf + n + 2);
}

TEST(Modbus, CrcOfTheStandardCheckString) {
    uint16_t crc = 0xFFFF;
    for (char c : std::string("123456789"))
        crc = Modbus::crc16Update(crc, static_cast<uint8_t>(c));
    EXPECT_EQ(crc, 0x4B37);
}

TEST(Modbus, BuildsEveryRequestByteForByte) {
    struct Case {
        const char* name;
        int (*build)(uint8_t*);
        Bytes expected;
    };
    const Case cases[] = {
        {"routine", [](uint8_t* b) { return Modbus::routineRead(b, 1); },
         {0x01, 0x04, 0x04, 0xB0, 0x00, 0x14, 0xF0, 0xD2}},
        {"status", [](uint8_t* b) { return Modbus::statusRead(b, 1); },
         {0x01, 0x04, 0x05, 0x22, 0x00, 0x03, 0x10, 0xCD}},
        {"header", [](uint8_t* b) { return Modbus::headerRead(b, 1); },
         {0x01, 0x04, 0x03, 0xE8, 0x00, 0x19, 0xB1, 0xB0}},
        {"axle 1", [](uint8_t* b) { return Modbus::axleRead(b, 1, 1); },
         {0x01, 0x04, 0x00, 0x64, 0x00, 0x20, 0xB0, 0x0D}},
        {"command 1", [](uint8_t* b) { return Modbus::writeCommand(b, 1, 1); },
         {0x01, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x01, 0x67, 0x90}},
    };
    for (const Case& c : cases) {
        const Bytes frame = framed(c.build);
        EXPECT_EQ(frame, c.expected) << c.name;
        EXPECT_TRUE(Modbus::checkFrame(frame.data(), static_cast<int>(frame.size()))) << c.name;
        // Any single bit changed anywhere fails the check.
        for (size_t byte = 0; byte < frame.size(); ++byte)
            for (int bit = 0; bit < 8; ++bit) {
                Bytes bad = frame;
                bad[byte] ^= static_cast<uint8_t>(1 << bit);
                EXPECT_FALSE(Modbus::checkFrame(bad.data(), static_cast<int>(bad.size())))
                    << c.name << " byte " << byte << " bit " << bit;
            }
    }
}

TEST(Modbus, PageAndCommandTemplates) {
    uint8_t buf[Modbus::BufferSize] = {};
    EXPECT_EQ(Modbus::readInputRegisters(buf, 7, 14464, 61), 6);
    EXPECT_EQ(Bytes(buf, buf + 6), (Bytes{0x07, 0x04, 0x38, 0x80, 0x00, 0x3D}));
    EXPECT_EQ(Modbus::axleRead(buf, 1, 9), 6);
    EXPECT_EQ(Bytes(buf, buf + 6), (Bytes{0x01, 0x04, 0x03, 0x84, 0x00, 0x20}));
    EXPECT_EQ(Modbus::writeCommand(buf, 1, 39), 9);
    EXPECT_EQ(buf[7], 0x00);
    EXPECT_EQ(buf[8], 0x27);
}

TEST(Modbus, RefusedReplyPassesTheCheckAndIsRecognised) {
    uint8_t reply[5] = {0x01, 0x84, 0x02};
    Modbus::appendCrc(reply, 3);
    EXPECT_TRUE(Modbus::checkFrame(reply, 5));
    EXPECT_TRUE(Modbus::isRefused(reply));
    // A reply from another slave with a correct CRC passes as well: only the CRC counts.
    uint8_t other[7] = {0x09, 0x04, 0x02, 0x12, 0x34};
    Modbus::appendCrc(other, 5);
    EXPECT_TRUE(Modbus::checkFrame(other, 7));
    EXPECT_FALSE(Modbus::isRefused(other));
    EXPECT_EQ(Modbus::replyRegister(other, 0), 0x1234);
    EXPECT_FALSE(Modbus::checkFrame(other, 0));
}
