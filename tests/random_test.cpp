// The multiply-with-carry random source.
#include <gtest/gtest.h>

#include "imaging/mwc_jump.h"
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

// Skipping draws lands on the state that plain stepping reaches, from ordinary seeds, from
// carries at and above the multiplier, and at the two fixed points.
TEST(MwcSkip, MatchesPlainStepping) {
    const MwcRandom seeds[] = {
        {0xFFFFFFFFu, 0xFFFFFFFFu},
        {0, 1},
        {5, 0},
        {123456789u, 42u},
        {7, 65536},
        {0, 0},
        {0xFFFFFFFFu, 1554115553u},  // fixed point t = m
        {0xFFFFFFFFu, 1554115554u},  // carry = a: two steps with a carry of a
        {0, 1554115554u},
        {0x80000000u, 1554115555u},
        {1, 0xFFFFFFFEu},
    };
    const std::uint64_t counts[] = {0, 1, 2, 3, 4, 5, 17, 1000, 65537, 2000003};
    for (const MwcRandom& seed : seeds) {
        MwcRandom plain = seed;
        std::uint64_t stepped = 0;
        for (const std::uint64_t count : counts) {
            for (; stepped < count; ++stepped) plain.next();
            SCOPED_TRACE(testing::Message() << seed.rngX << "/" << seed.rngCarry << " +" << count);
            const MwcRandom skipped = mwcSkip(seed, count);
            EXPECT_EQ(skipped.rngX, plain.rngX);
            EXPECT_EQ(skipped.rngCarry, plain.rngCarry);
            const MwcRandom jumped = MwcJump(count)(seed);
            EXPECT_EQ(jumped.rngX, plain.rngX);
            EXPECT_EQ(jumped.rngCarry, plain.rngCarry);
        }
    }
}

// Long skips compose: consecutive jumps of one count give the skip of their sum.
TEST(MwcSkip, RepeatedJumpsAddUp) {
    const MwcJump jump(2 * 1920 * 16);
    MwcRandom rng{41, 7};
    for (int i = 1; i <= 70; ++i) {
        rng = jump(rng);
        const MwcRandom direct = mwcSkip({41, 7}, static_cast<std::uint64_t>(i) * 2 * 1920 * 16);
        ASSERT_EQ(rng.rngX, direct.rngX) << i;
        ASSERT_EQ(rng.rngCarry, direct.rngCarry) << i;
    }
    const MwcRandom far = mwcSkip({3, 9}, 5000000000ull);
    const MwcRandom split = mwcSkip(mwcSkip({3, 9}, 1234567890ull), 5000000000ull - 1234567890ull);
    EXPECT_EQ(far.rngX, split.rngX);
    EXPECT_EQ(far.rngCarry, split.rngCarry);
}

}  // namespace
}  // namespace drawlet
