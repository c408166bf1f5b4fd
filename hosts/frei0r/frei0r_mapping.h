// How frei0r's parameter values and times map onto the filter's integers and frames.
#pragma once

#include <cmath>

namespace drawlet::frei0r {

// A double in [0, 1] onto the integer range, linearly, rounded to the nearest integer;
// values outside [0, 1] (or NaN) are held at the ends.
inline int sliderFromUnit(double x, int minimum, int maximum) {
    if (!(x > 0)) return minimum;
    if (x >= 1) return maximum;
    return minimum + static_cast<int>(std::lround(x * (static_cast<double>(maximum) - minimum)));
}

inline double unitFromSlider(int value, int minimum, int maximum) {
    if (maximum == minimum) return 0.0;
    return (static_cast<double>(value) - minimum) / (static_cast<double>(maximum) - minimum);
}

// Hosts send booleans as 0/1 or 0.0/1.0.
inline int checkFromBool(double x) { return x >= 0.5 ? 1 : 0; }

// The frame a host time falls on, given how many frames one unit of the host's time holds.
// Rounds to the nearest frame so that times like 0.04 s * 25 (0.99999...) give frame 1.
inline int frameNumberForTime(double time, double framesPerUnit) {
    const double frame = std::floor(time * framesPerUnit + 0.5);
    if (!(frame > -2147483648.0)) return 0;
    if (frame > 2147483647.0) return 2147483647;
    return static_cast<int>(frame);
}

}  // namespace drawlet::frei0r
