#include "StandLink.h"

#include "AnsiText.h"
#include "Modbus.h"
#include "RegisterImage.h"
#include "SerialPort.h"
#include "Settings.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>
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

// Bytes are taken from the port at most this many at a time, and what is gathered never grows
// past it before the next piece is added; so InBuff never holds more than 127 + 127 bytes.
constexpr int MaxPiece = 127;
constexpr int MaxGathered = 2 * MaxPiece;
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
    State = Idle;
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
    case WaitingForRoutine:
    case WaitingForCommand:
    case WaitingForStatus:
    case WaitingForAxle:
    case WaitingForHeader:
    case WaitingForPage:
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

    if (Status == ResultsReady && fStatus) {
        tmTimeOut.stop();
        sendRead(HeaderStart, HeaderRegisters);
        State = WaitingForHeader;
        timeOutOn();
        fStatus = false;
        ++fetchAttempts_;
    } else if (Status < ResultsReady) {
        fStatus = true;
        CurrentAxle = 0;
        fetchAttempts_ = 0;
        fetchAbandoned_ = false;
    }

    if (State == Idle) {
        if (fRequest) {
            requestedPage_ = CurrentPage;
            sendRead(image_.windowStart(CurrentPage), pageWindow(CurrentPage));
            fRequest = false;
            State = WaitingForPage;
            PageStatus = 2;
            timeOutOn();
            return;
        }
        if (IRByte == 0) {
            sendRead(RoutineStart, RoutineRegisters);
            State = WaitingForRoutine;
        } else {
            OutCount = static_cast<uint16_t>(Modbus::writeCommand(OutBuff.data(), Address, IRByte));
            sendRequest();
            IRByte = 0;
            State = WaitingForCommand;
        }
        timeOutOn();
    }
    if (State == StatusDue) {
        sendRead(StatusStart, StatusRegisters);
        State = WaitingForStatus;
        timeOutOn();
    }
}

void StandLink::tmTimeOutTimer() {
    if (handingOver_) {
        tmTimeOut.stop();
        return;
    }
    if (State == WaitingForPage)
        PageStatus = 3;
    BadPacket = static_cast<uint16_t>(BadPacket + 1);
    if (State == WaitingForAxle || State == WaitingForHeader)
        fetchAbandoned_ = true;
    InCount = 0;
    State = Idle;
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

uint16_t StandLink::pageWindow(uint16_t page) const {
    return page < RegisterImage::PageCount ? image_.Pages[page].windowCount : 0;
}

void StandLink::cpMainTriggerAvail(int count) {
    if (!cpMain)
        return;
    // However much is waiting, it is taken a piece at a time, so the buffer's limits hold; a
    // burst may well hold a whole reply (one sent twice, or behind noise).
    for (int left = count; left > 0;) {
        if (InCount > MaxPiece || InCount < 0)
            InCount = 0;
        const int want = std::min(left, MaxPiece);
        const int got = cpMain->read(InBuff.data() + InCount, want);
        if (got <= 0)
            return;
        InCount += std::min(got, want);
        left -= got;
        if (findReply()) {
            // What came with it or after it answers nothing that is asked: a second copy of
            // the reply, or noise. The next request is answered by what comes after it.
            if (left > 0 || cpMain->bytesAvailable() > 0)
                cpMain->clearInput();
            handleReply();
            return;
        }
    }
}

int StandLink::replyAt(int at) const {
    // Nothing asked yet: nothing is an answer.
    if (OutCount < 6)
        return 0;
    const uint8_t* b = InBuff.data() + at;
    const int have = InCount - at;
    if (b[0] != OutBuff[0])
        return 0;
    if (have < 2)
        return -1;
    const uint8_t function = OutBuff[1];
    int length;
    if (b[1] == (function | 0x80)) {
        length = 5; // refused: the exception code and the CRC
    } else if (b[1] != function) {
        return 0;
    } else if (function == Modbus::ReadInputRegisters) {
        if (have < 3)
            return -1;
        const int registers = OutBuff[4] << 8 | OutBuff[5];
        if (b[2] != registers * 2)
            return 0;
        length = 5 + 2 * registers;
    } else {
        // The command write's reply repeats the address, start and count written.
        const int known = std::min(have, 6);
        if (std::memcmp(b + 2, OutBuff.data() + 2, known - 2) != 0)
            return 0;
        length = 8;
    }
    if (length > MaxGathered)
        return 0;
    if (have < length)
        return -1;
    return Modbus::checkFrame(b, length) ? length : 0;
}

bool StandLink::fitsState(const uint8_t* reply) const {
    if (Modbus::isRefused(reply))
        return true;
    const bool read = reply[1] == Modbus::ReadInputRegisters;
    const int registers = read ? reply[2] / 2 : -1;
    switch (State) {
    case WaitingForRoutine:
        return registers == RoutineRegisters;
    case WaitingForStatus:
        return registers == StatusRegisters;
    case WaitingForHeader:
        return registers == HeaderRegisters;
    case WaitingForAxle:
        return registers == AxleRegisters;
    case WaitingForPage:
        return read && registers == pageWindow(requestedPage_);
    case WaitingForCommand:
        return !read;
    default:
        // Nothing outstanding: a late answer to the last request only tells the controller is there.
        return true;
    }
}

bool StandLink::findReply() {
    const int echo = OutCount + 2;
    // The first byte that may still begin a reply or an echo of the request.
    int keep = InCount;
    for (int at = 0; at < InCount; ++at) {
        const int have = InCount - at;
        // The line may give back our own request before the reply: passed over.
        if (OutCount > 0 && std::memcmp(InBuff.data() + at, OutBuff.data(), std::min(have, echo)) == 0) {
            if (have >= echo) {
                at += echo - 1;
                continue;
            }
            keep = std::min(keep, at);
        }
        const int length = replyAt(at);
        if (length > 0 && fitsState(InBuff.data() + at)) {
            std::memmove(InBuff.data(), InBuff.data() + at, static_cast<size_t>(length));
            InCount = length;
            return true;
        }
        if (length < 0)
            keep = std::min(keep, at);
    }
    // Noise, echoes and frames that answer nothing asked are dropped.
    if (keep > 0) {
        std::memmove(InBuff.data(), InBuff.data() + keep, static_cast<size_t>(InCount - keep));
        InCount -= keep;
    }
    return false;
}

void StandLink::handleReply() {
    tmTimeOut.stop();
    fConnect = true;
    const bool refused = Modbus::isRefused(InBuff.data());
    // The handlers below may start the next request, which gathers from byte 0 again.
    InCount = 0;
    if (handingOver_)
        return;
    switch (State) {
    case WaitingForPage:
        pageReply(refused);
        break;
    case WaitingForRoutine:
        routineReply(refused);
        break;
    case WaitingForCommand:
        State = Idle;
        break;
    case WaitingForStatus:
        statusReply(refused);
        break;
    case WaitingForAxle:
        axleReply(refused);
        break;
    case WaitingForHeader:
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
        if (Status == ResultsReady && fetchAbandoned_ && !fStatus && fetchAttempts_ < MaxFetchAttempts) {
            fetchAbandoned_ = false;
            fStatus = true;
        }
    }
    LeftV = barLevel(HReg[2]);
    RightV = barLevel(HReg[3]);
    tFPS = static_cast<uint16_t>(tFPS + 1);
    emit repaintBoard();
    State = StatusDue;
}

void StandLink::statusReply(bool refused) {
    if (!refused) {
        CycleLeft = replyWord(0);
        CycleRight = replyWord(1);
        Sensor = replyWord(2);
    }
    emit repaintBoard();
    State = Idle;
}

void StandLink::pageReply(bool refused) {
    State = Idle;
    // The words belong to the page that was asked for, whatever page a client names meanwhile.
    if (!refused && requestedPage_ < RegisterImage::PageCount) {
        const int n = std::min<int>(InBuff[2] / 2, MaxReplyWords);
        uint16_t words[MaxReplyWords];
        for (int i = 0; i < n; ++i)
            words[i] = replyWord(i);
        image_.storePageWords(requestedPage_, words, n);
    }
    PageStatus = 1;
}

void StandLink::headerReply(bool refused) {
    tmTimeOut.stop();
    if (refused) {
        abandonFetch();
        return;
    }
    for (int k = 0; k < HeaderRegisters; ++k)
        FinalOKData[k + 1] = replyWord(k);
    for (int a = 1; a <= 9; ++a)
        std::fill(AxleOkData[a].begin() + 1, AxleOkData[a].end(), uint16_t{0xFFFF});
    CurrentAxle = 1;
    sendRead(100, AxleRegisters);
    timeOutOn();
    State = WaitingForAxle;
}

void StandLink::axleReply(bool refused) {
    tmTimeOut.stop();
    if (refused || CurrentAxle < 1 || CurrentAxle > 9) {
        abandonFetch();
        return;
    }
    auto& row = AxleOkData[CurrentAxle];
    for (int k = 0; k < AxleRegisters; ++k)
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
    sendRead(static_cast<uint16_t>(CurrentAxle * 100), AxleRegisters);
    timeOutOn();
}

void StandLink::abandonFetch() {
    tmTimeOut.stop();
    State = Idle;
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
    State = Idle;
    tmTimeOut.stop();
}

void StandLink::cpIRTriggerAvail(int) {
    if (!cpIR)
        return;
    // A burst of presses (or a key held down) arrives as one event: the slot takes the latest
    // code, so it never lags behind the keypad, and a 0 at the end still cancels.
    uint8_t codes[64];
    for (int got; (got = cpIR->read(codes, static_cast<int>(sizeof codes))) > 0;)
        IRByte = codes[got - 1];
}
