#include "PrintForm.h"

#include "Panel.h"
#include "Rounding.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// The window is laid out at 96 pixels per inch whatever the screen's own resolution.
constexpr double WindowPixelsPerInch = 96.0;
constexpr int Margin = 100;

// Device coordinates are kept to 16 bits, as the print layout has always held them.
uint16_t scaled(int v, double scale) {
    return static_cast<uint16_t>(rnd(v * scale));
}

// The label's font on paper: the same size times fit. A font given in pixels is given in
// device pixels here (the painter works in device pixels; a scaled painter would size text
// wrongly); scale is the vertical scale with the fit already applied.
QFont paperFont(QFont f, double scale, double fit) {
    if (f.pixelSize() > 0)
        f.setPixelSize(std::max(1, rnd(f.pixelSize() * scale)));
    else if (fit < 1.0 && f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * fit);
    return f;
}

// A label that lands on paper, with the panel it is placed by.
struct Placed {
    QLabel* label;
    Panel* panel;
};

// Where a label's text starts on the device, 16-bit as the print layout holds it.
QPoint origin(const Placed& p, double scaleX, double scaleY) {
    const uint16_t y = static_cast<uint16_t>(scaled(p.label->y(), scaleY) + scaled(p.panel->y(), scaleY));
    const uint16_t x = static_cast<uint16_t>(scaled(p.label->x(), scaleX) + scaled(p.panel->x(), scaleX));
    return {x + Margin, y + Margin};
}

// The right and bottom edges of all the texts drawn at these scales.
QPointF extent(const std::vector<Placed>& labels, double scaleX, double scaleY, double fit,
               QPaintDevice& device) {
    const double sx = scaleX * fit;
    const double sy = scaleY * fit;
    QPointF far(0, 0);
    for (const Placed& p : labels) {
        const QFontMetricsF fm(paperFont(p.label->font(), sy, fit), &device);
        // Unwrapped: content beyond 16 bits is content that does not fit.
        const double x = Margin + rnd(p.label->x() * sx) + rnd(p.panel->x() * sx);
        const double y = Margin + rnd(p.label->y() * sy) + rnd(p.panel->y() * sy);
        far.setX(std::max(far.x(), x + fm.horizontalAdvance(p.label->text())));
        far.setY(std::max(far.y(), y + fm.height()));
    }
    return far;
}

// 1 when the texts lie inside the printable area with the margin kept on every side;
// otherwise the uniform factor that makes them fit. Font sizes are whole pixels, so the
// factor is checked against the drawing it gives and narrowed until that fits.
double fitFactor(const std::vector<Placed>& labels, double scaleX, double scaleY, QPaintDevice& device) {
    const double roomX = device.width() - 2.0 * Margin;
    const double roomY = device.height() - 2.0 * Margin;
    double fit = 1.0;
    for (int i = 0; i < 8; ++i) {
        const QPointF far = extent(labels, scaleX, scaleY, fit, device) - QPointF(Margin, Margin);
        if (far.x() <= roomX && far.y() <= roomY)
            return fit;
        fit *= std::min(far.x() > roomX ? roomX / far.x() : 1.0, far.y() > roomY ? roomY / far.y() : 1.0);
        fit *= 0.999;
    }
    return fit;
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
    std::vector<Placed> drawn;
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
        auto* panel = qobject_cast<Panel*>(label->parentWidget());
        if (!panel || panel->isHidden())
            continue;
        drawn.push_back({label, panel});
    }

    // A protocol taller than the paper (nine axles with their parking brakes) would lose its
    // totals off the bottom: the whole drawing shrinks to fit instead, still on one page.
    const double fit = fitFactor(drawn, scaleX, scaleY, device);
    for (const Placed& p : drawn) {
        const QPoint at = origin(p, scaleX * fit, scaleY * fit);
        painter.setFont(paperFont(p.label->font(), scaleY * fit, fit));
        painter.drawText(QRect(at, QSize(1, 1)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, p.label->text());
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

ProtocolPage protocolPage() {
    ProtocolPage page;
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        page.layout = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                                  QPageLayout::Point);
        return page;
    }
    const QPrinter printer(info, QPrinter::HighResolution);
    page.layout = printer.pageLayout();
    page.resolution = printer.resolution();
    return page;
}
