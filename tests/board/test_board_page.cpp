#include "BoardPage.h"
#include "BoardTestSupport.h"
#include "Commands.h"
#include "Gauge.h"
#include "PaintBox.h"
#include "RegisterImage.h"
#include "StandLink.h"
#include "TestSupport.h"
#include "TfrMain.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

using namespace BoardColour;

// Records the paint events of the four paint boxes, in the order they arrive.
class PaintLog : public QObject {
public:
    QStringList paints;
    void watch(BoardPanel* panel) {
        for (QWidget* box : {static_cast<QWidget*>(panel->pbLeft), static_cast<QWidget*>(panel->pbRight),
                             static_cast<QWidget*>(panel->pbAxle), static_cast<QWidget*>(panel->pbText)})
            box->installEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            paints << o->objectName();
        return false;
    }
};

class Board : public ::testing::Test {
protected:
    RegisterImage image;
    StandLink link{image};
    BoardPage page{link};

    Board() {
        link.stop();
        page.tmBlink.stop();
    }
    // Lays the page out so that the board panel's client area is w x h.
    void layOut(int clientWidth, int clientHeight, bool buttons) {
        page.pnButton->setVisible(buttons);
        page.resize(clientWidth + 2 + (buttons ? CommandPanel::Width : 0), clientHeight + 2);
        page.show();
        QCoreApplication::processEvents();
    }
    QImage left() const { return page.Panel2->pbLeft->render(); }
    QImage right() const { return page.Panel2->pbRight->render(); }
};

TEST_F(Board, WidthRuleHalvesTheClientWidthTruncated) {
    const struct {
        int client;
        bool buttons;
        int left, right;
    } cases[] = {
        {919, false, 459, 460}, {918, false, 459, 459}, {919, true, 459, 460}, {1685, true, 842, 843}};
    for (const auto& c : cases) {
        layOut(c.client, 792, c.buttons);
        const BoardPanel* p = page.Panel2;
        EXPECT_EQ(p->contentsRect().width(), c.client);
        EXPECT_EQ(p->pbLeft->geometry(), QRect(1, 1, c.left, 695)) << c.client;
        EXPECT_EQ(p->pbRight->geometry(), QRect(1 + c.left, 1, c.right, 695)) << c.client;
        // The strip row spans the panel under both gauges.
        EXPECT_EQ(p->Panel3->geometry(), QRect(1, 696, c.client, 97)) << c.client;
        EXPECT_EQ(p->pbAxle->geometry(), QRect(0, 0, 257, 97));
        EXPECT_EQ(p->pbText->geometry(), QRect(257, 0, c.client - 257, 97));
        if (c.buttons) {
            EXPECT_EQ(page.pnButton->geometry(), QRect(c.client + 2, 0, CommandPanel::Width, 794));
        }
    }
}

TEST_F(Board, BlinkGatesFollowTheFlashBitsTickByTick) {
    // Each step sets the indicator words, runs one tick and expects gate k afterwards.
    struct Step {
        uint16_t leftWord, rightWord;
        bool left0, left1, right2, left7;
    };
    const Step steps[] = {
        // bit 0 steady, bit 1 flashing, right bit 2 flashing, bit 15 drives gate 7
        {0x0203, 0x0404, true, true, true, true},
        {0x0203, 0x0404, true, false, false, true},
        {0x8203, 0x0404, true, true, true, false},
        {0x8203, 0x0404, true, false, false, true},
        // Flash bit cleared while the gate is dark: held true from the next tick on.
        {0x0003, 0x0004, true, true, true, true},
        {0x0003, 0x0004, true, true, true, true},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        link.HReg[6] = steps[i].leftWord;
        link.HReg[7] = steps[i].rightWord;
        page.tmBlinkTimer();
        EXPECT_EQ(page.BlinkL[0], steps[i].left0) << "tick " << i + 1;
        EXPECT_EQ(page.BlinkL[1], steps[i].left1) << "tick " << i + 1;
        EXPECT_EQ(page.BlinkR[2], steps[i].right2) << "tick " << i + 1;
        EXPECT_EQ(page.BlinkL[7], steps[i].left7) << "tick " << i + 1;
        EXPECT_TRUE(page.BlinkR[1]) << "the right gauge's gate 1 follows its own word, not the left one";
    }
}

TEST_F(Board, IndicatorShinesFromTheFirstTickAndDarkGateWaitsForTheNext) {
    layOut(918, 792, false);
    const QPoint lamp0(164, 284), lamp1(164, 412);
    link.HReg[6] = 0x0003; // brake force and ovality requested on, steadily
    EXPECT_EQ(hex(rgbAt(left(), lamp0.x(), lamp0.y())), hex(Unlit))
        << "no gate is open before the first tick";
    page.tmBlinkTimer();
    EXPECT_EQ(hex(rgbAt(left(), lamp0.x(), lamp0.y())), hex(Yellow));

    link.HReg[6] = 0x0203; // ovality flashes
    const QRgb seq[] = {Unlit, Yellow, Unlit, Yellow};
    for (QRgb want : seq) {
        page.tmBlinkTimer();
        EXPECT_EQ(hex(rgbAt(left(), lamp1.x(), lamp1.y())), hex(want));
        EXPECT_EQ(hex(rgbAt(left(), lamp0.x(), lamp0.y())), hex(Yellow));
    }
    page.tmBlinkTimer(); // dark half
    link.HReg[6] = 0x0003;
    EXPECT_EQ(hex(rgbAt(left(), lamp1.x(), lamp1.y())), hex(Unlit)) << "not sooner than the next tick";
    page.tmBlinkTimer();
    EXPECT_EQ(hex(rgbAt(left(), lamp1.x(), lamp1.y())), hex(Yellow));

    // With the indicator bit clear nothing is lit, whatever the flash bit does.
    link.HReg[6] = 0x0100;
    for (int i = 0; i < 3; ++i) {
        page.tmBlinkTimer();
        EXPECT_EQ(hex(rgbAt(left(), lamp0.x(), lamp0.y())), hex(Unlit));
    }
}

TEST_F(Board, APictureIsDrawnAgainOnlyWhenWhatItShowsHasChanged) {
    layOut(918, 792, false);
    const QImage first = left();
    EXPECT_EQ(left().cacheKey(), first.cacheKey()) << "nothing changed: the last picture again";
    link.CycleLeft = 7;
    link.FPS = 3;
    EXPECT_EQ(left().cacheKey(), first.cacheKey()) << "figures only the overlay shows, and it is off";

    link.LeftV = 30;
    const QImage level = left();
    EXPECT_NE(level, first);
    page.fShowFPS = true;
    const QImage overlay = left();
    EXPECT_NE(overlay, level);
    link.FPS = 4;
    EXPECT_NE(left(), overlay) << "the overlay shows the reply count";

    const QImage text = page.Panel2->pbText->render();
    link.fConnect = !link.fConnect;
    EXPECT_NE(page.Panel2->pbText->render(), text);
    layOut(700, 600, false);
    EXPECT_EQ(left().size(), page.Panel2->pbLeft->size()) << "a new size is drawn anew";
}

// A repaint that finds a box's picture unchanged leaves the window's pixels as they are; a box
// shown again after something else was painted in its place is always copied anew.
TEST_F(Board, ABoardShownAgainIsCopiedToTheWindowAtTheNextRepaint) {
    layOut(918, 792, false);
    page.RepaintBoard();
    const QPoint dot = page.Panel2->pbLeft->mapTo(&page, QPoint(230, 484));
    auto shown = [&] { return page.screen()->grabWindow(page.winId()).toImage().pixel(dot) & 0xFFFFFF; };
    ASSERT_EQ(hex(shown()), hex(Lime));

    // Another page in the board's place, as the database page takes it.
    QWidget other(&page);
    other.setGeometry(page.Panel2->geometry());
    other.setAutoFillBackground(true);
    other.setPalette(QPalette(Qt::red));
    page.Panel2->hide();
    other.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(hex(shown()), hex(0xFF0000));

    other.hide();
    page.Panel2->show();
    page.RepaintBoard(); // before the show's own paint has run
    EXPECT_EQ(hex(shown()), hex(Lime));
}

TEST_F(Board, InvalidPhaseAfterNTicksIsNModFour) {
    EXPECT_EQ(page.InvalidPhase, 0);
    for (int n = 1; n <= 9; ++n) {
        page.tmBlinkTimer();
        EXPECT_EQ(page.InvalidPhase, n % 4) << n;
    }
}

TEST_F(Board, RepaintBoardPaintsTheFourBoxesAtOnceInOrder) {
    layOut(918, 792, true);
    PaintLog log;
    log.watch(page.Panel2);
    page.RepaintBoard();
    EXPECT_EQ(log.paints, QStringList({"pbLeft", "pbRight", "pbAxle", "pbText"}));

    log.paints.clear();
    page.tmBlinkTimer();
    EXPECT_EQ(log.paints, QStringList({"pbLeft", "pbRight", "pbAxle", "pbText"}));
}

TEST_F(Board, BeforeAnyReplyEveryGaugeReadsZeroAndTheLinkIsDown) {
    layOut(918, 792, false);
    for (const QImage& g : {left(), right()}) {
        EXPECT_EQ(hex(rgbAt(g, 230, 484)), hex(Lime)) << "dot pair 0";
        EXPECT_EQ(hex(rgbAt(g, 230, 469)), hex(Lime));
        const GaugeGeometry geo(459, 695);
        EXPECT_EQ(hex(rgbAt(g, geo.dot(1, geo.R1).x(), geo.dot(1, geo.R1).y())), hex(Unlit));
        for (const QPoint c : {QPoint(164, 284), QPoint(164, 412), QPoint(230, 270), QPoint(230, 426),
                               QPoint(75, 655), QPoint(227, 655), QPoint(378, 655)})
            EXPECT_EQ(hex(rgbAt(g, c.x(), c.y())), hex(Unlit));
        EXPECT_FALSE(boundsOf(g, QRect(200, 300, 120, 100), reddish).isNull()) << "the readout 0";
        EXPECT_TRUE(boundsOf(g, QRect(0, 0, 300, 230), reddish).isNull()) << "no overlay";
    }
    const QImage axle = page.Panel2->pbAxle->render();
    EXPECT_FALSE(boundsOf(axle, axle.rect(), [](QRgb c) { return c == TextGray; }).isNull());
    EXPECT_FALSE(boundsOf(axle, axle.rect(), [](QRgb c) { return c == Green; }).isNull());
    const QImage text = page.Panel2->pbText->render();
    EXPECT_FALSE(boundsOf(text, text.rect(), reddish).isNull()) << "НЕТ СВЯЗИ";

    link.fConnect = true;
    const QImage up = page.Panel2->pbText->render();
    EXPECT_TRUE(boundsOf(up, up.rect(), notBlack).isNull()) << "empty message with the link up";
    link.TextSt = QStringLiteral("ТОРМОЖЕНИЕ");
    const QImage msg = page.Panel2->pbText->render();
    EXPECT_FALSE(boundsOf(msg, msg.rect(), reddish).isNull());
}

TEST_F(Board, OverlayIsNeverOnTheRightGauge) {
    layOut(918, 792, false);
    page.fShowFPS = true;
    link.FPS = 25;
    link.BadPacket = 3;
    const QRect corner(0, 0, 300, 230);
    EXPECT_FALSE(boundsOf(left(), corner, reddish).isNull());
    EXPECT_TRUE(boundsOf(right(), corner, reddish).isNull());
}

TEST_F(Board, NoValueWordAnimatesWithThePhase) {
    layOut(918, 792, false);
    link.HReg[4] = 0x8000;
    link.HReg[8] = 2;
    // The four patterns light different parts of the readout area in turn.
    QList<QImage> frames;
    for (int i = 0; i < 4; ++i) {
        frames << left().copy(150, 300, 170, 100);
        page.tmBlinkTimer();
    }
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            EXPECT_NE(frames[i], frames[j]) << i << " " << j;
    EXPECT_EQ(left().copy(150, 300, 170, 100), frames[0]) << "the animation repeats every fourth tick";
    // The right gauge reads its own word.
    EXPECT_FALSE(boundsOf(right(), QRect(150, 300, 170, 100), reddish).isNull());
}

TEST_F(Board, CommandPanelLayout) {
    layOut(918, 792, true);
    const CommandPanel* panel = page.pnButton;
    for (size_t i = 0; i < Commands.size(); ++i) {
        const QToolButton* b = panel->buttons[i];
        const CommandDef& c = Commands[i];
        EXPECT_EQ(b->objectName(), QString::fromLatin1(c.button));
        EXPECT_EQ(b->geometry(),
                  QRect(CommandPanel::ColumnX[c.column - 1], CommandPanel::RowY[c.row - 1], 70, 70))
            << c.button;
        EXPECT_EQ(b->iconSize(), QSize(64, 64));
        EXPECT_TRUE(b->text().isEmpty());
        EXPECT_TRUE(b->isVisible());
    }
    EXPECT_EQ(panel->findChild<QToolButton*>(QStringLiteral("BitBtn1"))->pos(), QPoint(8, 8));
    EXPECT_EQ(panel->findChild<QToolButton*>(QStringLiteral("BitBtn15"))->pos(), QPoint(152, 331));
    EXPECT_EQ(panel->findChild<QToolButton*>(QStringLiteral("BitBtn5"))->pos(), QPoint(80, 80));

    const struct {
        const char16_t* text;
        QPoint pos;
    } headings[] = {{u"ОСЬ", {30, 309}}, {u"ГОС", {103, 298}}, {u"НОМЕР", {95, 314}}, {u"ИНД", {174, 309}}};
    for (size_t i = 0; i < 4; ++i) {
        const QLabel* l = panel->headings[i];
        EXPECT_EQ(l->text(), QString::fromUtf16(headings[i].text));
        EXPECT_EQ(l->pos(), headings[i].pos);
        EXPECT_TRUE(l->font().bold());
        EXPECT_EQ(l->font().pixelSize(), 12);
        EXPECT_TRUE(l->isVisible());
    }
    EXPECT_EQ(page.mmData, panel->mmData);
    EXPECT_EQ(panel->mmData->geometry(), QRect(9, 408, 129, 89));
    EXPECT_FALSE(panel->mmData->isVisible());
}

TEST_F(Board, PicturesTellTheCommandsApartExceptTheTwoTrios) {
    auto picture = [&](size_t i) { return page.pnButton->buttons[i]->icon().pixmap(64, 64).toImage(); };
    for (size_t i = 0; i < Commands.size(); ++i) {
        EXPECT_EQ(picture(i).size(), QSize(64, 64));
        for (size_t j = i + 1; j < Commands.size(); ++j) {
            const int ri = Commands[i].row, rj = Commands[j].row;
            const bool shared = ri == rj && (ri == 4 || ri == 5);
            EXPECT_EQ(picture(i) == picture(j), shared) << Commands[i].action << " / " << Commands[j].action;
        }
    }
}

TEST_F(Board, EachButtonTriggersItsCommandAction) {
    layOut(918, 792, true);
    std::array<QAction*, 15> actions{};
    std::array<int, 15> fired{};
    for (size_t i = 0; i < actions.size(); ++i) {
        actions[i] = new QAction(&page);
        QObject::connect(actions[i], &QAction::triggered, [&fired, i] { ++fired[i]; });
    }
    QTest::mouseClick(page.pnButton->buttons[0], Qt::LeftButton);
    EXPECT_EQ(fired[0], 0) << "no action set yet: nothing happens, nothing fails";
    page.setCommandActions(actions);
    for (size_t i = 0; i < actions.size(); ++i) {
        QTest::mouseClick(page.pnButton->buttons[i], Qt::LeftButton);
        for (size_t j = 0; j < actions.size(); ++j)
            EXPECT_EQ(fired[j], j <= i ? 1 : 0) << "after clicking " << Commands[i].button;
    }
}

// The board inside the main window: the command buttons and the places that repaint it.
class BoardInWindow : public ::testing::Test {
protected:
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    FixedClock clock;
    std::unique_ptr<TfrMain> w;
    PaintLog log;

    void start(const char* settings) {
        writeFile(dir.filePath(QStringLiteral("mirvane.ini")), settings);
        writeFile(dir.filePath(QStringLiteral("Profile.dat")), "[Reg_1]\nName=Brake1\nPage=1\n");
        Station s;
        s.dir = dir.path();
        s.settingsFile = dir.filePath(QStringLiteral("mirvane.ini"));
        w = std::make_unique<TfrMain>(s, dialogs, clock, QStringList());
        w->show();
        w->FormShow();
        w->TabSheet1->tmBlink.stop();
        w->link.stop();
        QCoreApplication::processEvents();
        log.watch(w->TabSheet1->Panel2);
    }
    void key(Qt::Key k) { QTest::keyClick(w.get(), k); }
};

TEST_F(BoardInWindow, ButtonsQueueTheirCodes) {
    start("[Program]\nRCEnabled=1\n");
    for (size_t i = 0; i < Commands.size(); ++i) {
        w->link.IRByte = 0;
        QTest::mouseClick(w->TabSheet1->pnButton->buttons[i], Qt::LeftButton);
        EXPECT_EQ(w->link.IRByte, Commands[i].code) << Commands[i].button;
    }
}

TEST_F(BoardInWindow, RepaintedByRepliesBlinkTickAndSpaceButNotByF5) {
    start("[Program]\nRCEnabled=0\n");
    const QStringList once{"pbLeft", "pbRight", "pbAxle", "pbText"};
    emit w->link.repaintBoard();
    EXPECT_EQ(log.paints, once) << "after a routine or status reply";
    log.paints.clear();
    w->TabSheet1->tmBlinkTimer();
    EXPECT_EQ(log.paints, once) << "blink tick";

    log.paints.clear();
    key(Qt::Key_F5);
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->TabSheet1->fShowFPS);
    EXPECT_TRUE(log.paints.isEmpty()) << "the overlay waits for the next repaint";

    w->link.BadPacket = 12;
    log.paints.clear();
    key(Qt::Key_Space);
    EXPECT_EQ(w->link.BadPacket, 0);
    EXPECT_EQ(log.paints, once) << "space bar";
}
