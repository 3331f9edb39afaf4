#pragma once

#include "SerialPort.h"

#include <QObject>
#include <QSerialPort>

#include <functional>

// A serial port of the system through Qt SerialPort: 8N1, no flow control, DTR and RTS on.
// Arrivals come as readyRead on the thread that owns the object (the GUI thread).
class QtSerialPort final : public QObject, public SerialPort {
    Q_OBJECT
public:
    // bufferSize: how much the port keeps waiting before it stops reading the device.
    explicit QtSerialPort(int bufferSize, QObject* parent = nullptr);
    ~QtSerialPort() override;

    // Port N is /dev/ttyS{N-1}; 0 has no device.
    static QString deviceForNumber(quint16 number);

    // Asked while opening when neither a device name nor a port number gives a device;
    // returns the device the operator chose, or an empty text for a cancel. The choice stays
    // the port's device from then on.
    void setChooser(std::function<QString()> chooser) override { chooser_ = std::move(chooser); }

    void setPort(quint16 number, const QString& deviceName) override;
    void setBaud(qint32 baud) override;
    // Asks the driver for its low-latency mode, so that a USB adapter hands on a reply at
    // once instead of at its latency timer; a device without it (a pseudo-terminal) is used
    // as it is.
    bool open() override;
    PortOpenFailure openFailure() const override { return failure_; }
    void close() override;
    bool isOpen() const override;
    int write(const uint8_t* data, int n) override;
    int read(uint8_t* data, int n) override;
    bool readByte(uint8_t& byte) override;
    void clearInput() override;
    void clearOutput() override;
    int bytesAvailable() const override;

    // The device the next open uses (empty when the operator would be asked).
    QString deviceName() const;
    int bufferSize() const { return bufferSize_; }
    const QSerialPort& port() const { return port_; }

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    const int bufferSize_;
    quint16 number_ = 0;
    QString name_;
    QString chosen_;
    qint32 baud_ = 9600;
    std::function<QString()> chooser_;
    bool choosing_ = false;
    PortOpenFailure failure_;
};
