#pragma once

// When a scripted line fault (a silent stand, an unplugged port) is on: from `after` for
// `length` seconds, and again every `every` seconds when that is set.

#include <cmath>

namespace StandSim {

struct FaultPeriod {
    double after = -1; // negative: never
    double length = 0;
    double every = 0; // 0: once

    bool active(double t) const {
        if (after < 0 || length <= 0 || t < after)
            return false;
        if (every <= 0)
            return t < after + length;
        return std::fmod(t - after, every) < length;
    }
};

} // namespace StandSim
