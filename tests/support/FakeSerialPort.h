#pragma once

#include "SerialPort.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <functional>

// A serial port in memory: records what is written and delivers arrivals on demand.
class FakeSerialPort final : public SerialPort {
public:
    bool openSucceeds = true;
    bool opened = false;
    int openCalls = 0;
    int inputClears = 0;
    int outputClears = 0;
    quint16 number = 0;
    QString name;
    qint32 baud = 0;
    QList<QByteArray> written;
    QByteArray input;
    // Runs inside open() (a dialog asking for the port runs an event loop there).
    std::function<void()> whileOpening;

    void setPort(quint16 n, const QString& deviceName) override {
        number = n;
        name = deviceName;
    }
    void setBaud(qint32 b) override { baud = b; }
    bool open() override {
        ++openCalls;
        if (whileOpening)
            whileOpening();
        opened = openSucceeds;
        return opened;
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    int write(const uint8_t* data, int n) override {
        written.append(QByteArray(reinterpret_cast<const char*>(data), n));
        return n;
    }
    int read(uint8_t* data, int n) override {
        const int k = std::min<int>(n, input.size());
        std::copy_n(input.constData(), k, data);
        input.remove(0, k);
        return k;
    }
    bool readByte(uint8_t& byte) override {
        if (input.isEmpty())
            return false;
        byte = static_cast<uint8_t>(input[0]);
        input.remove(0, 1);
        return true;
    }
    void clearInput() override {
        ++inputClears;
        input.clear();
    }
    void clearOutput() override { ++outputClears; }
    int bytesAvailable() const override { return static_cast<int>(input.size()); }

    // Bytes arrive: the data-available event comes with everything waiting.
    void deliver(const QByteArray& bytes) {
        input += bytes;
        arrived(static_cast<int>(input.size()));
    }
    QByteArray last() const { return written.isEmpty() ? QByteArray() : written.last(); }
};
