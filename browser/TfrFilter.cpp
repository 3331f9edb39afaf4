#include "TfrFilter.h"

#include "BrowserFonts.h"

#include <QDateEdit>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TfrFilter::TfrFilter(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frFilter"));
    setWindowTitle(QStringLiteral("Период времени"));
    setModal(true);
    setFixedSize(249, 130);
    const QFont f = BrowserFonts::pixels(11);
    setFont(f);

    frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setGeometry(8, 8, 233, 81);

    QFont bold = f;
    bold.setBold(true);
    lbBegin = new QLabel(QStringLiteral("Начало периода"), frame);
    lbBegin->setFont(bold);
    lbBegin->setGeometry(10, 14, 110, 21);
    lbEnd = new QLabel(QStringLiteral("Конец периода"), frame);
    lbEnd->setFont(bold);
    lbEnd->setGeometry(10, 46, 110, 21);

    auto dateField = [this](const char* name, int y) {
        auto* e = new QDateEdit(frame);
        e->setObjectName(QString::fromLatin1(name));
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        e->setGeometry(122, y, 101, 21);
        return e;
    };
    edDTBegin = dateField("edDTBegin", 14);
    edDTEnd = dateField("edDTEnd", 46);
    lbBegin->setBuddy(edDTBegin);
    lbEnd->setBuddy(edDTEnd);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(40, 97, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(134, 97, 75, 25);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrFilter::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrFilter::BitBtn2Click);
}

void TfrFilter::FormShow() {
    fOk = false;
}

void TfrFilter::BitBtn1Click() {
    fOk = true;
    accept();
}

void TfrFilter::BitBtn2Click() {
    reject();
}

void TfrFilter::showEvent(QShowEvent* e) {
    FormShow();
    // Centred on the screen, not on the window behind it.
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    edDTBegin->setFocus();
    QDialog::showEvent(e);
}
