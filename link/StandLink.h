#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>

class RegisterImage;
class SerialPort;
struct Settings;

// The master side of the controller line: poll state, live values, link statistics and the
// results of a finished test. The board, the end-of-test handling and the automation
// interface read these fields; only the link writes them.
class StandLink : public QObject {
    Q_OBJECT
public:
    explicit StandLink(RegisterImage& image, QObject* parent = nullptr);

    // Start-up: the poll cycle goes idle and sends at the next tick.
    void setIdle();
    // Shutdown: no further request and no further time-out.
    void stop();

    // The controller port and the remote's port (either may be null). The link handles their
    // arrivals from here on; the ports stay owned by the caller.
    void setPorts(SerialPort* main, SerialPort* ir);
    // Start-up: opens the controller port and, when enabled and the controller port opened,
    // the remote's port. False when the controller port failed (it is left closed and the
    // remote's port is not tried); the remote's port fails silently.
    bool openPorts(const Settings& settings);

    // The poll tick (every 20 ms).
    void tmPortTimer();
    // No reply within 1000 ms.
    void tmTimeOutTimer();
    // The statistics tick (every 1000 ms).
    void tmFPSTimer();
    // The controller port's data-available event with the number of bytes waiting.
    void cpMainTriggerAvail(int count);
    // The remote's data-available event: every byte waiting is a command code, the latest wins.
    void cpIRTriggerAvail(int count);

    // A finished test is fetched at most this many times while the controller reports it.
    static constexpr int MaxFetchAttempts = 3;

    // The poll cycle's states, by the numbers it has always used.
    enum PollState : uint16_t {
        NotStarted = 0,         // only the end-of-test check runs until start-up
        Idle = 1,               // the next tick sends a page read, a command or the routine read
        WaitingForRoutine = 2,  // routine read outstanding
        WaitingForCommand = 3,  // command write outstanding
        StatusDue = 4,          // routine reply stored; the next tick sends the status read
        WaitingForStatus = 5,   // status read outstanding
        WaitingForAxle = 10,    // axle result read outstanding
        WaitingForHeader = 20,  // result header read outstanding
        WaitingForPage = 100,   // page read outstanding
    };

    // The stand's own state (register 1200) once a finished test's results are ready.
    static constexpr int32_t ResultsReady = 5;

    // Registers of each read the cycle makes.
    static constexpr uint16_t RoutineStart = 1200, RoutineRegisters = 20;
    static constexpr uint16_t StatusStart = 1314, StatusRegisters = 3;
    static constexpr uint16_t HeaderStart = 1000, HeaderRegisters = 25;
    static constexpr uint16_t AxleRegisters = 32;

signals:
    // After a routine reply and after a status reply have been stored: the board repaints
    // at once (connected directly, so the repaint is done when the emit returns).
    void repaintBoard();
    // A finished test's header and axle rows are fetched (CurrentAxle is the first row
    // without an axle). The end-of-test handling runs inside this call; the cycle goes
    // back to idle after it returns.
    void handOver();

public:
    QTimer tmPort;    // 20 ms poll tick, running from creation
    QTimer tmTimeOut; // 1000 ms, running only while a request is outstanding
    QTimer tmFPS;     // 1000 ms statistics tick

    // Poll cycle
    PollState State = NotStarted;
    uint8_t IRByte = 0;
    bool fRequest = false;
    uint16_t CurrentPage = 0;
    uint16_t PageStatus = 0;
    bool fStatus = false;
    uint16_t CurrentAxle = 0;

    // Live values
    int32_t Status = 0;
    std::array<uint16_t, 12> HReg{}; // elements 2..11 hold registers 1202..1211
    uint16_t LeftV = 0;
    uint16_t RightV = 0;
    QString TextSt;
    uint16_t CycleLeft = 0;
    uint16_t CycleRight = 0;
    uint16_t Sensor = 0;

    // Link statistics
    bool fConnect = false;
    uint16_t tFPS = 0;
    uint16_t FPS = 0;
    uint16_t BadPacket = 0;

    // A finished test: header words 1..25 and axle rows 1..9 of words 1..32 (index 0 unused).
    std::array<uint16_t, 26> FinalOKData{};
    std::array<std::array<uint16_t, 33>, 10> AxleOkData{};

    // Line buffers
    std::array<uint8_t, 256> InBuff{};
    int32_t InCount = 0;
    std::array<uint8_t, 256> OutBuff{};
    uint16_t OutCount = 0;

    // Slave address of every request.
    uint8_t Address = 1;

    SerialPort* cpMain = nullptr;
    SerialPort* cpIR = nullptr;

private:
    // Builds the request whose template is in OutBuff[0..OutCount), appends the CRC, drops
    // whatever was gathered and writes it when the port is open.
    void sendRequest();
    void sendRead(uint16_t start, uint16_t count);
    // "Switch the time-out on" never restarts a running time-out.
    void timeOutOn();
    bool requestOutstanding() const;
    uint16_t replyWord(int k) const;

    // Looks in what has been gathered for the reply to the request in OutBuff. True when one
    // is found: it then starts InBuff, InCount long. Bytes that can no longer be part of a
    // reply (noise, an echo of the request) are dropped from the front.
    bool findReply();
    // At InBuff[at]: the length of a reply to the request in OutBuff, 0 when the bytes there
    // cannot be one, -1 while more bytes could still make one.
    int replyAt(int at) const;
    // The reply fits what the state's handler reads: the request in OutBuff is the one the
    // state was entered with, and nothing is ever read past the reply.
    bool fitsState(const uint8_t* reply) const;
    void handleReply();
    // Registers of the page's read window (none for a page beyond the image).
    uint16_t pageWindow(uint16_t page) const;

    void routineReply(bool refused);
    void statusReply(bool refused);
    void pageReply(bool refused);
    void headerReply(bool refused);
    void axleReply(bool refused);
    // A fetch that cannot go on: idle, time-out off; it may be started again while the
    // controller still reports the finished test.
    void abandonFetch();
    void handOverResults();

    RegisterImage& image_;
    // The page the outstanding page read asks for: a client may name another page meanwhile.
    uint16_t requestedPage_ = 0;
    int fetchAttempts_ = 0;
    bool fetchAbandoned_ = false;
    bool handingOver_ = false;
};
