// Our pattern sets: gray levels in order, white paper, anti-aliased ink, tileable,
// deterministic.
#include "hatch_sets.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace drawlet::patterns {
namespace {

// A set takes most of a second to draw (several under the sanitizers), so each case draws its
// set once and checks every property on it; a second drawing to compare with is the one the
// build made in another process for the module, Drawlet/img*/h*.bmp.
std::vector<cv::Mat> builtSet(int set) {
    const std::string folder = set == 0 ? "img" : "img" + std::to_string(set);
    std::vector<cv::Mat> levels;
    for (int i = 0; i < kLevels; ++i)
        levels.push_back(cv::imread(
            std::string(DRAWLET_PATTERN_DIR) + "/" + folder + "/h" + std::to_string(i) + ".bmp",
            cv::IMREAD_UNCHANGED));
    return levels;
}

class PatternSets : public ::testing::TestWithParam<int> {};

// Seven gray tiles darkening strictly on white paper, with anti-aliased ink edges (ramps, so
// intermediate grays make up a real share of the pixels) and no seam where they wrap.
TEST_P(PatternSets, GrayLevelsInkEdgesAndSeams) {
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
        const int mid = cv::countNonZero((levels[i] > 40) & (levels[i] < 215));
        EXPECT_GT(mid, levels[i].total() / 200);
        EXPECT_LE(seamRatio(levels[i]), 1.1);
    }
    EXPECT_GT(cv::mean(levels[0])[0], 240);  // nearly blank paper
    EXPECT_LT(cv::mean(levels[6])[0], 180);  // mostly ink
}

// The same bytes every time: the build's files, drawn by another process, are this drawing;
// and the set differs from the next one.
TEST_P(PatternSets, SameBytesEveryTimeAndUnlikeTheNextSet) {
    const int set = GetParam();
    const std::vector<cv::Mat> drawn = makePatternSet(set), built = builtSet(set);
    for (int i = 0; i < kLevels; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(built[i].size(), drawn[i].size());
        ASSERT_EQ(built[i].type(), CV_8UC1);
        EXPECT_EQ(cv::norm(drawn[i], built[i], cv::NORM_INF), 0);
    }
    EXPECT_GT(cv::norm(drawn[3], builtSet((set + 1) % kSetCount)[3], cv::NORM_L1), 0);
}

INSTANTIATE_TEST_SUITE_P(AllSets, PatternSets, ::testing::Range(0, kSetCount));

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
