// One row of the host frame to BGR bytes and back, sixteen pixels at a time with the same
// integer arithmetic as the per-pixel conversions of yc_pixel.h, which do the remainder.
#pragma once

#include <cstdint>

#include "interface/drawlet_filter.h"

namespace drawlet {

// On processors with AVX2 the groups of sixteen use the AVX2 forms below, where OpenCV's own
// dispatch would use AVX2: OPENCV_CPU_DISABLE and cv::setUseOptimized(false) turn them off.
void ycRowToBgr(const DrawletPixelYC* in, std::uint8_t* out, int width);
void bgrRowToYc(const std::uint8_t* in, DrawletPixelYC* out, int width);

// The AVX2 forms: each converts the longest run of whole groups of sixteen pixels from the
// start of the row and returns its length. Only for processors with AVX2.
int ycRowToBgrAvx2(const DrawletPixelYC* in, std::uint8_t* out, int width);
int bgrRowToYcAvx2(const std::uint8_t* in, DrawletPixelYC* out, int width);

}  // namespace drawlet
