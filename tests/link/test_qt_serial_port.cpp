#include "Pty.h"
#include "QtSerialPort.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

TEST(QtSerialPort, PortNumberMapsToTheSystemsSerialDevicesAndANameWins) {
    struct Case {
        quint16 number;
        const char* name;
        const char* device;
    };
    for (const Case& c : {Case{1, "", "/dev/ttyS0"}, Case{5, "", "/dev/ttyS4"}, Case{0, "", ""},
                          Case{3, "/dev/ttyUSB0", "/dev/ttyUSB0"}, Case{0, "/dev/pts/7", "/dev/pts/7"}}) {
        QtSerialPort port(4096);
        port.setPort(c.number, QString::fromLatin1(c.name));
        EXPECT_EQ(port.deviceName(), QString::fromLatin1(c.device)) << c.number << c.name;
    }
}

TEST(QtSerialPort, TalksOverAPseudoTerminal) {
    Pty pty;
    QtSerialPort port(4096);
    std::vector<int> arrivals;
    port.setArrivalHandler([&](int n) { arrivals.push_back(n); });
    port.setPort(1, pty.path());
    port.setBaud(115200);
    ASSERT_TRUE(port.open()) << pty.path().toStdString();
    EXPECT_EQ(port.port().baudRate(), 115200);
    EXPECT_EQ(port.port().dataBits(), QSerialPort::Data8);
    EXPECT_EQ(port.port().parity(), QSerialPort::NoParity);
    EXPECT_EQ(port.port().stopBits(), QSerialPort::OneStop);
    EXPECT_EQ(port.port().flowControl(), QSerialPort::NoFlowControl);
    EXPECT_EQ(port.port().readBufferSize(), 4096);

    const uint8_t request[] = {1, 4, 4, 0xB0, 0, 0x14, 0xF0, 0xD2};
    EXPECT_EQ(port.write(request, 8), 8);
    EXPECT_EQ(pty.read(), QByteArray(reinterpret_cast<const char*>(request), 8));

    pty.write("\x01\x02\x03\x04\x05");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !arrivals.empty(); }, 2000));
    EXPECT_EQ(arrivals.back(), 5);
    EXPECT_EQ(port.bytesAvailable(), 5);
    uint8_t b = 0;
    ASSERT_TRUE(port.readByte(b));
    EXPECT_EQ(b, 1);
    uint8_t buf[8] = {};
    EXPECT_EQ(port.read(buf, 2), 2);
    EXPECT_EQ(buf[1], 3);
    port.clearInput();
    EXPECT_EQ(port.bytesAvailable(), 0);
    EXPECT_FALSE(port.readByte(b));
}

TEST(QtSerialPort, PortZeroAsksTheOperatorAndKeepsTheChoice) {
    Pty pty;
    QtSerialPort port(4096);
    port.setPort(0, QString());
    EXPECT_FALSE(port.open()); // nobody to ask

    int asked = 0;
    QString answer;
    port.setChooser([&] {
        ++asked;
        return answer;
    });
    EXPECT_FALSE(port.open()); // cancelled
    EXPECT_EQ(asked, 1);
    answer = pty.path();
    EXPECT_TRUE(port.open());
    EXPECT_EQ(asked, 2);
    port.close();
    EXPECT_TRUE(port.open());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(port.deviceName(), pty.path());

    // A device that is not there fails without asking.
    QtSerialPort missing(4096);
    missing.setChooser([&] {
        ++asked;
        return pty.path();
    });
    missing.setPort(1, QStringLiteral("/dev/mirvane-no-such-port"));
    EXPECT_FALSE(missing.open());
    EXPECT_FALSE(missing.isOpen());
    EXPECT_EQ(asked, 2);
}

TEST(QtSerialPort, ClosesItselfWhenTheDeviceGoesAway) {
    Pty pty;
    QtSerialPort port(4096);
    port.setPort(0, pty.path());
    ASSERT_TRUE(port.open());
    pty.hangUp();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !port.isOpen(); }, 2000));
}

// A port that cannot be opened says why: a device that is not there, or one another program
// holds (here a port of this very process, which the serial lock file names).
TEST(QtSerialPort, AFailedOpenSaysWhyAndWhoHoldsTheDevice) {
    QtSerialPort missing(4096);
    missing.setPort(1, QStringLiteral("/dev/no-such-serial-port"));
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.openFailure().reason, PortOpenFailure::Reason::NoDevice);
    EXPECT_EQ(missing.openFailure().engineerText(), QStringLiteral("/dev/no-such-serial-port: no such device"));
    EXPECT_TRUE(missing.openFailure().operatorText().contains(QStringLiteral("/dev/no-such-serial-port не найдено")));

    Pty pty;
    QtSerialPort first(4096), second(4096);
    first.setPort(1, pty.path());
    second.setPort(1, pty.path());
    ASSERT_TRUE(first.open());
    EXPECT_EQ(first.openFailure().reason, PortOpenFailure::Reason::None);
    EXPECT_FALSE(second.open());
    const PortOpenFailure busy = second.openFailure();
    EXPECT_EQ(busy.reason, PortOpenFailure::Reason::Busy);
    EXPECT_EQ(busy.holderPid, QCoreApplication::applicationPid());
    EXPECT_TRUE(busy.engineerText().startsWith(
        QStringLiteral("%1: busy, held by process %2 (").arg(pty.path()).arg(QCoreApplication::applicationPid())))
        << busy.engineerText().toStdString();
    EXPECT_TRUE(busy.operatorText().contains(QStringLiteral("занято"))) << busy.operatorText().toStdString();

    // Once the holder lets go, the port opens and the reason is gone.
    first.close();
    EXPECT_TRUE(second.open());
    EXPECT_EQ(second.openFailure().reason, PortOpenFailure::Reason::None);
}
