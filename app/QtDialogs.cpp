#include "QtDialogs.h"

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

int QtDialogs::message(QWidget* parent, const Message& m) {
    QMessageBox box(parent);
    switch (m.icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    box.setWindowTitle(m.title);
    box.setText(m.text);
    if (!m.detail.isEmpty())
        box.setDetailedText(m.detail);
    if (m.taskModal)
        box.setWindowModality(Qt::ApplicationModal);
    struct Map {
        int ours;
        QMessageBox::StandardButton qt;
    };
    static constexpr Map map[] = {{Ok, QMessageBox::Ok},
                                  {Cancel, QMessageBox::Cancel},
                                  {Yes, QMessageBox::Yes},
                                  {No, QMessageBox::No}};
    QMessageBox::StandardButtons buttons;
    for (const Map& b : map)
        if (m.buttons & b.ours)
            buttons |= b.qt;
    box.setStandardButtons(buttons);
    for (const Map& b : map)
        if (m.defaultButton == b.ours)
            box.setDefaultButton(b.qt);
    const int pressed = box.exec();
    for (const Map& b : map)
        if (pressed == b.qt)
            return b.ours;
    // Closed without a button: the escape button's answer.
    return (m.buttons & Cancel) ? Cancel : (m.buttons & No) ? No : Ok;
}

int QtDialogs::exec(QDialog& dialog) { return dialog.exec(); }
