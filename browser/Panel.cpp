#include "Panel.h"

Panel::Panel(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
}
