#pragma once

#include <QString>

#include <cstdint>

class QPainter;

// What the link diagnostics block shows: the link's statistics and status words.
struct OverlayInput {
    uint16_t FPS = 0;
    uint16_t BadPacket = 0;
    int32_t Status = 0;
    uint16_t Sensor = 0;
    uint16_t CycleLeft = 0;
    uint16_t CycleRight = 0;

    bool operator==(const OverlayInput&) const = default;
};

// The low 8 bits of a word, most significant first, in two groups of four: 0x00A5 gives
// "1010  0101".
QString BitsToText(uint16_t word);

// The seven lines of link diagnostics in the top-left corner of a picture.
void DrawOverlay(QPainter& p, const OverlayInput& in);
