#pragma once

#include <QPixmap>

// The 16 x 16 pictures of the database page's buttons.
namespace BrowserPictures {

QPixmap period(); // a calendar sheet
QPixmap find();   // a magnifying glass
QPixmap remove(); // a red cross over a sheet
QPixmap print();  // a printer with a sheet

} // namespace BrowserPictures
