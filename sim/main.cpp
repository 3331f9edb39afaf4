// mirvane-stand-sim: a simulated stand controller on a pseudo-terminal.
//
// The controller is a libmodbus RTU slave on a private pty pair. What the station sees is a
// second pty pair that this program relays to and from the slave, so that replies reach the
// station as they would on a real line: no sooner than the request and reply bytes take at
// the configured baud (10 bits a byte) plus a turnaround, optionally in pieces, and with the
// line faults asked for. A third pty is the remote's receiver: it sends the command codes
// read from standard input (numbers, decimal or 0x hex; the numbers of one line go out
// together, as one burst) or chosen by the scenario.
//
// Standard output, one line each: "slave PATH", "remote PATH", then what happens
// ("command 3", "state 2 test 1", "state 5 test 1 order N", "read header", "read axle 1",
// "served test 1", "state 1", "silent", "speaking", "unplugged", "remote 3", "done"), and each
// fault the line does to a reply, with the first register of its request ("fault corrupted
// 400", "fault cut 1200", "fault split 100", "fault count 200", "fault address 1200").

#include "FaultPeriods.h"
#include "LineFaults.h"
#include "StandModel.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using StandSim::LineFault;

struct Options {
    int baud = 9600;
    int address = 1;
    double turnaroundMs = 1.0;
    bool pieces = false;
    uint64_t seed = 1;
    int axles = 3;
    double testSeconds = 4.0;
    int tests = 0; // 0: run until stopped
    double faultRate = 0;
    std::vector<LineFault> faultKinds{LineFault::Corrupt, LineFault::Cut, LineFault::Split, LineFault::Count,
                                      LineFault::Address};
    std::set<int> faultOnce; // first registers whose first reply is faulted
    bool echo = false;
    int noiseBefore = 0;
    bool twice = false;
    StandSim::FaultPeriod silent, unplug;
    // Periods in which the line corrupts, cuts and splits nothing (the fault rate pauses).
    StandSim::FaultPeriod clean;
    double remoteStart = -1;
    int32_t firstOrder = 20260001;
    int measureUnit = 0;
    std::string link;
    std::string remoteLink;
    int dump = 0;
    bool reportRate = false;
};

const char* const Usage = R"(usage: mirvane-stand-sim [options]
  --baud B              line speed the replies are timed by (9600)
  --address A           slave address (1)
  --turnaround MS       controller's time between request and reply (1.0)
  --pieces              deliver replies in pieces of random sizes, as a USB adapter does
  --seed S              seed of the test values, pieces and faults (1)
  --axles N             axles of every finished test, 1..9 (3)
  --test-time SEC       how long a test runs after the start command (4)
  --tests K             exit after K finished tests have been read (0: never)
  --fault-rate P        share of replies the line spoils (0), each in one of the --fault-kinds
  --fault-kinds LIST    what the line does to them, of corrupt (a bit flipped), cut (bytes
                        lost), split (in pieces), count (a read answered with another number
                        of registers, a write's count changed) and address (from another slave
                        address); the last two keep the CRC right (all five)
  --fault-once R[,R..]  the first reply to a request from each register R is spoiled too
  --echo                the line echoes every request back to the station before the reply,
                        as a 2-wire RS-485 adapter may
  --noise-before N      N stray bytes on the line before every reply (0)
  --twice               every reply is sent twice, both copies in one piece (never split)
  --silent-after S --silent-for T     no replies from S to S+T seconds
  --silent-every E      the silent period comes again every E seconds (from S, or E)
  --unplug-after S --unplug-for T     the pty goes away from S to S+T seconds
  --unplug-every E      the unplug comes again every E seconds (from S, or E)
  --clean-after S --clean-for T --clean-every E
                        no random faults (--fault-rate) from S to S+T seconds, again every E
  --remote-start SEC    the remote sends the start code 3 SEC seconds after the stand became
                        ready (idle, or its test served), and again every SEC while it stays so
  --first-order N       order number of the first test (20260001)
  --measure-unit U      unit word of the header (0: kilograms)
  --link PATH           symbolic link to the station's pty (kept across an unplug)
  --remote-link PATH    symbolic link to the remote's pty
  --dump K              print the header and axle words of test K and exit
  --report-rate         print "rate N" every second: the replies put on the line in it
)";

std::mutex outputMutex;

void say(const char* format, ...) {
    std::lock_guard lock(outputMutex);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
    std::fflush(stdout);
}

[[noreturn]] void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "mirvane-stand-sim: ");
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::exit(2);
}

double number(const char* option, const char* text) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno || end == text || *end || !std::isfinite(v))
        fail("%s needs a number, not '%s'", option, text);
    return v;
}

long integer(const char* option, const char* text, long lo, long hi) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 0);
    if (errno || end == text || *end || v < lo || v > hi)
        fail("%s needs a whole number from %ld to %ld, not '%s'", option, lo, hi, text);
    return v;
}

// A repeating fault starts at its first period unless told otherwise; a period as long as
// its repetition would never end, which is a mistake in the command line.
void repeating(StandSim::FaultPeriod& p, const char* name) {
    if (p.every < 0)
        fail("%s-every needs a positive number of seconds", name);
    if (p.every == 0)
        return;
    if (p.after < 0)
        p.after = p.every;
    if (p.length <= 0 || p.length >= p.every)
        fail("%s-for needs a length above 0 and below %s-every", name, name);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(Usage, stdout);
            std::exit(0);
        }
        if (a == "--pieces") {
            o.pieces = true;
            continue;
        }
        if (a == "--report-rate") {
            o.reportRate = true;
            continue;
        }
        if (a == "--echo") {
            o.echo = true;
            continue;
        }
        if (a == "--twice") {
            o.twice = true;
            continue;
        }
        if (i + 1 >= argc)
            fail("unknown option or missing value: %s\n%s", a.c_str(), Usage);
        const char* v = argv[++i];
        const char* n = a.c_str();
        if (a == "--baud")
            o.baud = int(integer(n, v, 50, 4000000));
        else if (a == "--address")
            o.address = int(integer(n, v, 1, 247));
        else if (a == "--turnaround")
            o.turnaroundMs = std::max(0.0, number(n, v));
        else if (a == "--seed")
            o.seed = uint64_t(integer(n, v, 0, 0x7FFFFFFFL));
        else if (a == "--axles")
            o.axles = int(integer(n, v, 1, 9));
        else if (a == "--test-time")
            o.testSeconds = std::max(0.0, number(n, v));
        else if (a == "--tests")
            o.tests = int(integer(n, v, 0, 1000000));
        else if (a == "--fault-rate")
            o.faultRate = std::clamp(number(n, v), 0.0, 1.0);
        else if (a == "--fault-kinds") {
            const auto kinds = StandSim::parseFaultKinds(v);
            if (!kinds || kinds->empty())
                fail("--fault-kinds needs a list of corrupt, cut, split, count and address, not '%s'", v);
            o.faultKinds = *kinds;
        } else if (a == "--fault-once") {
            for (const char* p = v; *p;) {
                char* end = nullptr;
                errno = 0;
                const long r = std::strtol(p, &end, 0);
                if (errno || end == p || r < 0 || r > 65535 || (*end && *end != ','))
                    fail("--fault-once needs registers 0..65535 separated by commas, not '%s'", v);
                o.faultOnce.insert(int(r));
                p = *end ? end + 1 : end;
            }
        } else if (a == "--noise-before")
            o.noiseBefore = int(integer(n, v, 0, 100));
        else if (a == "--silent-after")
            o.silent.after = number(n, v);
        else if (a == "--silent-for")
            o.silent.length = number(n, v);
        else if (a == "--silent-every")
            o.silent.every = number(n, v);
        else if (a == "--unplug-after")
            o.unplug.after = number(n, v);
        else if (a == "--unplug-for")
            o.unplug.length = number(n, v);
        else if (a == "--clean-after")
            o.clean.after = number(n, v);
        else if (a == "--clean-for")
            o.clean.length = number(n, v);
        else if (a == "--clean-every")
            o.clean.every = number(n, v);
        else if (a == "--unplug-every")
            o.unplug.every = number(n, v);
        else if (a == "--remote-start")
            o.remoteStart = number(n, v);
        else if (a == "--first-order")
            o.firstOrder = int32_t(integer(n, v, -2147483647L - 1, 2147483647L));
        else if (a == "--measure-unit")
            o.measureUnit = int(integer(n, v, 0, 65535));
        else if (a == "--link")
            o.link = v;
        else if (a == "--remote-link")
            o.remoteLink = v;
        else if (a == "--dump")
            o.dump = int(integer(n, v, 1, 1000000));
        else
            fail("unknown option: %s\n%s", n, Usage);
    }
    repeating(o.silent, "--silent");
    repeating(o.unplug, "--unplug");
    repeating(o.clean, "--clean");
    return o;
}

void dump(const Options& o) {
    const StandSim::FinishedTest t =
        StandSim::finishedTest(o.seed, o.dump, o.axles, o.firstOrder, uint16_t(o.measureUnit));
    std::printf("test %d order %d axles %d\nheader 1000", t.number, t.orderNumber, o.axles);
    for (uint16_t w : t.header)
        std::printf(" %u", w);
    std::printf("\n");
    for (int a = 1; a <= 9; ++a) {
        std::printf("axle %d %d", a, a * 100);
        for (uint16_t w : t.axles[a - 1])
            std::printf(" %u", w);
        std::printf("\n");
    }
}

// Symbolic links to remove however the program ends (signal handlers may only unlink).
char linkPath[4096];
char remoteLinkPath[4096];

void removeLinks() {
    if (linkPath[0])
        unlink(linkPath);
    if (remoteLinkPath[0])
        unlink(remoteLinkPath);
}

void onSignal(int) {
    removeLinks();
    _exit(0);
}

void makeLink(const std::string& target, const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            fail("%s exists and is not a symbolic link; not replacing it", path.c_str());
        unlink(path.c_str());
    }
    if (symlink(target.c_str(), path.c_str()) != 0)
        fail("cannot link %s to %s: %s", path.c_str(), target.c_str(), std::strerror(errno));
}

// One pty pair. The program keeps the slave open itself (never reading it), so the master
// stays usable while nobody else has the slave open.
struct PtyPair {
    int master = -1;
    int slave = -1;
    std::string path;

    void open() {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            fail("openpty: %s", std::strerror(errno));
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = ttyname(slave);
    }
    void close() {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        master = slave = -1;
    }
    bool isOpen() const { return master >= 0; }
};

using Clock = std::chrono::steady_clock;
const Clock::time_point started = Clock::now();
double now() {
    return std::chrono::duration<double>(Clock::now() - started).count();
}

// The controller: a libmodbus RTU slave serving the model's registers.
class Controller {
public:
    Controller(const Options& o, const std::string& device) : o_(o) {
        mapping_ = modbus_mapping_new_start_address(0, 0, 0, 0, 0, 1, 0, StandSim::RegisterCount);
        if (!mapping_)
            fail("modbus_mapping_new: %s", modbus_strerror(errno));
        StandSim::ModelOptions mo;
        mo.seed = o.seed;
        mo.axles = o.axles;
        mo.testSeconds = o.testSeconds;
        mo.firstOrder = o.firstOrder;
        mo.measureUnit = uint16_t(o.measureUnit);
        model_ = std::make_unique<StandSim::StandModel>(mo, mapping_->tab_input_registers);
        ctx_ = modbus_new_rtu(device.c_str(), o.baud, 'N', 8, 1);
        if (!ctx_)
            fail("modbus_new_rtu: %s", modbus_strerror(errno));
        modbus_set_slave(ctx_, o.address);
        if (modbus_connect(ctx_) != 0)
            fail("modbus_connect %s: %s", device.c_str(), modbus_strerror(errno));
        // Wake up now and then to see whether the program ends.
        modbus_set_indication_timeout(ctx_, 0, 200000);
    }

    void start() {
        thread_ = std::thread([this] { serve(); });
    }
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    // Runs f on the model under the lock, then prints what happened.
    template <typename F> auto withModel(F f) {
        std::lock_guard lock(mutex_);
        model_->advance(now());
        auto result = f(*model_);
        for (const std::string& e : model_->takeEvents())
            say("%s", e.c_str());
        return result;
    }

private:
    void serve() {
        uint8_t req[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            const int rc = modbus_receive(ctx_, req);
            if (rc <= 0)
                continue; // time-out, another slave's request or a garbled one
            withModel([&](StandSim::StandModel& m) {
                modbus_reply(ctx_, req, rc, mapping_);
                const uint8_t function = req[1];
                const uint16_t start = uint16_t(req[2] << 8 | req[3]);
                const uint16_t count = uint16_t(req[4] << 8 | req[5]);
                if (function == 0x10 && start == 0 && count >= 1)
                    m.command(mapping_->tab_registers[0], now());
                else if (function == 0x04 && count >= 1 && count <= 125 &&
                         start + count <= StandSim::RegisterCount)
                    m.served(start, count, now());
                return 0;
            });
        }
    }

    const Options& o_;
    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    std::unique_ptr<StandSim::StandModel> model_;
    std::mutex mutex_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// Length of the reply that starts the buffer, or 0 while its header is incomplete.
size_t replyLength(const std::vector<uint8_t>& b) {
    if (b.size() < 2)
        return 0;
    const uint8_t function = b[1];
    if (function & 0x80)
        return 5;
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
        return b.size() < 3 ? 0 : 5u + b[2];
    case 0x05:
    case 0x06:
    case 0x0F:
    case 0x10:
        return 8;
    default:
        return b.size();
    }
}

struct Piece {
    double at;
    std::vector<uint8_t> bytes;
};

class Line {
public:
    Line(const Options& o) : o_(o), faultOnce_(o.faultOnce), random_(o.seed ^ 0x5EEDull) {}

    double byteTime() const { return 10.0 / o_.baud; }

    // The station's request bytes come back to it as they pass on the line.
    void echo(const uint8_t* bytes, size_t n) {
        queue_.push_back({now() + n * byteTime(), std::vector<uint8_t>(bytes, bytes + n)});
    }

    // A reply to the request whose first byte came at requestStart, requestBytes long; start
    // is the request's first register (-1 when unknown), told with the fault done to the reply.
    void schedule(std::vector<uint8_t> reply, double requestStart, size_t requestBytes, int start) {
        bool split = o_.pieces;
        const bool once = faultOnce_.erase(start) > 0;
        if (once || (o_.faultRate > 0 && !o_.clean.active(now()) && chance() < o_.faultRate)) {
            LineFault f = o_.faultKinds[random_() % o_.faultKinds.size()];
            switch (f) {
            case LineFault::Corrupt: { // a bit flipped on the line
                const size_t i = random_() % reply.size();
                reply[i] ^= uint8_t(1u << (random_() % 8));
                break;
            }
            case LineFault::Cut: { // bytes lost
                const size_t lost = 1 + random_() % std::min<size_t>(3, reply.size());
                const size_t at = random_() % (reply.size() - lost + 1);
                reply.erase(reply.begin() + long(at), reply.begin() + long(at + lost));
                break;
            }
            case LineFault::Split:
                split = true;
                break;
            case LineFault::Count:
                // A refusal has no count: another slave's refusal instead.
                if (!StandSim::wrongByteCount(reply, uint32_t(random_()))) {
                    StandSim::foreignAddress(reply);
                    f = LineFault::Address;
                }
                break;
            case LineFault::Address:
                StandSim::foreignAddress(reply);
                break;
            }
            say("fault %s %d", StandSim::faultName(f), start);
        }
        if (reply.empty())
            return;
        if (o_.twice) {
            const std::vector<uint8_t> copy = reply;
            reply.insert(reply.end(), copy.begin(), copy.end());
            split = false;
        }
        for (int k = 0; k < o_.noiseBefore; ++k)
            reply.insert(reply.begin(), uint8_t(random_()));
        const double end = requestStart + (requestBytes + reply.size()) * byteTime() + o_.turnaroundMs / 1000;
        const double first = end - reply.size() * byteTime();
        if (!split) {
            queue_.push_back({std::max(end, now()), std::move(reply)});
            return;
        }
        // Pieces of random sizes, each out when its last byte would be in, plus a small gap.
        size_t from = 0;
        double last = now();
        while (from < reply.size()) {
            const size_t left = reply.size() - from;
            const size_t size = left <= 2 ? left : 1 + random_() % std::min<size_t>(left, 24);
            const double gap = chance() * 0.0015;
            last = std::max(last, first + (from + size) * byteTime() + gap);
            queue_.push_back(
                {last, std::vector<uint8_t>(reply.begin() + long(from), reply.begin() + long(from + size))});
            from += size;
        }
    }

    double nextAt() const { return queue_.empty() ? 1e300 : queue_.front().at; }
    bool idle() const { return queue_.empty(); }
    void clear() { queue_.clear(); }

    // Writes the pieces that are due.
    void flush(int fd) {
        while (!queue_.empty() && queue_.front().at <= now()) {
            const std::vector<uint8_t>& b = queue_.front().bytes;
            if (fd >= 0 && ::write(fd, b.data(), b.size()) < 0 && errno != EAGAIN)
                say("write error: %s", std::strerror(errno));
            queue_.pop_front();
        }
    }

private:
    double chance() { return std::uniform_real_distribution<double>(0, 1)(random_); }

    const Options& o_;
    std::set<int> faultOnce_; // the registers whose first reply is still to be faulted
    std::mt19937_64 random_;
    std::deque<Piece> queue_;
};

// Parses numbers from standard input and sends each as one byte on the remote's line; the
// numbers of one line go out in one write, as a burst of presses.
void remoteInput(std::string& pending, int remoteFd) {
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        std::vector<uint8_t> burst;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
                ++i;
            if (i >= line.size())
                break;
            const char* begin = line.c_str() + i;
            char* end = nullptr;
            const long code = std::strtol(begin, &end, 0);
            if (end == begin || code < 0 || code > 255 ||
                (*end && !std::isspace(static_cast<unsigned char>(*end)))) {
                std::fprintf(stderr, "mirvane-stand-sim: not a code 0..255: %s\n", line.c_str() + i);
                break;
            }
            burst.push_back(uint8_t(code));
            i = size_t(end - line.c_str());
        }
        if (!burst.empty() && ::write(remoteFd, burst.data(), burst.size()) == ssize_t(burst.size()))
            for (uint8_t code : burst)
                say("remote %d", int(code));
    }
}

} // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    if (o.dump) {
        dump(o);
        return 0;
    }
    // A simulator left behind by a test that died would hold its pty forever.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    PtyPair station, slave, remote;
    station.open();
    slave.open();
    remote.open();
    if (!o.link.empty()) {
        std::snprintf(linkPath, sizeof linkPath, "%s", o.link.c_str());
        makeLink(station.path, o.link);
    }
    if (!o.remoteLink.empty()) {
        std::snprintf(remoteLinkPath, sizeof remoteLinkPath, "%s", o.remoteLink.c_str());
        makeLink(remote.path, o.remoteLink);
    }

    Controller controller(o, slave.path);
    controller.start();
    say("slave %s", station.path.c_str());
    say("remote %s", remote.path.c_str());

    Line line(o);
    bool requestOpen = false;
    double requestStart = 0;
    double lastRequestByte = 0;
    size_t requestBytes = 0;
    std::vector<uint8_t> requestHead; // address, function and first register of the request
    std::vector<uint8_t> replyBuf;
    bool silent = false;
    bool unplugged = false;
    bool stdinOpen = true;
    std::string stdinPending;
    double remoteSentAt = -1; // when the remote last sent the start
    double doneAt = -1;
    int repliesThisSecond = 0;
    double secondStart = now();

    for (;;) {
        const double t = now();
        // Scripted line faults.
        const bool wantSilent = o.silent.active(t);
        if (wantSilent != silent) {
            silent = wantSilent;
            say(silent ? "silent" : "speaking");
        }
        const bool wantUnplugged = o.unplug.active(t);
        if (wantUnplugged != unplugged) {
            unplugged = wantUnplugged;
            if (unplugged) {
                station.close();
                if (linkPath[0])
                    unlink(linkPath);
                line.clear();
                requestOpen = false;
                say("unplugged");
            } else {
                station.open();
                if (linkPath[0])
                    makeLink(station.path, linkPath);
                say("slave %s", station.path.c_str());
            }
        }
        // The scenario's remote presses start a while after the stand became ready (idle, or
        // its test served), and again after as long while it stays so: a start lost on the
        // line (a silent stand, an unplugged port) is pressed again, as an operator would.
        const auto [ready, readySince, served] = controller.withModel([](StandSim::StandModel& m) {
            return std::tuple{m.ready(), m.readySince(), m.testsServed()};
        });
        if (o.remoteStart >= 0 && ready && t - std::max(readySince, remoteSentAt) >= o.remoteStart) {
            remoteSentAt = t;
            const uint8_t start = 3;
            if (::write(remote.master, &start, 1) == 1)
                say("remote 3");
        }
        if (o.tests > 0 && served >= o.tests && doneAt < 0)
            doneAt = t;
        if (doneAt >= 0 && line.idle() && t - doneAt > 0.2)
            break;

        line.flush(unplugged ? -1 : station.master);
        if (o.reportRate && t - secondStart >= 1.0) {
            say("rate %d", repliesThisSecond);
            repliesThisSecond = 0;
            secondStart += 1.0;
        }

        pollfd fds[4];
        int n = 0;
        const int stationIndex = unplugged ? -1 : n;
        if (!unplugged)
            fds[n++] = {station.master, POLLIN, 0};
        const int slaveIndex = n;
        fds[n++] = {slave.master, POLLIN, 0};
        const int remoteIndex = n;
        fds[n++] = {remote.master, POLLIN, 0};
        const int stdinIndex = stdinOpen ? n : -1;
        if (stdinOpen)
            fds[n++] = {STDIN_FILENO, POLLIN, 0};
        const double wait = std::clamp(line.nextAt() - now(), 0.0, 0.05);
        timespec ts{0, long(wait * 1e9)};
        if (ppoll(fds, nfds_t(n), &ts, nullptr) < 0 && errno != EINTR)
            fail("poll: %s", std::strerror(errno));

        uint8_t buf[512];
        if (stationIndex >= 0 && (fds[stationIndex].revents & POLLIN)) {
            const ssize_t got = ::read(station.master, buf, sizeof buf);
            if (got > 0 && o.echo)
                line.echo(buf, size_t(got));
            if (got > 0 && !silent) {
                // A request the controller never answered (another address, garbled) is
                // forgotten once the line has been quiet for a while.
                if (requestOpen && now() - lastRequestByte > 0.05)
                    requestOpen = false;
                lastRequestByte = now();
                if (!requestOpen) {
                    requestOpen = true;
                    requestStart = now();
                    requestBytes = 0;
                    requestHead.clear();
                }
                requestBytes += size_t(got);
                for (ssize_t k = 0; k < got && requestHead.size() < 4; ++k)
                    requestHead.push_back(buf[k]);
                if (::write(slave.master, buf, size_t(got)) < 0)
                    say("relay error: %s", std::strerror(errno));
            }
        }
        if (fds[slaveIndex].revents & POLLIN) {
            const ssize_t got = ::read(slave.master, buf, sizeof buf);
            if (got > 0)
                replyBuf.insert(replyBuf.end(), buf, buf + got);
            size_t len;
            while ((len = replyLength(replyBuf)) > 0 && len <= replyBuf.size()) {
                std::vector<uint8_t> reply(replyBuf.begin(), replyBuf.begin() + long(len));
                replyBuf.erase(replyBuf.begin(), replyBuf.begin() + long(len));
                if (!silent && !unplugged) {
                    line.schedule(
                        std::move(reply), requestOpen ? requestStart : now(), requestBytes,
                        requestOpen && requestHead.size() == 4 ? requestHead[2] << 8 | requestHead[3] : -1);
                    ++repliesThisSecond;
                }
                requestOpen = false;
            }
        }
        if (fds[remoteIndex].revents & POLLIN)
            (void)::read(remote.master, buf, sizeof buf); // the station never talks to the remote
        if (stdinIndex >= 0 && (fds[stdinIndex].revents & (POLLIN | POLLHUP))) {
            const ssize_t got = ::read(STDIN_FILENO, buf, sizeof buf);
            if (got <= 0) {
                stdinOpen = false;
                stdinPending += '\n';
            } else {
                stdinPending.append(reinterpret_cast<char*>(buf), size_t(got));
            }
            remoteInput(stdinPending, remote.master);
        }
    }
    say("done");
    controller.stop();
    removeLinks();
    return 0;
}
