// Labelled tiles laid out in a grid: the demo's sheet and drawlet compare.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace drawlet::cli {

// The picture with a white band below it holding `label`.
cv::Mat labelledTile(const cv::Mat& image, const std::string& label);

// The window of `size` (within the picture) holding the most detail: the largest sum of the
// absolute Laplacian of its gray values; the first such window from the top left on a tie.
cv::Rect busiestWindow(const cv::Mat& bgr, cv::Size size);

// Tiles of one size, `columns` to a row, the last row filled up with white.
cv::Mat tileGrid(const std::vector<cv::Mat>& tiles, int columns);

}  // namespace drawlet::cli
