#include "Modbus.h"

namespace Modbus {

uint16_t crc16Update(uint16_t crc, uint8_t byte) {
    crc ^= byte;
    for (int i = 0; i < 8; ++i)
        crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    return crc;
}

static uint16_t crcOver(const uint8_t* buf, int len) {
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < len; ++i)
        crc = crc16Update(crc, buf[i]);
    return crc;
}

bool checkFrame(const uint8_t* buf, int len) {
    if (len <= 0)
        return false;
    return crcOver(buf, len) == 0;
}

void appendCrc(uint8_t* buf, int n) {
    const uint16_t crc = crcOver(buf, n);
    buf[n] = static_cast<uint8_t>(crc & 0xFF);
    buf[n + 1] = static_cast<uint8_t>(crc >> 8);
}

int readInputRegisters(uint8_t* out, uint8_t slave, uint16_t start, uint16_t count) {
    out[0] = slave;
    out[1] = ReadInputRegisters;
    out[2] = static_cast<uint8_t>(start >> 8);
    out[3] = static_cast<uint8_t>(start & 0xFF);
    out[4] = static_cast<uint8_t>(count >> 8);
    out[5] = static_cast<uint8_t>(count & 0xFF);
    return 6;
}

int writeCommand(uint8_t* out, uint8_t slave, uint8_t code) {
    out[0] = slave;
    out[1] = WriteMultipleRegisters;
    out[2] = 0x00;
    out[3] = 0x00; // holding register 0
    out[4] = 0x00;
    out[5] = 0x01; // one register
    out[6] = 0x02; // two data bytes
    out[7] = 0x00; // the code's high byte is always 0
    out[8] = code;
    return 9;
}

} // namespace Modbus
