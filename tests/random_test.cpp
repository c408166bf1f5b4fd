// The multiply-with-carry random source.
#include <gtest/gtest.h>

#include "imaging/mwc_random.h"

namespace drawlet {
namespace {

TEST(MwcRandom, KnownSequenceFromZeroAndOne) {
    MwcRandom rng{0, 1};
    EXPECT_EQ(rng.next(), 2.3283064365386963e-10);
    EXPECT_EQ(rng.next(), 0.3618457247503102);
    EXPECT_EQ(rng.next(), 0.9828598210588098);
    EXPECT_EQ(rng.rngX, 4221350788u);
    EXPECT_EQ(rng.rngCarry, 562350068u);
}

TEST(MwcRandom, KnownSequenceFromAllOnes) {
    MwcRandom rng{0xFFFFFFFFu, 0xFFFFFFFFu};
    EXPECT_EQ(rng.next(), 0.6381542750168592);
    EXPECT_EQ(rng.rngX, 2740851741u);
    EXPECT_EQ(rng.rngCarry, 1554115554u);
    EXPECT_EQ(rng.next(), 0.017140178941190243);
    EXPECT_EQ(rng.next(), 0.9217604037839919);
}

// A word of 2^31 or more is never read as signed: the result is then 0.5 or more.
TEST(MwcRandom, HighWordsGiveResultsAboveOneHalf) {
    MwcRandom rng{5, 0};
    EXPECT_EQ(rng.next(), 0.8092286237515509);
    EXPECT_EQ(rng.rngCarry, 1u);
}

TEST(MwcRandom, FixedPoints) {
    MwcRandom zero{0, 0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(zero.next(), 0.0);
    EXPECT_EQ(zero.rngX, 0u);
    MwcRandom top{4294967295u, 1554115553u};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(top.next(), 0.9999999997671694);
    EXPECT_EQ(top.rngX, 4294967295u);
    EXPECT_EQ(top.rngCarry, 1554115553u);
}

TEST(MwcRandom, SameSeedSameSequenceAndAlwaysBelowOne) {
    MwcRandom a{123456789u, 42u}, b{123456789u, 42u};
    for (int i = 0; i < 10000; ++i) {
        const double u = a.next();
        ASSERT_EQ(u, b.next());
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
    }
}

}  // namespace
}  // namespace drawlet
