// Values a host may pass although the module never registered them: every slider at the ends
// of the 32-bit range and just outside its own range must give a defined frame (built with
// clang's float-cast-overflow check, any undefined conversion ends the test run).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <string_view>
#include <vector>

#include "hatching/hatching_tone.h"
#include "imaging/saturating_cast.h"
#include "interface/parameters.h"
#include "kit/filter_host.h"
#include "lines/lines.h"
#include "unit_support.h"

namespace drawlet {
namespace {

TEST(SaturatingTrunc, TruncatesInsideTheIntRangeAndHoldsTheEndsOutside) {
    const struct {
        double in;
        int out;
    } cases[] = {
        {0.0, 0},
        {-0.9, 0},
        {254.99, 254},
        {-7.5, -7},
        {2147483646.5, 2147483646},
        {2147483647.0, INT_MAX},
        {2147483647.9, INT_MAX},
        {-2147483648.0, INT_MIN},
        {-2147483648.9, INT_MIN},
        {5.4e9, INT_MAX},
        {-5.4e9, INT_MIN},
        {INFINITY, INT_MAX},
        {-INFINITY, INT_MIN},
        {NAN, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(saturatingTrunc(c.in), c.out) << c.in;
}

// Far below its range vFlag made the tone table's integer product overflow; beyond 10 the
// exponent is negative (pow(0, -x) is infinite).
TEST(ToneTable, EveryIntFlagGivesLevelsInRange) {
    for (int flag : {INT_MIN, INT_MIN + 1, INT_MIN + 10, -8421760, -100000, -300, -21, 10, 11, 20,
                     1000, INT_MAX}) {
        const auto table = buildToneTable(flag);
        for (int v : table) {
            ASSERT_GE(v, 0) << flag;
            ASSERT_LE(v, 255) << flag;
        }
    }
}

// Inside the registered range the table is trunc(pow(base, (10 - flag) / 10) * 255), with
// base i / 255 for flags from 0 and i (255 + flag) / 255² below; values worked by hand.
TEST(ToneTable, RegisteredFlagsKeepTheirTables) {
    struct Case {
        int flag, level, expected;
    };
    const Case cases[] = {
        {5, 64, 127},     // sqrt(64 * 255) = 127.75
        {9, 128, 238},    // (128/255)^0.1 * 255 = 238.02
        {-10, 255, 235},  // 245² / 255 = 235.39
        {-10, 100, 36},   // (100 * 245 / 255²)² * 255 = 36.20
    };
    for (const Case& c : cases)
        EXPECT_EQ(buildToneTable(c.flag)[static_cast<std::size_t>(c.level)], c.expected)
            << "flag " << c.flag << " level " << c.level;
    for (int flag = -20; flag <= 9; ++flag) {
        const auto table = buildToneTable(flag);
        EXPECT_EQ(table[0], 0) << flag;
        for (std::size_t i = 1; i < table.size(); ++i)
            ASSERT_GE(table[i], table[i - 1]) << "flag " << flag << " level " << i;
    }
}

TEST(PassLevels, IntervalsNearIntMaxGiveOnePass) {
    for (int interval : {220, 221, INT_MAX - 21, INT_MAX - 20, INT_MAX - 1, INT_MAX})
        EXPECT_EQ(passLevels(0, interval), std::vector<int>{20}) << interval;
    EXPECT_EQ(passLevels(0, 219), (std::vector<int>{20, 239}));
}

// A density limit far below 0 gives shade factors near 2^24: the values saturate.
TEST(Shade, HugeShadeFactorsSaturate) {
    const double limit = INT_MIN / 100.0;
    EXPECT_EQ(shadeFor(0, 255, 255, limit, 1).value, INT_MAX);
    EXPECT_EQ(shadeFor(2, 0, 255, limit, 1).value, INT_MAX);
    EXPECT_EQ(shadeFor(3, 0, 0, limit, 1).value, INT_MAX);
    EXPECT_EQ(shadeFor(4, 0, 100, limit, 1).value, 255);
    EXPECT_EQ(maskValueFor(1, 1 - limit), INT_MAX);
    EXPECT_EQ(maskValueFor(3, 1 - limit), 255 - INT_MAX);
}

// The whole frame through the processing callback. Only pattern set 0 exists, so every other
// pattern number is refused; everything else renders. Rows are padded, and the padding must
// come out as it went in. The patterns are 256 pixels wide, as the shipped ones are: a
// shrinking scale far below its range multiplies that width.
class ExtremeValues : public test::FilterFixture {
  protected:
    void SetUp() override {
        FilterFixture::SetUp();
        test::writePatternSet(dir.path() / "Drawlet" / "img", 256, test::stripedPattern);
    }

    static constexpr int kWidth = 9;
    static constexpr int kHeight = 7;
    static constexpr int kStride = 12;
    static constexpr DrawletPixelYC kPadding = {0x5A5A, -0x2A2A, 0x1234};

    kit::YcFrame paddedFrame() {
        cv::Mat bgr(kHeight, kWidth, CV_8UC3);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                bgr.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(28 * x),
                                                    static_cast<uchar>(36 * y), x > 4 ? 220 : 30);
        kit::YcFrame frame = kit::toYcFrame(bgr, kStride);
        for (int y = 0; y < kHeight; ++y)
            for (int x = kWidth; x < kStride; ++x) frame.row(y)[x] = kPadding;
        return frame;
    }

    int process(kit::YcFrame& frame) {
        request = DrawletFrameRequest{};
        request.frame = frame.pixels.data();
        request.width = frame.width;
        request.height = frame.height;
        request.rowStride = frame.rowStride;
        request.frameNumber = 3;
        return reg->process(reg, &request);
    }
};

bool samePixel(const DrawletPixelYC& a, const DrawletPixelYC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

TEST_F(ExtremeValues, EverySliderAtTheEndsOfIntAndOfItsRange) {
    const kit::YcFrame original = paddedFrame();
    for (std::size_t t = 0; t < TrackTable.size(); ++t) {
        const TrackSpec& track = TrackTable[t];
        const int values[] = {INT_MIN,       INT_MIN + 1,   track.minimum - 1,
                              track.minimum, track.maximum, track.maximum + 1,
                              INT_MAX};
        for (int value : values)
            for (int mode = 1; mode <= 5; ++mode)
                for (int checkState : {0, 1, 2}) {
                    SCOPED_TRACE(testing::Message() << "slider " << t << " = " << value << ", mode "
                                                    << mode << ", check boxes " << checkState);
                    for (std::size_t i = 0; i < TrackTable.size(); ++i)
                        sliders[i] = TrackTable[i].defaultValue;
                    checks.fill(checkState);
                    setSlider(track::kMode, mode);
                    sliders[t] = value;
                    kit::YcFrame frame = original;
                    const bool loadable =
                        std::string_view(track.name) != track::kPatternNo || value == 0;
                    ASSERT_EQ(process(frame), loadable ? 1 : 0);
                    for (int y = 0; y < kHeight; ++y)
                        for (int x = loadable ? kWidth : 0; x < kStride; ++x)
                            ASSERT_TRUE(samePixel(frame.row(y)[x], original.row(y)[x]))
                                << "pixel " << x << ", " << y;
                }
    }
}

}  // namespace
}  // namespace drawlet
