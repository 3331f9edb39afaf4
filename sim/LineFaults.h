#pragma once

// What a faulty line does to a reply on its way to the station. The faults that keep the
// frame's CRC right (a wrong byte count, a foreign slave address) are made here, so that
// tests can tell what the simulator sends. The simulator frames on its own, apart from the
// station's code, so that the two check each other.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace StandSim {

enum class LineFault {
    Corrupt, // one bit flipped: the CRC no longer fits
    Cut,     // one to three bytes lost
    Split,   // delivered in pieces
    Count,   // a read answered with another number of registers, a write's count changed; CRC right
    Address, // the reply of another slave address; CRC right
};

// Each fault as --fault-kinds names it and as the simulator tells it was done.
struct FaultKind {
    LineFault fault;
    const char* option;
    const char* told;
};
inline constexpr FaultKind FaultKinds[] = {
    {LineFault::Corrupt, "corrupt", "corrupted"},
    {LineFault::Cut, "cut", "cut"},
    {LineFault::Split, "split", "split"},
    {LineFault::Count, "count", "count"},
    {LineFault::Address, "address", "address"},
};

inline const char* faultName(LineFault f) {
    for (const FaultKind& k : FaultKinds)
        if (k.fault == f)
            return k.told;
    return "?";
}

// "corrupt,cut,split,count,address" or a part of it; nothing on an unknown kind.
inline std::optional<std::vector<LineFault>> parseFaultKinds(const std::string& list) {
    std::vector<LineFault> kinds;
    size_t from = 0;
    while (from <= list.size()) {
        const size_t comma = std::min(list.find(',', from), list.size());
        const std::string name = list.substr(from, comma - from);
        const auto k = std::find_if(std::begin(FaultKinds), std::end(FaultKinds),
                                    [&](const FaultKind& kind) { return name == kind.option; });
        if (k == std::end(FaultKinds))
            return std::nullopt;
        kinds.push_back(k->fault);
        from = comma + 1;
    }
    return kinds;
}

// Modbus RTU CRC-16 (polynomial A001 reflected, start FFFF), low byte first on the line.
inline uint16_t crc16(const uint8_t* bytes, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

// Replaces the last two bytes of a frame with the CRC over the rest.
inline void recrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = crc16(frame.data(), frame.size() - 2);
    frame[frame.size() - 2] = uint8_t(crc & 0xFF);
    frame[frame.size() - 1] = uint8_t(crc >> 8);
}

// A read reply with another number of registers (fewer, down to none, or a few more, the
// extra ones 0xBEEF), or a write reply with another count; its CRC fits. False for a frame
// that has no count (a refusal), which is left as it was.
inline bool wrongByteCount(std::vector<uint8_t>& reply, uint32_t random) {
    if (reply.size() < 5 || (reply[1] & 0x80))
        return false;
    const uint8_t function = reply[1];
    if (function >= 1 && function <= 4) {
        const size_t registers = reply[2] / 2u;
        const bool more = ((random & 1) || registers == 0) && registers + 3 <= 127;
        const size_t other = more ? registers + 1 + (random >> 1) % 3 : (random >> 1) % registers;
        std::vector<uint8_t> data(reply.begin() + 3, reply.end() - 2);
        data.resize(other * 2);
        for (size_t r = registers; r < other; ++r) {
            data[2 * r] = 0xBE;
            data[2 * r + 1] = 0xEF;
        }
        std::vector<uint8_t> out{reply[0], function, uint8_t(other * 2)};
        out.insert(out.end(), data.begin(), data.end());
        out.resize(out.size() + 2);
        recrc(out);
        reply = std::move(out);
        return true;
    }
    if (reply.size() == 8) { // a write's reply: address, function, start, count
        reply[5] = uint8_t(reply[5] + 1 + random % 3);
        recrc(reply);
        return true;
    }
    return false;
}

// The same reply from another slave address (1..247, never its own); its CRC fits.
inline void foreignAddress(std::vector<uint8_t>& reply) {
    if (reply.size() < 3)
        return;
    reply[0] = uint8_t(reply[0] % 247 + 1);
    recrc(reply);
}

} // namespace StandSim
