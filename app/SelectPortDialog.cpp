#include "SelectPortDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QVBoxLayout>

SelectPortDialog::SelectPortDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SelectPortDialog"));
    setWindowTitle(QStringLiteral("Select Port"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The configured serial port is not valid."), this));
    layout->addWidget(new QLabel(QStringLiteral("Please choose another port."), this));
    cbPorts = new QComboBox(this);
    cbPorts->setObjectName(QStringLiteral("cbPorts"));
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString text = info.description().isEmpty()
                                 ? info.portName()
                                 : QStringLiteral("%1 (%2)").arg(info.portName(), info.description());
        cbPorts->addItem(text, info.systemLocation());
    }
    layout->addWidget(cbPorts);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString SelectPortDialog::chosenPort() const {
    return cbPorts->currentData().toString();
}
