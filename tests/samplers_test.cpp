// Wrapped pattern sampling: nearest, bilinear and bicubic.
#include "hatching/samplers.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

namespace drawlet {
namespace {

// A 4 x 1 pattern 0, 0, 255, 255: a step edge in the middle.
cv::Mat stepPattern() { return (cv::Mat_<uchar>(1, 4) << 0, 0, 255, 255); }

cv::Mat rampPattern(int w, int h) {
    cv::Mat p(h, w, CV_8UC1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.at<uchar>(y, x) = static_cast<uchar>(10 * x + 50 * y + 3);
    return p;
}

TEST(Wrap, IndexAndSplit) {
    EXPECT_EQ(wrapIndex(-1, 5), 4);
    EXPECT_EQ(wrapIndex(5, 5), 0);
    EXPECT_EQ(wrapIndex(-5, 5), 0);
    EXPECT_EQ(wrapIndex(-6, 5), 4);
    EXPECT_EQ(wrapIndex(7, 1), 0);
    const IntFraction a = splitReal(-0.25);
    EXPECT_EQ(a.i, -1);
    EXPECT_EQ(a.d, 0.75);
    const IntFraction b = splitReal(2.5);
    EXPECT_EQ(b.i, 2);
    EXPECT_EQ(b.d, 0.5);
    const IntFraction c = splitReal(-3.0);
    EXPECT_EQ(c.i, -3);
    EXPECT_EQ(c.d, 0.0);
}

TEST(Samplers, IntegerPositionsReturnThePixel) {
    const cv::Mat m = rampPattern(5, 3);
    const PatternView p = PatternView::of(m);
    for (int y = -3; y < 6; ++y)
        for (int x = -5; x < 10; ++x) {
            const double expected = m.at<uchar>(wrapIndex(y, 3), wrapIndex(x, 5));
            EXPECT_EQ(sampleNearestWrapped(p, x, y), expected);
            EXPECT_EQ(sampleBilinearWrapped(p, x, y), expected);
            EXPECT_EQ(sampleBicubicWrapped(p, x, y), expected);
        }
}

TEST(Samplers, PositionsWrapBothWays) {
    const cv::Mat m = rampPattern(5, 3);
    const PatternView p = PatternView::of(m);
    EXPECT_EQ(sampleNearestWrapped(p, 5, 0), m.at<uchar>(0, 0));   // X = W
    EXPECT_EQ(sampleNearestWrapped(p, -1, 0), m.at<uchar>(0, 4));  // X = -1
    EXPECT_EQ(sampleNearestWrapped(p, -5, 0), m.at<uchar>(0, 0));  // X = -W
    EXPECT_EQ(sampleNearestWrapped(p, 0, 3), m.at<uchar>(0, 0));   // Y = H
    EXPECT_EQ(sampleNearestWrapped(p, 0, -1), m.at<uchar>(2, 0));  // Y = -1
    EXPECT_EQ(sampleNearestWrapped(p, 1000003, -999999), m.at<uchar>(0, 3));
}

TEST(Samplers, NearestRoundsHalvesAwayFromZero) {
    const cv::Mat m = rampPattern(5, 3);
    const PatternView p = PatternView::of(m);
    EXPECT_EQ(sampleNearestWrapped(p, -0.5, 0), m.at<uchar>(0, 4));
    EXPECT_EQ(sampleNearestWrapped(p, -0.4, 0), m.at<uchar>(0, 0));
    EXPECT_EQ(sampleNearestWrapped(p, 0.49, 0), m.at<uchar>(0, 0));
    EXPECT_EQ(sampleNearestWrapped(p, 0.5, 0), m.at<uchar>(0, 1));
    EXPECT_EQ(sampleNearestWrapped(p, -1.5, 0), m.at<uchar>(0, 3));  // -2
    EXPECT_EQ(sampleNearestWrapped(p, 0, -0.5), m.at<uchar>(2, 0));
}

TEST(Samplers, BilinearMixesAcrossTheWrap) {
    const cv::Mat m = stepPattern();
    const PatternView p = PatternView::of(m);
    EXPECT_EQ(sampleBilinearWrapped(p, 3.5, 0), 127.5);
    EXPECT_EQ(sampleBilinearWrapped(p, -0.5, 0), 127.5);
    EXPECT_EQ(sampleBilinearWrapped(p, 1.5, 0), 127.5);
    EXPECT_EQ(sampleBilinearWrapped(p, 1.25, 0), 63.75);
}

TEST(Samplers, BicubicOvershootsAtTheStep) {
    const cv::Mat m = stepPattern();
    const PatternView p = PatternView::of(m);
    EXPECT_EQ(sampleBicubicWrapped(p, 1.5, 0), 127.5);
    EXPECT_EQ(sampleBicubicWrapped(p, 0.5, 0), -63.75);
    EXPECT_EQ(sampleBicubicWrapped(p, 2.5, 0), 318.75);
}

TEST(Samplers, BicubicKernelWeights) {
    EXPECT_EQ(cubicOuter(1.0), 0.0);
    EXPECT_EQ(cubicInner(0.0), 1.0);
    EXPECT_EQ(cubicInner(1.0), 0.0);
    EXPECT_EQ(cubicOuter(2.0), 0.0);
    EXPECT_EQ(cubicOuter(1.5), -0.125);
    EXPECT_EQ(cubicInner(0.5), 0.625);
    for (double f = 0; f < 1; f += 0.0625)
        EXPECT_DOUBLE_EQ(cubicOuter(1 + f) + cubicInner(f) + cubicInner(1 - f) + cubicOuter(2 - f),
                         1.0);
}

// A uniform pattern reads as its value everywhere, whatever the kind and position.
TEST(Samplers, UniformPatternIsConstant) {
    cv::Mat m(3, 4, CV_8UC1, cv::Scalar(77));
    const PatternView p = PatternView::of(m);
    for (double x = -7.3; x < 9; x += 0.37) {
        EXPECT_EQ(sampleNearestWrapped(p, x, -x), 77.0);
        EXPECT_NEAR(sampleBilinearWrapped(p, x, 2 * x), 77.0, 1e-12);
        EXPECT_NEAR(sampleBicubicWrapped(p, x, x / 3), 77.0, 1e-12);
    }
}

TEST(Samplers, OnePixelPattern) {
    cv::Mat m(1, 1, CV_8UC1, cv::Scalar(9));
    const PatternView p = PatternView::of(m);
    EXPECT_EQ(sampleNearestWrapped(p, -123.7, 55.5), 9.0);
    EXPECT_EQ(sampleBilinearWrapped(p, 0.3, -0.6), 9.0);
}

// Rows are found through the row step, not the width.
TEST(Samplers, HonourTheRowStep) {
    cv::Mat big(4, 8, CV_8UC1, cv::Scalar(200));
    cv::Mat roi = big(cv::Rect(1, 1, 3, 2));
    roi.setTo(0);
    roi.at<uchar>(1, 2) = 50;
    const PatternView p = PatternView::of(roi);
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(sampleNearestWrapped(p, 2, 1), 50.0);
    EXPECT_EQ(sampleNearestWrapped(p, 3, 0), 0.0);  // wraps within the view, not into the image
}

// Positions beyond the int range (slider values far outside their ranges) must not overflow.
TEST(Samplers, HugePositionsStayInsideThePattern) {
    const cv::Mat m = rampPattern(5, 3);
    const PatternView p = PatternView::of(m);
    EXPECT_EQ(sampleNearestWrapped(p, 1e300, -1e300), m.at<uchar>(0, 0));
    EXPECT_EQ(sampleNearestWrapped(p, 3e9, 0), m.at<uchar>(0, 0));  // beyond int: column 0
}

}  // namespace
}  // namespace drawlet
