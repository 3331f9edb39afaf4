#include "BoardPage.h"
#include "TestSupport.h"
#include "TfrAbout.h"
#include "TfrMain.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

class MainWindow : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<TfrMain> w;

    Station station() const {
        Station s;
        s.dir = dir.path();
        s.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
        return s;
    }
    void settings(const char* text) { writeFile(dir.filePath(QStringLiteral("mirvane.ini")), text); }
    void profile() { writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n"); }
    void emptyDatabase() { writeFile(dir.filePath(QStringLiteral("Mirvane.db")), QByteArray()); }
    void start(const QStringList& args = {}) {
        w = std::make_unique<TfrMain>(station(), dialogs, clock, args);
        w->show();
        w->FormShow();
    }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(target, static_cast<Qt::Key>(k), mods);
    }
    bool tabsShown() const { return !w->PageControl1->tabBar()->isHidden(); }
};

TEST_F(MainWindow, StartsWithoutAnyFile) {
    start();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::None);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Ошибка загрузки профиля устройства. Файл профиля отсутствует."));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Mirvane - версия 3.5.1"));
    EXPECT_EQ(w->link.State, 1);
    EXPECT_TRUE(w->link.fStatus);
    EXPECT_EQ(w->link.PageStatus, 1);
    EXPECT_FALSE(tabsShown());
    EXPECT_FALSE(w->PageControl1->isTabVisible(1));
    EXPECT_EQ(w->PageControl1->currentIndex(), 0);
    EXPECT_TRUE(w->TabSheet1->pnButton->isHidden());
    EXPECT_EQ(dialogs.dialogs, QStringList{QStringLiteral("frAbout")});
    EXPECT_TRUE(w->frAbout->fAutoClose);
    EXPECT_EQ(w->FilterDTBegin, clock.t);
    EXPECT_EQ(w->FilterDTEnd, clock.t);
    EXPECT_EQ(w->PageControl1->tabText(0), QStringLiteral("F11 - Табло"));
    EXPECT_EQ(w->PageControl1->tabText(1), QStringLiteral("F12 - База данных"));
}

TEST_F(MainWindow, MissingDatabaseGivesOneMessageWhileThePollCycleAlreadyRuns) {
    settings("[Program]\nDatabaseEnabled=1\n");
    profile();
    int stateDuringMessage = -1;
    dialogs.onMessage = [&](const Dialogs::Message&) {
        stateDuringMessage = w->link.State;
        return Dialogs::Ok;
    };
    start();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::Error);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Ошибка подключения к базе данных"));
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Не найден файл базы данных. Проверьте его месторасположение."));
    EXPECT_EQ(stateDuringMessage, 1);
    EXPECT_FALSE(w->settings.fDataBaseEnabled);
    EXPECT_FALSE(tabsShown());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("Mirvane.db"))));
    // F12 without a database does nothing; the board stays.
    key(Qt::Key_F12);
    EXPECT_EQ(w->PageControl1->currentIndex(), 0);
}

TEST_F(MainWindow, ConnectedDatabaseOffersBothPages) {
    settings("[Program]\nDatabaseEnabled=1\nRCEnabled=1\n");
    profile();
    emptyDatabase();
    start();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(w->settings.fDataBaseEnabled);
    EXPECT_TRUE(tabsShown());
    EXPECT_TRUE(w->PageControl1->isTabVisible(1));
    EXPECT_EQ(w->PageControl1->currentIndex(), 0);
    EXPECT_FALSE(w->TabSheet1->pnButton->isHidden());
    key(Qt::Key_F12);
    EXPECT_EQ(w->PageControl1->currentIndex(), 1);
    key(Qt::Key_F11);
    EXPECT_EQ(w->PageControl1->currentIndex(), 0);
}

TEST_F(MainWindow, AboutBoxIsSkippedOnlyForAFirstArgumentEmbedding) {
    profile();
    struct Case {
        QStringList args;
        bool about;
    };
    const Case cases[] = {
        {{}, true},
        {{QStringLiteral("-EMBEDDING")}, false},
        {{QStringLiteral("-embedding")}, false},
        {{QStringLiteral("-EmBeDdInG"), QStringLiteral("x")}, false},
        {{QStringLiteral("/EMBEDDING")}, true},
        {{QStringLiteral("x"), QStringLiteral("-EMBEDDING")}, true},
    };
    for (const Case& c : cases) {
        dialogs.dialogs.clear();
        start(c.args);
        EXPECT_EQ(!dialogs.dialogs.isEmpty(), c.about) << c.args.join(u' ').toStdString();
        EXPECT_EQ(w->fEmbedding, !c.about) << c.args.join(u' ').toStdString();
    }
}

TEST_F(MainWindow, WindowKeysWinOverTheFocusedEditor) {
    settings("[Program]\nRCEnabled=1\n");
    profile();
    start();
    auto* edit = new QLineEdit(w->TabSheet1->Panel2);
    edit->show();
    edit->setFocus();
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    ASSERT_EQ(QApplication::focusWidget(), edit);

    w->link.BadPacket = 7;
    QTest::keyClicks(edit, QStringLiteral("ab"));
    QTest::keyClick(edit, Qt::Key_Space);
    EXPECT_EQ(edit->text(), QStringLiteral("ab"));
    EXPECT_EQ(w->link.BadPacket, 0);

    QTest::keyClick(edit, Qt::Key_F5);
    EXPECT_TRUE(w->TabSheet1->fShowFPS);
    QTest::keyClick(edit, Qt::Key_F5);
    EXPECT_FALSE(w->TabSheet1->fShowFPS);

    struct Case {
        int key;
        uint8_t code;
    };
    for (const Case& c : {Case{Qt::Key_1, 1}, Case{Qt::Key_Exclam, 1}, Case{Qt::Key_5, 16}, Case{Qt::Key_9, 33},
                          Case{Qt::Key_A, 34}, Case{0x0410, 39}, Case{Qt::Key_F, 39}}) {
        w->link.IRByte = 0;
        // The text is what a layout makes of the key; the key code alone decides here.
        QTest::sendKeyEvent(QTest::Click, edit, static_cast<Qt::Key>(c.key), QString(QChar(c.key & 0xFFFF)),
                            Qt::ShiftModifier);
        EXPECT_EQ(w->link.IRByte, c.code) << std::hex << c.key;
    }
    EXPECT_EQ(edit->text(), QStringLiteral("ab"));
}

TEST_F(MainWindow, CommandKeysNeedCommandsEnabled) {
    profile();
    start();
    key(Qt::Key_1, Qt::ShiftModifier);
    EXPECT_EQ(w->link.IRByte, 0);
    w->acCommands[3]->trigger();
    EXPECT_EQ(w->link.IRByte, 0);
}

TEST_F(MainWindow, CloseStopsThePollAndBlinkTimers) {
    profile();
    start();
    EXPECT_TRUE(w->link.tmPort.isActive());
    EXPECT_TRUE(w->TabSheet1->tmBlink.isActive());
    key(Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->link.tmPort.isActive());
    EXPECT_FALSE(w->link.tmTimeOut.isActive());
    EXPECT_FALSE(w->TabSheet1->tmBlink.isActive());
}

TEST(AboutBox, AtStartUpItClosesItselfAfterThreeSecondsAndIgnoresTheOperator) {
    TfrAbout about;
    about.fAutoClose = true;
    bool stillOpen = false;
    QTimer::singleShot(300, &about, [&] {
        QTest::mouseClick(about.lbTitle, Qt::LeftButton);
        QTest::keyClick(&about, Qt::Key_Escape);
        about.close();
        stillOpen = about.isVisible();
    });
    QElapsedTimer t;
    t.start();
    about.exec();
    EXPECT_TRUE(stillOpen);
    EXPECT_GE(t.elapsed(), 2900);
    EXPECT_LT(t.elapsed(), 6000);
}

TEST(AboutBox, ByF1ItWaitsForAClickOrEsc) {
    TfrAbout about;
    about.fAutoClose = false;
    for (int way = 0; way < 2; ++way) {
        bool timerRunning = true;
        QTimer::singleShot(100, &about, [&] {
            timerRunning = about.tmAutoClose.isActive();
            if (way == 0)
                QTest::mouseClick(about.image, Qt::LeftButton);
            else
                QTest::keyClick(&about, Qt::Key_Escape);
        });
        QTimer::singleShot(3000, &about, [&] { about.done(QDialog::Rejected); });
        EXPECT_EQ(about.exec(), QDialog::Accepted) << way;
        EXPECT_FALSE(timerRunning);
    }
}
