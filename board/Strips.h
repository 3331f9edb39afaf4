#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

// The axle strip: "ОСЬ" and the number of the axle on the rollers.
void DrawAxleStrip(QImage& img, uint16_t axle);

// The message strip: the controller's message (or the link-down text) in red; nothing
// but black when the text is empty.
void DrawMessageStrip(QImage& img, const QString& text);
