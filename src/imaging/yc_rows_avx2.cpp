// The row conversions for processors with AVX2: the integer arithmetic of yc_rows.cpp on
// sixteen pixels per register, eight in each 128-bit lane. Only these functions are compiled
// for AVX2 (a function attribute, not a file-wide flag), so nothing shared with the baseline
// code is ever compiled for it.
#include "imaging/yc_rows.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <immintrin.h>

#define DRAWLET_AVX2 __attribute__((target("avx2")))

namespace drawlet {
namespace {

constexpr char kZero = -128;  // a shuffle index that writes a zero byte

// Two 16-byte loads, one into each lane.
DRAWLET_AVX2 inline __m256i loadLanes(const void* low, const void* high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(low))),
        _mm_loadu_si128(static_cast<const __m128i*>(high)), 1);
}

// The same 16-byte shuffle in both lanes.
DRAWLET_AVX2 inline __m256i laneMask(char a0, char a1, char a2, char a3, char a4, char a5, char a6,
                                     char a7, char a8, char a9, char a10, char a11, char a12,
                                     char a13, char a14, char a15) {
    return _mm256_setr_epi8(a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15,
                            a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15);
}

// (255 y + 1024 h + 3072) >> 12 as shorts, in the lanes' pixel order.
DRAWLET_AVX2 inline __m256i ycChannel(__m256i y, __m256i h) {
    const __m256i weights = _mm256_set1_epi32((1024 << 16) | 255);
    const __m256i rounding = _mm256_set1_epi32(3072);
    const __m256i low = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(y, h), weights), rounding), 12);
    const __m256i high = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(y, h), weights), rounding), 12);
    return _mm256_packs_epi32(low, high);
}

// (v * k + c) >> 10 from (v, 1) pairs and the (k, c) pair.
DRAWLET_AVX2 inline __m256i ycTerm(__m256i valueAndOne, short weight, short constant) {
    const __m256i pair = _mm256_set1_epi32(
        static_cast<int>((static_cast<unsigned>(static_cast<unsigned short>(constant)) << 16) |
                         static_cast<unsigned short>(weight)));
    return _mm256_srai_epi32(_mm256_madd_epi16(valueAndOne, pair), 10);
}

// Bytes of eight pixels in each lane, from the loads at +0 and +8 bytes, widened to shorts.
DRAWLET_AVX2 inline __m256i plane(__m256i front, __m256i back, __m256i fromFront,
                                  __m256i fromBack) {
    return _mm256_or_si256(_mm256_shuffle_epi8(front, fromFront),
                           _mm256_shuffle_epi8(back, fromBack));
}

// (v, 1) pairs of pixels 0..3 (half 0) or 4..7 (half 1) of each lane.
DRAWLET_AVX2 inline __m256i pairsWithOne(__m256i v, int half) {
    const __m256i one = _mm256_set1_epi16(1);
    return half == 0 ? _mm256_unpacklo_epi16(v, one) : _mm256_unpackhi_epi16(v, one);
}

}  // namespace

DRAWLET_AVX2 int ycRowToBgrAvx2(const DrawletPixelYC* in, std::uint8_t* out, int width) {
    const __m256i takeY = laneMask(0, 1, 6, 7, 12, 13, 2, 3, 8, 9, 14, 15, 4, 5, 10, 11);
    const __m256i takeCb = laneMask(2, 3, 8, 9, 14, 15, 4, 5, 10, 11, 0, 1, 6, 7, 12, 13);
    const __m256i takeCr = laneMask(4, 5, 10, 11, 0, 1, 6, 7, 12, 13, 2, 3, 8, 9, 14, 15);
    // Bytes B0..B7 and R0..R7 of `br`, G0..G7 of `gg`, into B G R order: 16 bytes, then 8.
    const char z = kZero;
    const __m256i firstFromBr = laneMask(0, z, 8, 1, z, 9, 2, z, 10, 3, z, 11, 4, z, 12, 5);
    const __m256i firstFromGg = laneMask(z, 0, z, z, 1, z, z, 2, z, z, 3, z, z, 4, z, z);
    const __m256i restFromBr = laneMask(z, 13, 6, z, 14, 7, z, 15, z, z, z, z, z, z, z, z);
    const __m256i restFromGg = laneMask(5, z, z, 6, z, z, 7, z, z, z, z, z, z, z, z, z);
    int j = 0;
    for (; j + 16 <= width; j += 16) {
        const short* p = reinterpret_cast<const short*>(in + j);
        const __m256i v0 = loadLanes(p, p + 24);
        const __m256i v1 = loadLanes(p + 8, p + 32);
        const __m256i v2 = loadLanes(p + 16, p + 40);
        const __m256i y = _mm256_shuffle_epi8(
            _mm256_blend_epi16(_mm256_blend_epi16(v0, v1, 0x92), v2, 0x24), takeY);
        const __m256i cb = _mm256_shuffle_epi8(
            _mm256_blend_epi16(_mm256_blend_epi16(v2, v0, 0x92), v1, 0x24), takeCb);
        const __m256i cr = _mm256_shuffle_epi8(
            _mm256_blend_epi16(_mm256_blend_epi16(v1, v2, 0x92), v0, 0x24), takeCr);
        const __m256i b = ycChannel(y, _mm256_mulhi_epi16(cb, _mm256_set1_epi16(28919)));
        const __m256i g =
            ycChannel(y, _mm256_add_epi16(_mm256_mulhi_epi16(cb, _mm256_set1_epi16(-5616)),
                                          _mm256_mulhi_epi16(cr, _mm256_set1_epi16(-11655))));
        const __m256i r = ycChannel(y, _mm256_mulhi_epi16(cr, _mm256_set1_epi16(22881)));
        // Packing to bytes saturates: the clamp to 0..255.
        const __m256i br = _mm256_packus_epi16(b, r);
        const __m256i gg = _mm256_packus_epi16(g, g);
        const __m256i first = _mm256_or_si256(_mm256_shuffle_epi8(br, firstFromBr),
                                              _mm256_shuffle_epi8(gg, firstFromGg));
        const __m256i rest = _mm256_or_si256(_mm256_shuffle_epi8(br, restFromBr),
                                             _mm256_shuffle_epi8(gg, restFromGg));
        std::uint8_t* o = out + 3 * j;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(first));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm256_castsi256_si128(rest));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 24), _mm256_extracti128_si256(first, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 40), _mm256_extracti128_si256(rest, 1));
    }
    return j;
}

DRAWLET_AVX2 int bgrRowToYcAvx2(const std::uint8_t* in, DrawletPixelYC* out, int width) {
    const char z = kZero;
    const __m256i b0 = laneMask(0, z, 3, z, 6, z, 9, z, 12, z, 15, z, z, z, z, z);
    const __m256i b1 = laneMask(z, z, z, z, z, z, z, z, z, z, z, z, 10, z, 13, z);
    const __m256i g0 = laneMask(1, z, 4, z, 7, z, 10, z, 13, z, z, z, z, z, z, z);
    const __m256i g1 = laneMask(z, z, z, z, z, z, z, z, z, z, 8, z, 11, z, 14, z);
    const __m256i r0 = laneMask(2, z, 5, z, 8, z, 11, z, 14, z, z, z, z, z, z, z);
    const __m256i r1 = laneMask(z, z, z, z, z, z, z, z, z, z, 9, z, 12, z, 15, z);
    const __m256i putY = laneMask(0, 1, 6, 7, 12, 13, 2, 3, 8, 9, 14, 15, 4, 5, 10, 11);
    const __m256i putCb = laneMask(10, 11, 0, 1, 6, 7, 12, 13, 2, 3, 8, 9, 14, 15, 4, 5);
    const __m256i putCr = laneMask(4, 5, 10, 11, 0, 1, 6, 7, 12, 13, 2, 3, 8, 9, 14, 15);
    int j = 0;
    for (; j + 16 <= width; j += 16) {
        const std::uint8_t* p = in + 3 * j;
        const __m256i front = loadLanes(p, p + 24);
        const __m256i back = loadLanes(p + 8, p + 32);
        const __m256i b = plane(front, back, b0, b1);
        const __m256i g = plane(front, back, g0, g1);
        const __m256i r = plane(front, back, r0, r1);
        __m256i yc[3];
        for (int half = 0; half < 2; ++half) {
            const __m256i bp = pairsWithOne(b, half);
            const __m256i gp = pairsWithOne(g, half);
            const __m256i rp = pairsWithOne(r, half);
            const __m256i y =
                _mm256_add_epi32(_mm256_add_epi32(ycTerm(gp, 9655, 585), ycTerm(rp, 4918, 354)),
                                 ycTerm(bp, 1875, 523));
            const __m256i cb =
                _mm256_add_epi32(_mm256_add_epi32(ycTerm(gp, -5449, 515), ycTerm(rp, -2775, 240)),
                                 ycTerm(bp, 8224, 256));
            const __m256i cr =
                _mm256_add_epi32(_mm256_add_epi32(ycTerm(gp, -6887, 110), ycTerm(bp, -1337, 646)),
                                 ycTerm(rp, 8224, 256));
            if (half == 0) {
                yc[0] = y;
                yc[1] = cb;
                yc[2] = cr;
            } else {
                yc[0] = _mm256_packs_epi32(yc[0], y);
                yc[1] = _mm256_packs_epi32(yc[1], cb);
                yc[2] = _mm256_packs_epi32(yc[2], cr);
            }
        }
        const __m256i a = _mm256_shuffle_epi8(yc[0], putY);
        const __m256i c = _mm256_shuffle_epi8(yc[1], putCb);
        const __m256i e = _mm256_shuffle_epi8(yc[2], putCr);
        const __m256i v0 = _mm256_blend_epi16(_mm256_blend_epi16(a, c, 0x92), e, 0x24);
        const __m256i v1 = _mm256_blend_epi16(_mm256_blend_epi16(e, a, 0x92), c, 0x24);
        const __m256i v2 = _mm256_blend_epi16(_mm256_blend_epi16(c, e, 0x92), a, 0x24);
        __m128i* o = reinterpret_cast<__m128i*>(out + j);
        _mm_storeu_si128(o, _mm256_castsi256_si128(v0));
        _mm_storeu_si128(o + 1, _mm256_castsi256_si128(v1));
        _mm_storeu_si128(o + 2, _mm256_castsi256_si128(v2));
        _mm_storeu_si128(o + 3, _mm256_extracti128_si256(v0, 1));
        _mm_storeu_si128(o + 4, _mm256_extracti128_si256(v1, 1));
        _mm_storeu_si128(o + 5, _mm256_extracti128_si256(v2, 1));
    }
    return j;
}

}  // namespace drawlet

#else

namespace drawlet {

int ycRowToBgrAvx2(const DrawletPixelYC*, std::uint8_t*, int) { return 0; }
int bgrRowToYcAvx2(const std::uint8_t*, DrawletPixelYC*, int) { return 0; }

}  // namespace drawlet

#endif
