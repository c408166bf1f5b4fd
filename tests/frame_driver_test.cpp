// Parameter decoding, mode presets, seeding and the per-frame pipeline.
#include "host/frame_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>

#include "hatching/pattern_bank.h"
#include "imaging/mwc_random.h"
#include "imaging/working_images.h"
#include "interface/parameters.h"
#include "kit/filter_host.h"
#include "unit_support.h"

namespace drawlet {
namespace {

using test::FilterFixture;

class FrameDriver : public FilterFixture {
  protected:
    // Decodes and applies the preset as the driver does.
    void decode() {
        decodeEffectParams(*reg);
        applyModePreset(checks[3] == 1);
    }
};

TEST_F(FrameDriver, CheckStateTwoCountsOnlyForLinesAndHatching) {
    checks = {2, 2, 2, 2, 2, 2, 2};
    decode();
    EXPECT_TRUE(EffectParams.lineOn);
    EXPECT_TRUE(EffectParams.hatchOn);
    EXPECT_FALSE(EffectParams.diffusion);
    EXPECT_FALSE(EffectParams.maskMode);
    EXPECT_EQ(EffectParams.interpolation, 0);
    EXPECT_FALSE(EffectParams.hatchInvert);  // mode 1: not toggled by a state of 2
}

TEST_F(FrameDriver, InterpolationBicubicWinsOverBilinear) {
    setCheck(check::kBilinear, 1);
    decode();
    EXPECT_EQ(EffectParams.interpolation, 1);
    setCheck(check::kBicubic, 1);
    decode();
    EXPECT_EQ(EffectParams.interpolation, 2);
    setCheck(check::kBilinear, 0);
    decode();
    EXPECT_EQ(EffectParams.interpolation, 2);
}

TEST_F(FrameDriver, SlidersAreScaled) {
    setSlider(track::kTilt, -250);
    setSlider(track::kBrightnessGain, 200);
    setSlider(track::kDensityLimit, 35);
    setSlider(track::kNoise, 7);
    decode();
    EXPECT_EQ(EffectParams.tilt, -2.5);
    EXPECT_EQ(EffectParams.brightnessGain, 2.0);
    EXPECT_EQ(EffectParams.densityLimit, 0.35);
    EXPECT_EQ(EffectParams.noise, 7);
}

TEST_F(FrameDriver, ModePresets) {
    struct Row {
        int mode;
        bool mask;
        double lineStrength;
        int toneMode, shift, background;
        bool invert;
    };
    const Row rows[] = {
        {1, false, 1.0, 0, 0, 0, false},  {2, false, 1.0, 1, 0, 0, true},
        {3, false, 0.7, 2, 1, 255, true}, {3, true, 0.7, 2, 1, 0, true},
        {4, false, 0.0, 3, 1, 255, true}, {4, true, 0.0, 3, 1, 0, true},
        {5, false, 1.0, 4, 0, 255, true}, {5, true, 1.0, 4, 0, 0, true},
        {1, true, 1.0, 0, 0, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << row.mode << " mask " << row.mask);
        setSlider(track::kMode, row.mode);
        setCheck(check::kMask, row.mask ? 1 : 0);
        decode();
        EXPECT_EQ(EffectParams.lineStrength, row.lineStrength);
        EXPECT_EQ(EffectParams.hatchToneMode, row.toneMode);
        EXPECT_EQ(EffectParams.hatchShift, row.shift);
        EXPECT_EQ(EffectParams.backgroundLevel, row.background);
        EXPECT_EQ(EffectParams.hatchInvert, row.invert);
        EXPECT_EQ(EffectParams.lineOffset, 0.0);  // line density 1: mode 4's offset is 0 too
    }
}

TEST_F(FrameDriver, LineDensityScalesStrengthOrGivesTheModeFourOffset) {
    setSlider(track::kMode, 4);
    setSlider(track::kLineDensity, 200);
    decode();
    EXPECT_EQ(EffectParams.lineStrength, 0.0);
    EXPECT_EQ(EffectParams.lineOffset, -255.0);
    setSlider(track::kLineDensity, 0);
    decode();
    EXPECT_EQ(EffectParams.lineOffset, 255.0);
    setSlider(track::kMode, 2);
    setSlider(track::kLineDensity, 50);
    decode();
    EXPECT_EQ(EffectParams.lineStrength, 0.5);
    EXPECT_EQ(EffectParams.lineOffset, 0.0);
    setSlider(track::kMode, 3);
    setSlider(track::kLineDensity, 150);
    decode();
    EXPECT_EQ(EffectParams.lineStrength, 0.7 * 1.5);
}

TEST_F(FrameDriver, InvertCheckTogglesThePreset) {
    setCheck(check::kInvert, 1);
    setSlider(track::kMode, 1);
    decode();
    EXPECT_TRUE(EffectParams.hatchInvert);
    setSlider(track::kMode, 2);
    decode();
    EXPECT_FALSE(EffectParams.hatchInvert);
}

// A mode outside 1..5 applies no row: the preset fields keep their previous values.
TEST_F(FrameDriver, ModeOutsideTheRangeKeepsThePreviousPreset) {
    setSlider(track::kMode, 3);
    decode();
    setSlider(track::kMode, 9);
    setSlider(track::kLineDensity, 100);
    decode();
    EXPECT_EQ(EffectParams.hatchToneMode, 2);
    EXPECT_EQ(EffectParams.backgroundLevel, 255);
    EXPECT_EQ(EffectParams.lineStrength, 0.7);
}

TEST(Seeding, WordsFromFrameIntervalAndSeed) {
    const auto words = [](int frame, int interval, int seed) {
        const SeedWords w = seedWordsFor(frame, interval, seed);
        return std::pair<std::uint32_t, std::uint32_t>{w.rngX, w.rngCarry};
    };
    using Pair = std::pair<std::uint32_t, std::uint32_t>;
    for (int frame : {0, 1, 500}) EXPECT_EQ(words(frame, 0, 0), (Pair{0xFFFFFFFFu, 0xFFFFFFFFu}));
    for (int frame : {0, 1, 2}) EXPECT_EQ(words(frame, 3, 0), (Pair{0xFFFFFFFFu, 0xFFFFFFFFu}));
    for (int frame : {3, 4, 5}) EXPECT_EQ(words(frame, 3, 0), (Pair{1u, 0u}));
    for (int frame : {0, 9, 77}) EXPECT_EQ(words(frame, 0, 7), (Pair{0u, 7u}));
    EXPECT_EQ(words(41, 1, 65536), (Pair{41u, 65536u}));
    // Negative quotients are sign-extended into the high word.
    EXPECT_EQ(words(-1, 1, 0), (Pair{0xFFFFFFFFu, 0xFFFFFFFFu}));
    EXPECT_EQ(words(-2, 1, 1), (Pair{0xFFFFFFFEu, 0u}));
    EXPECT_EQ(words(INT32_MIN, -1, 0), (Pair{0x80000000u, 0u}));  // no overflow trap
}

cv::Mat gradient(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(x * 255 / std::max(1, w - 1)),
                                              static_cast<uchar>(y * 255 / std::max(1, h - 1)), 90);
    return m;
}

TEST_F(FrameDriver, BackgroundFillWhenHatchingAndLinesAreOff) {
    checks[0] = 0;
    checks[1] = 0;
    cv::Mat out;
    ASSERT_EQ(processBgr(gradient(6, 4), out), 1);
    EXPECT_EQ(cv::countNonZero(out.reshape(1)), 0);  // mode 1: black
    setSlider(track::kMode, 3);
    ASSERT_EQ(processBgr(gradient(6, 4), out), 1);
    EXPECT_EQ(cv::countNonZero(out.reshape(1) != 255), 0);  // mode 3: white
    setCheck(check::kMask, 1);
    ASSERT_EQ(processBgr(gradient(6, 4), out), 1);
    EXPECT_EQ(cv::countNonZero(out.reshape(1)), 0);  // mode 3 mask: black
}

TEST_F(FrameDriver, SeedsTheRandomSourceForEveryHatchingRun) {
    checks[0] = 0;
    setSlider(track::kUpdateInterval, 3);
    setSlider(track::kRandomSeed, 0);
    cv::Mat out;
    ASSERT_EQ(processBgr(gradient(4, 4), out, 4), 1);
    // Frame 4 with interval 3: q = 1, seed 0; three draws follow the seeding.
    MwcRandom expected{1, 0};
    for (int i = 0; i < 3; ++i) expected.next();
    EXPECT_EQ(mwcRandom.rngX, expected.rngX);
    EXPECT_EQ(mwcRandom.rngCarry, expected.rngCarry);
}

TEST_F(FrameDriver, NoPatternSetLeavesTheFrameAndTitleAlone) {
    setPatternBaseDirectory((dir.path() / "nowhere").c_str());
    GetFilterTable();  // forces a reload
    setPatternBaseDirectory((dir.path() / "nowhere").c_str());
    checks[1] = 0;  // even with hatching off
    window.title = "unchanged";
    const cv::Mat in = gradient(5, 3);
    kit::YcFrame frame = kit::toYcFrame(in);
    const auto before = frame.pixels;
    request = DrawletFrameRequest{};
    request.frame = frame.pixels.data();
    request.width = 5;
    request.height = 3;
    request.rowStride = 5;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(reg->process(reg, &request), 0);
    EXPECT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.title, "unchanged");
    for (std::size_t i = 0; i < before.size(); ++i) {
        ASSERT_EQ(frame.pixels[i].y, before[i].y);
        ASSERT_EQ(frame.pixels[i].cb, before[i].cb);
    }
}

TEST_F(FrameDriver, TitleShowsTheTimeUnlessSaving) {
    cv::Mat out;
    ASSERT_EQ(processBgr(gradient(8, 8), out), 1);
    EXPECT_EQ(window.title.rfind("Morvane time:", 0), 0u) << window.title;
    services.isSaving = [](void*) { return 1; };
    window.title = "kept";
    ASSERT_EQ(processBgr(gradient(8, 8), out), 1);
    EXPECT_EQ(window.title, "kept");
}

TEST_F(FrameDriver, WorkingImagesFollowTheFrameSize) {
    cv::Mat out;
    ASSERT_EQ(processBgr(gradient(8, 6), out), 1);
    const uchar* data = srcImage.data;
    ASSERT_EQ(processBgr(gradient(8, 6), out), 1);
    EXPECT_EQ(srcImage.data, data);  // the same size reuses the set
    ASSERT_EQ(processBgr(gradient(3, 9), out), 1);
    EXPECT_EQ(srcImage.size(), cv::Size(3, 9));
    EXPECT_EQ(lastScratchGray.size(), cv::Size(3, 9));
    EXPECT_EQ(out.size(), cv::Size(3, 9));
}

// Pattern coordinates reach the hatching only when flagged and usable: positions equal to
// the pixels' own give the plain bytes, others (the bounds included) change them, and every
// unusable record is ignored: the frame is the plain one.
TEST_F(FrameDriver, PatternCoordinatesOnlyWhenFlaggedAndUsable) {
    checks[0] = 0;  // lines off
    constexpr int w = 24, h = 16, flag = DRAWLET_REQUEST_PATTERN_COORDINATES;
    cv::Mat in(h, w, CV_8UC3), plain, out;
    cv::randu(in, 0, 256);
    ASSERT_EQ(processBgr(in, plain, 3), 1);

    const auto positions = test::ownPositions({w, h});
    const cv::Mat &ownX = positions.first, &ownY = positions.second;
    const DrawletPatternCoordinates own{ownX.ptr<float>(), ownY.ptr<float>(), w, h, w};
    ASSERT_EQ(processBgr(in, out, 3, flag, &own), 1);
    EXPECT_EQ(cv::norm(out, plain, cv::NORM_INF), 0);

    const auto zoomed = [&] {
        cv::Mat xs = ownX * 0.5 + 3.7, ys = ownY * 0.5 + 2.3;
        xs.at<float>(0, 0) = w;
        ys.at<float>(0, 0) = h;
        return std::pair{xs, ys};
    };
    auto [xs, ys] = zoomed();
    DrawletPatternCoordinates used{xs.ptr<float>(), ys.ptr<float>(), w, h, w};
    ASSERT_EQ(processBgr(in, out, 3, flag, &used), 1);
    EXPECT_GT(cv::norm(out, plain, cv::NORM_INF), 0);

    struct Case {
        const char* what;
        int flags;
        void (*spoil)(DrawletPatternCoordinates&, cv::Mat& xs, cv::Mat& ys);
        bool nullRecord = false;
    };
    const Case cases[] = {
        {"no flag", 0, [](DrawletPatternCoordinates&, cv::Mat&, cv::Mat&) {}},
        {"no record", flag, [](DrawletPatternCoordinates&, cv::Mat&, cv::Mat&) {}, true},
        {"no x", flag, [](DrawletPatternCoordinates& c, cv::Mat&, cv::Mat&) { c.x = nullptr; }},
        {"narrower", flag, [](DrawletPatternCoordinates& c, cv::Mat&, cv::Mat&) { --c.width; }},
        {"taller", flag, [](DrawletPatternCoordinates& c, cv::Mat&, cv::Mat&) { ++c.height; }},
        {"short stride", flag,
         [](DrawletPatternCoordinates& c, cv::Mat&, cv::Mat&) { c.stride = w - 1; }},
        {"NaN", flag,
         [](DrawletPatternCoordinates&, cv::Mat& x, cv::Mat&) { x.at<float>(9, 5) = NAN; }},
        {"infinite", flag,
         [](DrawletPatternCoordinates&, cv::Mat&, cv::Mat& y) { y.at<float>(4, 2) = INFINITY; }},
        {"negative", flag,
         [](DrawletPatternCoordinates&, cv::Mat& x, cv::Mat&) { x.at<float>(15, 0) = -0.01f; }},
        {"past the width", flag,
         [](DrawletPatternCoordinates&, cv::Mat& x, cv::Mat&) { x.at<float>(0, 23) = w + 0.01f; }},
        {"past the height", flag,
         [](DrawletPatternCoordinates&, cv::Mat&, cv::Mat& y) { y.at<float>(15, 1) = h + 0.01f; }},
    };
    for (const Case& c : cases) {
        std::tie(xs, ys) = zoomed();
        DrawletPatternCoordinates record{xs.ptr<float>(), ys.ptr<float>(), w, h, w};
        c.spoil(record, xs, ys);
        ASSERT_EQ(processBgr(in, out, 3, c.flags, c.nullRecord ? nullptr : &record), 1) << c.what;
        EXPECT_EQ(cv::norm(out, plain, cv::NORM_INF), 0) << c.what;
    }
}

TEST_F(FrameDriver, UnaddressableFramesAreRefused) {
    DrawletPixelYC pixel{100, 0, 0};
    request = DrawletFrameRequest{};
    request.frame = &pixel;
    request.width = 1;
    request.height = 1;
    request.rowStride = 0;  // shorter than the width
    EXPECT_EQ(reg->process(reg, &request), 0);
    request.rowStride = 1;
    request.frame = nullptr;
    EXPECT_EQ(reg->process(reg, &request), 0);
    request.frame = &pixel;
    request.width = 0;
    EXPECT_EQ(reg->process(reg, &request), 0);
    EXPECT_EQ(reg->process(reg, nullptr), 0);
    EXPECT_EQ(pixel.y, 100);
}

// An exception inside the pipeline ends the call as a failed frame.
TEST_F(FrameDriver, ExceptionsNeverLeaveTheCallback) {
    reg->checkValues = nullptr;  // the decoding finds no value array
    DrawletPixelYC pixel{100, 0, 0};
    request = DrawletFrameRequest{};
    request.frame = &pixel;
    request.width = request.height = request.rowStride = 1;
    EXPECT_EQ(reg->process(reg, &request), 0);
    EXPECT_EQ(pixel.y, 100);
    reg->checkValues = checks.data();
}

}  // namespace
}  // namespace drawlet
