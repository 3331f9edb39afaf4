// Feeds random sequences of pieces, ticks, time-outs and state changes to the link's receive
// path. Each input is read as a list of operations; well-formed frames (with a fitting CRC)
// are one of them, so the handlers behind the CRC check are reached as often as the garbage.

#include "Modbus.h"
#include "RegisterImage.h"
#include "SerialPort.h"
#include "StandLink.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

QCoreApplication* app;
RegisterImage* image;

// A port whose reads must land inside the link's receive buffer.
class FuzzPort final : public SerialPort {
public:
    const StandLink* link = nullptr;
    std::vector<uint8_t> input;
    bool opened = true;

    void setPort(quint16, const QString&) override {}
    void setBaud(qint32) override {}
    bool open() override { return opened = true; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    int write(const uint8_t*, int n) override { return n; }
    int read(uint8_t* data, int n) override {
        const uint8_t* begin = link->InBuff.data();
        if (n > 0 && (data < begin || data + n > begin + link->InBuff.size()))
            std::abort(); // a read past InBuff
        const int k = std::min<int>(n, static_cast<int>(input.size()));
        std::copy_n(input.begin(), k, data);
        input.erase(input.begin(), input.begin() + k);
        return k;
    }
    bool readByte(uint8_t& b) override {
        if (input.empty())
            return false;
        b = input.front();
        input.erase(input.begin());
        return true;
    }
    void clearInput() override { input.clear(); }
    void clearOutput() override {}
    int bytesAvailable() const override { return static_cast<int>(input.size()); }
    void deliver(const uint8_t* bytes, size_t n) {
        input.insert(input.end(), bytes, bytes + n);
        arrived(static_cast<int>(input.size()));
    }
};

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool done() const { return pos >= size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint16_t word() { return static_cast<uint16_t>(byte() << 8 | byte()); }
    size_t take(size_t n, const uint8_t*& out) {
        n = std::min(n, size - std::min(pos, size));
        out = data + pos;
        pos += n;
        return n;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    app = new QCoreApplication(*argc, *argv);
    image = new RegisterImage;
    // Windows as a profile can make them: page 0 from 0, a full window of 61, one register,
    // and a window that wraps the 16-bit register number.
    image->Pages[0] = {0, 3, 4, nullptr};
    image->Pages[1] = {0, 60, 61, nullptr};
    image->Pages[2] = {7, 7, 1, nullptr};
    image->Pages[200] = {60000, 60010, 11, nullptr};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StandLink link(*image);
    link.tmPort.stop();
    link.tmFPS.stop();
    FuzzPort port, ir;
    port.link = &link;
    link.setPorts(&port, &ir);
    link.setIdle();
    int handOvers = 0;
    QObject::connect(&link, &StandLink::handOver, [&] {
        ++handOvers;
        if (link.CurrentAxle < 1 || link.CurrentAxle > 10)
            std::abort(); // the hand-over always names the first row without an axle
    });

    static constexpr uint16_t States[] = {0, 1, 2, 3, 4, 5, 10, 20, 100};
    Reader in{data, size};
    while (!in.done()) {
        const uint8_t op = in.byte();
        switch (op % 11) {
        case 0:
            link.tmPortTimer();
            break;
        case 1:
            link.tmTimeOutTimer();
            break;
        case 2:
            link.tmFPSTimer();
            break;
        case 3: { // a raw piece
            const uint8_t* bytes;
            const size_t n = in.take(in.byte(), bytes);
            port.deliver(bytes, n);
            break;
        }
        case 4: // an arrival event with any count, true or not
            link.cpMainTriggerAvail(static_cast<int16_t>(in.word()));
            break;
        case 5:
            link.State = (op & 0x80) ? in.word() : States[in.byte() % std::size(States)];
            break;
        case 6:
            link.fRequest = true;
            link.CurrentPage = (op & 0x80) ? in.word() : in.byte();
            break;
        case 7: {
            const uint8_t b = in.byte();
            ir.deliver(&b, 1);
            break;
        }
        case 8:
            link.CurrentAxle = in.word();
            link.Status = in.word();
            link.InCount = in.byte() % 255; // any count the buffer can hold
            break;
        case 9: { // a frame with a fitting CRC, in one or two pieces
            const uint8_t* bytes;
            const size_t n = in.take(in.byte() % 130, bytes);
            const size_t cut = in.byte();
            uint8_t frame[260];
            std::copy_n(bytes, n, frame);
            Modbus::appendCrc(frame, static_cast<int>(n));
            const size_t total = n + 2;
            const size_t first = std::min(cut, total);
            port.deliver(frame, first);
            if (first < total)
                port.deliver(frame + first, total - first);
            break;
        }
        case 10: { // a read reply as the controller sends it, refused or not
            uint8_t frame[260] = {1, static_cast<uint8_t>((op & 0x80) ? 0x84 : 0x04), 0};
            const uint8_t words = in.byte() % 64;
            frame[2] = static_cast<uint8_t>(words * 2);
            const uint8_t* bytes;
            const size_t n = in.take(words * 2u, bytes);
            std::copy_n(bytes, n, frame + 3);
            Modbus::appendCrc(frame, 3 + words * 2);
            port.deliver(frame, 5u + words * 2u);
            break;
        }
        }
        if (link.InCount < 0 || link.InCount > 254)
            std::abort(); // the gathered count never reaches past the buffer
    }
    (void)handOvers;
    return 0;
}
