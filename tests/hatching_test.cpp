// The hatching renderer and its pure pieces: tone curve, levels, shading, random draws.
#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgproc.hpp>

#include "hatching/hatching_frame.h"
#include "hatching/hatching_renderer.h"
#include "hatching/hatching_rows.h"
#include "hatching/hatching_tone.h"
#include "hatching/pattern_bank.h"
#include "hatching/samplers.h"
#include "host/frame_driver.h"
#include "imaging/mwc_random.h"
#include "imaging/working_images.h"
#include "interface/parameters.h"
#include "reference_frame.h"
#include "unit_support.h"

namespace drawlet {
namespace {

TEST(ToneTable, IdentityAtZero) {
    const auto table = buildToneTable(0);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(table[i], i);
}

TEST(ToneTable, BrightensAndDarkens) {
    const auto bright = buildToneTable(9);  // exponent 0.1
    EXPECT_EQ(bright[0], 0);
    EXPECT_EQ(bright[1], 146);
    EXPECT_EQ(bright[255], 255);
    const auto dark = buildToneTable(-20);  // range scaled to 235/255, exponent 3
    EXPECT_EQ(dark[128], 25);
    EXPECT_EQ(dark[255], 199);
    for (int i = 1; i < 256; ++i) {
        EXPECT_GE(bright[i], bright[i - 1]);
        EXPECT_GE(dark[i], dark[i - 1]);
    }
}

TEST(Levels, TableOfBothShifts) {
    struct Band {
        int from, to, shift0, shift1;
    };
    const Band bands[] = {{0, 3, 0, 1},     {4, 39, 1, 2},    {40, 45, 1, 3},   {46, 75, 2, 3},
                          {76, 87, 2, 4},   {88, 111, 3, 4},  {112, 129, 3, 5}, {130, 147, 4, 5},
                          {148, 171, 4, 6}, {172, 213, 5, 6}, {214, 255, 6, 6}};
    for (const Band& band : bands)
        for (int t = band.from; t <= band.to; ++t) {
            EXPECT_EQ(hatchLevel(t, 0), band.shift0) << t;
            EXPECT_EQ(hatchLevel(t, 1), band.shift1) << t;
        }
}

TEST(Levels, InvertReversesThePatternOrder) {
    EXPECT_EQ(patternIndexFor(3, 0, false), 0);
    EXPECT_EQ(patternIndexFor(214, 0, false), 6);
    EXPECT_EQ(patternIndexFor(214, 0, true), 0);
    for (int t = 0; t < 256; ++t) {
        EXPECT_NE(patternIndexFor(t, 1, false), 0);
        EXPECT_NE(patternIndexFor(t, 1, true), 6);
    }
}

TEST(Shade, ToneModesZeroAndOneDarkenByThePattern) {
    // Pattern 255 is s = 1: clamped to the density limit.
    Shade s = shadeFor(0, 255, 200, 0.6, 1.5);
    EXPECT_DOUBLE_EQ(s.f, 0.4);
    EXPECT_EQ(s.value, 80);
    EXPECT_EQ(s.g, 1.5);
    s = shadeFor(1, 0, 200, 0.6, 1.5);  // pattern 0: no darkening
    EXPECT_EQ(s.f, 1.0);
    EXPECT_EQ(s.value, 200);
}

TEST(Shade, ToneModeTwoCompressesThePattern) {
    const Shade white = shadeFor(2, 255, 100, 1.0, 1.0);
    EXPECT_EQ(white.f, 1.0);
    const Shade dark = shadeFor(2, 0, 100, 1.0, 1.0);
    EXPECT_DOUBLE_EQ(dark.f, 76.5 / 255);
    EXPECT_EQ(dark.value, 30);  // 100 * 76.5 / 255
    const Shade limited = shadeFor(2, 0, 100, 0.2, 1.0);
    EXPECT_DOUBLE_EQ(limited.f, 0.8);
}

// s is a product with the reciprocal constant, and truncation can land one lower.
TEST(Shade, ToneModeThreeIsThePatternAsGray) {
    EXPECT_EQ(shadeFor(3, 33, 0, 1.0, 3.0).value, 32);
    EXPECT_EQ(shadeFor(3, 255, 0, 1.0, 3.0).value, 255);
    EXPECT_EQ(shadeFor(3, 33, 0, 1.0, 3.0).g, 0.0);
    EXPECT_EQ(shadeFor(3, 0, 0, 0.25, 1.0).value, 191);  // 255 * 0.75
}

TEST(Shade, ToneModeFourBlendsTowardWhite) {
    const Shade s = shadeFor(4, 255, 100, 1.0, 2.0);
    EXPECT_EQ(s.value, 255);
    EXPECT_EQ(s.g, 0.0);
    const Shade none = shadeFor(4, 0, 100, 1.0, 2.0);
    EXPECT_EQ(none.value, 100);
    EXPECT_EQ(none.g, 2.0);
}

TEST(Shade, DensityLimitZeroHasNoEffect) {
    for (double p : {0.0, 17.0, 128.0, 255.0}) {
        EXPECT_EQ(shadeFor(0, p, 173, 0.0, 1).value, 173);
        EXPECT_EQ(shadeFor(1, p, 173, 0.0, 1).value, 173);
        EXPECT_EQ(shadeFor(2, p, 173, 0.0, 1).value, 173);
        EXPECT_EQ(shadeFor(3, p, 173, 0.0, 1).value, 255);
        EXPECT_EQ(shadeFor(4, p, 173, 0.0, 1).value, 255);
        EXPECT_EQ(shadeFor(4, p, 173, 0.0, 1).g, 0.0);
    }
}

TEST(Shade, MaskValue) {
    EXPECT_EQ(maskValueFor(0, 0.5), 127);
    EXPECT_EQ(maskValueFor(1, 1.0), 255);
    EXPECT_EQ(maskValueFor(2, 1.0), 0);
    EXPECT_EQ(maskValueFor(4, 0.5), 128);
}

// The per-frame state set up directly: a random HSV picture, seven random patterns of the
// given sides and a rotated, scaled matrix.
class HatchingRowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        releaseWorkingImages();
        createWorkingImages(45, 37);
        cv::RNG rng(77);
        rng.fill(scratchImages[0], cv::RNG::UNIFORM, cv::Scalar(0, 0, 0),
                 cv::Scalar(180, 256, 256));
        const double angle = 0.43, scale = 1.7;
        const double a[6] = {std::cos(angle) / scale,  std::sin(angle) / scale, 3.25,
                             -std::sin(angle) / scale, std::cos(angle) / scale, -11.5};
        std::copy(a, a + 6, patternInverseAffine);
        EffectParams = EffectParameters{};
        EffectParams.vFlag = 3;
        EffectParams.tilt = -1.3;
        EffectParams.tiltJitter = 0.7;
        EffectParams.xJitter = 300;
        EffectParams.yJitter = 50;
        EffectParams.brightnessGain = 1.7;
        EffectParams.saturationGain = 1.4;
        EffectParams.densityLimit = 0.8;
    }
    void TearDown() override {
        releaseWorkingImages();
        releasePatterns();
    }
    void patterns(int width, int height, int oddOne = -1) {
        cv::RNG rng(5);
        for (int i = 0; i < kPatternCount; ++i) {
            patternScaled[i].create(i == oddOne ? height / 2 : height, width, CV_8UC1);
            rng.fill(patternScaled[i], cv::RNG::UNIFORM, 0, 256);
        }
    }
    cv::Mat paint(const HatchingFrame& f, bool plain, std::initializer_list<int> cuts) {
        cv::Mat out(f.height, f.width, CV_8UC3, cv::Scalar::all(7));
        int first = 0;
        for (const int end : cuts) {
            if (plain)
                hatchRowsPlain(f, first, end, out.ptr<std::uint8_t>(first), out.step[0]);
            else
                hatchRows(f, first, end, out.ptr<std::uint8_t>(first), out.step[0]);
            first = end;
        }
        return out;
    }
};

// Every tone mode, sampler, mask and diffusion: the fast rows give the plain rows' bytes,
// also painted in pieces that do not start on a band (the diffusion draws skipped to them).
// One frame serves all settings, as in a video: its tables must follow every change.
TEST_F(HatchingRowsTest, FastPathMatchesThePlainPath) {
    patterns(16, 32);
    HatchingFrame f;
    for (const double brightnessGain : {1.7, 0.6})
        for (int toneMode = 0; toneMode <= 4; ++toneMode)
            for (int interpolation = 0; interpolation <= 2; ++interpolation)
                for (const bool mask : {false, true})
                    for (const bool diffusion : {false, true}) {
                        SCOPED_TRACE(testing::Message()
                                     << "tone mode " << toneMode << " sampler " << interpolation
                                     << " mask " << mask << " diffusion " << diffusion
                                     << " brightness gain " << brightnessGain);
                        EffectParams.hatchToneMode = toneMode;
                        EffectParams.hatchShift = toneMode == 2 || toneMode == 3;
                        EffectParams.hatchInvert = toneMode % 2 == 1;
                        EffectParams.interpolation = interpolation;
                        EffectParams.maskMode = mask;
                        EffectParams.diffusion = diffusion;
                        EffectParams.brightnessGain = brightnessGain;
                        MwcRandom rng{1234, 99};
                        prepareHatchingFrame(f, rng);
                        ASSERT_TRUE(f.fast);
                        const cv::Mat plain = paint(f, true, {37});
                        EXPECT_EQ(cv::norm(paint(f, false, {37}), plain, cv::NORM_INF), 0);
                        EXPECT_EQ(cv::norm(paint(f, false, {5, 23, 36, 37}), plain, cv::NORM_INF),
                                  0);
                        EXPECT_EQ(cv::norm(paint(f, true, {17, 37}), plain, cv::NORM_INF), 0);
                    }
}

// Carried positions go through the same loops as the pixels' own: over random sizes, odd
// widths and 1 x 1, with positions anywhere in [0, width] x [0, height] (its corners too)
// and a stride past the width, the fast rows give the plain rows' bytes; positions equal to
// the pixels' own give the bytes of a frame without any.
TEST_F(HatchingRowsTest, CarriedPositionsFastMatchesPlain) {
    patterns(16, 32);
    cv::RNG rng(2024);
    std::vector<cv::Size> sizes = {{1, 1}, {3, 2}, {5, 19}};
    for (int i = 0; i < 4; ++i) sizes.emplace_back(rng.uniform(1, 70), rng.uniform(1, 40));
    HatchingFrame f;
    for (const cv::Size size : sizes) {
        releaseWorkingImages();
        createWorkingImages(size.width, size.height);
        rng.fill(scratchImages[0], cv::RNG::UNIFORM, cv::Scalar(0, 0, 0),
                 cv::Scalar(180, 256, 256));
        cv::Mat wide(size.height * 2, size.width + 3, CV_32F);
        cv::Mat xs = wide.rowRange(0, size.height).colRange(0, size.width);
        cv::Mat ys = wide.rowRange(size.height, 2 * size.height).colRange(0, size.width);
        rng.fill(xs, cv::RNG::UNIFORM, 0.0, size.width);
        rng.fill(ys, cv::RNG::UNIFORM, 0.0, size.height);
        xs.at<float>(0, 0) = static_cast<float>(size.width);
        ys.at<float>(0, 0) = static_cast<float>(size.height);
        xs.at<float>(size.height - 1, size.width - 1) = 0;
        ys.at<float>(size.height - 1, size.width - 1) = 0;
        const auto [ownX, ownY] = test::ownPositions(size);
        const CarriedPositions carried{xs.ptr<float>(), ys.ptr<float>(), xs.step1()};
        const CarriedPositions own{ownX.ptr<float>(), ownY.ptr<float>(), ownX.step1()};
        const int h = size.height;
        for (int interpolation = 0; interpolation <= 2; ++interpolation)
            for (const bool mask : {false, true})
                for (const bool diffusion : {false, true}) {
                    SCOPED_TRACE(testing::Message()
                                 << size << " sampler " << interpolation << " mask " << mask
                                 << " diffusion " << diffusion);
                    EffectParams.hatchToneMode = (interpolation + 2 * diffusion) % 5;
                    EffectParams.interpolation = interpolation;
                    EffectParams.maskMode = mask;
                    EffectParams.diffusion = diffusion;
                    const auto render = [&](const CarriedPositions& at, bool plain) {
                        MwcRandom draws{1234, 99};
                        prepareHatchingFrame(f, draws, at);
                        EXPECT_TRUE(f.fast);
                        return paint(f, plain, {(h + 1) / 2, h});
                    };
                    const cv::Mat plain = render(carried, true);
                    EXPECT_EQ(cv::norm(render(carried, false), plain, cv::NORM_INF), 0);
                    const cv::Mat atPixels = render({}, true);
                    EXPECT_EQ(cv::norm(render(own, true), atPixels, cv::NORM_INF), 0);
                    EXPECT_EQ(cv::norm(render(own, false), atPixels, cv::NORM_INF), 0);
                    if (size.area() > 100) {  // the positions do reach the sampling
                        EXPECT_GT(cv::norm(plain, atPixels, cv::NORM_INF), 0);
                    }
                }
    }
}

// The fast path needs seven patterns of one power-of-two shape; others take the plain path.
TEST_F(HatchingRowsTest, FastPathOnlyForEqualPowerOfTwoPatterns) {
    struct Shape {
        int width, height, oddOne;
        bool fast;
    };
    const Shape shapes[] = {{16, 16, -1, true},  {256, 8, -1, true},  {1, 1, -1, true},
                            {12, 16, -1, false}, {16, 24, -1, false}, {16, 16, 3, false}};
    for (const Shape& shape : shapes) {
        patterns(shape.width, shape.height, shape.oddOne);
        MwcRandom rng{1, 2};
        HatchingFrame f;
        prepareHatchingFrame(f, rng);
        EXPECT_EQ(f.fast, shape.fast) << shape.width << " x " << shape.height;
        EXPECT_EQ(cv::norm(paint(f, false, {37}), paint(f, true, {37}), cv::NORM_INF), 0);
    }
}

TEST(PatternPositions, BoundedWellInsideTheIntRange) {
    const double identity[6] = {1, 0, 0, 0, 1, 0};
    const double shrinking[6] = {0.1, 0, 0, 0, 0.1, 0};
    const double shifted[6] = {1, 0, 1.5e9, 0, 1, 0};
    const double nan = std::nan("");
    EXPECT_TRUE(patternPositionsBounded(identity, 1000, 1000, -7, 3840, 2160));
    EXPECT_TRUE(patternPositionsBounded(shrinking, 5e9, 0, 0, 1920, 1080));
    EXPECT_FALSE(patternPositionsBounded(identity, 2e9, 0, 0, 1920, 1080));
    EXPECT_FALSE(patternPositionsBounded(identity, 0, 0, 1e6, 1920, 1080));
    EXPECT_FALSE(patternPositionsBounded(shifted, 0, 0, 0, 16, 16));
    EXPECT_FALSE(patternPositionsBounded(identity, nan, 0, 0, 16, 16));
    EXPECT_FALSE(patternPositionsBounded(identity, 0, 0, INFINITY, 16, 16));
}

// The renderer through the module's state, with patterns written to a temp folder.
class Renderer : public test::FilterFixture {
  protected:
    void SetUp() override {
        FilterFixture::SetUp();
        checks[0] = 0;  // lines off: only the hatching is looked at
    }
    cv::Mat scene(int w, int h) {
        cv::Mat m(h, w, CV_8UC3);
        cv::randu(m, 0, 256);
        cv::GaussianBlur(m, m, cv::Size(5, 5), 0);
        return m;
    }
};

TEST_F(Renderer, DrawsThreeTimesWithoutDiffusion) {
    cv::Mat out;
    ASSERT_EQ(processBgr(scene(5, 4), out, 7), 1);
    MwcRandom expected{7, 0};  // frame 7 at interval 1 and seed 0
    for (int i = 0; i < 3; ++i) expected.next();
    EXPECT_EQ(mwcRandom.rngX, expected.rngX);
    EXPECT_EQ(mwcRandom.rngCarry, expected.rngCarry);
}

TEST_F(Renderer, DiffusionDrawsTwicePerPixel) {
    setCheck(check::kDiffusion, 1);
    cv::Mat out;
    ASSERT_EQ(processBgr(scene(2, 2), out, 0), 1);
    MwcRandom expected{0xFFFFFFFFu, 0xFFFFFFFFu};
    for (int i = 0; i < 11; ++i) expected.next();
    EXPECT_EQ(mwcRandom.rngX, expected.rngX);
    ASSERT_EQ(processBgr(scene(7, 3), out, 0), 1);
    expected = MwcRandom{0xFFFFFFFFu, 0xFFFFFFFFu};
    for (int i = 0; i < 3 + 2 * 7 * 3; ++i) expected.next();
    EXPECT_EQ(mwcRandom.rngX, expected.rngX);
    EXPECT_EQ(mwcRandom.rngCarry, expected.rngCarry);
}

TEST_F(Renderer, SameFrameAndSeedGiveTheSameBytes) {
    const cv::Mat in = scene(33, 17);
    cv::Mat a, b, c;
    setCheck(check::kDiffusion, 1);
    ASSERT_EQ(processBgr(in, a, 12), 1);
    ASSERT_EQ(processBgr(in, b, 12), 1);
    EXPECT_EQ(cv::norm(a, b, cv::NORM_INF), 0);
    ASSERT_EQ(processBgr(in, c, 13), 1);
    EXPECT_GT(cv::norm(a, c, cv::NORM_INF), 0);  // another frame, another jitter
}

TEST_F(Renderer, MaskModeIsGray) {
    setCheck(check::kMask, 1);
    const cv::Mat in = scene(21, 9);
    for (int mode = 1; mode <= 5; ++mode) {
        setSlider(track::kMode, mode);
        cv::Mat out;
        ASSERT_EQ(processBgr(in, out), 1);
        std::vector<cv::Mat> planes;
        cv::split(out, planes);
        EXPECT_EQ(cv::norm(planes[0], planes[1], cv::NORM_INF), 0) << mode;
        EXPECT_EQ(cv::norm(planes[0], planes[2], cv::NORM_INF), 0) << mode;
    }
}

// With no density limit the patterns vanish: the source brightness (times the gain) or white.
TEST_F(Renderer, DensityLimitZeroReproducesTheBrightnessOrWhite) {
    setSlider(track::kDensityLimit, 0);
    setSlider(track::kBrightnessGain, 100);
    setSlider(track::kSaturationGain, 100);
    const cv::Mat in = scene(16, 8);
    for (int mode : {1, 2, 3}) {
        setSlider(track::kMode, mode);
        cv::Mat out;
        ASSERT_EQ(processBgr(in, out), 1);
        // The canvas held the source's H, S and V unchanged before going back to BGR.
        cv::Mat hsvCanvasSource;
        cv::cvtColor(srcImage, hsvCanvasSource, cv::COLOR_BGR2HSV);
        cv::Mat canvasExpected;
        cv::cvtColor(hsvCanvasSource, canvasExpected, cv::COLOR_HSV2BGR);
        EXPECT_EQ(cv::norm(canvasImage, canvasExpected, cv::NORM_INF), 0) << mode;
    }
    for (int mode : {4, 5}) {
        setSlider(track::kMode, mode);
        cv::Mat out;
        ASSERT_EQ(processBgr(in, out), 1);
        EXPECT_EQ(cv::countNonZero(canvasImage.reshape(1) != 255), 0) << mode;
    }
}

// Tone mode 3 writes saturation 0: the canvas is gray whatever the saturation gain.
TEST_F(Renderer, ModeFourIsGray) {
    setSlider(track::kMode, 4);
    setSlider(track::kSaturationGain, 5000);
    cv::Mat out;
    ASSERT_EQ(processBgr(scene(12, 12), out), 1);
    std::vector<cv::Mat> planes;
    cv::split(canvasImage, planes);
    EXPECT_EQ(cv::norm(planes[0], planes[1], cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(planes[1], planes[2], cv::NORM_INF), 0);
}

// A pixel-by-pixel model of the renderer built from the pure pieces, compared byte for byte
// with the renderer over odd sizes, every sampling kind, with and without diffusion.
TEST_F(Renderer, MatchesAPixelModel) {
    for (int interpolation = 0; interpolation < 3; ++interpolation)
        for (int diffusion = 0; diffusion < 2; ++diffusion) {
            SCOPED_TRACE(testing::Message()
                         << "interpolation " << interpolation << " diffusion " << diffusion);
            setCheck(check::kBilinear, interpolation == 1);
            setCheck(check::kBicubic, interpolation == 2);
            setCheck(check::kDiffusion, diffusion);
            setSlider(track::kMode, 2 + interpolation);
            setSlider(track::kPatternAngle, 30 * interpolation + 5);
            setSlider(track::kPatternScale, interpolation == 1 ? 50 : 230);
            cv::Mat out;
            const cv::Mat in = scene(13, 7);
            ASSERT_EQ(processBgr(in, out, 5), 1);

            const cv::Mat rendered = canvasImage.clone();
            canvasImage.setTo(cv::Scalar::all(0));  // the model must draw every pixel again
            const EffectParameters& p = EffectParams;
            const SeedWords seed = seedWordsFor(5, p.updateInterval, p.randomSeed);
            test::hatchPlainly({seed.rngX, seed.rngCarry});
            EXPECT_EQ(cv::norm(canvasImage, rendered, cv::NORM_INF), 0);
        }
}

}  // namespace
}  // namespace drawlet
