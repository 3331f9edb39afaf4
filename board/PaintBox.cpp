#include "PaintBox.h"

#include <QPainter>

PaintBox::PaintBox(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    // Each paint covers the whole box, so the parent is never erased under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

QImage PaintBox::render() const {
    QImage img(qMax(1, width()), qMax(1, height()), QImage::Format_RGB32);
    if (painter_ && width() > 0 && height() > 0)
        painter_(img);
    else
        img.fill(Qt::black);
    return img;
}

void PaintBox::paintEvent(QPaintEvent*) {
    const QImage img = render();
    QPainter p(this);
    p.drawImage(0, 0, img);
}
