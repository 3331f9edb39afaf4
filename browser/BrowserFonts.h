#pragma once

#include <QFont>

// The browser's one face, "MS Sans Serif". Where the system lacks it, the Arial-metric
// Liberation Sans stands in rather than whatever the font configuration picks (often a much
// wider face), so that texts keep to the widths the page and the protocol were laid out for.
namespace BrowserFonts {

// A character height of px pixels.
QFont pixels(int px, bool bold = false);
// A cell height (ascent plus descent) of h pixels, as near as the face allows without
// exceeding it.
QFont cellHeight(int h, bool bold = false);

} // namespace BrowserFonts
