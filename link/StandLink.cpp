#include "StandLink.h"

#include "AnsiText.h"
#include "Modbus.h"
#include "RegisterImage.h"
#include "SerialPort.h"
#include "Settings.h"

#include <QtGlobal>

#include <algorithm>
#include <exception>

namespace {

// The bar level of a bar value: value x 60 / 1000 to the nearest integer, exact halves to
// the even neighbour (25 gives 2, 75 gives 4).
uint16_t barLevel(uint16_t value) {
    const uint32_t scaled = value * 60u;
    uint32_t level = scaled / 1000;
    const uint32_t rest = scaled % 1000;
    if (rest > 500 || (rest == 500 && (level & 1)))
        ++level;
    return static_cast<uint16_t>(level);
}

// A burst longer than this is thrown away whole, and a gathered reply never grows past it
// before its last piece; so InBuff never holds more than 127 + 127 bytes.
constexpr int MaxPiece = 127;
// The most registers a reply can carry without reaching past InBuff.
constexpr int MaxReplyWords = (Modbus::BufferSize - 5) / 2;

} // namespace

StandLink::StandLink(RegisterImage& image, QObject* parent) : QObject(parent), image_(image) {
    // The poll tick must really come every 20 ms to reach 25 turns a second.
    tmPort.setTimerType(Qt::PreciseTimer);
    tmPort.setInterval(20);
    // Coarse timers may fire 5% early: a time-out must not cut a reply short, and the
    // statistics tick must span a full second.
    tmTimeOut.setTimerType(Qt::PreciseTimer);
    tmTimeOut.setInterval(1000);
    tmFPS.setTimerType(Qt::PreciseTimer);
    tmFPS.setInterval(1000);
    connect(&tmPort, &QTimer::timeout, this, &StandLink::tmPortTimer);
    connect(&tmTimeOut, &QTimer::timeout, this, &StandLink::tmTimeOutTimer);
    connect(&tmFPS, &QTimer::timeout, this, &StandLink::tmFPSTimer);
    tmPort.start();
    tmFPS.start();
}

void StandLink::setIdle() {
    fStatus = true;
    State = 1;
    IRByte = 0;
}

void StandLink::stop() {
    tmPort.stop();
    tmTimeOut.stop();
}

void StandLink::setPorts(SerialPort* main, SerialPort* ir) {
    cpMain = main;
    cpIR = ir;
    if (cpMain)
        cpMain->setArrivalHandler([this](int n) { cpMainTriggerAvail(n); });
    if (cpIR)
        cpIR->setArrivalHandler([this](int n) { cpIRTriggerAvail(n); });
}

bool StandLink::openPorts(const Settings& s) {
    Address = s.Address;
    if (!cpMain)
        return false;
    cpMain->close();
    cpMain->setPort(s.comPortNumber(), s.PortName);
    cpMain->setBaud(s.Baud);
    if (!cpMain->open()) {
        cpMain->close();
        return false;
    }
    cpMain->clearInput();
    cpMain->clearOutput();
    InCount = 0;
    if (s.IREnabled && cpIR) {
        cpIR->close();
        cpIR->setPort(s.irPortNumber(), s.IRPortName);
        cpIR->setBaud(s.IRBaud);
        if (cpIR->open())
            cpIR->clearInput();
    }
    return true;
}

void StandLink::timeOutOn() {
    if (!tmTimeOut.isActive())
        tmTimeOut.start();
}

bool StandLink::requestOutstanding() const {
    switch (State) {
    case 2:
    case 3:
    case 5:
    case 10:
    case 20:
    case 100:
        return true;
    default:
        return false;
    }
}

void StandLink::sendRequest() {
    Modbus::appendCrc(OutBuff.data(), OutCount);
    InCount = 0;
    if (cpMain && cpMain->isOpen())
        cpMain->write(OutBuff.data(), OutCount + 2);
}

void StandLink::sendRead(uint16_t start, uint16_t count) {
    OutCount = static_cast<uint16_t>(Modbus::readInputRegisters(OutBuff.data(), Address, start, count));
    sendRequest();
}

void StandLink::tmPortTimer() {
    // The end-of-test handling may run a dialog: nothing goes out until it is done.
    if (handingOver_)
        return;

    if (Status == 5 && fStatus) {
        tmTimeOut.stop();
        sendRead(1000, 25);
        State = 20;
        timeOutOn();
        fStatus = false;
        ++fetchAttempts_;
    } else if (Status < 5) {
        fStatus = true;
        CurrentAxle = 0;
        fetchAttempts_ = 0;
        fetchAbandoned_ = false;
    }

    if (State == 1) {
        if (fRequest) {
            const uint16_t count =
                CurrentPage < RegisterImage::PageCount ? image_.Pages[CurrentPage].windowCount : 0;
            sendRead(image_.windowStart(CurrentPage), count);
            fRequest = false;
            State = 100;
            PageStatus = 2;
            timeOutOn();
            return;
        }
        if (IRByte == 0) {
            sendRead(1200, 20);
            State = 2;
        } else {
            OutCount = static_cast<uint16_t>(Modbus::writeCommand(OutBuff.data(), Address, IRByte));
            sendRequest();
            IRByte = 0;
            State = 3;
        }
        timeOutOn();
    }
    if (State == 4) {
        sendRead(1314, 3);
        State = 5;
        timeOutOn();
    }
}

void StandLink::tmTimeOutTimer() {
    if (handingOver_) {
        tmTimeOut.stop();
        return;
    }
    if (State == 100)
        PageStatus = 3;
    BadPacket = static_cast<uint16_t>(BadPacket + 1);
    if (State == 10 || State == 20)
        fetchAbandoned_ = true;
    InCount = 0;
    State = 1;
    IRByte = 0;
    fConnect = false;
    if (cpMain && !cpMain->isOpen())
        cpMain->open();
    if (cpMain && cpMain->isOpen()) {
        cpMain->clearInput();
        cpMain->clearOutput();
    }
    tmTimeOut.stop();
    // Opening may have asked the operator for a port in a modal dialog, under which the poll
    // went on: a request sent meanwhile keeps its time-out, or the cycle would wait forever.
    if (requestOutstanding())
        tmTimeOut.start();
}

void StandLink::tmFPSTimer() {
    FPS = tFPS;
    tFPS = 0;
}

uint16_t StandLink::replyWord(int k) const {
    return static_cast<uint16_t>((InBuff[3 + 2 * k] << 8) | InBuff[4 + 2 * k]);
}

void StandLink::cpMainTriggerAvail(int count) {
    if (!cpMain)
        return;
    if (count > MaxPiece) {
        cpMain->clearInput();
        InCount = 0;
        return;
    }
    if (InCount > MaxPiece || InCount < 0)
        InCount = 0;
    if (count <= 0)
        return;
    const int got = cpMain->read(InBuff.data() + InCount, count);
    if (got <= 0)
        return;
    InCount += std::min(got, count);
    if (!Modbus::checkFrame(InBuff.data(), InCount))
        return;

    tmTimeOut.stop();
    fConnect = true;
    const bool refused = Modbus::isRefused(InBuff.data());
    // The handlers below may start the next request, which gathers from byte 0 again.
    InCount = 0;
    if (handingOver_)
        return;
    switch (State) {
    case 100:
        pageReply(refused);
        break;
    case 2:
        routineReply(refused);
        break;
    case 3:
        State = 1;
        break;
    case 5:
        statusReply(refused);
        break;
    case 10:
        axleReply(refused);
        break;
    case 20:
        headerReply(refused);
        break;
    default:
        // No request outstanding: a late reply only tells that the controller is there.
        break;
    }
}

void StandLink::routineReply(bool refused) {
    if (!refused) {
        for (int k = 2; k <= 11; ++k)
            HReg[k] = replyWord(k);
        Status = replyWord(0);
        // Data bytes 20..39 are the message text; zero bytes are padding wherever they stand.
        char text[20];
        int n = 0;
        for (int i = 23; i <= 42; ++i)
            if (InBuff[i] != 0)
                text[n++] = static_cast<char>(InBuff[i]);
        TextSt = AnsiText::decode(QByteArray(text, n));
        // A fetch lost on the line is tried again while the controller still reports the test.
        if (Status == 5 && fetchAbandoned_ && !fStatus && fetchAttempts_ < MaxFetchAttempts) {
            fetchAbandoned_ = false;
            fStatus = true;
        }
    }
    LeftV = barLevel(HReg[2]);
    RightV = barLevel(HReg[3]);
    tFPS = static_cast<uint16_t>(tFPS + 1);
    emit repaintBoard();
    State = 4;
}

void StandLink::statusReply(bool refused) {
    if (!refused) {
        CycleLeft = replyWord(0);
        CycleRight = replyWord(1);
        Sensor = replyWord(2);
    }
    emit repaintBoard();
    State = 1;
}

void StandLink::pageReply(bool refused) {
    State = 1;
    if (!refused && CurrentPage < RegisterImage::PageCount) {
        const int n = std::min<int>(image_.Pages[CurrentPage].windowCount, MaxReplyWords);
        uint16_t words[MaxReplyWords];
        for (int i = 0; i < n; ++i)
            words[i] = replyWord(i);
        image_.storePageWords(CurrentPage, words, n);
    }
    PageStatus = 1;
}

void StandLink::headerReply(bool refused) {
    tmTimeOut.stop();
    if (refused) {
        abandonFetch();
        return;
    }
    for (int k = 0; k < 25; ++k)
        FinalOKData[k + 1] = replyWord(k);
    for (int a = 1; a <= 9; ++a)
        std::fill(AxleOkData[a].begin() + 1, AxleOkData[a].end(), uint16_t{0xFFFF});
    CurrentAxle = 1;
    sendRead(100, 32);
    timeOutOn();
    State = 10;
}

void StandLink::axleReply(bool refused) {
    tmTimeOut.stop();
    if (refused || CurrentAxle < 1 || CurrentAxle > 9) {
        abandonFetch();
        return;
    }
    auto& row = AxleOkData[CurrentAxle];
    for (int k = 0; k < 32; ++k)
        row[k + 1] = replyWord(k);
    if (row[1] == 0xFFFF) {
        fStatus = false;
        handOverResults();
        return;
    }
    ++CurrentAxle;
    if (CurrentAxle > 9) {
        handOverResults();
        return;
    }
    sendRead(static_cast<uint16_t>(CurrentAxle * 100), 32);
    timeOutOn();
}

void StandLink::abandonFetch() {
    tmTimeOut.stop();
    State = 1;
    fetchAbandoned_ = true;
}

void StandLink::handOverResults() {
    // Whatever the end-of-test handling does (a message box with its own event loop, or a
    // failure part-way), the cycle goes back to idle with nothing outstanding afterwards.
    tmTimeOut.stop();
    fetchAbandoned_ = false;
    handingOver_ = true;
    try {
        emit handOver();
    } catch (const std::exception& e) {
        qWarning("The end-of-test handling failed: %s", e.what());
    } catch (...) {
        qWarning("The end-of-test handling failed");
    }
    handingOver_ = false;
    State = 1;
    tmTimeOut.stop();
}

void StandLink::cpIRTriggerAvail(int) {
    uint8_t code = 0;
    if (cpIR && cpIR->readByte(code))
        IRByte = code;
}
