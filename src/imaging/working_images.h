// The nine images that live from frame to frame, of the frame's size, 8-bit. An empty Mat
// stands for an image that is absent. They are created and released only as a set.
#pragma once

#include <opencv2/core.hpp>

#include "interface/drawlet_filter.h"

namespace drawlet {

extern cv::Mat srcImage;          // 3 channels, B G R: the frame
extern cv::Mat canvasImage;       // 3 channels, B G R: the picture being painted
extern cv::Mat scratchImages[6];  // [0] 3 channels (HSV), [1]..[5] 1 channel
extern cv::Mat lastScratchGray;   // 1 channel

void createWorkingImages(int width, int height);
void releaseWorkingImages();

// Host frame (row stride in pixels) to srcImage, and canvasImage back into the host frame.
// Only the first `width` pixels of each row are touched.
void ycToBgr(int rowStride, const DrawletPixelYC* frame, int width, int height);
void bgrToYc(int rowStride, DrawletPixelYC* frame, int width, int height);

}  // namespace drawlet
