#include "FakeSerialPort.h"
#include "Modbus.h"
#include "RegisterImage.h"
#include "Settings.h"
#include "StandLink.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

QByteArray withCrc(std::vector<uint8_t> bytes) {
    const int n = static_cast<int>(bytes.size());
    bytes.resize(n + 2);
    Modbus::appendCrc(bytes.data(), n);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

QByteArray readRequest(uint16_t start, uint16_t count, uint8_t slave = 1) {
    return withCrc({slave, 0x04, uint8_t(start >> 8), uint8_t(start & 0xFF), uint8_t(count >> 8),
                    uint8_t(count & 0xFF)});
}

// A frame of `head` followed by the words, high byte first.
QByteArray frame(std::vector<uint8_t> head, const std::vector<uint16_t>& words) {
    for (uint16_t w : words) {
        head.push_back(uint8_t(w >> 8));
        head.push_back(uint8_t(w & 0xFF));
    }
    return withCrc(head);
}

QByteArray readReply(const std::vector<uint16_t>& regs, uint8_t slave = 1) {
    return frame({slave, 0x04, uint8_t(regs.size() * 2)}, regs);
}

QByteArray refused(uint8_t function) {
    return withCrc({1, uint8_t(function | 0x80), 0x02});
}
const QByteArray CommandReply = withCrc({1, 0x10, 0, 0, 0, 1});

const QByteArray RoutineRead = readRequest(1200, 20);
const QByteArray StatusRead = readRequest(1314, 3);
const QByteArray HeaderRead = readRequest(1000, 25);
QByteArray axleRead(int a) {
    return readRequest(uint16_t(a * 100), 32);
}

// A routine read's 20 registers: register 1200 is the stand state, the rest as given by offset.
std::vector<uint16_t> routineWords(uint16_t status, const std::vector<std::pair<int, uint16_t>>& regs = {}) {
    std::vector<uint16_t> words(20, 0);
    words[0] = status;
    for (auto [offset, value] : regs)
        words[offset] = value;
    return words;
}

QByteArray routine(uint16_t status, const std::vector<std::pair<int, uint16_t>>& regs = {}) {
    return readReply(routineWords(status, regs));
}

std::vector<uint16_t> header() {
    std::vector<uint16_t> h(25);
    for (int k = 0; k < 25; ++k)
        h[k] = uint16_t(1000 + k);
    return h;
}

std::vector<uint16_t> axleRow(int a) {
    std::vector<uint16_t> row(32);
    for (int j = 0; j < 32; ++j)
        row[j] = uint16_t(a * 100 + j);
    return row;
}
const std::vector<uint16_t> NoAxle(32, 0xFFFF);

// One link with a fake controller port and a fake remote, polled by hand.
struct Rig {
    RegisterImage image;
    StandLink link{image};
    FakeSerialPort port;
    FakeSerialPort ir;
    std::vector<int> handOvers; // CurrentAxle at each hand-over
    std::function<void()> duringHandOver;

    Rig() {
        link.setPorts(&port, &ir);
        port.opened = true;
        ir.opened = true;
        link.setIdle();
        QObject::connect(&link, &StandLink::handOver, [this] {
            handOvers.push_back(link.CurrentAxle);
            if (duringHandOver)
                duringHandOver();
        });
    }

    QByteArray tick() {
        const qsizetype before = port.written.size();
        link.tmPortTimer();
        return port.written.size() > before ? port.last() : QByteArray();
    }
    // A routine read and its status read, answered.
    void turn(uint16_t status) {
        EXPECT_EQ(tick(), RoutineRead);
        port.deliver(routine(status));
        EXPECT_EQ(tick(), StatusRead);
        port.deliver(readReply({1, 2, 3}));
    }
    // From a routine reply with state 5 to the hand-over of n axles (n + 1 axle reads, at most 9).
    void fetch(int axles) {
        EXPECT_EQ(tick(), RoutineRead);
        port.deliver(routine(5));
        ASSERT_EQ(tick(), HeaderRead);
        port.deliver(readReply(header()));
        for (int a = 1; a <= std::min(axles + 1, 9); ++a) {
            ASSERT_EQ(port.last(), axleRead(a));
            port.deliver(readReply(a <= axles ? axleRow(a) : NoAxle));
        }
    }
};

class Link : public ::testing::Test {
protected:
    Rig rig;
    StandLink& link = rig.link;
    FakeSerialPort& port = rig.port;
    QByteArray tick() { return rig.tick(); }
};

} // namespace

TEST_F(Link, SilentControllerCountsOneLostReplyPerTimeOutAndDropsTheQueuedCommand) {
    EXPECT_FALSE(link.fConnect);
    for (int second = 1; second <= 3; ++second) {
        EXPECT_EQ(tick(), RoutineRead);
        EXPECT_TRUE(link.tmTimeOut.isActive());
        EXPECT_TRUE(tick().isEmpty()); // one request outstanding at a time
        link.IRByte = 4;
        const int clears = port.inputClears;
        link.tmTimeOutTimer();
        EXPECT_EQ(link.BadPacket, second);
        EXPECT_FALSE(link.fConnect);
        EXPECT_EQ(link.IRByte, 0);
        EXPECT_EQ(link.State, 1);
        EXPECT_FALSE(link.tmTimeOut.isActive());
        EXPECT_EQ(port.inputClears, clears + 1);
    }
    // The count wraps in 16 bits.
    link.BadPacket = 65535;
    tick();
    link.tmTimeOutTimer();
    EXPECT_EQ(link.BadPacket, 0);
}

TEST_F(Link, ClosedPortShowsAsLostRepliesAndEachTimeOutTriesToReopenIt) {
    port.opened = false;
    port.openSucceeds = false;
    const qsizetype written = port.written.size();
    tick();
    EXPECT_EQ(link.State, 2);
    EXPECT_TRUE(link.tmTimeOut.isActive());
    EXPECT_EQ(port.written.size(), written);
    link.tmTimeOutTimer();
    EXPECT_EQ(port.openCalls, 1);
    EXPECT_EQ(port.inputClears, 0);
    EXPECT_EQ(link.BadPacket, 1);

    port.openSucceeds = true;
    tick();
    link.tmTimeOutTimer();
    EXPECT_EQ(port.openCalls, 2);
    EXPECT_EQ(port.inputClears, 1);
    EXPECT_EQ(port.outputClears, 1);
    EXPECT_EQ(tick(), RoutineRead);
}

TEST_F(Link, RequestSentWhileTheReopeningAsksForAPortKeepsItsTimeOut) {
    port.opened = false;
    tick();
    // The port-choice dialog runs an event loop in which the poll tick goes on.
    port.whileOpening = [&] { tick(); };
    link.tmTimeOutTimer();
    EXPECT_EQ(link.State, 2);
    EXPECT_TRUE(link.tmTimeOut.isActive());
}

TEST_F(Link, CommandWaitsForTheEndOfTheTurnAndOnlyTheLatestIsWritten) {
    EXPECT_EQ(tick(), RoutineRead);
    link.IRByte = 1; // chosen while the routine read is outstanding
    port.deliver(routine(0));
    EXPECT_EQ(tick(), StatusRead);
    link.IRByte = 39; // a second command in the same turn replaces the first
    port.deliver(readReply({0, 0, 0}));
    EXPECT_EQ(tick(), QByteArray::fromHex("0110000000010200 27 E64A"));
    EXPECT_EQ(link.IRByte, 0);
    EXPECT_EQ(link.State, 3);
    port.deliver(CommandReply);
    EXPECT_EQ(link.State, 1);
    EXPECT_EQ(tick(), RoutineRead);

    // The slave address of the settings goes into every request.
    Rig other;
    Settings s;
    s.Address = 0x11;
    other.link.openPorts(s);
    other.link.IRByte = 1;
    EXPECT_EQ(other.tick(), withCrc({0x11, 0x10, 0, 0, 0, 1, 2, 0, 1}));
}

TEST_F(Link, PageReadGoesBeforeAQueuedCommand) {
    std::vector<uint16_t> words(16);
    for (int i = 0; i < 16; ++i)
        words[i] = uint16_t(500 + i);

    enum class Answer { Reply, Refused, None };
    struct Case {
        Answer answer;
        uint16_t pageStatus;
        uint16_t word5;
    };
    for (const Case& c :
         {Case{Answer::Reply, 1, 500}, Case{Answer::Refused, 1, 0}, Case{Answer::None, 3, 0}}) {
        Rig r;
        r.image.Pages[3] = {5, 20, 16, nullptr};
        r.link.PageStatus = 1;
        r.link.IRByte = 4;
        r.link.CurrentPage = 3;
        r.link.fRequest = true;
        EXPECT_EQ(r.link.PageStatus, 1); // until the tick sends the read
        EXPECT_EQ(r.tick(), readRequest(305, 16));
        EXPECT_EQ(r.link.PageStatus, 2);
        EXPECT_FALSE(r.link.fRequest);
        if (c.answer == Answer::Reply)
            r.port.deliver(readReply(words));
        else if (c.answer == Answer::Refused)
            r.port.deliver(refused(0x04));
        else
            r.link.tmTimeOutTimer();
        EXPECT_EQ(r.link.PageStatus, c.pageStatus) << int(c.answer);
        EXPECT_EQ(r.image.word(3, 5), c.word5) << int(c.answer);
        EXPECT_EQ(r.image.word(3, 20), c.word5 ? 515 : 0) << int(c.answer);
        EXPECT_EQ(r.link.State, 1);
        // The command is written at the next idle tick, unless the time-out dropped it.
        EXPECT_EQ(r.tick(), c.answer == Answer::None ? RoutineRead : withCrc({1, 0x10, 0, 0, 0, 1, 2, 0, 4}))
            << int(c.answer);
    }
}

TEST_F(Link, FinishedTestIsFetchedOnceInPlaceOfTheStatusRead) {
    struct Case {
        int axles;
        int axleReads;
        int currentAxle;
    };
    for (const Case& c : {Case{0, 1, 1}, Case{3, 4, 4}, Case{9, 9, 10}}) {
        Rig r;
        r.turn(0);
        r.fetch(c.axles);
        ASSERT_EQ(r.handOvers, std::vector<int>{c.currentAxle}) << c.axles;
        int reads = 0;
        for (const QByteArray& w : r.port.written)
            for (int a = 1; a <= 9; ++a)
                reads += w == axleRead(a);
        EXPECT_EQ(reads, c.axleReads) << c.axles;
        for (int k = 1; k <= 25; ++k)
            EXPECT_EQ(r.link.FinalOKData[k], 999 + k);
        for (int a = 1; a <= 9; ++a)
            for (int j = 1; j <= 32; ++j)
                ASSERT_EQ(r.link.AxleOkData[a][j], a <= c.axles ? a * 100 + j - 1 : 0xFFFF)
                    << c.axles << " axle " << a << " word " << j;
        EXPECT_EQ(r.link.State, 1);
        EXPECT_FALSE(r.link.tmTimeOut.isActive());

        // The controller still reports the test: the routine poll goes on, no second fetch.
        EXPECT_EQ(r.tick(), RoutineRead);
        r.port.deliver(routine(5));
        EXPECT_EQ(r.tick(), StatusRead);
        r.port.deliver(readReply({0, 0, 0}));
        // Once it falls below 5 the next finished test is fetched again.
        r.turn(1);
        EXPECT_EQ(r.link.CurrentAxle, 0);
        r.fetch(1);
        EXPECT_EQ(r.handOvers.size(), 2u);
    }
}

TEST_F(Link, AbandonedFetchIsTriedAgainAtMostThreeTimesWhileTheTestIsReported) {
    // Each way a fetch can break: a refused or a lost reply, to the header or an axle read.
    enum class Break { RefuseHeader, LoseHeader, RefuseAxle2, LoseAxle1 };
    for (Break b : {Break::RefuseHeader, Break::LoseHeader, Break::RefuseAxle2, Break::LoseAxle1}) {
        Rig r;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            EXPECT_EQ(r.tick(), RoutineRead);
            r.port.deliver(routine(5));
            ASSERT_EQ(r.tick(), HeaderRead) << int(b) << " attempt " << attempt;
            if (b == Break::RefuseHeader) {
                r.port.deliver(refused(0x04));
            } else if (b == Break::LoseHeader) {
                r.link.tmTimeOutTimer();
            } else {
                r.port.deliver(readReply(header()));
                if (b == Break::RefuseAxle2) {
                    r.port.deliver(readReply(axleRow(1)));
                    r.port.deliver(refused(0x04));
                } else {
                    r.link.tmTimeOutTimer();
                }
            }
            EXPECT_EQ(r.link.State, 1) << int(b);
            EXPECT_FALSE(r.link.tmTimeOut.isActive()) << int(b);
        }
        EXPECT_TRUE(r.handOvers.empty());
        // The fourth time the stand state 5 comes, the turn goes on with the status read.
        EXPECT_EQ(r.tick(), RoutineRead);
        r.port.deliver(routine(5));
        EXPECT_EQ(r.tick(), StatusRead) << int(b);
        r.port.deliver(readReply({0, 0, 0}));
        // A new test (the state fell below 5 in between) gets its three attempts again.
        r.turn(2);
        r.fetch(2);
        EXPECT_EQ(r.handOvers, std::vector<int>{3}) << int(b);
    }
}

TEST_F(Link, CycleIsIdleAfterTheHandOverWhateverItDoes) {
    enum class Way { Throws, ThrowsUnknown, RunsADialog };
    for (int axles : {2, 9}) {
        for (Way way : {Way::Throws, Way::ThrowsUnknown, Way::RunsADialog}) {
            Rig r;
            qsizetype writtenDuring = -1;
            r.duringHandOver = [&] {
                if (way == Way::Throws)
                    throw std::runtime_error("disk full");
                if (way == Way::ThrowsUnknown)
                    throw 42;
                // A message box: its event loop delivers ticks, time-outs and stray bytes.
                const qsizetype before = r.port.written.size();
                QEventLoop loop;
                QTimer::singleShot(30, [&] { r.port.deliver(readReply(axleRow(7))); });
                QTimer::singleShot(150, &loop, &QEventLoop::quit);
                loop.exec();
                writtenDuring = r.port.written.size() - before;
            };
            r.turn(0);
            r.fetch(axles);
            EXPECT_EQ(r.handOvers.size(), 1u);
            EXPECT_EQ(r.link.State, 1);
            EXPECT_FALSE(r.link.tmTimeOut.isActive());
            if (way == Way::RunsADialog) {
                EXPECT_EQ(writtenDuring, 0) << axles;
                EXPECT_EQ(r.link.AxleOkData[3][1], axles >= 3 ? 300 : 0xFFFF);
            }
            EXPECT_EQ(r.tick(), RoutineRead) << axles << " " << int(way);
        }
    }
}

TEST_F(Link, ReplyIsGatheredFromPiecesUpToTheBufferRules) {
    const QByteArray reply = routine(0, {{2, 7}});
    ASSERT_EQ(reply.size(), 45);
    const QByteArray junk(140, '\x55');
    struct Case {
        const char* name;
        std::vector<QByteArray> pieces;
        bool accepted;
        int inCountAfter;
    };
    const Case cases[] = {
        {"10, 20 and 15 bytes", {reply.left(10), reply.mid(10, 20), reply.mid(30)}, true, 0},
        {"first two pieces only", {reply.left(10), reply.mid(10, 20)}, false, 30},
        {"after a 140-byte heap of garbage", {junk.left(100), junk.mid(100), reply}, true, 0},
        {"behind 100 bytes of garbage in its first piece", {junk.left(100) + reply.left(20), reply.mid(20)}, true, 0},
        {"a single piece of 128 bytes", {QByteArray(128, '\x02')}, false, 0},
        {"a reply of 127 bytes from two pieces", {}, true, 0},
    };
    for (const Case& c : cases) {
        Rig r;
        std::vector<QByteArray> pieces = c.pieces;
        if (pieces.empty()) {
            // A page of 61 registers: the longest window the profile accepts.
            r.image.Pages[1] = {0, 60, 61, nullptr};
            r.link.fRequest = true;
            r.link.CurrentPage = 1;
            const QByteArray page = readReply(std::vector<uint16_t>(61, 9));
            ASSERT_EQ(page.size(), 127);
            pieces = {page.left(100), page.mid(100)};
        }
        r.tick();
        const int state = r.link.State;
        for (const QByteArray& p : pieces) {
            r.port.deliver(p);
            EXPECT_LE(r.link.InCount, 127) << c.name;
        }
        EXPECT_EQ(r.link.State != state, c.accepted) << c.name;
        EXPECT_EQ(r.link.fConnect, c.accepted) << c.name;
        EXPECT_EQ(r.link.InCount, c.inCountAfter) << c.name;
        EXPECT_EQ(r.link.tmTimeOut.isActive(), !c.accepted) << c.name;
    }
    // A long burst is taken a piece at a time: the buffer never holds more than it can.
    tick();
    port.deliver(QByteArray(20, '\x01'));
    port.deliver(QByteArray(200, '\x02') + QByteArray(300, '\x01'));
    EXPECT_LE(link.InCount, 127);
    EXPECT_TRUE(port.input.isEmpty());
    port.deliver(QByteArray(10, '\x00') + reply);
    EXPECT_EQ(link.State, StandLink::StatusDue);
    EXPECT_EQ(link.HReg[2], 7);
}

namespace {

// What the link has stored from replies: none of it may change for a frame that is no reply.
struct Stored {
    int32_t Status;
    std::array<uint16_t, 12> HReg;
    QString TextSt;
    uint16_t CycleLeft, CycleRight, Sensor;
    std::array<uint16_t, 26> FinalOKData;
    std::array<std::array<uint16_t, 33>, 10> AxleOkData;
    std::vector<uint16_t> page3;

    explicit Stored(const Rig& r)
        : Status(r.link.Status), HReg(r.link.HReg), TextSt(r.link.TextSt), CycleLeft(r.link.CycleLeft),
          CycleRight(r.link.CycleRight), Sensor(r.link.Sensor),
          FinalOKData(r.link.FinalOKData), AxleOkData(r.link.AxleOkData) {
        for (uint16_t a = 5; a <= 20; ++a)
            page3.push_back(r.image.word(3, a));
    }
    bool operator==(const Stored&) const = default;
};

std::vector<uint16_t> pageWords() {
    std::vector<uint16_t> words(16);
    for (int i = 0; i < 16; ++i)
        words[i] = uint16_t(500 + i);
    return words;
}

// Each read the cycle makes, brought to the point where its reply is awaited.
struct ReadCase {
    const char* name;
    std::function<void(Rig&)> ask;
    std::vector<uint16_t> words; // the right reply
    StandLink::PollState waiting;
    StandLink::PollState after; // once the right reply is stored
    std::function<bool(const Rig&)> stored;
};

const ReadCase Reads[] = {
    {"routine read", [](Rig& r) { r.tick(); }, routineWords(3, {{2, 700}}), StandLink::WaitingForRoutine, StandLink::StatusDue,
     [](const Rig& r) { return r.link.Status == 3 && r.link.HReg[2] == 700 && r.link.tFPS == 1; }},
    {"status read",
     [](Rig& r) {
         r.tick();
         r.port.deliver(routine(1));
         r.tick();
     },
     {11, 12, 13}, StandLink::WaitingForStatus, StandLink::Idle,
     [](const Rig& r) { return r.link.CycleLeft == 11 && r.link.Sensor == 13; }},
    {"result header read",
     [](Rig& r) {
         r.tick();
         r.port.deliver(routine(5));
         r.tick();
     },
     header(), StandLink::WaitingForHeader, StandLink::WaitingForAxle,
     [](const Rig& r) { return r.link.FinalOKData[25] == 1024 && r.port.last() == axleRead(1); }},
    {"axle result read",
     [](Rig& r) {
         r.tick();
         r.port.deliver(routine(5));
         r.tick();
         r.port.deliver(readReply(header()));
     },
     axleRow(1), StandLink::WaitingForAxle, StandLink::WaitingForAxle,
     [](const Rig& r) { return r.link.AxleOkData[1][32] == 131 && r.port.last() == axleRead(2); }},
    {"page read",
     [](Rig& r) {
         r.image.Pages[3] = {5, 20, 16, nullptr};
         r.link.CurrentPage = 3;
         r.link.fRequest = true;
         r.tick();
     },
     pageWords(), StandLink::WaitingForPage, StandLink::Idle,
     [](const Rig& r) { return r.image.word(3, 5) == 500 && r.image.word(3, 20) == 515 && r.link.PageStatus == 1; }},
};

} // namespace

TEST(ReplyValidation, AReadCountsOnlyWhenItsReplyAnswersTheRequest) {
    enum Outcome { Reply, Refused, NoReply };
    struct Frame {
        const char* name;
        std::function<QByteArray(const QByteArray& request, const std::vector<uint16_t>& words)> bytes;
        Outcome outcome;
    };
    auto less = [](std::vector<uint16_t> w) {
        w.pop_back();
        return w;
    };
    auto more = [](std::vector<uint16_t> w) {
        w.push_back(0xBEEF);
        return w;
    };
    const Frame frames[] = {
        {"right", [](const QByteArray&, auto& w) { return readReply(w); }, Reply},
        {"one register short", [&](const QByteArray&, auto& w) { return readReply(less(w)); }, NoReply},
        {"one register long", [&](const QByteArray&, auto& w) { return readReply(more(w)); }, NoReply},
        {"a single register", [](const QByteArray&, auto& w) { return readReply({w[0]}); }, NoReply},
        {"count right, a register missing",
         [&](const QByteArray&, auto& w) { return frame({1, 0x04, uint8_t(w.size() * 2)}, less(w)); }, NoReply},
        {"other slave address", [](const QByteArray&, auto& w) { return readReply(w, 2); }, NoReply},
        {"other function", [](const QByteArray&, auto& w) { return frame({1, 0x03, uint8_t(w.size() * 2)}, w); },
         NoReply},
        {"exception", [](const QByteArray&, auto&) { return refused(0x04); }, Refused},
        {"exception to another function", [](const QByteArray&, auto&) { return refused(0x03); }, NoReply},
        {"exception from another slave", [](const QByteArray&, auto&) { return withCrc({2, 0x84, 0x02}); },
         NoReply},
        {"echo of the request", [](const QByteArray& req, auto&) { return req; }, NoReply},
        {"echo, then the reply", [](const QByteArray& req, auto& w) { return req + readReply(w); }, Reply},
        {"echo, then an exception", [](const QByteArray& req, auto&) { return req + refused(0x04); }, Refused},
        {"one noise byte, then the reply", [](const QByteArray&, auto& w) { return QByteArray(1, '\xFF') + readReply(w); },
         Reply},
        {"our address as noise, then the reply",
         [](const QByteArray&, auto& w) { return QByteArray("\x01\x01\x04", 3) + readReply(w); }, Reply},
        {"echo, noise, then the reply",
         [](const QByteArray& req, auto& w) { return req + QByteArray("\x00\x01", 2) + readReply(w); }, Reply},
        {"another slave's reply, then ours",
         [](const QByteArray&, auto& w) { return readReply(w, 2) + readReply(w); }, Reply},
        {"a short reply, then the right one", [&](const QByteArray&, auto& w) { return readReply(less(w)) + readReply(w); },
         Reply},
        {"the reply twice in one piece", [](const QByteArray&, auto& w) { return readReply(w) + readReply(w); }, Reply},
    };
    for (const ReadCase& read : Reads) {
        for (const Frame& f : frames) {
            const std::string name = std::string(read.name) + ": " + f.name;
            Rig r;
            read.ask(r);
            ASSERT_EQ(r.link.State, read.waiting) << name;
            const QByteArray request = r.port.last();
            r.link.fConnect = false; // as after a lost reply: only an answer sets it
            const Stored before(r);
            const uint16_t replies = r.link.tFPS;
            const qsizetype sent = r.port.written.size();
            r.port.deliver(f.bytes(request, read.words));
            EXPECT_TRUE(r.port.input.isEmpty()) << name;
            if (f.outcome == Reply) {
                EXPECT_EQ(r.link.State, read.after) << name;
                EXPECT_TRUE(read.stored(r)) << name;
                EXPECT_TRUE(r.link.fConnect) << name;
                continue;
            }
            if (f.outcome == Refused) {
                // Refused: an answer, with nothing stored from it.
                EXPECT_TRUE(r.link.fConnect) << name;
                EXPECT_NE(r.link.State, read.waiting) << name;
                EXPECT_TRUE(Stored(r) == before) << name;
                continue;
            }
            // No reply: nothing stored, nothing moved, the time-out runs on and counts it lost.
            EXPECT_TRUE(Stored(r) == before) << name;
            EXPECT_EQ(r.link.State, read.waiting) << name;
            EXPECT_FALSE(r.link.fConnect) << name;
            EXPECT_EQ(r.port.written.size(), sent) << name;
            EXPECT_EQ(r.link.tFPS, replies) << name;
            EXPECT_EQ(r.link.BadPacket, 0) << name;
            EXPECT_TRUE(r.link.tmTimeOut.isActive()) << name;
            r.link.tmTimeOutTimer();
            EXPECT_EQ(r.link.BadPacket, 1) << name;
            EXPECT_TRUE(Stored(r) == before) << name;
        }
    }
}

TEST(ReplyValidation, TheCommandWritesReplyRepeatsAddressStartAndCount) {
    struct Case {
        const char* name;
        QByteArray bytes;
        bool answered;
    };
    const QByteArray request = withCrc({1, 0x10, 0, 0, 0, 1, 2, 0, 5});
    const Case cases[] = {
        {"right", CommandReply, true},
        {"exception", withCrc({1, 0x90, 0x04}), true},
        {"echo, then the reply", request + CommandReply, true},
        {"noise, then the reply", QByteArray("\x01\x10\x00", 3) + CommandReply, true},
        {"echo alone", request, false},
        {"other start", withCrc({1, 0x10, 0, 1, 0, 1}), false},
        {"other count", withCrc({1, 0x10, 0, 0, 0, 2}), false},
        {"other slave address", withCrc({2, 0x10, 0, 0, 0, 1}), false},
        {"a read reply", readReply({1}), false},
        {"an exception to a read", refused(0x04), false},
    };
    for (const Case& c : cases) {
        Rig r;
        r.link.IRByte = 5;
        ASSERT_EQ(r.tick(), request);
        r.port.deliver(c.bytes);
        EXPECT_EQ(r.link.State, c.answered ? StandLink::Idle : StandLink::WaitingForCommand) << c.name;
        EXPECT_EQ(r.link.fConnect, c.answered) << c.name;
        EXPECT_EQ(r.link.tmTimeOut.isActive(), !c.answered) << c.name;
    }
}

TEST(ReplyValidation, APageReplyGoesToThePageThatWasAskedFor) {
    Rig r;
    r.image.Pages[3] = {5, 20, 16, nullptr};
    r.image.Pages[4] = {0, 15, 16, nullptr};
    r.link.CurrentPage = 3;
    r.link.fRequest = true;
    EXPECT_EQ(r.tick(), readRequest(305, 16));
    // A second client names another page while the first read is outstanding.
    r.link.CurrentPage = 4;
    r.link.fRequest = true;
    r.port.deliver(readReply(pageWords()));
    EXPECT_EQ(r.image.word(3, 5), 500);
    EXPECT_EQ(r.image.word(4, 0), 0);
    EXPECT_EQ(r.tick(), readRequest(400, 16));
}

TEST_F(Link, RoutineAndStatusRepliesFillTheLiveValues) {
    int repaints = 0;
    QObject::connect(&link, &StandLink::repaintBoard, [&] { ++repaints; });
    tick();
    port.deliver(routine(0xFFFF, {{2, 25},
                                  {3, 125},
                                  {4, 0xFFFF},
                                  {5, 0x8000},
                                  {9, 3},
                                  {10, 0x00C0},
                                  {11, 0x00C1},
                                  {15, 0xE0FF},
                                  {19, 0x0031}}));
    EXPECT_EQ(link.Status, 65535); // unsigned, never -1
    EXPECT_EQ(link.HReg[4], 0xFFFF);
    EXPECT_EQ(link.HReg[5], 0x8000);
    EXPECT_EQ(link.HReg[9], 3);
    EXPECT_EQ(link.HReg[10], 0x00C0);
    EXPECT_EQ(link.HReg[11], 0x00C1);
    // Zero bytes are skipped wherever they stand; the rest is the Cyrillic code page.
    EXPECT_EQ(link.TextSt, QStringLiteral("АБая1"));
    EXPECT_EQ(link.LeftV, 2);
    EXPECT_EQ(link.RightV, 8);
    EXPECT_EQ(link.tFPS, 1);
    EXPECT_EQ(repaints, 1);
    EXPECT_TRUE(link.fConnect);
    EXPECT_EQ(tick(), StatusRead);
    port.deliver(readReply({11, 12, 0x8001}));
    EXPECT_EQ(link.CycleLeft, 11);
    EXPECT_EQ(link.CycleRight, 12);
    EXPECT_EQ(link.Sensor, 0x8001);
    EXPECT_EQ(repaints, 2);
    EXPECT_EQ(link.State, 1);

    // Bar levels round exact halves to the even neighbour.
    struct Level {
        uint16_t value;
        uint16_t level;
    };
    for (const Level& l : {Level{24, 1}, Level{25, 2}, Level{75, 4}, Level{125, 8}, Level{26, 2},
                           Level{1000, 60}, Level{65535, 3932}}) {
        tick();
        port.deliver(routine(0, {{2, l.value}, {3, l.value}}));
        EXPECT_EQ(link.LeftV, l.level) << l.value;
        EXPECT_EQ(link.RightV, l.level) << l.value;
        tick();
        port.deliver(readReply({0, 0, 0}));
    }
}

TEST_F(Link, RefusedRoutineAndStatusReadsKeepTheValuesButCountAsAnswers) {
    tick();
    port.deliver(routine(3, {{2, 100}, {10, 0x4142}}));
    tick();
    port.deliver(readReply({5, 6, 7}));
    link.HReg[2] = 125; // the bar level is worked out again from what is kept
    link.tFPS = 0;

    tick();
    port.deliver(refused(0x04));
    EXPECT_EQ(link.Status, 3);
    EXPECT_EQ(link.TextSt, QStringLiteral("AB"));
    EXPECT_EQ(link.LeftV, 8);
    EXPECT_EQ(link.tFPS, 1);
    EXPECT_TRUE(link.fConnect);
    EXPECT_EQ(tick(), StatusRead);
    port.deliver(refused(0x04));
    EXPECT_EQ(link.CycleLeft, 5);
    EXPECT_EQ(link.Sensor, 7);
    EXPECT_EQ(link.State, 1);
    // A reply with nothing outstanding only tells that the controller is there.
    link.fConnect = false;
    link.tmTimeOut.start();
    port.deliver(readReply({1, 2, 3}));
    EXPECT_TRUE(link.fConnect);
    EXPECT_FALSE(link.tmTimeOut.isActive());
    EXPECT_EQ(link.State, 1);
    EXPECT_EQ(link.CycleLeft, 5);
}

TEST_F(Link, RemoteTakesEveryWaitingCodeAndTheLatestWins) {
    struct Case {
        const char* name;
        QByteArray burst;
        uint8_t slot;
    };
    const Case cases[] = {
        {"one code", QByteArray("\x22", 1), 0x22},
        {"two codes at once", QByteArray("\x05\x06", 2), 0x06},
        {"a code, then 0", QByteArray("\x05\x00", 2), 0},
        {"0, then a code", QByteArray("\x00\x07", 2), 0x07},
        {"a held key", QByteArray(300, '\x04'), 0x04},
    };
    for (const Case& c : cases) {
        Rig r;
        r.link.IRByte = 0x11; // a code not written yet
        r.ir.deliver(c.burst);
        EXPECT_EQ(r.link.IRByte, c.slot) << c.name;
        EXPECT_TRUE(r.ir.input.isEmpty()) << c.name;
    }
    // An event with nothing waiting changes nothing; the next press is not one behind.
    rig.ir.deliver(QByteArray("\x05\x06", 2));
    rig.ir.deliver(QByteArray());
    EXPECT_EQ(link.IRByte, 6);
    EXPECT_EQ(tick(), withCrc({1, 0x10, 0, 0, 0, 1, 2, 0, 6}));
    rig.ir.deliver(QByteArray(1, '\x07'));
    EXPECT_EQ(link.IRByte, 7);
}

TEST(LinkPorts, StartUpOpensTheControllerPortThenTheRemote) {
    struct Case {
        bool mainOpens;
        bool irEnabled;
        bool irOpens;
        bool result;
        int irOpenCalls;
        int irClears;
    };
    const Case cases[] = {
        {true, false, true, true, 0, 0},
        {true, true, true, true, 1, 1},
        {true, true, false, true, 1, 0},
        {false, true, true, false, 0, 0},
    };
    for (const Case& c : cases) {
        RegisterImage image;
        StandLink link(image);
        FakeSerialPort ctrl, ir;
        link.setPorts(&ctrl, &ir);
        ctrl.openSucceeds = c.mainOpens;
        ir.openSucceeds = c.irOpens;
        link.InCount = 9;
        Settings s;
        s.ComNumber = 0x10003; // applied as a 16-bit number
        s.PortName = QStringLiteral("/dev/pts/9");
        s.Baud = 115200;
        s.IREnabled = c.irEnabled;
        s.IRComNumber = 4;
        s.IRBaud = 1200;
        EXPECT_EQ(link.openPorts(s), c.result);
        EXPECT_EQ(ctrl.number, 3);
        EXPECT_EQ(ctrl.name, QStringLiteral("/dev/pts/9"));
        EXPECT_EQ(ctrl.baud, 115200);
        EXPECT_EQ(ctrl.isOpen(), c.mainOpens);
        EXPECT_EQ(ctrl.inputClears, c.mainOpens ? 1 : 0);
        EXPECT_EQ(ctrl.outputClears, c.mainOpens ? 1 : 0);
        EXPECT_EQ(link.InCount, c.mainOpens ? 0 : 9);
        EXPECT_EQ(ir.openCalls, c.irOpenCalls);
        EXPECT_EQ(ir.inputClears, c.irClears);
        if (c.irOpenCalls) {
            EXPECT_EQ(ir.number, 4);
            EXPECT_EQ(ir.baud, 1200);
        }
    }
}
