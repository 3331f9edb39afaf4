#pragma once

#include "CommandPanel.h"

#include <QFrame>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>

class PaintBox;
class QAction;
class QPlainTextEdit;
class StandLink;

// The board panel: two gauges side by side above the strip row of axle and message strips.
class BoardPanel : public QFrame {
    Q_OBJECT
public:
    explicit BoardPanel(QWidget* parent = nullptr);

    PaintBox* pbLeft;
    PaintBox* pbRight;
    QWidget* Panel3;
    PaintBox* pbAxle;
    PaintBox* pbText;

    static constexpr int StripHeight = 97;
    static constexpr int AxleStripWidth = 257;

protected:
    void resizeEvent(QResizeEvent*) override;

private:
    void applyWidthRule();
};

// The board page: the board panel and, on the right, the operator's command buttons.
class BoardPage : public QWidget {
    Q_OBJECT
public:
    explicit BoardPage(const StandLink& link, QWidget* parent = nullptr);

    // Repaints the four paint boxes at once, in order.
    void RepaintBoard();

    // The blink tick: advances the no-value animation and the blink gates, then repaints.
    void tmBlinkTimer();

    // The window's command actions, one per button of the command panel.
    void setCommandActions(const std::array<QAction*, 15>& actions);

    CommandPanel* pnButton;
    // Never shown: the protocol writer collects the lines of the last protocol here.
    QPlainTextEdit* mmData;
    BoardPanel* Panel2;
    QTimer tmBlink;

    bool fShowFPS = false;
    std::array<bool, 8> BlinkL{};
    std::array<bool, 8> BlinkR{};
    uint16_t InvalidPhase = 0;

    static constexpr int ButtonPanelWidth = CommandPanel::Width;

private:
    const StandLink& link_;
};
