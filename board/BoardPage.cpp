#include "BoardPage.h"

#include "CommandPanel.h"
#include "DisplayState.h"
#include "Gauge.h"
#include "PaintBox.h"
#include "StandLink.h"
#include "Strips.h"

#include <QHBoxLayout>

BoardPanel::BoardPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("Panel2"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    pbLeft = new PaintBox(QStringLiteral("pbLeft"), this);
    pbRight = new PaintBox(QStringLiteral("pbRight"), this);
    Panel3 = new QWidget(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    pbAxle = new PaintBox(QStringLiteral("pbAxle"), Panel3);
    pbText = new PaintBox(QStringLiteral("pbText"), Panel3);
}

void BoardPanel::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    applyWidthRule();
}

void BoardPanel::applyWidthRule() {
    const QRect cr = contentsRect();
    const int gaugeHeight = qMax(0, cr.height() - StripHeight);
    // Each gauge gets half the client width, truncated; the right one fills the rest.
    const int leftWidth = cr.width() / 2;
    pbLeft->setGeometry(cr.x(), cr.y(), leftWidth, gaugeHeight);
    pbRight->setGeometry(cr.x() + leftWidth, cr.y(), cr.width() - leftWidth, gaugeHeight);
    Panel3->setGeometry(cr.x(), cr.y() + gaugeHeight, cr.width(), qMin(StripHeight, cr.height()));
    pbAxle->setGeometry(0, 0, AxleStripWidth, Panel3->height());
    pbText->setGeometry(AxleStripWidth, 0, qMax(0, cr.width() - AxleStripWidth), Panel3->height());
}

BoardPage::BoardPage(const StandLink& link, QWidget* parent) : QWidget(parent), link_(link) {
    setObjectName(QStringLiteral("TabSheet1"));
    Panel2 = new BoardPanel(this);
    pnButton = new CommandPanel(this);
    mmData = pnButton->mmData;
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel2, 1);
    layout->addWidget(pnButton);

    // The paint handlers: each draws its box from the display state alone and changes nothing.
    Panel2->pbLeft->setPainter(
        [this] { return DisplayState::leftGauge(link_, BlinkL, InvalidPhase, fShowFPS); }, DrawGauge);
    Panel2->pbRight->setPainter([this] { return DisplayState::rightGauge(link_, BlinkR, InvalidPhase); },
                                DrawGauge);
    Panel2->pbAxle->setPainter([this] { return DisplayState::axleNumber(link_); }, DrawAxleStrip);
    Panel2->pbText->setPainter([this] { return DisplayState::messageText(link_); }, DrawMessageStrip);

    tmBlink.setTimerType(Qt::PreciseTimer);
    tmBlink.setInterval(250);
    connect(&tmBlink, &QTimer::timeout, this, &BoardPage::tmBlinkTimer);
    tmBlink.start();
}

static void advanceGates(std::array<bool, 8>& gates, uint16_t indicatorWord) {
    // A gate whose flash bit is set toggles each tick; any other gate is held open.
    for (int k = 0; k < 8; ++k)
        gates[k] = (indicatorWord & (1u << (8 + k))) ? !gates[k] : true;
}

void BoardPage::tmBlinkTimer() {
    InvalidPhase = InvalidPhase + 1 > 3 ? 0 : InvalidPhase + 1;
    advanceGates(BlinkL, link_.HReg[6]);
    advanceGates(BlinkR, link_.HReg[7]);
    RepaintBoard();
}

void BoardPage::RepaintBoard() {
    Panel2->pbLeft->repaintNow();
    Panel2->pbRight->repaintNow();
    Panel2->pbAxle->repaintNow();
    Panel2->pbText->repaintNow();
}

void BoardPage::setCommandActions(const std::array<QAction*, 15>& actions) {
    pnButton->setCommandActions(actions);
}
