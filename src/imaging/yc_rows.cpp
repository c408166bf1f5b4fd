#include "imaging/yc_rows.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/core/utility.hpp>

#include "imaging/yc_pixel.h"

namespace drawlet {

static_assert(sizeof(DrawletPixelYC) == 3 * sizeof(short), "host pixels are three packed shorts");

namespace {

bool useAvx2() { return cv::useOptimized() && cv::checkHardwareSupport(CV_CPU_AVX2); }

}  // namespace

#if CV_SIMD128
namespace {

using namespace cv;

// Lane pairs (a, b) repeated, for the multiply-adds below: pair (v, w) of the other operand
// gives v * a + w * b exactly in 32 bits.
v_int16x8 pairOf(short a, short b) { return v_int16x8(a, b, a, b, a, b, a, b); }

// (255 y + 1024 h + 3072) >> 12 for eight pixels, as shorts. The chroma term of a channel,
// ((c * k) >> 6) & ~1023, is 1024 times the high half of the 16-bit product c * k.
struct YcWeights {
    v_int16x8 lumaAndChroma = pairOf(255, 1024);
    v_int32x4 rounding = v_setall_s32(3072);
};

v_int16x8 ycChannel(const v_int16x8& y, const v_int16x8& h, const YcWeights& k) {
    v_int16x8 low, high;
    v_zip(y, h, low, high);
    return v_pack(v_dotprod(low, k.lumaAndChroma, k.rounding) >> 12,
                  v_dotprod(high, k.lumaAndChroma, k.rounding) >> 12);
}

// (v * k + c) >> 10 for four pixels, from (v, 1) pairs and the (k, c) pair.
v_int32x4 ycTerm(const v_int16x8& valueAndOne, const v_int16x8& weightAndConstant) {
    return v_dotprod(valueAndOne, weightAndConstant) >> 10;
}

}  // namespace
#endif

void ycRowToBgr(const DrawletPixelYC* in, std::uint8_t* out, int width) {
    int j = useAvx2() ? ycRowToBgrAvx2(in, out, width) : 0;
#if CV_SIMD128
    const v_int16x8 kB = v_setall_s16(28919), kGb = v_setall_s16(-5616);
    const v_int16x8 kGr = v_setall_s16(-11655), kR = v_setall_s16(22881);
    const YcWeights weights;
    for (; j + 16 <= width; j += 16) {
        v_int16x8 b[2], g[2], r[2];
        for (int half = 0; half < 2; ++half) {
            v_int16x8 y, cb, cr;
            v_load_deinterleave(reinterpret_cast<const short*>(in + j + 8 * half), y, cb, cr);
            b[half] = ycChannel(y, v_mul_hi(cb, kB), weights);
            // At most 2808 + 5828 in size: the 16-bit sum cannot wrap.
            g[half] = ycChannel(y, v_add_wrap(v_mul_hi(cb, kGb), v_mul_hi(cr, kGr)), weights);
            r[half] = ycChannel(y, v_mul_hi(cr, kR), weights);
        }
        // Packing to bytes saturates: the clamp to 0..255.
        v_store_interleave(out + 3 * j, v_pack_u(b[0], b[1]), v_pack_u(g[0], g[1]),
                           v_pack_u(r[0], r[1]));
    }
#endif
    for (; j < width; ++j) ycPixelToBgr(in[j], out + 3 * j);
}

void bgrRowToYc(const std::uint8_t* in, DrawletPixelYC* out, int width) {
    int j = useAvx2() ? bgrRowToYcAvx2(in, out, width) : 0;
#if CV_SIMD128
    const v_int16x8 one = v_setall_s16(1);
    const v_int16x8 yG = pairOf(9655, 585), yR = pairOf(4918, 354), yB = pairOf(1875, 523);
    const v_int16x8 cbG = pairOf(-5449, 515), cbR = pairOf(-2775, 240), cbB = pairOf(8224, 256);
    const v_int16x8 crG = pairOf(-6887, 110), crB = pairOf(-1337, 646), crR = pairOf(8224, 256);
    for (; j + 16 <= width; j += 16) {
        v_uint8x16 b8, g8, r8;
        v_load_deinterleave(in + 3 * j, b8, g8, r8);
        v_uint16x8 b16[2], g16[2], r16[2];
        v_expand(b8, b16[0], b16[1]);
        v_expand(g8, g16[0], g16[1]);
        v_expand(r8, r16[0], r16[1]);
        for (int half = 0; half < 2; ++half) {
            v_int16x8 b[2], g[2], r[2];  // (value, 1) pairs of pixels 0..3 and 4..7
            v_zip(v_reinterpret_as_s16(b16[half]), one, b[0], b[1]);
            v_zip(v_reinterpret_as_s16(g16[half]), one, g[0], g[1]);
            v_zip(v_reinterpret_as_s16(r16[half]), one, r[0], r[1]);
            v_int32x4 y[2], cb[2], cr[2];
            for (int q = 0; q < 2; ++q) {
                y[q] = ycTerm(g[q], yG) + ycTerm(r[q], yR) + ycTerm(b[q], yB);
                cb[q] = ycTerm(g[q], cbG) + ycTerm(r[q], cbR) + ycTerm(b[q], cbB);
                cr[q] = ycTerm(g[q], crG) + ycTerm(b[q], crB) + ycTerm(r[q], crR);
            }
            v_store_interleave(reinterpret_cast<short*>(out + j + 8 * half), v_pack(y[0], y[1]),
                               v_pack(cb[0], cb[1]), v_pack(cr[0], cr[1]));
        }
    }
#endif
    for (; j < width; ++j) out[j] = bgrPixelToYc(in + 3 * j);
}

}  // namespace drawlet
