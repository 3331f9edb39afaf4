// The station's ports as start-up opens them, on real serial devices: pseudo-terminals and
// the simulated stand.

#include "Pty.h"
#include "RealSerialPorts.h"
#include "SelectPortDialog.h"
#include "SimProcess.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString PortFailed = QStringLiteral("Не могу инициализировать COM-порт контроллера.");

class Ports : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    FixedClock clock;
    const RealSerialPorts ports;
    std::unique_ptr<TfrMain> w;

    void SetUp() override {
        writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
    }
    void TearDown() override { w.reset(); }
    void start(const QString& ini) {
        writeFile(dir.filePath(QStringLiteral("mirvane.ini")), ini.toUtf8());
        Station s;
        s.dir = dir.path();
        s.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
        w = std::make_unique<TfrMain>(s, dialogs, clock, QStringList{QStringLiteral("-EMBEDDING")});
        w->show();
        w->FormShow();
    }
    QStringList messageTexts() const {
        QStringList t;
        for (const Dialogs::Message& m : dialogs.messages)
            t << m.text;
        return t;
    }
};

} // namespace

TEST_F(Ports, ControllerPortThatCannotOpenIsReportedAndTheRemoteIsNotTried) {
    Pty remote;
    start(QStringLiteral("[Device]\nPortName=%1/no-such-port\n[IR]\nEnabled=1\nPortName=%2\n")
              .arg(dir.path(), remote.path()));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::None);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(dialogs.messages[0].text, PortFailed);
    // Why, for whoever mends it, in the box's details.
    EXPECT_TRUE(dialogs.messages[0].detail.startsWith(QStringLiteral("Устройство %1/no-such-port не найдено").arg(dir.path())))
        << dialogs.messages[0].detail.toStdString();
    EXPECT_FALSE(w->cpMain->isOpen());
    EXPECT_FALSE(w->cpIR->isOpen());
    // The station runs on; each time-out tries the port again, silently.
    EXPECT_EQ(w->link.State, 1);
    w->link.tmPortTimer();
    w->link.tmTimeOutTimer();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(w->link.BadPacket, 1);
}

TEST_F(Ports, RemotePortFailsSilentlyAndNeverAsks) {
    Pty controller;
    start(QStringLiteral("[Device]\nPortName=%1\n[IR]\nEnabled=1\nComNumber=0\n").arg(controller.path()));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.dialogs.isEmpty());
    EXPECT_TRUE(w->cpMain->isOpen());
    EXPECT_FALSE(w->cpIR->isOpen());
}

TEST_F(Ports, PortNumberZeroAsksTheOperatorForAPort) {
    for (bool ok : {false, true}) {
        dialogs.messages.clear();
        dialogs.dialogs.clear();
        Pty controller;
        QStringList listed;
        QString title, texts, buttons;
        bool okIsDefault = false;
        dialogs.onExec = [&](QDialog& d) {
            auto& sp = dynamic_cast<SelectPortDialog&>(d);
            title = sp.windowTitle();
            for (QLabel* l : sp.findChildren<QLabel*>())
                texts += l->text() + u'|';
            for (QPushButton* b : sp.findChildren<QPushButton*>())
                buttons += b->text() + u'|';
            okIsDefault = sp.btnOK->isDefault();
            for (int i = 0; i < sp.cbPorts->count(); ++i)
                listed << sp.cbPorts->itemData(i).toString();
            if (!ok)
                return int(QDialog::Rejected);
            sp.cbPorts->addItem(controller.path(), controller.path());
            sp.cbPorts->setCurrentIndex(sp.cbPorts->count() - 1);
            return int(QDialog::Accepted);
        };
        start(QStringLiteral("[Device]\nComNumber=0\n"));
        ASSERT_EQ(dialogs.dialogs, QStringList{QStringLiteral("SelectPortDialog")});
        EXPECT_EQ(title, QStringLiteral("Select Port"));
        EXPECT_EQ(texts,
                  QStringLiteral("The configured serial port is not valid.|Please choose another port.|"));
        EXPECT_EQ(buttons, QStringLiteral("OK|Cancel|"));
        EXPECT_TRUE(okIsDefault);
        QStringList system;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            system << info.systemLocation();
        EXPECT_EQ(listed, system);
        EXPECT_EQ(w->cpMain->isOpen(), ok);
        EXPECT_EQ(messageTexts(), ok ? QStringList() : QStringList{PortFailed});

        // A cancel is asked again at every reopening by the time-out; a choice stays the port.
        w->cpMain->close();
        w->link.tmPortTimer();
        w->link.tmTimeOutTimer();
        EXPECT_EQ(dialogs.dialogs.size(), ok ? 1 : 2);
        EXPECT_EQ(w->cpMain->isOpen(), ok);
        w.reset();
    }
}

TEST_F(Ports, KeysAndTheRemoteDriveTheSimulatedStand) {
    SimProcess sim({"--baud", "115200", "--pieces"});
    ASSERT_FALSE(sim.slavePath.isEmpty());
    start(QStringLiteral(
              "[Device]\nPortName=%1\nBaud=115200\n[IR]\nEnabled=1\nPortName=%2\n[Program]\nRCEnabled=1\n")
              .arg(sim.slavePath, sim.remotePath));
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->link.fConnect && w->link.TextSt == QStringLiteral("СТЕНД ГОТОВ"); }, 5000));
    // Shift with the physical keys A and F, whatever the layout makes of them (Latin, Cyrillic).
    QTest::keyClick(w.get(), Qt::Key_A, Qt::ShiftModifier);
    EXPECT_TRUE(sim.waitFor(QStringLiteral("command 34"), 3000));
    QTest::sendKeyEvent(QTest::Click, w.get(), static_cast<Qt::Key>(0x0410), QStringLiteral("А"),
                        Qt::ShiftModifier);
    EXPECT_TRUE(sim.waitFor(QStringLiteral("command 39"), 3000));
    sim.send("3\n");
    EXPECT_TRUE(sim.waitFor(QStringLiteral("command 3"), 3000));
    EXPECT_TRUE(sim.waitFor(QStringLiteral("state 2 test 1"), 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->link.Status == 2 && w->link.HReg[9] >= 1; }, 3000));
}
