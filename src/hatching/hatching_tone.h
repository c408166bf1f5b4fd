// The per-pixel arithmetic of the hatching: tone curve, level choice and shading, as small
// pure functions so that each can be checked on its own.
#pragma once

#include <array>

#include "imaging/saturating_cast.h"

namespace drawlet {

inline constexpr double kInv255 = 0.00392156862745098;  // the double nearest 1/255

inline double clampReal(double v, double lo, double hi) { return v > hi ? hi : (v < lo ? lo : v); }

// toneTable[i] = trunc(pow(base, (10 - vFlag) / 10) * 255); below 0 vFlag also scales the
// range down to (255 + vFlag) / 255.
std::array<int, 256> buildToneTable(int vFlag);

// The pattern level 0..6 of tone t: 6 (or 7) buckets of 256 / n tones, brightest first.
inline int hatchLevel(int tone, int hatchShift) {
    const int levels = 6 + hatchShift;
    const int bucketWidth = 256 / levels;
    const int q = (255 - tone) / bucketWidth;
    const int level = levels - (q - hatchShift);
    return level < 0 ? 0 : (level > 6 ? 6 : level);
}

inline int patternIndexFor(int tone, int hatchShift, bool invert) {
    const int level = hatchLevel(tone, hatchShift);
    return invert ? 6 - level : level;
}

// Shade factor f, output value V' and saturation factor g for one pattern sample P.
struct Shade {
    double f;
    int value;
    double g;
};

inline Shade shadeFor(int toneMode, double pattern, double vb, double densityLimit,
                      double saturationGain) {
    const double s = pattern * kInv255;
    switch (toneMode) {
        case 2: {
            const double s2 = (pattern * 0.7 + 76.5) * kInv255;
            const double f = s2 > 1 ? 1 : (s2 < 1 - densityLimit ? 1 - densityLimit : s2);
            return {f, saturatingTrunc(vb * f), saturationGain};
        }
        case 3: {
            const double f = s > 1 ? 1 : (s < 1 - densityLimit ? 1 - densityLimit : s);
            return {f, saturatingTrunc(255 * f), 0.0};
        }
        case 4: {
            const double f = s > 1 ? 1 : (s < 1 - densityLimit ? 1 - densityLimit : s);
            return {f, static_cast<int>(clampReal(vb + (255 - vb) * f, 0, 255)),
                    saturationGain * (1 - f)};
        }
        default: {  // tone modes 0 and 1
            const double m = s > densityLimit ? densityLimit : (s < 0 ? 0 : s);
            const double f = 1 - m;
            return {f, saturatingTrunc(vb * f), saturationGain};
        }
    }
}

// The mask byte: the shade itself in tone modes 0 and 1, its complement otherwise. f is never
// negative (the pattern value is not), so the complement cannot overflow.
inline int maskValueFor(int toneMode, double f) {
    const int shade = saturatingTrunc(255 * f);
    return toneMode <= 1 ? shade : 255 - shade;
}

}  // namespace drawlet
