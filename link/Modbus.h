#pragma once

#include <cstdint>

// Modbus RTU framing of the controller line: the CRC and the request templates.
namespace Modbus {

constexpr int BufferSize = 256;

uint16_t crc16Update(uint16_t crc, uint8_t byte);
// True when the CRC over all len bytes, its own two bytes included, comes out 0.
bool checkFrame(const uint8_t* buf, int len);
// CRC over bytes 0..n-1, written low byte at n, high byte at n + 1.
void appendCrc(uint8_t* buf, int n);

// Request templates. Each writes the request without its CRC from byte 0 of out and
// returns its length (the caller's OutCount).
int readInputRegisters(uint8_t* out, uint8_t slave, uint16_t start, uint16_t count);
int writeCommand(uint8_t* out, uint8_t slave, uint8_t code);

inline int routineRead(uint8_t* out, uint8_t slave) { return readInputRegisters(out, slave, 1200, 20); }
inline int statusRead(uint8_t* out, uint8_t slave) { return readInputRegisters(out, slave, 1314, 3); }
inline int headerRead(uint8_t* out, uint8_t slave) { return readInputRegisters(out, slave, 1000, 25); }
// Axle a (1..9): 32 registers from a x 100.
inline int axleRead(uint8_t* out, uint8_t slave, uint16_t axle) {
    return readInputRegisters(out, slave, static_cast<uint16_t>(axle * 100), 32);
}

constexpr uint8_t ReadInputRegisters = 0x04;
constexpr uint8_t WriteMultipleRegisters = 0x10;

// A reply is refused when bit 7 of its function code (byte 1) is set.
inline bool isRefused(const uint8_t* reply) { return (reply[1] & 0x80) != 0; }
// Register k of a read reply: bytes 3 + 2k (high) and 4 + 2k (low).
inline uint16_t replyRegister(const uint8_t* reply, int k) {
    return static_cast<uint16_t>((reply[3 + 2 * k] << 8) | reply[4 + 2 * k]);
}

} // namespace Modbus
