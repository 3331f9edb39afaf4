#pragma once

#include "Dialogs.h"

// The station's dialogs as the operator sees them: Qt message boxes and modal dialogs.
class QtDialogs final : public Dialogs {
public:
    int message(QWidget* parent, const Message& m) override;
    int exec(QDialog& dialog) override;
};
