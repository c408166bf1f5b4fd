// The multiply-with-carry random source of the hatching jitter.
#pragma once

#include <cstdint>

namespace drawlet {

struct MwcRandom {
    static constexpr std::uint64_t kMultiplier = 1554115554u;  // 0x5CA1EBE2
    static constexpr double kToUnit = 2.3283064365386963e-10;  // 2^-32, exact

    std::uint32_t rngX;
    std::uint32_t rngCarry;

    // One step: t = a * x + carry as an exact 64-bit value, x = low word, carry = high word;
    // returns the new x / 2^32, in [0, 1).
    double next() {
        const std::uint64_t t = kMultiplier * rngX + rngCarry;
        rngX = static_cast<std::uint32_t>(t);
        rngCarry = static_cast<std::uint32_t>(t >> 32);
        return static_cast<double>(rngX) * kToUnit;
    }
};

// The module-wide state, seeded by the frame driver before every hatching run.
extern MwcRandom mwcRandom;

}  // namespace drawlet
