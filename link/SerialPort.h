#pragma once

#include "PortOpenFailure.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// What the link needs of a serial port. The controller port and the remote's port are both
// used through this, so the poll cycle runs the same on a real line, a pseudo-terminal and
// the fake of the unit tests.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Port number N is the platform's N-th serial port; a device name, when not empty, wins
    // over the number. Applied at the next open.
    virtual void setPort(quint16 number, const QString& deviceName) = 0;
    virtual void setBaud(qint32 baud) = 0;

    // Opening can fail; the port is then closed, and openFailure says why when the port knows.
    virtual bool open() = 0;
    virtual PortOpenFailure openFailure() const { return {}; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Returns the number of bytes taken (or -1 on an error).
    virtual int write(const uint8_t* data, int n) = 0;
    // Reads up to n bytes that are waiting; returns how many were read.
    virtual int read(uint8_t* data, int n) = 0;
    // False when no byte is waiting.
    virtual bool readByte(uint8_t& byte) = 0;
    virtual void clearInput() = 0;
    virtual void clearOutput() = 0;
    virtual int bytesAvailable() const = 0;

    // Asked while opening when neither the device name nor the port number names a device:
    // returns the device the operator chose, or an empty text for a cancel. Ports that
    // cannot ask ignore it.
    virtual void setChooser(std::function<QString()>) {}

    // Data-available event: called on the thread of the event loop, one arrival at a time,
    // with the number of bytes waiting.
    void setArrivalHandler(std::function<void(int)> handler) { arrival_ = std::move(handler); }

protected:
    void arrived(int bytesWaiting) {
        if (arrival_)
            arrival_(bytesWaiting);
    }

private:
    std::function<void(int)> arrival_;
};

// Makes the station's ports (a system serial port by default). Tests put ports of their own
// here, so that no test opens a serial device of the machine it runs on.
using SerialPortFactory = std::function<std::unique_ptr<SerialPort>(int bufferSize)>;
SerialPortFactory& serialPortFactory();
