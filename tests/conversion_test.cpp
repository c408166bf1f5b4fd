// YC <-> BGR fixed-point conversion and the working image set.
#include <gtest/gtest.h>

#include <array>
#include <opencv2/core/utility.hpp>
#include <vector>

#include "imaging/working_images.h"
#include "imaging/yc_pixel.h"
#include "imaging/yc_rows.h"

namespace drawlet {
namespace {

std::array<int, 3> toBgr(int y, int cb, int cr) {
    std::uint8_t bgr[3];
    ycPixelToBgr(
        DrawletPixelYC{static_cast<short>(y), static_cast<short>(cb), static_cast<short>(cr)}, bgr);
    return {bgr[0], bgr[1], bgr[2]};
}

std::array<int, 3> toYc(int b, int g, int r) {
    const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                                 static_cast<std::uint8_t>(r)};
    const DrawletPixelYC p = bgrPixelToYc(bgr);
    return {p.y, p.cb, p.cr};
}

using Triple = std::array<int, 3>;

TEST(YcToBgr, GrayLevelsAndRounding) {
    EXPECT_EQ(toBgr(0, 0, 0), (Triple{0, 0, 0}));
    EXPECT_EQ(toBgr(4096, 0, 0), (Triple{255, 255, 255}));
    EXPECT_EQ(toBgr(2048, 0, 0), (Triple{128, 128, 128}));
    EXPECT_EQ(toBgr(4080, 0, 0), (Triple{254, 254, 254}));
    // The rounding offset is three quarters of a step.
    EXPECT_EQ(toBgr(4, 0, 0), (Triple{0, 0, 0}));
    EXPECT_EQ(toBgr(5, 0, 0), (Triple{1, 1, 1}));
}

TEST(YcToBgr, ClampsEachChannel) {
    EXPECT_EQ(toBgr(-100, 0, 0), (Triple{0, 0, 0}));
    EXPECT_EQ(toBgr(5000, 0, 0), (Triple{255, 255, 255}));
    EXPECT_EQ(toBgr(4096, 2048, 2048), (Triple{255, 120, 255}));
    EXPECT_EQ(toBgr(0, -2048, -2048), (Triple{0, 135, 0}));
    // Extreme 16-bit inputs stay within the 32-bit products. For the second, green is
    // (-32768*255 + 2875392 + 5966848 + 3072) >> 12 = 489472 >> 12 = 119.
    EXPECT_EQ(toBgr(32767, 32767, 32767), (Triple{255, 0, 255}));
    EXPECT_EQ(toBgr(-32768, -32768, -32768), (Triple{0, 119, 0}));
}

TEST(YcToBgr, ChromaIsFlooredToMultiplesOf1024) {
    EXPECT_EQ(toBgr(1000, 3, 0), (Triple{63, 62, 63}));
    EXPECT_EQ(toBgr(1000, -3, 0), (Triple{62, 63, 63}));
    EXPECT_EQ(toBgr(0, 37, 0), (Triple{4, 0, 0}));
    EXPECT_EQ(toBgr(0, -37, 0), (Triple{0, 1, 0}));
}

TEST(BgrToYc, PrimariesAndGrays) {
    EXPECT_EQ(toYc(0, 0, 0), (Triple{0, 0, 0}));
    EXPECT_EQ(toYc(255, 255, 255), (Triple{4096, 0, 0}));
    EXPECT_EQ(toYc(0, 0, 255), (Triple{1225, -691, 2048}));
    EXPECT_EQ(toYc(0, 255, 0), (Triple{2404, -1357, -1715}));
    EXPECT_EQ(toYc(255, 0, 0), (Triple{467, 2048, -333}));
    EXPECT_EQ(toYc(128, 128, 128), (Triple{2056, 0, 0}));
    EXPECT_EQ(toYc(254, 254, 254), (Triple{4080, -1, -1}));
    EXPECT_EQ(toYc(2, 2, 2), (Triple{32, -1, 0}));
}

// Each term is floored on its own; truncation toward zero would give other chroma values.
TEST(BgrToYc, NegativeTermsAreFloored) {
    EXPECT_EQ(toYc(0, 1, 0), (Triple{10, -5, -7}));
    EXPECT_EQ(toYc(1, 0, 0), (Triple{2, 8, -1}));
    EXPECT_EQ(toYc(0, 0, 1), (Triple{5, -3, 8}));
}

TEST(BgrToYc, EveryGrayLevelSurvivesTheRoundTrip) {
    for (int g = 0; g < 256; ++g) {
        const Triple yc = toYc(g, g, g);
        EXPECT_EQ(toBgr(yc[0], yc[1], yc[2]), (Triple{g, g, g})) << "gray " << g;
    }
}

TEST(BgrToYc, OutputStaysWithinTheNominalRange) {
    for (int b = 0; b < 256; b += 5)
        for (int g = 0; g < 256; g += 5)
            for (int r = 0; r < 256; r += 5) {
                const Triple yc = toYc(b, g, r);
                ASSERT_GE(yc[0], 0);
                ASSERT_LE(yc[0], 4096);
                ASSERT_GE(yc[1], -2048);
                ASSERT_LE(yc[1], 2048);
                ASSERT_GE(yc[2], -2048);
                ASSERT_LE(yc[2], 2048);
            }
}

// The row conversions (sixteen pixels at a time, then the per-pixel code) against the
// per-pixel conversions, with OpenCV's optimisations on (AVX2 where the processor has it)
// and off (the baseline vectors). BGR to YC over every colour; YC to BGR over every luma and
// chroma value against a spread of the others, plus random triples. Widths up to 40 put
// pixels on every path.
class RowConversion : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override { cv::setUseOptimized(GetParam()); }
    void TearDown() override { cv::setUseOptimized(true); }
};

INSTANTIATE_TEST_SUITE_P(Optimised, RowConversion, testing::Values(true, false));
std::vector<std::uint8_t> bgrOfRow(const std::vector<DrawletPixelYC>& row) {
    std::vector<std::uint8_t> out(row.size() * 3);
    ycRowToBgr(row.data(), out.data(), static_cast<int>(row.size()));
    return out;
}

void expectRowMatchesPixels(const std::vector<DrawletPixelYC>& row) {
    const std::vector<std::uint8_t> out = bgrOfRow(row);
    for (std::size_t i = 0; i < row.size(); ++i) {
        std::uint8_t expected[3];
        ycPixelToBgr(row[i], expected);
        ASSERT_EQ(out[3 * i], expected[0]) << row[i].y << " " << row[i].cb << " " << row[i].cr;
        ASSERT_EQ(out[3 * i + 1], expected[1]) << row[i].y << " " << row[i].cb << " " << row[i].cr;
        ASSERT_EQ(out[3 * i + 2], expected[2]) << row[i].y << " " << row[i].cb << " " << row[i].cr;
    }
}

TEST_P(RowConversion, YcToBgrMatchesThePixelConversion) {
    const int spread[] = {-32768, -4097, -2048, -1, 0, 1, 4, 5, 1000, 2048, 4096, 5000, 32767};
    std::vector<DrawletPixelYC> row;
    for (int a = -32768; a <= 32767; ++a)
        for (const int b : spread) {
            const short s = static_cast<short>(a), t = static_cast<short>(b);
            row.push_back({s, t, t});  // every luma
            row.push_back({t, s, t});  // every cb
            row.push_back({t, t, s});  // every cr
        }
    expectRowMatchesPixels(row);
    cv::RNG rng(20240607);
    row.clear();
    for (int i = 0; i < 1 << 20; ++i)
        row.push_back({static_cast<short>(rng.uniform(-32768, 32768)),
                       static_cast<short>(rng.uniform(-32768, 32768)),
                       static_cast<short>(rng.uniform(-32768, 32768))});
    expectRowMatchesPixels(row);
    for (int width = 1; width <= 40; ++width)
        expectRowMatchesPixels(std::vector<DrawletPixelYC>(row.begin(), row.begin() + width));
}

TEST_P(RowConversion, BgrToYcMatchesThePixelConversionForEveryColour) {
    constexpr int kRow = 4096;
    std::vector<std::uint8_t> in(kRow * 3);
    std::vector<DrawletPixelYC> out(kRow);
    for (int first = 0; first < 1 << 24; first += kRow) {
        for (int i = 0; i < kRow; ++i) {
            const int colour = first + i;
            in[3 * i] = static_cast<std::uint8_t>(colour);
            in[3 * i + 1] = static_cast<std::uint8_t>(colour >> 8);
            in[3 * i + 2] = static_cast<std::uint8_t>(colour >> 16);
        }
        const int width = first == 0 ? 37 : kRow;  // one row ends on the per-pixel path
        bgrRowToYc(in.data(), out.data(), width);
        for (int i = 0; i < width; ++i) {
            const DrawletPixelYC expected = bgrPixelToYc(&in[3 * i]);
            ASSERT_EQ(out[i].y, expected.y) << first + i;
            ASSERT_EQ(out[i].cb, expected.cb) << first + i;
            ASSERT_EQ(out[i].cr, expected.cr) << first + i;
        }
    }
}

// The AVX2 forms do whole groups of sixteen and leave the rest to the caller.
TEST(RowConversionAvx2, ConvertsWholeGroupsOfSixteen) {
    if (!cv::checkHardwareSupport(CV_CPU_AVX2)) GTEST_SKIP() << "no AVX2";
    std::vector<DrawletPixelYC> yc(40, DrawletPixelYC{2048, 100, -100});
    std::vector<std::uint8_t> bgr(40 * 3, 0);
    EXPECT_EQ(ycRowToBgrAvx2(yc.data(), bgr.data(), 40), 32);
    EXPECT_EQ(bgr[3 * 31], toBgr(2048, 100, -100)[0]);
    EXPECT_EQ(bgr[3 * 32], 0);  // left to the caller
    EXPECT_EQ(bgrRowToYcAvx2(bgr.data(), yc.data(), 15), 0);
}

class WorkingImages : public ::testing::Test {
  protected:
    void TearDown() override { releaseWorkingImages(); }
};

TEST_F(WorkingImages, CreatedAndReleasedAsASet) {
    createWorkingImages(7, 3);
    for (const cv::Mat* m : {&srcImage, &canvasImage, &scratchImages[0]}) {
        EXPECT_EQ(m->type(), CV_8UC3);
        EXPECT_EQ(m->size(), cv::Size(7, 3));
    }
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(scratchImages[i].type(), CV_8UC1);
    EXPECT_EQ(lastScratchGray.type(), CV_8UC1);
    // One byte offset addresses the same pixel in the three colour images.
    EXPECT_EQ(srcImage.step, canvasImage.step);
    EXPECT_EQ(srcImage.step, scratchImages[0].step);
    releaseWorkingImages();
    releaseWorkingImages();  // twice is harmless
    EXPECT_TRUE(srcImage.empty());
    for (const cv::Mat& m : scratchImages) EXPECT_TRUE(m.empty());
    EXPECT_TRUE(lastScratchGray.empty());
}

// A host frame whose rows are longer than the picture: only `width` pixels of each row are
// read and written, and rows are not flipped.
TEST_F(WorkingImages, HonoursTheHostRowStride) {
    const int width = 5, height = 3, stride = 9;
    const DrawletPixelYC sentinel{-7, 99, -99};
    std::vector<DrawletPixelYC> frame(stride * height, sentinel);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame[y * stride + x] = {static_cast<short>(100 * y + 10 * x), 0, 0};
    createWorkingImages(width, height);
    ycToBgr(stride, frame.data(), width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(srcImage.at<cv::Vec3b>(y, x)[0], toBgr(100 * y + 10 * x, 0, 0)[0]);

    canvasImage.setTo(cv::Scalar(255, 255, 255));
    bgrToYc(stride, frame.data(), width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < stride; ++x) {
            const DrawletPixelYC p = frame[y * stride + x];
            if (x < width) {
                EXPECT_EQ(p.y, 4096);
            } else {
                EXPECT_EQ(p.y, sentinel.y);
                EXPECT_EQ(p.cb, sentinel.cb);
                EXPECT_EQ(p.cr, sentinel.cr);
            }
        }
}

// Widths that are not multiples of 4: every pixel of every row is converted, nothing more.
TEST_F(WorkingImages, OddWidthsConvertEveryPixel) {
    for (const int width : {1, 3, 5, 13}) {
        SCOPED_TRACE(width);
        const int height = 2;
        std::vector<DrawletPixelYC> frame(width * height);
        for (int i = 0; i < width * height; ++i)
            frame[i] = {static_cast<short>(37 * i), static_cast<short>(11 * i - 60),
                        static_cast<short>(40 - 13 * i)};
        releaseWorkingImages();
        createWorkingImages(width, height);
        ycToBgr(width, frame.data(), width, height);
        for (int i = 0; i < width * height; ++i) {
            const cv::Vec3b px = srcImage.at<cv::Vec3b>(i / width, i % width);
            EXPECT_EQ((Triple{px[0], px[1], px[2]}), toBgr(frame[i].y, frame[i].cb, frame[i].cr));
        }
    }
}

TEST_F(WorkingImages, NonPositiveSizesDoNothing) {
    DrawletPixelYC pixel{123, 4, 5};
    ycToBgr(1, &pixel, 0, 1);
    bgrToYc(1, &pixel, 1, -1);
    EXPECT_EQ(pixel.y, 123);
    EXPECT_EQ(pixel.cb, 4);
}

}  // namespace
}  // namespace drawlet
