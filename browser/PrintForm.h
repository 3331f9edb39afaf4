#pragma once

#include <QPageLayout>
#include <QString>

#include <memory>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

// Prints, on one page of `device`, the text of every label of `window` whose "tag" property
// holds every bit of `mask` (mask 0: every label), at its place on the screen scaled from the
// window's 96 pixels per inch to the device's resolution, 100 device pixels right of and below
// the printable area's corner. A label is placed by its own position plus that of its parent
// Panel (only the immediate parent), as if the view holding the panels were scrolled to the
// top; a label whose parent is no Panel, or whose panel is hidden, is counted but not drawn.
// When the texts would reach past the printable area (less the same margin on the far sides),
// the whole drawing, positions and font sizes, is scaled down uniformly until it fits: still
// one page, the texts in the same places relative to each other.
// Returns the number of labels counted, or -1 with *error set when the page could not be
// started (nothing is printed then).
int PrintForm(QWidget& window, int mask, QPagedPaintDevice& device, QString* error = nullptr);

// The printer protocols go to: the system's default printer, or null with *error set when the
// system has none (a default QPrinter would quietly become a PDF writer without a file).
std::unique_ptr<QPrinter> defaultProtocolPrinter(QString* error);

// The page a protocol is drawn on when it goes into a file: the default printer's (paper,
// margins, resolution), so that the file holds the page the printer gets; without a default
// printer, A4 with the PDF writer's margins at 600 dots per inch.
struct ProtocolPage {
    QPageLayout layout;
    int resolution = 600;
};
ProtocolPage protocolPage();
