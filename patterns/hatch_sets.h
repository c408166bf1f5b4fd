// Our hatching pattern sets: seven tileable 8-bit gray images per set, dark ink on white
// paper, h0 the lightest to h6 the densest. Drawn from a fixed seed: the same bytes on every
// build.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

namespace drawlet::patterns {

inline constexpr int kPatternSize = 256;
inline constexpr int kLevels = 7;

enum class SetStyle { PenCrossHatching = 0, SoftPencil = 1, Stippling = 2 };
inline constexpr int kSetCount = 3;

// The seven patterns of set `set` (0 pen cross-hatching, 1 soft pencil, 2 stippling).
std::vector<cv::Mat> makePatternSet(int set);

// How visible the wrap-around seam is: the mean absolute difference across the wrap edge
// (last column to first, last row to first) divided by the largest such difference between
// neighbouring interior columns or rows. A tileable image gives at most about 1.
double seamRatio(const cv::Mat& gray);

}  // namespace drawlet::patterns
