// Feeds random sequences of pieces, ticks, time-outs and state changes to the link's receive
// path. Each input is read as a list of operations; well-formed frames (with a fitting CRC)
// are one of them, so the handlers behind the CRC check are reached as often as the garbage.
//
// Besides the buffer's bounds, it checks what the link stores: whatever values change in an
// operation (live values, status words, the result header, an axle row, a page of the image)
// must be the registers of a frame that answers the request outstanding when it began (its
// slave address and function, twice its registers as the byte count, the matching length and
// CRC), found among the bytes that reached the link since that request went out.

#include "FuzzInput.h"
#include "Modbus.h"
#include "RegisterImage.h"
#include "SerialPort.h"
#include "StandLink.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

using FuzzInput::check;

namespace {

QCoreApplication* app;
RegisterImage* image;

// A port whose reads must land inside the link's receive buffer (the controller's port).
class FuzzPort final : public SerialPort {
public:
    const StandLink* link = nullptr;
    std::vector<uint8_t> input;
    bool opened = true;
    bool written = false;

    void setPort(quint16, const QString&) override {}
    void setBaud(qint32) override {}
    bool open() override { return opened = true; }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    int write(const uint8_t*, int n) override {
        written = true;
        return n;
    }
    int read(uint8_t* data, int n) override {
        const uint8_t* begin = link ? link->InBuff.data() : nullptr;
        if (link && n > 0 && (data < begin || data + n > begin + link->InBuff.size()))
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

// What the link has stored from replies.
struct Stored {
    int32_t Status;
    std::array<uint16_t, 12> HReg;
    uint16_t CycleLeft, CycleRight, Sensor;
    std::array<uint16_t, 26> FinalOKData;
    std::array<std::array<uint16_t, 33>, 10> AxleOkData;
    std::vector<std::vector<uint16_t>> pages; // the windows of the pages the image has

    static constexpr int Pages[] = {0, 1, 2, 200};

    explicit Stored(const StandLink& l)
        : Status(l.Status), HReg(l.HReg), CycleLeft(l.CycleLeft), CycleRight(l.CycleRight), Sensor(l.Sensor),
          FinalOKData(l.FinalOKData), AxleOkData(l.AxleOkData) {
        for (int p : Pages) {
            const RegisterImage::Page& page = image->Pages[p];
            std::vector<uint16_t> w;
            for (int i = 0; i < page.windowCount; ++i)
                w.push_back(image->word(uint16_t(p), uint16_t(page.windowMin + i)));
            pages.push_back(w);
        }
    }
};

using Registers = std::vector<uint16_t>;

// The registers of every frame in the bytes that answers the request (without its CRC).
std::vector<Registers> answers(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& request) {
    std::vector<Registers> found;
    if (request.size() < 6 || request[1] != Modbus::ReadInputRegisters)
        return found;
    const size_t n = size_t(request[4] << 8 | request[5]);
    const size_t length = 5 + 2 * n;
    for (size_t at = 0; at + length <= bytes.size(); ++at) {
        const uint8_t* f = bytes.data() + at;
        if (f[0] != request[0] || f[1] != request[1] || f[2] != 2 * n || !Modbus::checkFrame(f, int(length)))
            continue;
        Registers r;
        for (size_t k = 0; k < n; ++k)
            r.push_back(Modbus::replyRegister(f, int(k)));
        found.push_back(r);
    }
    return found;
}

// Whatever changed between before and after came from one of these answers.
void checkStored(const Stored& before, const Stored& after, const std::vector<Registers>& from) {
    auto answered = [&](auto matches) {
        for (const Registers& r : from)
            if (matches(r))
                return true;
        return false;
    };
    if (after.Status != before.Status || after.HReg != before.HReg)
        check(answered([&](const Registers& r) {
            return r.size() == 20 && after.Status == r[0] && std::equal(r.begin() + 2, r.begin() + 12, after.HReg.begin() + 2);
        }));
    if (after.CycleLeft != before.CycleLeft || after.CycleRight != before.CycleRight || after.Sensor != before.Sensor)
        check(answered([&](const Registers& r) {
            return r.size() == 3 && r[0] == after.CycleLeft && r[1] == after.CycleRight && r[2] == after.Sensor;
        }));
    if (after.FinalOKData != before.FinalOKData)
        check(answered([&](const Registers& r) {
            return r.size() == 25 && std::equal(r.begin(), r.end(), after.FinalOKData.begin() + 1);
        }));
    for (int a = 1; a <= 9; ++a) {
        const auto& row = after.AxleOkData[a];
        if (row == before.AxleOkData[a])
            continue;
        // A header answer marks every row empty.
        const bool emptied = std::all_of(row.begin() + 1, row.end(), [](uint16_t w) { return w == 0xFFFF; }) &&
                             answered([](const Registers& r) { return r.size() == 25; });
        check(emptied || answered([&](const Registers& r) {
                  return r.size() == 32 && std::equal(r.begin(), r.end(), row.begin() + 1);
              }));
    }
    for (size_t p = 0; p < after.pages.size(); ++p)
        if (after.pages[p] != before.pages[p])
            check(answered([&](const Registers& r) { return r == after.pages[p]; }));
}

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
    // The bytes that reached the link since the outstanding request went out.
    std::vector<uint8_t> since;
    // An arrival: what it makes the link store must answer the request outstanding before it.
    auto arrival = [&](auto&& arrive) {
        const Stored before(link);
        const std::vector<uint8_t> request(link.OutBuff.begin(), link.OutBuff.begin() + link.OutCount + 2);
        port.written = false;
        arrive();
        checkStored(before, Stored(link), answers(since, request));
        // A new request: only what is still waiting in the port, and what comes, may answer it.
        if (port.written || !std::equal(request.begin(), request.end(), link.OutBuff.begin()))
            since = port.input;
    };
    auto deliver = [&](const uint8_t* bytes, size_t n) {
        since.insert(since.end(), bytes, bytes + n);
        arrival([&] { port.deliver(bytes, n); });
    };
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
            deliver(bytes, n);
            break;
        }
        case 4: { // an arrival event with any count, true or not
            const int count = static_cast<int16_t>(in.word());
            arrival([&] { link.cpMainTriggerAvail(count); });
            break;
        }
        case 5:
            link.State = static_cast<StandLink::PollState>((op & 0x80) ? in.word()
                                                                       : States[in.byte() % std::size(States)]);
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
            // What is left in the buffer now counts as gathered.
            since.insert(since.end(), link.InBuff.begin(), link.InBuff.begin() + link.InCount);
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
            deliver(frame, first);
            if (first < total)
                deliver(frame + first, total - first);
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
            deliver(frame, 5u + words * 2u);
            break;
        }
        }
        if (link.InCount < 0 || link.InCount > 254)
            std::abort(); // the gathered count never reaches past the buffer
        // A tick or a time-out may have sent a request.
        if (port.written)
            since = port.input;
        port.written = false;
    }
    (void)handOvers;
    return 0;
}
