#pragma once

#include "QtSerialPort.h"
#include "SerialPort.h"

#include <memory>

// While it lives, the station opens real serial devices (the pseudo-terminals of the
// simulated stand) instead of the tests' fake ports. Declare it before the window it serves,
// so that the window is gone before the fake ports come back, on every way out of a test.
class RealSerialPorts {
public:
    RealSerialPorts() : saved_(serialPortFactory()) {
        serialPortFactory() = [](int size) { return std::make_unique<QtSerialPort>(size); };
    }
    ~RealSerialPorts() { serialPortFactory() = saved_; }
    RealSerialPorts(const RealSerialPorts&) = delete;
    RealSerialPorts& operator=(const RealSerialPorts&) = delete;

private:
    SerialPortFactory saved_;
};
