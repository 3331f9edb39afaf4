#pragma once

#include <cmath>

// The board's arithmetic rounds exact halves to the even neighbour (2.5 -> 2, 3.5 -> 4) and
// truncates toward zero; std::round and qRound would move every half away from zero and
// shift dots and lamps by a pixel. Written out so that no floating-point mode can change it.
inline int rnd(double x) {
    double f = std::floor(x);
    const double rest = x - f;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(f, 2.0) != 0.0))
        f += 1.0;
    return static_cast<int>(f);
}

inline int trn(double x) {
    return static_cast<int>(std::trunc(x));
}
