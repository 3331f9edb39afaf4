#include "DisplayState.h"

#include "StandLink.h"

namespace DisplayState {

Readout readout(uint16_t raw) {
    return {raw <= 0x8000 ? int(raw) : int(raw) - 65536, raw == 0x8000};
}

static GaugeInput gauge(const StandLink& link, int side, const std::array<bool, 8>& gates, uint16_t phase) {
    GaugeInput in;
    in.blink = gates;
    in.level = side == 0 ? link.LeftV : link.RightV;
    const Readout r = readout(link.HReg[4 + side]);
    in.value = r.value;
    in.noValue = r.noValue;
    const uint16_t word = link.HReg[6 + side];
    for (int k = 0; k < 7; ++k)
        in.indicators[k] = word & (1u << k);
    in.decimals = link.HReg[8];
    in.invalidPhase = phase;
    return in;
}

GaugeInput leftGauge(const StandLink& link, const std::array<bool, 8>& BlinkL, uint16_t InvalidPhase,
                     bool fShowFPS) {
    GaugeInput in = gauge(link, 0, BlinkL, InvalidPhase);
    in.sideCaption = QStringLiteral("ЛЕВОЕ");
    in.lampCaptions = {QStringLiteral("РАБОЧАЯ"), QStringLiteral("СТОЯНОЧНАЯ"), QStringLiteral("ЗАПАСНАЯ")};
    in.overlay = fShowFPS;
    // Figures the picture does not show must not tell two pictures apart.
    if (fShowFPS)
        in.stats = overlay(link);
    return in;
}

GaugeInput rightGauge(const StandLink& link, const std::array<bool, 8>& BlinkR, uint16_t InvalidPhase) {
    GaugeInput in = gauge(link, 1, BlinkR, InvalidPhase);
    in.sideCaption = QStringLiteral("ПРАВОЕ");
    in.lampCaptions = {QStringLiteral("ЛЕГКОВОЙ"), QStringLiteral("ГРУЗОВОЙ"), QStringLiteral("АВАРИЯ")};
    in.overlay = false;
    return in;
}

uint16_t axleNumber(const StandLink& link) {
    return link.HReg[9];
}

QString messageText(const StandLink& link) {
    return link.fConnect ? link.TextSt : QStringLiteral("НЕТ СВЯЗИ");
}

OverlayInput overlay(const StandLink& link) {
    OverlayInput o;
    o.FPS = link.FPS;
    o.BadPacket = link.BadPacket;
    o.Status = link.Status;
    o.Sensor = link.Sensor;
    o.CycleLeft = link.CycleLeft;
    o.CycleRight = link.CycleRight;
    return o;
}

} // namespace DisplayState
