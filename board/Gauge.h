#pragma once

#include "Overlay.h"

#include <QImage>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>

// Everything one gauge shows, read from the display state by its paint handler.
struct GaugeInput {
    QString sideCaption;
    std::array<QString, 3> lampCaptions;
    std::array<bool, 8> blink{};      // blink gates; 0..6 are used
    uint16_t level = 0;               // last lit ring dot
    bool noValue = false;             // the raw readout word was 0x8000
    std::array<bool, 7> indicators{}; // bits 0..6 of the indicator word
    int value = 0;                    // readout value
    uint16_t decimals = 0;            // digits after the decimal point
    uint16_t invalidPhase = 0;        // step of the no-value animation
    bool overlay = false;             // draw the link diagnostics on top
    OverlayInput stats;

    bool operator==(const GaugeInput&) const = default;
};

// Where the gauge's elements stand in a box of W x H pixels.
struct GaugeGeometry {
    int W = 0, H = 0, S = 0;
    int R1 = 0, R2 = 0;
    int cx = 0, cy = 0;
    int fh = 0; // caption unit
    int readoutHeight = 0;
    int sideCaptionPoints = 0;

    explicit GaugeGeometry(int width, int height);

    // Boxes this small leave the formulas without a caption, ring or readout size.
    bool drawable() const { return R1 > 0 && fh > 0 && readoutHeight > 0; }
    // Centre of ring dot i (0 straight below the centre, clockwise on screen) on ring radius R.
    QPoint dot(int i, int R) const;
    QRect brakeForceLamp() const;
    QPoint brakeForceCaption() const;
    QRect ovalityLamp() const;
    QPoint ovalityCaption() const;
    int ovalityCaptionHeight() const;
    QPolygon upTriangle() const;
    QPolygon downTriangle() const;
    int bottomRowY() const { return H - 3 * fh - 10; } // yb
    double columnOffset(int j) const;
    QRect bottomLamp(int j) const;
};

// The readout's text: the value with its decimal point, or the range and no-value patterns.
QString ReadoutText(int value, uint16_t decimals, bool noValue, uint16_t invalidPhase);

// Draws a whole gauge into img (the paint box's picture, of the box's size in its own pixels,
// whatever the image's device pixel ratio).
void DrawGauge(QImage& img, const GaugeInput& in);
