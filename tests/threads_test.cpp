// The same bytes at every thread count: frames rendered through the processing callback on
// 1, 2, 3 and 7 of OpenCV's threads, against the plain single-thread path of the reference
// (reference_frame.h), over modes, samplers, diffusion, mask, line types and odd sizes.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "imaging/mwc_random.h"
#include "imaging/once_task.h"
#include "imaging/row_bands.h"
#include "imaging/yc_pixel.h"
#include "interface/parameter_lookup.h"
#include "interface/parameters.h"
#include "kit/filter_host.h"
#include "reference_frame.h"
#include "unit_support.h"

namespace drawlet {
namespace {

// One slider or check box value, by display name.
struct Value {
    const char* name;
    int value;
    bool isCheck;
};
Value slider(const char* name, int value) { return {name, value, false}; }
Value box(const char* name, int value = 1) { return {name, value, true}; }

struct FrameCase {
    const char* name;
    int width, height, stride;
    std::vector<Value> values;
    int frameNumber = 5;
};

using namespace track;
using namespace check;

const FrameCase kCases[] = {
    {"defaults", 320, 180, 320, {}},
    {"mode 2, invert", 160, 97, 160, {slider(kMode, 2), box(kInvert)}},
    {"mode 3", 161, 97, 170, {slider(kMode, 3), slider(kLineDensity, 150)}},
    {"mode 4", 160, 97, 160, {slider(kMode, 4), slider(kLineDensity, 40)}},
    {"mode 5, saturation", 160, 97, 160, {slider(kMode, 5), slider(kSaturationGain, 2500)}},
    {"bilinear", 203, 131, 203, {box(kBilinear)}},
    {"bicubic", 203, 131, 203, {slider(kPatternAngle, 30), box(kBicubic)}},
    {"diffusion", 330, 101, 333, {box(kDiffusion)}, 7},
    {"diffusion, bicubic", 150, 77, 150, {slider(kMode, 5), box(kDiffusion), box(kBicubic)}, 123},
    {"bilinear mask", 150, 77, 150, {box(kDiffusion), box(kBilinear), box(kMask)}},
    {"mask", 160, 97, 160, {box(kMask)}},
    {"mask, mode 4", 160, 97, 160, {slider(kMode, 4), box(kMask)}},
    {"line type 1", 160, 97, 160, {slider(kLineType, 1)}},
    {"line type 2", 160, 97, 160, {slider(kLineType, 2)}},
    {"line type 3", 160, 97, 160, {slider(kLineType, 3), slider(kCannyTh1, 500)}},
    {"contour strokes", 160, 97, 160, {slider(kNoise, 0), slider(kLength, 3), slider(kWidth, 2)}},
    {"all levels", 120, 80, 120, {slider(kLineStep, 1), slider(kExtractInterval, 1)}},
    {"all levels, contours", 90, 60, 90, {slider(kExtractInterval, 1), slider(kNoise, 0)}},
    {"1 x 1", 1, 1, 1, {box(kDiffusion)}},
    {"7 x 5", 7, 5, 9, {box(kBicubic), box(kDiffusion)}},
    {"317 x 203", 317, 203, 330, {slider(kMode, 2), box(kDiffusion)}, 3},
    {"tall", 5, 90, 5, {box(kDiffusion), box(kBilinear)}},
    // 12 x 12 patterns (not a power of two): the plain per-pixel path on the bands.
    {"scale 75", 160, 97, 160, {slider(kPatternScale, 75), box(kDiffusion)}},
    {"scale 250", 160, 97, 160, {slider(kPatternScale, 250), box(kBicubic)}},
    {"angle", 160, 97, 160, {slider(kPatternAngle, -77), box(kBicubic), box(kDiffusion)}},
    {"jitter", 160, 97, 160, {slider(kXJitter, 1000), slider(kYJitter, 1000), box(kDiffusion)}},
    {"tilt", 160, 97, 160, {slider(kTilt, 500), slider(kTiltJitter, 200), box(kBilinear)}},
    {"tone curve", 160, 97, 160, {slider(kVFlag, -20), slider(kBrightnessGain, 90)}},
    {"fixed seed", 160, 97, 160, {slider(kUpdateInterval, 0), slider(kRandomSeed, 65536)}},
    {"hatching off", 160, 97, 160, {slider(kMode, 3), box(kHatching, 0)}},
    {"lines off", 160, 97, 160, {box(kLine, 0), box(kDiffusion)}},
    // Beyond the registered range: pattern positions too far out for the fast path.
    {"offset out of range", 64, 40, 64, {slider(kXJitter, 2000000000), box(kDiffusion)}},
};

cv::Mat scene(int width, int height) {
    cv::Mat m(height, width, CV_8UC3);
    cv::randu(m, 0, 256);
    cv::GaussianBlur(m, m, cv::Size(7, 7), 0);
    cv::circle(m, {width / 3, height / 2}, height / 4 + 1, cv::Scalar(230, 200, 40), cv::FILLED);
    cv::rectangle(m, {width / 2, height / 5}, {width * 4 / 5, height / 2}, cv::Scalar(20, 60, 90),
                  cv::FILLED);
    return m;
}

class ThreadCounts : public test::FilterFixture, public testing::WithParamInterface<FrameCase> {
  protected:
    void TearDown() override {
        cv::setNumThreads(-1);
        FilterFixture::TearDown();
    }
};

TEST_P(ThreadCounts, EveryCountGivesThePlainSingleThreadFrame) {
    const FrameCase& c = GetParam();
    for (const Value& v : c.values)
        v.isCheck ? setCheck(v.name, v.value) : setSlider(v.name, v.value);
    const kit::YcFrame input = kit::toYcFrame(scene(c.width, c.height), c.stride);

    std::vector<std::pair<kit::YcFrame, MwcRandom>> rendered;
    for (const int threads : {1, 2, 3, 7}) {
        cv::setNumThreads(threads);
        kit::YcFrame frame = input;
        request = DrawletFrameRequest{};
        request.frame = frame.pixels.data();
        request.width = c.width;
        request.height = c.height;
        request.rowStride = c.stride;
        request.frameNumber = c.frameNumber;
        ASSERT_EQ(reg->process(reg, &request), 1);
        rendered.emplace_back(std::move(frame), mwcRandom);
    }
    cv::setNumThreads(1);
    const test::ReferenceResult expected = test::referenceFrame(input, c.frameNumber);
    const bool hatching = checks[static_cast<std::size_t>(checkIndexByName.at(kHatching))];
    for (std::size_t i = 0; i < rendered.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "run " << i << " of 1, 2, 3, 7 threads");
        const auto& got = rendered[i].first.pixels;
        ASSERT_EQ(got.size(), expected.frame.pixels.size());
        std::size_t differing = 0;
        for (std::size_t k = 0; k < got.size(); ++k)
            differing += got[k].y != expected.frame.pixels[k].y ||
                         got[k].cb != expected.frame.pixels[k].cb ||
                         got[k].cr != expected.frame.pixels[k].cr;
        EXPECT_EQ(differing, 0u);
        if (hatching) {
            EXPECT_EQ(rendered[i].second.rngX, expected.generator.rngX);
            EXPECT_EQ(rendered[i].second.rngCarry, expected.generator.rngCarry);
        }
    }
}

// Every band and leading task runs exactly once, whatever the thread count; the tail runs
// once, after every band; an exception of any of them reaches the caller after the
// others have run.
TEST(RowBands, EveryPieceRunsOnceAndTheTailAfterTheBands) {
    for (const int threads : {1, 2, 3, 7}) {
        cv::setNumThreads(threads);
        for (const int rows : {0, 1, 15, 16, 17, 100}) {
            for (const int sideCount : {0, 1, 4}) {
                SCOPED_TRACE(testing::Message() << threads << " threads, " << rows << " rows, "
                                                << sideCount << " leading tasks");
                std::vector<std::atomic<int>> rowRuns(static_cast<std::size_t>(rows));
                std::vector<std::atomic<int>> sideRuns(static_cast<std::size_t>(sideCount));
                std::atomic<int> tailRuns{0}, rowsBeforeTail{-1};
                BesideBands beside;
                for (int i = 0; i < sideCount; ++i)
                    beside.leading.push_back(
                        [&sideRuns, i] { ++sideRuns[static_cast<std::size_t>(i)]; });
                beside.tail = [&] {
                    ++tailRuns;
                    int done = 0;
                    for (const auto& n : rowRuns) done += n.load();
                    rowsBeforeTail = done;
                };
                forEachRowBandBeside(
                    rows,
                    [&](int first, int end) {
                        EXPECT_LE(end - first, kBandRows);
                        for (int r = first; r < end; ++r) ++rowRuns[static_cast<std::size_t>(r)];
                    },
                    beside);
                for (const auto& n : rowRuns) EXPECT_EQ(n.load(), 1);
                for (const auto& n : sideRuns) EXPECT_EQ(n.load(), 1);
                EXPECT_EQ(tailRuns.load(), 1);
                EXPECT_EQ(rowsBeforeTail.load(), rows);
            }
        }
        std::atomic<int> bandsRun{0};
        const BandWork countBands = [&](int, int) { ++bandsRun; };
        BesideBands failingSide;
        failingSide.leading = {[] { throw std::runtime_error("side"); }};
        EXPECT_THROW(forEachRowBandBeside(64, countBands, failingSide), std::runtime_error);
        EXPECT_EQ(bandsRun.load(), 4);
        BesideBands failingTail;
        failingTail.tail = [] { throw std::out_of_range("tail"); };
        EXPECT_THROW(forEachRowBandBeside(64, countBands, failingTail), std::out_of_range);
        EXPECT_EQ(bandsRun.load(), 8);
        const BandWork failingBand = [](int first, int) {
            if (first == 32) throw std::logic_error("band");
        };
        EXPECT_THROW(forEachRowBand(64, failingBand), std::logic_error);
    }
    cv::setNumThreads(-1);
}

// Work needed by several threads runs once: whoever comes first runs it, the others wait
// for it and see what it wrote, or its exception; after a reset it runs again.
TEST(OnceTask, RunsOnceAndEveryCallerSeesItsEnd) {
    for (const int threads : {1, 2, 7}) {
        cv::setNumThreads(threads);
        OnceTask task;
        for (const bool fails : {false, true, false}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, failing " << fails);
            task.reset();
            std::atomic<int> runs{0}, sawResult{0}, sawFailure{0};
            int result = 0;
            BesideBands callers;
            for (int i = 0; i < 8; ++i)
                callers.leading.push_back([&] {
                    try {
                        task.runOrWait([&] {
                            ++runs;
                            if (fails) throw std::runtime_error("once");
                            result = 42;
                        });
                        sawResult += result == 42;
                    } catch (const std::runtime_error&) {
                        ++sawFailure;
                    }
                });
            forEachRowBandBeside(0, BandWork(), callers);
            EXPECT_EQ(runs.load(), 1);
            EXPECT_TRUE(task.finished());
            EXPECT_EQ(sawResult.load(), fails ? 0 : 8);
            EXPECT_EQ(sawFailure.load(), fails ? 8 : 0);
            EXPECT_FALSE(task.tryRun([&] { ++runs; }));
        }
    }
    cv::setNumThreads(-1);
}

// The host kit's conversions of whole pictures (vectorised rows, split among threads) give
// the per-pixel formulas' bytes at every thread count, on an odd width and a padded stride.
TEST(HostKitConversions, EveryThreadCountGivesThePerPixelBytes) {
    cv::Mat bgr(67, 257, CV_8UC3);
    cv::randu(bgr, 0, 256);
    kit::YcFrame yc;
    yc.width = 257;
    yc.height = 67;
    yc.rowStride = 263;
    yc.pixels.resize(static_cast<std::size_t>(yc.rowStride) * yc.height);
    cv::RNG rng(7);
    for (DrawletPixelYC& p : yc.pixels)  // beyond the legal ranges too: the clamps matter
        p = {static_cast<short>(rng.uniform(-600, 4700)),
             static_cast<short>(rng.uniform(-2600, 2600)),
             static_cast<short>(rng.uniform(-2600, 2600))};
    for (const int threads : {1, 2, 3, 7}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        cv::setNumThreads(threads);
        const kit::YcFrame toYc = kit::toYcFrame(bgr, 261);
        const cv::Mat back = kit::toBgr(yc);
        int differing = 0;
        for (int y = 0; y < bgr.rows; ++y)
            for (int x = 0; x < bgr.cols; ++x) {
                const DrawletPixelYC want = bgrPixelToYc(bgr.ptr<std::uint8_t>(y) + 3 * x);
                const DrawletPixelYC got = toYc.row(y)[x];
                std::uint8_t pixel[3];
                ycPixelToBgr(yc.row(y)[x], pixel);
                differing += got.y != want.y || got.cb != want.cb || got.cr != want.cr ||
                             std::memcmp(pixel, back.ptr<std::uint8_t>(y) + 3 * x, 3) != 0;
            }
        EXPECT_EQ(differing, 0);
    }
    cv::setNumThreads(-1);
}

std::string caseName(const testing::TestParamInfo<FrameCase>& info) {
    std::string name;
    for (const char* p = info.param.name; *p != '\0'; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
    return name;
}

INSTANTIATE_TEST_SUITE_P(Frames, ThreadCounts, testing::ValuesIn(kCases), caseName);

}  // namespace
}  // namespace drawlet
