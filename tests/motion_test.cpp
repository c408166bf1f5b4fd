// The motion follower: which frames are ticks, how positions follow a pan, how the picture is
// steadied, and that neither depends on the thread count.
#include "run/motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace drawlet::run {
namespace {

// A textured picture larger than the frames cut from it.
cv::Mat texture(int seed, cv::Size size = {400, 300}) {
    cv::Mat coarse(size / 20, CV_8UC3), m;
    cv::RNG(seed).fill(coarse, cv::RNG::UNIFORM, 0, 256);
    cv::resize(coarse, m, size, 0, 0, cv::INTER_CUBIC);
    return m;
}

cv::Mat frameAt(const cv::Mat& picture, int x, int y, cv::Size size = {160, 120}) {
    return picture(cv::Rect(cv::Point(x, y), size)).clone();
}

TEST(MotionFollower, FirstFrameOfRun) {
    struct Case {
        long long index;
        int interval;
        long long first;
    };
    const Case cases[] = {{0, 24, 0}, {23, 24, 0}, {24, 24, 24}, {50, 24, 48},
                          {50, 0, 0}, {7, 1, 7},   {50, -24, 48}};
    for (const Case& c : cases)
        EXPECT_EQ(MotionFollower::firstFrameOfRun(c.index, c.interval), c.first)
            << c.index << " at " << c.interval;
}

// A host that starts at frame 6 feeds the follower from the run's first frame and gets the
// positions of a render from frame 0.
TEST(MotionFollower, FeedingFromTheRunsFirstFrameReproducesAWholeRender) {
    const cv::Mat picture = texture(5);
    const auto frame = [&](long long n) {
        return frameAt(picture, 60 + 4 * static_cast<int>(n), 40 + static_cast<int>(n), {240, 180});
    };
    MotionFollower whole, partial;
    const DrawletPatternCoordinates* expected = nullptr;
    for (long long n = 0; n <= 6; ++n) expected = whole.advance(frame(n), n, 4);
    const DrawletPatternCoordinates* got = nullptr;
    for (long long n = MotionFollower::firstFrameOfRun(6, 4); n <= 6; ++n)
        got = partial.advance(frame(n), n, 4);
    ASSERT_TRUE(expected != nullptr && got != nullptr);
    const auto plane = [](const float* p, const DrawletPatternCoordinates* c) {
        return cv::Mat(c->height, c->width, CV_32F, const_cast<float*>(p),
                       c->stride * sizeof(float));
    };
    EXPECT_EQ(cv::norm(plane(got->x, got), plane(expected->x, expected), cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(plane(got->y, got), plane(expected->y, expected), cv::NORM_INF), 0);
}

// Sequences of frames, each with its index, interval and picture, and whether it is a tick.
TEST(MotionFollower, TickRule) {
    const cv::Mat picture = texture(1), other = texture(2);
    const cv::Mat still = frameAt(picture, 40, 30);
    struct Step {
        long long index;
        int interval;
        bool tick;
        const cv::Mat* frame = nullptr;  // still unless given
    };
    const cv::Mat wider = frameAt(picture, 40, 30, {168, 120});
    const cv::Mat cut = frameAt(other, 40, 30);
    const cv::Mat tiny = frameAt(picture, 40, 30, {22, 20});
    struct Case {
        const char* what;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"run from the first frame", {{0, 24, true}, {1, 24, false}, {2, 24, false}}},
        {"scheduled tick", {{22, 24, true}, {23, 24, false}, {24, 24, true}, {25, 24, false}}},
        {"interval 0", {{0, 0, true}, {1, 0, false}, {2, 0, false}, {3, 0, false}}},
        {"seek", {{5, 24, true}, {6, 24, false}, {10, 24, true}, {11, 24, false}}},
        {"reversed steps", {{5, 24, true}, {6, 24, false}, {5, 24, true}, {4, 24, true}}},
        {"interval changed", {{5, 24, true}, {6, 24, false}, {7, 12, true}, {8, 12, false}}},
        {"size changed",
         {{5, 24, true}, {6, 24, false}, {7, 24, true, &wider}, {8, 24, false, &wider}}},
        {"scene cut", {{5, 24, true}, {6, 24, false}, {7, 24, true, &cut}, {8, 24, false, &cut}}},
        {"too small to follow", {{5, 24, true, &tiny}, {6, 24, true, &tiny}}},
    };
    for (const Case& c : cases) {
        MotionFollower follower;
        for (const Step& step : c.steps) {
            const bool tick = follower.advance(step.frame ? *step.frame : still, step.index,
                                               step.interval) == nullptr;
            EXPECT_EQ(tick, step.tick) << c.what << ", frame " << step.index;
        }
    }
    MotionFollower follower;
    ASSERT_EQ(follower.advance(still, 0, 24), nullptr);
    ASSERT_NE(follower.advance(still, 1, 24), nullptr);
    follower.reset();
    EXPECT_EQ(follower.advance(still, 2, 24), nullptr);
}

// Away from the edges a pixel's position is where its content was at the tick, within the
// flow's error of a fraction of a pixel, frame after frame: errors must not add up. The frames
// are a textured world seen through view(n) (world to frame).
TEST(MotionFollower, PositionsFollowTheCamera) {
    const cv::Mat world = texture(3, {520, 400});
    const cv::Size size(320, 240);
    const cv::Rect interior(32, 32, size.width - 64, size.height - 64);
    const cv::Point2d centre(size.width / 2.0, size.height / 2.0);
    struct Case {
        const char* what;
        double dx, dy, zoom;  // per frame, about the frame's centre
    };
    // A whole-pixel pan, and a zoom of 1% a frame, where the flow alone at this size is short of
    // the motion by some percent.
    const Case cases[] = {{"pan", 3, -2, 1}, {"zoom", 0, 0, 1.01}};
    for (const Case& c : cases) {
        const auto view = [&](int n) {
            const double s = std::pow(c.zoom, n);
            return cv::Matx23d(s, 0, centre.x - s * 260 - c.dx * n, 0, s,
                               centre.y - s * 200 - c.dy * n);
        };
        const auto frame = [&](int n) {
            cv::Mat out;
            cv::warpAffine(world, out, cv::Mat(view(n)), size);
            return out;
        };
        MotionFollower follower;
        ASSERT_EQ(follower.advance(frame(0), 0, 24), nullptr) << c.what;
        for (int n = 1; n <= 6; ++n) {
            const DrawletPatternCoordinates* got = follower.advance(frame(n), n, 24);
            ASSERT_NE(got, nullptr) << c.what << " " << n;
            ASSERT_EQ(cv::Size(got->width, got->height), size);
            EXPECT_LT(follower.failedShare(), 0.1) << c.what << " " << n;
            // Where the content of each pixel was at the tick.
            const double s = std::pow(c.zoom, n);
            double worst = 0, total = 0;
            for (int y = interior.y; y < interior.br().y; ++y)
                for (int x = interior.x; x < interior.br().x; ++x) {
                    const double ex = centre.x + (x - centre.x) / s + c.dx * n;
                    const double ey = centre.y + (y - centre.y) / s + c.dy * n;
                    const std::size_t at = static_cast<std::size_t>(y) * got->stride + x;
                    const double e = std::hypot(got->x[at] - ex, got->y[at] - ey);
                    worst = std::max(worst, e);
                    total += e;
                }
            EXPECT_LT(total / interior.area(), 0.2) << c.what << " frame " << n;
            EXPECT_LT(worst, 0.4) << c.what << " frame " << n;
        }
    }
}

// A run without ticks that pans further than the frame is wide: the positions of the content
// that came into view wrap around the frame instead of piling up at its edge, so that along a
// row they step one pixel a column (modulo the width) everywhere, seam included.
TEST(MotionFollower, PositionsWrapAroundTheFrame) {
    const cv::Mat picture = texture(6, {640, 300});
    const cv::Size size(160, 120);
    MotionFollower follower;
    const DrawletPatternCoordinates* c = nullptr;
    for (int n = 0; n <= 24; ++n)
        c = follower.advance(frameAt(picture, 40 + 8 * n, 90, size), n, 0);
    ASSERT_NE(c, nullptr);
    for (const int row : {20, 60, 100}) {
        const float* x = c->x + static_cast<std::ptrdiff_t>(row) * c->stride;
        int steps = 0;
        for (int column = 0; column + 1 < size.width; ++column) {
            const float step = std::fmod(x[column + 1] - x[column] + 1.5f * size.width,
                                         static_cast<float>(size.width)) -
                               0.5f * static_cast<float>(size.width);
            steps += std::abs(step - 1.0f) < 0.3f ? 1 : 0;
            ASSERT_GE(x[column], 0.0f);
            ASSERT_LE(x[column], static_cast<float>(size.width));
        }
        EXPECT_GT(steps, size.width - 4) << "row " << row;
    }
}

// The picture a followed frame is drawn from holds still what only noise changes, and lets a
// real change through at once: each byte stays within the steadying levels of the input's.
// A turn reads the picture before in runs along slanted lines. A clean picture is left as it
// is.
TEST(MotionFollower, SteadiedPictureHoldsNoiseAndPassesChange) {
    const cv::Mat picture = texture(7, {520, 400});
    const cv::Size size(320, 240);
    const cv::Rect interior(32, 32, size.width - 64, size.height - 64), patch(150, 100, 30, 20);
    struct Case {
        const char* what;
        double dx, dy, degrees;  // per frame
    };
    for (const Case& c : {Case{"pan", 3, -2, 0}, Case{"turn", 0, 0, 0.5}}) {
        // Frame n sees the picture through view(n) (picture to frame).
        const auto view = [&](int n) {
            cv::Matx23d m = cv::getRotationMatrix2D({260, 200}, c.degrees * n, 1);
            m(0, 2) += 160 - 260 - c.dx * n;
            m(1, 2) += 120 - 200 - c.dy * n;
            return m;
        };
        const auto frame = [&](int n) {
            // Sensor-like noise: Gaussian, sigma 8 levels, new in every frame.
            cv::Mat f, noise(size, CV_16SC3), out;
            cv::warpAffine(picture, f, cv::Mat(view(n)), size);
            cv::RNG(n).fill(noise, cv::RNG::NORMAL, 0, 8);
            cv::add(f, noise, out, cv::noArray(), CV_8UC3);
            // A real change: every byte 128 levels away.
            if (n == 3) cv::bitwise_xor(out(patch), cv::Scalar::all(128), out(patch));
            return out;
        };
        // The pixels of a that differ from b at the nearest pixel their content came from:
        // frame n's pixel is at view(n - 1) after the inverse of view(n) in frame n - 1.
        const auto changed = [&](const cv::Mat& a, const cv::Mat& b, int n) {
            const auto full = [](const cv::Matx23d& m) {
                return cv::Matx33d(m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2), 0, 0, 1);
            };
            cv::Matx23d back;
            cv::invertAffineTransform(view(n), back);
            const cv::Mat toBefore = cv::Mat(full(view(n - 1)) * full(back)).rowRange(0, 2);
            cv::Mat moved, diff;
            cv::warpAffine(b, moved, toBefore, size, cv::INTER_NEAREST | cv::WARP_INVERSE_MAP);
            cv::absdiff(a(interior), moved(interior), diff);
            return cv::countNonZero(diff.reshape(1) > 0);
        };
        MotionFollower follower;
        ASSERT_EQ(follower.advance(frame(0), 0, 24), nullptr);
        cv::Mat before = frame(0), steadiedBefore = before;
        for (int n = 1; n <= 3; ++n) {
            const cv::Mat now = frame(n);
            ASSERT_NE(follower.advance(now, n, 24), nullptr) << c.what << " " << n;
            const cv::Mat& steadied = follower.picture();
            ASSERT_EQ(steadied.size(), size);
            EXPECT_LT(cv::norm(steadied, now, cv::NORM_INF), MotionFollower::kSteadyLevels)
                << c.what << " " << n;
            const int noisy = changed(now, before, n), held = changed(steadied, steadiedBefore, n);
            EXPECT_LT(held, 0.25 * noisy) << c.what << " " << n << ": " << held << " of " << noisy;
            before = now;
            steadiedBefore = steadied.clone();
        }
        EXPECT_EQ(cv::norm(follower.picture()(patch), frame(3)(patch), cv::NORM_INF), 0) << c.what;
    }

    MotionFollower clean;
    for (int n = 0; n <= 2; ++n) {
        const cv::Mat now = frameAt(picture, 100 + 3 * n, 60 - 2 * n, size);
        if (clean.advance(now, n, 24) != nullptr) {
            EXPECT_EQ(cv::norm(clean.picture(), now, cv::NORM_INF), 0) << n;
        }
    }
}

// A row of positions: the reduced row widened (centres aligned, ends replicated) added to the
// pixel's own position and wrapped into [0, limit]. Widths four times the reduced one take
// four columns at a time and must give the table's bytes; displacements of up to two frame
// widths either way make the wrap run on both sides.
TEST(MotionFollower, PositionRowsWidenAndWrap) {
    struct Case {
        int reduced, width;
    };
    const Case cases[] = {{480, 1920}, {6, 24}, {9, 36}, {5, 20}, {7, 26}, {1, 3}};
    for (const Case& c : cases) {
        const Widening widening(c.reduced, c.width);
        const float limit = static_cast<float>(c.width);
        std::vector<float> reduced(static_cast<std::size_t>(c.reduced));
        cv::RNG(c.width).fill(reduced, cv::RNG::UNIFORM, -2 * limit, 2 * limit);
        std::vector<float> fast(static_cast<std::size_t>(c.width)), table(fast.size());
        for (const float start : {0.0f, 5.0f}) {
            const float step = start == 0 ? 1.0f : 0.0f;  // an x row, then a y row
            positionRow(reduced.data(), widening, start, step, limit, fast.data(), true);
            positionRow(reduced.data(), widening, start, step, limit, table.data(), false);
            EXPECT_EQ(std::memcmp(fast.data(), table.data(), fast.size() * sizeof(float)), 0)
                << c.reduced << " to " << c.width;
            for (const float p : fast) {
                ASSERT_GE(p, 0.0f);
                ASSERT_LE(p, limit);
            }
        }
        // A shift of 2.5 everywhere: every column at x + 2.5, the last ones wrapped to the start.
        std::fill(reduced.begin(), reduced.end(), 2.5f);
        positionRow(reduced.data(), widening, 0, 1, limit, fast.data());
        for (int x = 0; x < c.width; ++x) {
            const float expected = x + 2.5f <= limit ? x + 2.5f : x + 2.5f - limit;
            ASSERT_FLOAT_EQ(fast[static_cast<std::size_t>(x)], expected) << c.width << ": " << x;
        }
    }
    // Interpolated, not repeated: a reduced ramp of one per reduced pixel widens to a quarter per
    // column, the ends held.
    const Widening fourfold(8, 32);
    std::vector<float> ramp(8), row(32);
    for (int i = 0; i < 8; ++i) ramp[static_cast<std::size_t>(i)] = static_cast<float>(i);
    positionRow(ramp.data(), fourfold, 0, 0, 100, row.data());
    EXPECT_EQ(row[0], 0.0f);
    EXPECT_EQ(row[2], 0.125f);
    EXPECT_EQ(row[13], 2.875f);
    EXPECT_EQ(row[31], 7.0f);
}

// OpenCV's thread count changes how the work is split, never the positions or the picture.
TEST(MotionFollower, SamePositionsAtOneAndTwoThreads) {
    const cv::Mat picture = texture(4, {520, 400});
    const int threads = cv::getNumThreads();
    std::vector<cv::Mat> runs;
    for (const int count : {1, 2}) {
        cv::setNumThreads(count);
        MotionFollower follower;
        cv::Mat positions;
        for (int n = 0; n < 4; ++n) {
            const DrawletPatternCoordinates* c =
                follower.advance(frameAt(picture, 80 + 5 * n, 60 + 3 * n, {320, 240}), n, 24);
            if (c == nullptr) continue;
            cv::Mat gray;
            cv::cvtColor(follower.picture(), gray, cv::COLOR_BGR2GRAY);
            gray.convertTo(gray, CV_32F);
            positions.push_back(gray);
            const cv::Mat x(c->height, c->width, CV_32F, const_cast<float*>(c->x),
                            c->stride * sizeof(float));
            const cv::Mat y(c->height, c->width, CV_32F, const_cast<float*>(c->y),
                            c->stride * sizeof(float));
            positions.push_back(x);
            positions.push_back(y);
        }
        runs.push_back(positions);
    }
    cv::setNumThreads(threads);
    ASSERT_EQ(runs[0].rows, 9 * 240);
    EXPECT_EQ(cv::norm(runs[0], runs[1], cv::NORM_INF), 0);
}

}  // namespace
}  // namespace drawlet::run
