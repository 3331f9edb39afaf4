#include "CommandPanel.h"

#include "CommandPictures.h"
#include "Commands.h"

#include <QAction>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QToolButton>

CommandPanel::CommandPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("pnButton"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setFixedWidth(Width);

    for (size_t i = 0; i < Commands.size(); ++i) {
        const CommandDef& c = Commands[i];
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(c.button));
        b->setGeometry(ColumnX[c.column - 1], RowY[c.row - 1], ButtonSize, ButtonSize);
        b->setIconSize(QSize(64, 64));
        b->setIcon(QPixmap::fromImage(CommandPicture(c)));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        // Keys belong to the window; a focused button would only draw a focus frame.
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, [this, i] {
            if (actions_[i])
                actions_[i]->trigger();
        });
        buttons[i] = b;
    }

    QFont bold(QStringLiteral("MS Sans Serif"));
    bold.setPixelSize(12);
    bold.setBold(true);
    const struct {
        const char16_t* text;
        int x, y;
    } labels[] = {{u"ОСЬ", 30, 309}, {u"ГОС", 103, 298}, {u"НОМЕР", 95, 314}, {u"ИНД", 174, 309}};
    for (size_t i = 0; i < headings.size(); ++i) {
        auto* l = new QLabel(QString::fromUtf16(labels[i].text), this);
        l->setFont(bold);
        l->setContentsMargins(0, 0, 0, 0);
        l->adjustSize();
        l->move(labels[i].x, labels[i].y);
        headings[i] = l;
    }

    mmData = new QPlainTextEdit(this);
    mmData->setObjectName(QStringLiteral("mmData"));
    mmData->setGeometry(9, 408, 129, 89);
    QFont courier(QStringLiteral("Courier New"));
    courier.setPixelSize(12);
    mmData->setFont(courier);
    mmData->hide();
}

void CommandPanel::setCommandActions(const std::array<QAction*, 15>& actions) {
    actions_ = actions;
}
