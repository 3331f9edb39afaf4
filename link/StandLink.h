#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>

class RegisterImage;

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

    void tmFPSTimer();

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
    uint16_t State = 0;
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

private:
    RegisterImage& image_;
};
