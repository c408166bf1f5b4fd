#include "cli/contact_sheet.h"

#include <opencv2/imgproc.hpp>

namespace drawlet::cli {

cv::Mat labelledTile(const cv::Mat& image, const std::string& label) {
    cv::Mat tile;
    cv::copyMakeBorder(image, tile, 0, 28, 0, 0, cv::BORDER_CONSTANT, cv::Scalar::all(255));
    cv::putText(tile, label, {8, image.rows + 20}, cv::FONT_HERSHEY_SIMPLEX, 0.55,
                cv::Scalar::all(30), 1, cv::LINE_AA);
    return tile;
}

cv::Rect busiestWindow(const cv::Mat& bgr, cv::Size size) {
    size.width = std::min(size.width, bgr.cols);
    size.height = std::min(size.height, bgr.rows);
    cv::Mat gray, detail, sums;
    cv::cvtColor(bgr, gray, cv::COLOR_BGR2GRAY);
    cv::Laplacian(gray, detail, CV_32F);
    detail = cv::abs(detail);
    cv::integral(detail, sums, CV_64F);
    cv::Rect best(0, 0, size.width, size.height);
    double most = -1;
    for (int y = 0; y + size.height <= bgr.rows; ++y) {
        const double* top = sums.ptr<double>(y);
        const double* bottom = sums.ptr<double>(y + size.height);
        for (int x = 0; x + size.width <= bgr.cols; ++x) {
            const double sum = bottom[x + size.width] - bottom[x] - top[x + size.width] + top[x];
            if (sum > most) {
                most = sum;
                best.x = x;
                best.y = y;
            }
        }
    }
    return best;
}

cv::Mat tileGrid(const std::vector<cv::Mat>& tiles, int columns) {
    std::vector<cv::Mat> rows;
    for (std::size_t first = 0; first < tiles.size(); first += columns) {
        std::vector<cv::Mat> row;
        for (std::size_t i = first; i < first + columns; ++i)
            row.push_back(i < tiles.size()
                              ? tiles[i]
                              : cv::Mat(tiles[0].size(), tiles[0].type(), cv::Scalar::all(255)));
        cv::Mat joined;
        cv::hconcat(row, joined);
        rows.push_back(joined);
    }
    cv::Mat sheet;
    cv::vconcat(rows, sheet);
    return sheet;
}

}  // namespace drawlet::cli
