// Fixed-point conversion of one pixel between the host's YC form and 8-bit BGR.
// Shared by the module and by the hosts, so that both sides round exactly alike.
//
// Ranges: y 0..4096 and cb, cr -2048..2048 nominally; any int16 input is safe: the largest
// product, 32768 * 28919, stays below 2^31. Shifts of negative values are arithmetic (floor),
// and "& ~1023" rounds down to a multiple of 1024.
#pragma once

#include <cstdint>

#include "interface/drawlet_filter.h"

namespace drawlet {

inline std::uint8_t clampToByte(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// YC to B, G, R. The multipliers are BT.601 full-range inverse coefficients times 64 * 255;
// the rounding offset 3072 is three quarters of one output step of 4096.
inline void ycPixelToBgr(const DrawletPixelYC& p, std::uint8_t* bgr) {
    const int y = p.y, cb = p.cb, cr = p.cr;
    const int base = y * 255;
    const int bChroma = ((cb * 28919) >> 6) & ~1023;
    const int gChromaB = ((cb * -5616) >> 6) & ~1023;
    const int gChromaR = ((cr * -11655) >> 6) & ~1023;
    const int rChroma = ((cr * 22881) >> 6) & ~1023;
    bgr[0] = clampToByte((base + bChroma + 3072) >> 12);
    bgr[1] = clampToByte((base + gChromaB + gChromaR + 3072) >> 12);
    bgr[2] = clampToByte((base + rChroma + 3072) >> 12);
}

// B, G, R to YC. Each of the nine terms is shifted on its own before the sum; the results
// always lie in y 0..4096 and cb, cr -2048..2048.
inline DrawletPixelYC bgrPixelToYc(const std::uint8_t* bgr) {
    const int b = bgr[0], g = bgr[1], r = bgr[2];
    const int y = ((g * 9655 + 585) >> 10) + ((r * 4918 + 354) >> 10) + ((b * 1875 + 523) >> 10);
    const int cb = ((515 - g * 5449) >> 10) + ((240 - r * 2775) >> 10) + ((b * 8224 + 256) >> 10);
    const int cr = ((110 - g * 6887) >> 10) + ((646 - b * 1337) >> 10) + ((r * 8224 + 256) >> 10);
    return DrawletPixelYC{static_cast<short>(y), static_cast<short>(cb), static_cast<short>(cr)};
}

}  // namespace drawlet
