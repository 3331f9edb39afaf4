#include "FakeSerialPort.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Widgets need a window platform; tests never need a real screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // No test opens a serial device of the machine by accident; those that want a real port
    // make one.
    serialPortFactory() = [](int) { return std::make_unique<FakeSerialPort>(); };
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
