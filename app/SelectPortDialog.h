#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;

// Asks the operator for the controller's port when the settings name none (port number 0).
class SelectPortDialog : public QDialog {
    Q_OBJECT
public:
    explicit SelectPortDialog(QWidget* parent = nullptr);

    // The device of the chosen entry (empty when the list is empty).
    QString chosenPort() const;

    QComboBox* cbPorts;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
