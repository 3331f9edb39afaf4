#include "BoardPage.h"
#include "KalvexService.h"
#include "PrivateBus.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QDBusConnection>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// Closing the window while clients hold automation objects asks first; nothing stops before
// the answer, and "No" leaves the station running.
class CloseWithClients : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    FixedClock clock;
    PrivateBus bus;
    std::unique_ptr<TfrMain> w;
    std::unique_ptr<KalvexService> service;
    bool timersRunningAtQuestion = false;

    void SetUp() override {
        ASSERT_TRUE(bus.ok());
        writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
        Station st;
        st.dir = dir.path();
        st.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
        w = std::make_unique<TfrMain>(st, dialogs, clock, QStringList{});
        service = std::make_unique<KalvexService>(
            w->automation, QDBusConnection::connectToBus(bus.address, QStringLiteral("close-test")));
        ASSERT_TRUE(service->start());
        w->kalvex = service.get();
        w->show();
        w->FormShow();
        dialogs.messages.clear();
    }
    void TearDown() override {
        w.reset();
        service.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("close-test"));
    }
    void answer(int button) {
        dialogs.onMessage = [this, button](const Dialogs::Message&) {
            timersRunningAtQuestion = w->link.tmPort.isActive() && w->TabSheet1->tmBlink.isActive();
            return button;
        };
    }
};

TEST_F(CloseWithClients, NoKeepsEverythingRunning) {
    ASSERT_FALSE(service->Create().path().isEmpty());
    answer(Dialogs::No);
    QTest::keyClick(w.get(), Qt::Key_Escape);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const Dialogs::Message& m = dialogs.messages[0];
    EXPECT_EQ(m.icon, Dialogs::Icon::Warning);
    EXPECT_EQ(m.title, QStringLiteral("COM Server Warning"));
    EXPECT_EQ(m.text,
              QStringLiteral("There are still active COM objects in this application.  One or more clients "
                             "may have references to these objects, so manually closing this application "
                             "may cause those client application(s) to fail.\r\n\r\nAre you sure you want "
                             "to close this application?"));
    EXPECT_EQ(m.buttons, Dialogs::Yes | Dialogs::No);
    EXPECT_EQ(m.defaultButton, Dialogs::No);
    EXPECT_TRUE(m.taskModal);
    EXPECT_TRUE(timersRunningAtQuestion);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->link.tmPort.isActive());
    EXPECT_TRUE(w->TabSheet1->tmBlink.isActive());
}

TEST_F(CloseWithClients, YesCloses) {
    ASSERT_FALSE(service->Create().path().isEmpty());
    answer(Dialogs::Yes);
    w->close();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->link.tmPort.isActive());
}

TEST_F(CloseWithClients, WithoutObjectsNothingIsAsked) {
    const QDBusObjectPath p = service->Create();
    service->Release(p);
    w->close();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(w->isVisible());
}
