// What the frei0r plug-in declares, and how frei0r's parameter values and times map onto the
// filter's integers and frames.
#pragma once

#include <cmath>

namespace drawlet::frei0r {

inline constexpr char kPluginName[] = "drawlet";
inline constexpr char kMltService[] = "frei0r.drawlet";  // how MLT names the filter
inline constexpr char kPluginAuthor[] = "Drawlet developers";
inline constexpr char kPluginExplanation[] =
    "Hand-drawn look: hatching by brightness and strokes along the edges";

// The parameters the plug-in adds after the filter's sliders and check boxes, in this order.
inline constexpr char kFramesPerTimeUnitName[] = "frames-per-time-unit";
inline constexpr char kRateClockName[] = "frames-in-1001000-seconds";
inline constexpr char kIntegerValuesName[] = "integer-values";
inline constexpr char kFollowMotionName[] = "follow-motion";  // as settings files name it
inline constexpr int kExtraParameterCount = 4;

// MLT reads a number property written as a clock time ("H:M:S.s") as the frames that time
// holds at the project's frame rate. Set to this text, the rate-clock parameter therefore
// receives the project's rate times 1001000 s, rounded to a whole frame: exact for every
// rate N/1001 and N/1000 (23.976, 29.97, 59.94, ...) and for every rate with a denominator
// dividing 1001000 (25, 30, 12.5, ...), so frame numbers stay right for any clip length.
inline constexpr char kRateClockValue[] = "0:1001000.0";
inline constexpr double kRateClockSeconds = 1001000.0;

inline constexpr double kDefaultFramesPerUnit = 25.0;  // melt's default profile

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

// A value in the filter's own units (integer-values on), rounded to the nearest integer
// and held inside the range; NaN gives the minimum. Editors interpolating keyframes send
// fractions between two integers.
inline int sliderFromInteger(double x, int minimum, int maximum) {
    if (!(x > minimum)) return minimum;
    if (x >= maximum) return maximum;
    return static_cast<int>(std::lround(x));
}

// Hosts send booleans as 0/1 or 0.0/1.0.
inline int checkFromBool(double x) { return x >= 0.5 ? 1 : 0; }

// Frames in one unit of the host's time: the project's rate taken from the rate clock when
// the host filled it in, else the frames-per-time-unit parameter.
inline double framesPerTimeUnit(double framesPerUnit, double framesInRateClock) {
    if (framesInRateClock > 0 && std::isfinite(framesInRateClock))
        return framesInRateClock / kRateClockSeconds;
    return framesPerUnit;
}

// The frame a host time falls on, given how many frames one unit of the host's time holds.
// Rounds to the nearest frame so that times like 0.04 s * 25 (0.99999...) give frame 1.
inline int frameNumberForTime(double time, double framesPerUnit) {
    const double frame = std::floor(time * framesPerUnit + 0.5);
    if (!(frame > -2147483648.0)) return 0;
    if (frame > 2147483647.0) return 2147483647;
    return static_cast<int>(frame);
}

}  // namespace drawlet::frei0r
