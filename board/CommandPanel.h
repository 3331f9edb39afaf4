#pragma once

#include <QFrame>

#include <array>

class QAction;
class QLabel;
class QPlainTextEdit;
class QToolButton;

// The operator's command buttons beside the board: three columns of five picture buttons,
// column headings over the last row, and the protocol writer's hidden text buffer.
class CommandPanel : public QFrame {
    Q_OBJECT
public:
    explicit CommandPanel(QWidget* parent = nullptr);

    // The window's command actions, in the order of the command table; a click on a button
    // triggers its action. The actions are not added to the buttons, so no shortcut of theirs
    // is registered here: the window routes its keys itself.
    void setCommandActions(const std::array<QAction*, 15>& actions);

    static constexpr int Width = 234;
    static constexpr int ButtonSize = 70;
    static constexpr std::array<int, 3> ColumnX{8, 80, 152};
    static constexpr std::array<int, 5> RowY{8, 80, 152, 224, 331};

    std::array<QToolButton*, 15> buttons{}; // in the order of the command table
    std::array<QLabel*, 4> headings{};      // "ОСЬ", "ГОС", "НОМЕР", "ИНД"
    // Never shown: the protocol writer collects the lines of the last protocol here.
    QPlainTextEdit* mmData;

private:
    std::array<QAction*, 15> actions_{};
};
