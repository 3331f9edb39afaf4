#pragma once

#include "Gauge.h"

#include <QString>

#include <array>
#include <cstdint>

class StandLink;

// Reads the board's inputs from the link's live fields and the board's own blink gates and
// phase. The paint handlers draw from nothing else.
namespace DisplayState {

// A raw readout word: 0x8000 is the no-value mark (and reads +32768), any word above it a
// negative 16-bit value.
struct Readout {
    int value;
    bool noValue;
};
Readout readout(uint16_t raw);

GaugeInput leftGauge(const StandLink& link, const std::array<bool, 8>& BlinkL, uint16_t InvalidPhase,
                     bool fShowFPS);
// The right gauge never carries the diagnostics.
GaugeInput rightGauge(const StandLink& link, const std::array<bool, 8>& BlinkR, uint16_t InvalidPhase);
uint16_t axleNumber(const StandLink& link);
// The controller's message while it answers, the link-down text otherwise.
QString messageText(const StandLink& link);
OverlayInput overlay(const StandLink& link);

} // namespace DisplayState
