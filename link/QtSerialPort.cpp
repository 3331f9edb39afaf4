#include "QtSerialPort.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace {

bool isDeviceGone(QSerialPort::SerialPortError error) {
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
}

} // namespace

QtSerialPort::QtSerialPort(int bufferSize, QObject* parent) : QObject(parent), bufferSize_(bufferSize) {
    connect(&port_, &QSerialPort::readyRead, this,
            [this] { arrived(static_cast<int>(port_.bytesAvailable())); });
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() {
    port_.close();
}

QString QtSerialPort::deviceForNumber(quint16 number) {
    if (number == 0)
        return QString();
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

void QtSerialPort::setPort(quint16 number, const QString& deviceName) {
    number_ = number;
    name_ = deviceName;
}

void QtSerialPort::setBaud(qint32 baud) {
    baud_ = baud;
}

QString QtSerialPort::deviceName() const {
    if (!name_.isEmpty())
        return name_;
    if (!chosen_.isEmpty())
        return chosen_;
    return deviceForNumber(number_);
}

// Without it a USB serial adapter holds what it received until its latency timer runs out
// (16 ms by default), a good part of the poll cycle's turn. The driver may refuse (a
// pseudo-terminal has no such setting); the line then works as it is.
static void askForLowLatency(int fd) {
    serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY))
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
}

bool QtSerialPort::open() {
    if (port_.isOpen())
        return true;
    failure_ = PortOpenFailure();
    QString device = deviceName();
    if (device.isEmpty()) {
        // The chooser runs a modal dialog, in whose event loop a time-out may try to open
        // the port again: that attempt fails instead of stacking a second dialog.
        if (!chooser_ || choosing_)
            return false;
        choosing_ = true;
        device = chooser_();
        choosing_ = false;
        if (device.isEmpty())
            return false;
        chosen_ = device;
    }
    port_.setPortName(device);
    port_.setBaudRate(baud_);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setReadBufferSize(bufferSize_);
    if (!port_.open(QIODevice::ReadWrite)) {
        using Said = PortOpenFailure::Said;
        const Said said = port_.error() == QSerialPort::DeviceNotFoundError ? Said::NotFound
                          : port_.error() == QSerialPort::PermissionError    ? Said::NoPermission
                                                                              : Said::Other;
        failure_ = PortOpenFailure::diagnose(device, said, port_.errorString());
        return false;
    }
    askForLowLatency(static_cast<int>(port_.handle()));
    // Adapters and pseudo-terminals without modem lines refuse these; the line works anyway.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    port_.clearError();
    return true;
}

void QtSerialPort::close() {
    port_.close();
}

bool QtSerialPort::isOpen() const {
    return port_.isOpen();
}

int QtSerialPort::write(const uint8_t* data, int n) {
    if (!port_.isOpen())
        return -1;
    const qint64 taken = port_.write(reinterpret_cast<const char*>(data), n);
    // Out at once, not at the next turn of the event loop: the line's timing starts here.
    port_.flush();
    return static_cast<int>(taken);
}

int QtSerialPort::read(uint8_t* data, int n) {
    if (!port_.isOpen() || n <= 0)
        return 0;
    const qint64 got = port_.read(reinterpret_cast<char*>(data), n);
    return got < 0 ? 0 : static_cast<int>(got);
}

bool QtSerialPort::readByte(uint8_t& byte) {
    char c = 0;
    if (!port_.isOpen() || !port_.getChar(&c))
        return false;
    byte = static_cast<uint8_t>(c);
    return true;
}

void QtSerialPort::clearInput() {
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

void QtSerialPort::clearOutput() {
    if (port_.isOpen())
        port_.clear(QSerialPort::Output);
}

int QtSerialPort::bytesAvailable() const {
    return port_.isOpen() ? static_cast<int>(port_.bytesAvailable()) : 0;
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    // An unplugged adapter (or a pseudo-terminal whose other side went away) leaves a handle
    // that fails every read: close it, so that the link's time-out opens the device again
    // once it is back. Closed on the next turn of the event loop, outside the port's own
    // notification.
    if (!isDeviceGone(error))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (port_.isOpen() && isDeviceGone(port_.error()))
                port_.close();
        },
        Qt::QueuedConnection);
}

SerialPortFactory& serialPortFactory() {
    static SerialPortFactory factory = [](int bufferSize) {
        return std::make_unique<QtSerialPort>(bufferSize);
    };
    return factory;
}
