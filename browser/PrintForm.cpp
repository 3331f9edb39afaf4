#include "PrintForm.h"

#include "Panel.h"
#include "Rounding.h"

#include <QLabel>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <cstdint>

namespace {

// The window is laid out at 96 pixels per inch whatever the screen's own resolution.
constexpr double WindowPixelsPerInch = 96.0;
constexpr int Margin = 100;

// Device coordinates are kept to 16 bits, as the print layout has always held them.
uint16_t scaled(int v, double scale) {
    return static_cast<uint16_t>(rnd(v * scale));
}

// The label's font at the same size on paper: a font given in pixels is given in device
// pixels here (the painter works in device pixels; a scaled painter would size text wrongly).
QFont paperFont(QFont f, double scale) {
    if (f.pixelSize() > 0)
        f.setPixelSize(std::max(1, rnd(f.pixelSize() * scale)));
    return f;
}

} // namespace

int PrintForm(QWidget& window, int mask, QPagedPaintDevice& device, QString* error) {
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error)
            *error = QStringLiteral("Не удалось начать печать на принтере.");
        return -1;
    }
    // Ends the page (and the job) however this routine is left.
    struct EndJob {
        QPainter& p;
        ~EndJob() {
            if (p.isActive())
                p.end();
        }
    } endJob{painter};

    painter.fillRect(QRect(0, 0, device.width(), device.height()), Qt::white);
    const double scaleX = device.logicalDpiX() / WindowPixelsPerInch;
    const double scaleY = device.logicalDpiY() / WindowPixelsPerInch;
    painter.setPen(Qt::black);

    int count = 0;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        // A component's own visibility counts, whatever its containers show.
        if (w->isHidden())
            continue;
        if (mask != 0 && (w->property("tag").toInt() & mask) != mask)
            continue;
        auto* label = qobject_cast<QLabel*>(w);
        if (!label)
            continue;
        ++count;
        uint16_t y = scaled(label->y(), scaleY);
        uint16_t x = scaled(label->x(), scaleX);
        auto* panel = qobject_cast<Panel*>(label->parentWidget());
        if (!panel)
            continue;
        y = static_cast<uint16_t>(y + scaled(panel->y(), scaleY));
        x = static_cast<uint16_t>(x + scaled(panel->x(), scaleX));
        if (panel->isHidden())
            continue;
        painter.setFont(paperFont(label->font(), scaleY));
        painter.drawText(QRect(x + Margin, y + Margin, 1, 1),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, label->text());
    }
    painter.end();
    return count;
}

std::unique_ptr<QPrinter> defaultProtocolPrinter(QString* error) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        if (error)
            *error = QStringLiteral("В системе не задан принтер по умолчанию. Протокол не напечатан.");
        return nullptr;
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}
