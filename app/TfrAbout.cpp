#include "TfrAbout.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

TfrAbout::TfrAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(336, 182);

    frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Panel1"));
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setGeometry(8, 8, 321, 169);

    image = new QLabel(frame);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(11, 16, 300, 73);
    image->setPixmap(drawLogo());

    QFont bold15;
    bold15.setFamily(QStringLiteral("MS Sans Serif"));
    bold15.setPixelSize(15);
    bold15.setBold(true);
    lbTitle = new QLabel(QStringLiteral("Mirvane 3.5.1"), frame);
    lbTitle->setObjectName(QStringLiteral("Label1"));
    lbTitle->setFont(bold15);
    lbTitle->move(83, 98);
    lbTitle->adjustSize();
    lbSubtitle = new QLabel(QStringLiteral("Пост проверки тормозных систем"), frame);
    lbSubtitle->setObjectName(QStringLiteral("Label2"));
    lbSubtitle->setFont(bold15);
    lbSubtitle->move(12, 129);
    lbSubtitle->adjustSize();

    for (QWidget* w : {static_cast<QWidget*>(frame), static_cast<QWidget*>(image),
                       static_cast<QWidget*>(lbTitle), static_cast<QWidget*>(lbSubtitle)}) {
        w->setCursor(Qt::PointingHandCursor);
        w->installEventFilter(this);
    }

    acAboutClose = new QAction(QStringLiteral("Close"), this);
    acAboutClose->setObjectName(QStringLiteral("acAboutClose"));
    acAboutClose->setShortcut(Qt::Key_Escape);
    connect(acAboutClose, &QAction::triggered, this, &TfrAbout::acAboutCloseExecute);
    addAction(acAboutClose);

    // A coarse timer may fire up to 5% early; the box stays its full three seconds.
    tmAutoClose.setTimerType(Qt::PreciseTimer);
    tmAutoClose.setInterval(3000);
    tmAutoClose.setSingleShot(true);
    connect(&tmAutoClose, &QTimer::timeout, this, &TfrAbout::tmAutoCloseTimer);
}

void TfrAbout::setVisible(bool visible) {
    if (visible && !isVisible()) {
        // A dialog would centre itself on its parent; this box belongs in the middle of the
        // screen. A position of our own also keeps the toolkit from placing it.
        const QScreen* s = parentWidget() ? parentWidget()->screen() : screen();
        const QRect area = s->geometry();
        const QSize outer = frameGeometry().size();
        move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
    }
    QDialog::setVisible(visible);
}

void TfrAbout::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (fAutoClose)
        tmAutoClose.start();
}

void TfrAbout::tmAutoCloseTimer() {
    tmAutoClose.stop();
    closingByTimer_ = true;
    done(QDialog::Accepted);
    closingByTimer_ = false;
}

void TfrAbout::acAboutCloseExecute() {
    if (!fAutoClose)
        done(QDialog::Accepted);
}

void TfrAbout::reject() { acAboutCloseExecute(); }

void TfrAbout::closeEvent(QCloseEvent* e) {
    // While the box closes itself it ignores the operator.
    if (fAutoClose && !closingByTimer_)
        e->ignore();
    else
        QDialog::closeEvent(e);
}

bool TfrAbout::eventFilter(QObject* obj, QEvent* e) {
    if (e->type() == QEvent::MouseButtonRelease) {
        acAboutCloseExecute();
        return true;
    }
    return QDialog::eventFilter(obj, e);
}

QPixmap TfrAbout::drawLogo() {
    QPixmap pm(300, 73);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Two rollers of the stand under a wheel.
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    QLinearGradient roller(0, 44, 0, 70);
    roller.setColorAt(0, QColor(0xC8, 0xC8, 0xC8));
    roller.setColorAt(1, QColor(0x60, 0x60, 0x60));
    p.setBrush(roller);
    p.drawEllipse(QRectF(4, 46, 24, 24));
    p.drawEllipse(QRectF(40, 46, 24, 24));
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawEllipse(QRectF(9, 5, 50, 50));
    p.setBrush(QColor(0xB0, 0xB0, 0xB0));
    p.drawEllipse(QRectF(22, 18, 24, 24));
    p.setPen(QPen(QColor(0xD0, 0x20, 0x20), 3));
    p.drawArc(QRectF(15, 11, 38, 38), 30 * 16, 120 * 16);
    // The name.
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(40);
    f.setBold(true);
    p.setFont(f);
    QPainterPath text;
    text.addText(76, 48, f, QStringLiteral("MIRVANE"));
    p.setPen(QPen(QColor(0x10, 0x10, 0x40), 1));
    p.setBrush(QColor(0x1E, 0x4A, 0x9A));
    p.drawPath(text);
    p.fillRect(QRect(76, 56, 212, 4), QColor(0xD0, 0x20, 0x20));
    return pm;
}
