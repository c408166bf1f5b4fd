// Our pattern sets: gray levels in order, white paper, anti-aliased ink, tileable,
// deterministic.
#include "hatch_sets.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace drawlet::patterns {
namespace {

class PatternSets : public ::testing::TestWithParam<int> {};

TEST_P(PatternSets, SevenGrayTilesDarkeningStrictly) {
    const std::vector<cv::Mat> levels = makePatternSet(GetParam());
    ASSERT_EQ(levels.size(), 7u);
    double previous = 256;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(levels[i].type(), CV_8UC1);
        EXPECT_EQ(levels[i].size(), cv::Size(kPatternSize, kPatternSize));
        const double mean = cv::mean(levels[i])[0];
        EXPECT_LT(mean, previous);
        previous = mean;
        double lo = 0, hi = 0;
        cv::minMaxLoc(levels[i], &lo, &hi);
        EXPECT_EQ(hi, 255);  // white paper shows everywhere
    }
    EXPECT_GT(cv::mean(levels[0])[0], 240);  // nearly blank paper
    EXPECT_LT(cv::mean(levels[6])[0], 180);  // mostly ink
}

// Anti-aliased: edges are ramps, so intermediate grays make up a real share of the pixels.
TEST_P(PatternSets, InkEdgesAreAntiAliased) {
    for (const cv::Mat& level : makePatternSet(GetParam())) {
        const int mid = cv::countNonZero((level > 40) & (level < 215));
        EXPECT_GT(mid, level.total() / 200);
    }
}

TEST_P(PatternSets, TileWithoutASeam) {
    for (const cv::Mat& level : makePatternSet(GetParam())) EXPECT_LE(seamRatio(level), 1.1);
}

TEST_P(PatternSets, SameBytesEveryTime) {
    const std::vector<cv::Mat> a = makePatternSet(GetParam());
    const std::vector<cv::Mat> b = makePatternSet(GetParam());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(cv::norm(a[i], b[i], cv::NORM_INF), 0);
}

INSTANTIATE_TEST_SUITE_P(AllSets, PatternSets, ::testing::Range(0, kSetCount));

TEST(PatternSets, SetsDiffer) {
    const cv::Mat pen = makePatternSet(0)[3], pencil = makePatternSet(1)[3],
                  dots = makePatternSet(2)[3];
    EXPECT_GT(cv::norm(pen, pencil, cv::NORM_L1), 0);
    EXPECT_GT(cv::norm(pencil, dots, cv::NORM_L1), 0);
}

// The seam measure itself: a periodic image passes, the same image cut off-period fails.
TEST(SeamRatio, TellsTileableFromSeamed) {
    cv::Mat wave(64, 64, CV_8UC1);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            wave.at<uchar>(y, x) = cv::saturate_cast<uchar>(
                128 + 100 * std::sin(2 * CV_PI * x / 16) * std::cos(2 * CV_PI * y / 32));
    EXPECT_LE(seamRatio(wave), 1.0);
    cv::Mat ramp(64, 64, CV_8UC1);
    for (int x = 0; x < 64; ++x) ramp.col(x).setTo(4 * x);  // jumps from 252 back to 0
    EXPECT_GT(seamRatio(ramp), 10.0);
    cv::Mat halves;
    cv::hconcat(wave(cv::Rect(0, 0, 40, 64)), wave(cv::Rect(0, 0, 27, 64)), halves);
    EXPECT_GT(seamRatio(halves), 1.0);
    EXPECT_EQ(seamRatio(cv::Mat(8, 8, CV_8UC1, cv::Scalar(200))), 0.0);
}

}  // namespace
}  // namespace drawlet::patterns
