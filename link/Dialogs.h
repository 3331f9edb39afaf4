#pragma once

#include <QString>

class QDialog;
class QWidget;

// Every message box and modal dialog of the station goes through this interface, so that
// tests can record them instead of blocking, and so that the nested event loop a modal
// dialog runs is visible in one place.
class Dialogs {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum Button { Ok = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8 };

    struct Message {
        Icon icon = Icon::None;
        QString title;
        QString text;
        int buttons = Ok;
        int defaultButton = 0; // 0: the toolkit's choice
        bool taskModal = false; // blocks the whole application, not only the owner window
        QString detail{};       // shown on request below the text: why, for whoever mends it
    };

    virtual ~Dialogs() = default;

    // Shows a modal message box owned by parent (may be null) and returns the button pressed.
    virtual int message(QWidget* parent, const Message& m) = 0;
    // Runs a modal dialog and returns its result code (QDialog::Accepted / Rejected).
    virtual int exec(QDialog& dialog) = 0;
};
