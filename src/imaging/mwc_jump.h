// Skipping draws of the multiply-with-carry source without producing them, so that a band of
// rows can start at its own draw.
//
// With t = x + carry * 2^32, one step is t' = a * x + carry, and t' = a * t mod m with
// m = a * 2^32 - 1 whenever the carry is below a: then t <= m, and the carry stays below a.
// So n steps are one multiplication by a^n mod m. Any carry reaches that range within a few
// plain steps; t = m (x = 2^32 - 1, carry = a - 1) and t = 0 are fixed points.
#pragma once

#include <cstdint>

#include "imaging/mwc_random.h"

namespace drawlet {

// The state after `count` further draws.
MwcRandom mwcSkip(MwcRandom rng, std::uint64_t count);

// A skip of one fixed count, its multiplier computed once, for many states.
class MwcJump {
  public:
    explicit MwcJump(std::uint64_t count);
    MwcRandom operator()(MwcRandom rng) const;

  private:
    std::uint64_t count_;
    std::uint64_t factor_;  // a^count mod m
};

}  // namespace drawlet
