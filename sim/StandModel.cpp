#include "StandModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace StandSim {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr uint16_t NoValue = 0x8000;
constexpr uint16_t Mark = 0xFFFF;

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A value in lo..hi that depends only on the seed and where it stands.
uint16_t draw(uint64_t seed, int k, int axle, int word, int lo, int hi) {
    const uint64_t h = mix(seed ^ mix(uint64_t(k) * 1000003u + uint64_t(axle) * 1009u + uint64_t(word)));
    return static_cast<uint16_t>(lo + h % uint64_t(hi - lo + 1));
}

std::array<uint16_t, 32> axleBlock(uint64_t seed, int k, int a, int axles) {
    const bool truck = axles >= 3;
    std::array<uint16_t, 32> w{};
    auto d = [&](int word, int lo, int hi) { return draw(seed, k, a, word, lo, hi); };
    for (int side = 0; side < 2; ++side) {
        const int weight = truck ? d(0 + side, 1500, 4000) : d(0 + side, 300, 700);
        w[0 + side] = uint16_t(weight);                               // static weight
        w[2 + side] = uint16_t(weight * d(2 + side, 95, 105) / 100);  // dynamic weight
        w[4 + side] = d(4 + side, 5, 40);                             // rolling resistance
        w[6 + side] = d(6 + side, 0, 25);                             // ovality
        w[8 + side] = d(8 + side, 0, 25);                             // ovality under braking
        w[10 + side] = uint16_t(weight * d(10 + side, 50, 90) / 100); // service brake
        w[12 + side] = a == axles ? uint16_t(weight * d(12 + side, 20, 40) / 100) : Mark; // parking brake
        w[14 + side] = d(14 + side, 0, 50);                                               // brake reserve
        w[16 + side] = d(16 + side, 0, 30);                                               // largest imbalance
        w[18 + side] = d(18 + side, 200, 600);                                            // pedal force
        w[20 + side] = d(20 + side, 0, 100);
        w[22 + side] = d(22 + side, 0, 100);
        w[24 + side] = d(24 + side, 0, 100);
        w[26 + side] = d(26 + side, 200, 600); // response time, ms
        w[28 + side] = truck ? d(28 + side, 0, 100) : Mark;
        w[30 + side] = truck ? d(30 + side, 0, 100) : Mark;
    }
    return w;
}

} // namespace

FinishedTest finishedTest(uint64_t seed, int k, int axles, int32_t firstOrder, uint16_t measureUnit) {
    using namespace std::chrono;
    axles = std::clamp(axles, 1, 9);
    FinishedTest t;
    t.number = k;
    t.orderNumber = static_cast<int32_t>(static_cast<uint32_t>(firstOrder) + static_cast<uint32_t>(k - 1));
    auto& h = t.header;
    const uint32_t id = 1000000u + static_cast<uint32_t>(seed % 1000000u);
    h[0] = uint16_t(id & 0xFFFF);
    h[1] = uint16_t(id >> 16);
    h[2] = 351;
    h[3] = 15;
    h[4] = 3;
    h[5] = 2026;
    const auto order = static_cast<uint32_t>(t.orderNumber);
    h[8] = uint16_t(order & 0xFFFF);
    h[9] = uint16_t(order >> 16);
    const long minutes = 9 * 60 + 7L * (k - 1);
    const year_month_day day{sys_days{2026y / March / 14} + days{minutes / 1440}};
    h[10] = uint16_t(unsigned(day.day()));
    h[11] = uint16_t(unsigned(day.month()));
    h[12] = uint16_t(int(day.year()));
    h[13] = uint16_t(minutes % 1440 / 60);
    h[14] = uint16_t(minutes % 60);
    h[22] = uint16_t(axles);
    h[23] = measureUnit;
    h[24] = axles >= 3 ? 1 : 0;
    for (int a = 1; a <= 9; ++a) {
        if (a <= axles)
            t.axles[a - 1] = axleBlock(seed, k, a, axles);
        else
            t.axles[a - 1].fill(Mark);
    }
    return t;
}

std::vector<uint8_t> cp1251(const std::u16string& text) {
    std::vector<uint8_t> out;
    for (char16_t c : text) {
        if (c < 0x80)
            out.push_back(uint8_t(c));
        else if (c >= 0x0410 && c <= 0x044F)
            out.push_back(uint8_t(0xC0 + (c - 0x0410)));
        else if (c == 0x0401)
            out.push_back(0xA8);
        else if (c == 0x0451)
            out.push_back(0xB8);
        else
            out.push_back('?');
    }
    return out;
}

StandModel::StandModel(const ModelOptions& options, uint16_t* input) : options_(options), input_(input) {
    options_.axles = std::clamp(options_.axles, 1, 9);
    for (int r = 0; r < RegisterCount; ++r)
        input_[r] = uint16_t(r);
    for (int a = 1; a <= 9; ++a)
        std::fill_n(input_ + a * 100, 32, Mark);
    std::fill_n(input_ + 1000, 25, uint16_t{0});
    std::fill_n(input_ + 1200, 20, uint16_t{0});
    std::fill_n(input_ + 1314, 3, uint16_t{0});
    setState(Idle, 0);
    events_.clear();
    advance(0);
}

std::vector<std::string> StandModel::takeEvents() {
    std::vector<std::string> e;
    e.swap(events_);
    return e;
}

void StandModel::setState(uint16_t state, double now) {
    state_ = state;
    stateSince_ = now;
    if (state == Idle)
        readySince_ = now;
}

void StandModel::setText(const std::u16string& text) {
    std::vector<uint8_t> bytes = cp1251(text);
    bytes.resize(20, 0);
    for (int i = 0; i < 10; ++i)
        input_[1210 + i] = uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
}

void StandModel::finish(double now) {
    const FinishedTest t =
        finishedTest(options_.seed, testNumber_, options_.axles, options_.firstOrder, options_.measureUnit);
    std::copy(t.header.begin(), t.header.end(), input_ + 1000);
    for (int a = 1; a <= 9; ++a)
        std::copy(t.axles[a - 1].begin(), t.axles[a - 1].end(), input_ + a * 100);
    ++cycles_;
    resultsRead_ = false;
    setState(ResultsReady, now);
    events_.push_back("state 5 test " + std::to_string(testNumber_) + " order " +
                      std::to_string(t.orderNumber));
}

void StandModel::advance(double now) {
    if (state_ == Measuring && now - stateSince_ >= options_.testSeconds)
        finish(now);

    uint16_t* r = input_ + 1200;
    r[0] = state_;
    r[8] = 2; // readouts with two decimals
    double force = 0;
    if (state_ == Measuring) {
        const double e = now - stateSince_;
        const double per = options_.testSeconds / options_.axles;
        const int axle = std::min(options_.axles, 1 + int(e / per));
        const double p = std::clamp((e - (axle - 1) * per) / per, 0.0, 1.0);
        force = std::sin(Pi * p);
        const int left = std::clamp(int(std::lround(900 * force + 40 * std::sin(7 * e))), 0, 1000);
        const int right = std::clamp(int(std::lround(850 * force + 40 * std::cos(5 * e))), 0, 1000);
        r[1] = uint16_t(e);
        r[2] = uint16_t(left);
        r[3] = uint16_t(right);
        r[4] = uint16_t(left * 7 / 2);
        r[5] = uint16_t(right * 7 / 2);
        const uint16_t lit = uint16_t((force > 0.1 ? 0x01 : 0) | (p > 0.5 ? 0x02 : 0) | lamps_);
        const uint16_t flash = force > 0.9 ? 0x0100 : 0;
        r[6] = uint16_t(lit | flash);
        r[7] = uint16_t(lit | (left > right ? flash << 1 : flash));
        r[9] = uint16_t(axle);
        setText(u"ОСЬ " + std::u16string(1, char16_t(u'0' + axle)) + u" ТОРМОЖЕНИЕ");
    } else {
        r[1] = 0;
        r[2] = r[3] = 0;
        r[4] = r[5] = NoValue;
        r[6] = r[7] = lamps_;
        r[9] = state_ == ResultsReady ? uint16_t(options_.axles) : displayAxle_;
        setText(state_ == ResultsReady ? u"ИСПЫТАНИЕ ЗАВЕРШЕНО" : u"СТЕНД ГОТОВ");
    }
    input_[1314] = cycles_;
    input_[1315] = cycles_;
    input_[1316] = uint16_t((state_ == Measuring ? 0x1 : 0) | (force > 0.1 ? 0x2 : 0));
}

void StandModel::command(uint16_t code, double now) {
    advance(now);
    events_.push_back("command " + std::to_string(code));
    switch (code) {
    case 1:
    case 2:
    case 3:
        if (state_ == Idle || state_ == ResultsReady) {
            ++testNumber_;
            setState(Measuring, now);
            events_.push_back("state 2 test " + std::to_string(testNumber_));
        }
        break;
    case 4:
        if (state_ == Measuring) {
            setState(Idle, now);
            events_.push_back("state 1");
        }
        break;
    case 16:
        if (state_ == Measuring)
            finish(now);
        break;
    case 18:
        lamps_ ^= 0x04;
        break;
    case 32:
        lamps_ ^= 0x08;
        break;
    case 33:
        lamps_ ^= 0x10;
        break;
    case 34:
        displayAxle_ = uint16_t(std::min(9, displayAxle_ + 1));
        break;
    case 35:
        displayAxle_ = uint16_t(std::max(1, displayAxle_ - 1));
        break;
    default:
        break;
    }
    advance(now);
}

void StandModel::served(uint16_t start, uint16_t count, double now) {
    if (state_ != ResultsReady || count == 0)
        return;
    if (start == 1000) {
        events_.push_back("read header");
        return;
    }
    if (start % 100 != 0 || start < 100 || start > 900)
        return;
    const int axle = start / 100;
    events_.push_back("read axle " + std::to_string(axle));
    if (axle == std::min(options_.axles + 1, 9) && !resultsRead_) {
        resultsRead_ = true;
        ++served_;
        readySince_ = now;
        events_.push_back("served test " + std::to_string(testNumber_));
    }
}

} // namespace StandSim
