#include "PaintBox.h"

#include <QEvent>
#include <QPainter>
#include <QtMath>

PaintBox::PaintBox(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    // Each paint covers the whole box, so the parent is never erased under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

QImage PaintBox::render() const {
    const qreal dpr = devicePixelRatio();
    QImage img(qMax(1, qCeil(width() * dpr)), qMax(1, qCeil(height() * dpr)), QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    if (painter_ && width() > 0 && height() > 0)
        painter_(img);
    else
        img.fill(Qt::black);
    return img;
}

void PaintBox::repaintNow() {
    ownRepaint_ = true;
    repaint();
    ownRepaint_ = false;
}

void PaintBox::paintEvent(QPaintEvent*) {
    const QImage img = render();
    // Any other paint (an expose, a box shown again) may find the window's pixels lost.
    if (ownRepaint_ && img.cacheKey() == shownKey_)
        return;
    QPainter p(this);
    p.drawImage(0, 0, img);
    shownKey_ = img.cacheKey();
}

bool PaintBox::event(QEvent* e) {
    // Hidden, moved or resized, the box's place in the window may be painted by something else.
    switch (e->type()) {
    case QEvent::Hide:
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
        shownKey_ = 0;
        break;
    default:
        break;
    }
    return QWidget::event(e);
}
