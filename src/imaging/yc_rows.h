// One row of the host frame to BGR bytes and back, sixteen pixels at a time with the same
// integer arithmetic as the per-pixel conversions of yc_pixel.h, which do the remainder.
#pragma once

#include <cstdint>

#include "host/drawlet_filter.h"

namespace drawlet {

void ycRowToBgr(const DrawletPixelYC* in, std::uint8_t* out, int width);
void bgrRowToYc(const std::uint8_t* in, DrawletPixelYC* out, int width);

}  // namespace drawlet
