#include "imaging/mwc_jump.h"

namespace drawlet {
namespace {

constexpr std::uint64_t kModulus = (MwcRandom::kMultiplier << 32) - 1;  // below 2^63

// x * y mod m for x, y < m < 2^63, by doubling: no sum exceeds 2^64.
std::uint64_t mulMod(std::uint64_t x, std::uint64_t y) {
    std::uint64_t result = 0;
    while (y != 0) {
        if (y & 1) {
            result += x;
            if (result >= kModulus) result -= kModulus;
        }
        x += x;
        if (x >= kModulus) x -= kModulus;
        y >>= 1;
    }
    return result;
}

std::uint64_t powMod(std::uint64_t base, std::uint64_t exponent) {
    std::uint64_t result = 1;
    while (exponent != 0) {
        if (exponent & 1) result = mulMod(result, base);
        base = mulMod(base, base);
        exponent >>= 1;
    }
    return result;
}

std::uint64_t combined(const MwcRandom& rng) {
    return (static_cast<std::uint64_t>(rng.rngCarry) << 32) | rng.rngX;
}

// The state after multiplying its combined value by `factor`.
MwcRandom multiplied(const MwcRandom& rng, std::uint64_t factor) {
    const std::uint64_t t = combined(rng);
    if (t == kModulus) return rng;
    const std::uint64_t next = mulMod(t, factor);
    return {static_cast<std::uint32_t>(next), static_cast<std::uint32_t>(next >> 32)};
}

}  // namespace

MwcRandom mwcSkip(MwcRandom rng, std::uint64_t count) {
    // Plain steps until the carry is below the multiplier.
    for (; count > 0 && rng.rngCarry >= MwcRandom::kMultiplier; --count) rng.next();
    if (count == 0) return rng;
    return multiplied(rng, powMod(MwcRandom::kMultiplier, count));
}

MwcJump::MwcJump(std::uint64_t count)
    : count_(count), factor_(powMod(MwcRandom::kMultiplier, count)) {}

MwcRandom MwcJump::operator()(MwcRandom rng) const {
    if (count_ == 0) return rng;
    if (rng.rngCarry >= MwcRandom::kMultiplier) return mwcSkip(rng, count_);
    return multiplied(rng, factor_);
}

}  // namespace drawlet
