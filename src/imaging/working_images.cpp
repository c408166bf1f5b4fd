#include "imaging/working_images.h"

#include <cstddef>

#include "imaging/row_bands.h"
#include "imaging/yc_rows.h"

namespace drawlet {

cv::Mat srcImage;
cv::Mat canvasImage;
cv::Mat scratchImages[6];
cv::Mat lastScratchGray;

void createWorkingImages(int width, int height) {
    // The three colour images share one size and type, hence one row step: the hatching
    // renderer addresses the same pixel of all three with one byte offset.
    srcImage.create(height, width, CV_8UC3);
    canvasImage.create(height, width, CV_8UC3);
    scratchImages[0].create(height, width, CV_8UC3);
    for (int i = 1; i <= 5; ++i) scratchImages[i].create(height, width, CV_8UC1);
    lastScratchGray.create(height, width, CV_8UC1);
}

void releaseWorkingImages() {
    srcImage.release();
    canvasImage.release();
    for (cv::Mat& image : scratchImages) image.release();
    lastScratchGray.release();
}

void ycToBgr(int rowStride, const DrawletPixelYC* frame, int width, int height) {
    if (width <= 0 || height <= 0) return;
    forEachRowBand(height, [&](int firstRow, int endRow) {
        for (int i = firstRow; i < endRow; ++i)
            ycRowToBgr(frame + static_cast<std::ptrdiff_t>(i) * rowStride,
                       srcImage.ptr<std::uint8_t>(i), width);
    });
}

void bgrToYc(int rowStride, DrawletPixelYC* frame, int width, int height) {
    if (width <= 0 || height <= 0) return;
    forEachRowBand(height, [&](int firstRow, int endRow) {
        for (int i = firstRow; i < endRow; ++i)
            bgrRowToYc(canvasImage.ptr<std::uint8_t>(i),
                       frame + static_cast<std::ptrdiff_t>(i) * rowStride, width);
    });
}

}  // namespace drawlet
