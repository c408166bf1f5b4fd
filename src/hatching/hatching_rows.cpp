#include "hatching/hatching_rows.h"

#include <algorithm>
#include <cstdint>
#include <opencv2/core/hal/intrin.hpp>

#include "hatching/hatching_tone.h"
#include "imaging/mwc_jump.h"
#include "imaging/row_bands.h"
#include "imaging/working_images.h"

namespace drawlet {
namespace {

// The generator at the first draw of `row`: rows in order, two draws per pixel.
MwcRandom generatorAtRow(const HatchingFrame& f, int row) {
    const std::size_t band = static_cast<std::size_t>(row / kBandRows);
    const int rowsIntoBand = row - static_cast<int>(band) * kBandRows;
    return mwcSkip(f.bandStarts[band], 2 * static_cast<std::uint64_t>(f.width) * rowsIntoBand);
}

// One canvas pixel from its sample P.
inline void writePixel(const HatchingFrame& f, const std::uint8_t* in, std::uint8_t* out,
                       double sampled) {
    const double vb = f.brightnessOfValue[in[2]];
    const Shade shade = shadeFor(f.toneMode, sampled, vb, f.densityLimit, f.saturationGain);
    if (!f.mask) {
        out[0] = in[0];
        out[1] = static_cast<std::uint8_t>(static_cast<int>(clampReal(shade.g * in[1], 0, 255)));
        out[2] = static_cast<std::uint8_t>(shade.value);
    } else {
        out[0] = 0;
        out[1] = 0;
        out[2] = static_cast<std::uint8_t>(maskValueFor(f.toneMode, shade.f));
    }
}

// The same for the fast path, where the saturation byte comes from the table when the
// saturation factor is the same for every sample (every tone mode but 4).
template <bool kMask>
[[gnu::always_inline]] inline void writeFastPixel(const HatchingFrame& f, const std::uint8_t* in,
                                                  std::uint8_t* out, double sampled) {
    const double vb = f.brightnessOfValue[in[2]];
    const Shade shade = shadeFor(f.toneMode, sampled, vb, f.densityLimit, f.saturationGain);
    if constexpr (!kMask) {
        out[0] = in[0];
        out[1] =
            f.toneMode != 4
                ? f.saturationOf[0][in[1]]
                : static_cast<std::uint8_t>(static_cast<int>(clampReal(shade.g * in[1], 0, 255)));
        out[2] = static_cast<std::uint8_t>(shade.value);
    } else {
        out[0] = 0;
        out[1] = 0;
        out[2] = static_cast<std::uint8_t>(maskValueFor(f.toneMode, shade.f));
    }
}

// Where the pixels of a row sample the hatching: the canvas position (cx, cy) of pixel x,
// from which px = cx + x offset and py = cx x slope + (cy + y offset). Integer positions
// convert to the same doubles the plain formula gets from x and y.
struct CanvasPositions {
    struct Row {
        double cy;
        double x(int column) const { return column; }
        double y(int) const { return cy; }
    };
    static Row row(const HatchingFrame&, int y) { return {static_cast<double>(y)}; }
};

// Positions carried along the picture's motion, floats widened to double.
struct CarriedRowPositions {
    struct Row {
        const float* xs;
        const float* ys;
        double x(int column) const { return xs[column]; }
        double y(int column) const { return ys[column]; }
    };
    static Row row(const HatchingFrame& f, int y) {
        const std::size_t start = static_cast<std::size_t>(y) * f.carried.stride;
        return {f.carried.x + start, f.carried.y + start};
    }
};

using Sampler = double (*)(const PatternView&, double, double);

double sampleBicubicClamped(const PatternView& p, double x, double y) {
    return clampReal(sampleBicubicWrapped(p, x, y), 0, 255);
}

// Rows outer, columns inner: with diffusion the per-pixel draws consume the random sequence
// in exactly this order.
template <Sampler sample, class Positions>
void plainRows(const HatchingFrame& f, int firstRow, int endRow, std::uint8_t* canvas,
               std::size_t canvasStep) {
    const double* a = f.affine;
    MwcRandom rng = f.diffusion ? generatorAtRow(f, firstRow) : MwcRandom{0, 0};
    for (int y = firstRow; y < endRow; ++y) {
        const std::uint8_t* hsv = scratchImages[0].ptr<std::uint8_t>(y);
        std::uint8_t* out = canvas + static_cast<std::size_t>(y - firstRow) * canvasStep;
        const typename Positions::Row positions = Positions::row(f, y);
        for (int x = 0; x < f.width; ++x, hsv += 3, out += 3) {
            const double cx = positions.x(x);
            double px = cx + f.xOffset;
            double py = cx * f.slope + (positions.y(x) + f.yOffset);
            if (f.diffusion) {
                px = px + (2 * rng.next() - 1);
                py = py + (2 * rng.next() - 1);
            }
            const PatternView& pattern = f.patterns[f.patternOfValue[hsv[2]]];
            const double patX = a[0] * px + a[1] * py + a[2];
            const double patY = a[3] * px + a[4] * py + a[5];
            writePixel(f, hsv, out, sample(pattern, patX, patY));
        }
    }
}

#if CV_SIMD128_64F
using namespace cv;

// The pattern positions of four consecutive pixels, two lanes of doubles each: the same
// operations in the same order as the plain path.
struct FourPositions {
    v_float64x2 u[2];
    v_float64x2 v[2];
};

// Round halves away from zero as the nearest sampler does: x - 1 below 0, then + 0.5,
// truncated. The positions are bounded, so the conversion needs no range test.
inline v_int32x4 nearestIndex(const v_float64x2& c0, const v_float64x2& c1) {
    const v_float64x2 zero = v_setzero_f64(), one = v_setall_f64(1.0), half = v_setall_f64(0.5);
    return v_combine_low(v_trunc(v_select(c0 < zero, c0 - one, c0) + half),
                         v_trunc(v_select(c1 < zero, c1 - one, c1) + half));
}

// floor(c) and c - floor(c) as the plain split computes them: truncate, and step down one
// when the remainder is negative.
inline v_int32x4 splitIndex(const v_float64x2& c0, const v_float64x2& c1, double* fraction) {
    const v_float64x2 zero = v_setzero_f64(), one = v_setall_f64(1.0);
    v_int32x4 whole[2];
    const v_float64x2* c[2] = {&c0, &c1};
    for (int h = 0; h < 2; ++h) {
        const v_float64x2 truncated = v_cvt_f64(v_trunc(*c[h]));
        const v_float64x2 d = *c[h] - truncated;
        const v_float64x2 negative = d < zero;
        v_store(fraction + 2 * h, v_select(negative, d + one, d));
        whole[h] = v_trunc(v_select(negative, truncated - one, truncated));
    }
    return v_combine_low(whole[0], whole[1]);
}

// The canvas positions of four consecutive pixels, x and y, two lanes each; lanes past the
// width hold positions inside the frame, so that they stay bounded too.
struct FourCanvasPositions {
    v_float64x2 x[2];
    v_float64x2 y[2];
};

template <class Positions>
struct FastPositions;

template <>
struct FastPositions<CanvasPositions> {
    struct Row {
        v_float64x2 cy;
        FourCanvasPositions four(int x, int) const {
            const v_int32x4 columns = v_setall_s32(x) + v_int32x4(0, 1, 2, 3);
            return {{v_cvt_f64(columns), v_cvt_f64_high(columns)}, {cy, cy}};
        }
    };
    static Row row(const HatchingFrame&, int y) { return {v_setall_f64(y)}; }
};

template <>
struct FastPositions<CarriedRowPositions> {
    struct Row {
        const float* xs;
        const float* ys;
        FourCanvasPositions four(int x, int count) const {
            v_float32x4 fx, fy;
            if (count == 4) {
                fx = v_load(xs + x);
                fy = v_load(ys + x);
            } else {
                float bx[4] = {}, by[4] = {};
                std::copy(xs + x, xs + x + count, bx);
                std::copy(ys + x, ys + x + count, by);
                fx = v_load(bx);
                fy = v_load(by);
            }
            return {{v_cvt_f64(fx), v_cvt_f64_high(fx)}, {v_cvt_f64(fy), v_cvt_f64_high(fy)}};
        }
    };
    static Row row(const HatchingFrame& f, int y) {
        const CarriedRowPositions::Row r = CarriedRowPositions::row(f, y);
        return {r.xs, r.ys};
    }
};

template <class Positions, int kInterpolation, bool kDiffusion, bool kMask>
void fastRows(const HatchingFrame& f, int firstRow, int endRow, std::uint8_t* canvas,
              std::size_t canvasStep) {
    const v_float64x2 a0 = v_setall_f64(f.affine[0]), a1 = v_setall_f64(f.affine[1]);
    const v_float64x2 a2 = v_setall_f64(f.affine[2]), a3 = v_setall_f64(f.affine[3]);
    const v_float64x2 a4 = v_setall_f64(f.affine[4]), a5 = v_setall_f64(f.affine[5]);
    const v_float64x2 xOffset = v_setall_f64(f.xOffset), yOffset = v_setall_f64(f.yOffset);
    const v_float64x2 slope = v_setall_f64(f.slope);
    const v_float64x2 one = v_setall_f64(1.0), two = v_setall_f64(2.0);
    const v_int32x4 columnMask = v_setall_s32(f.columnMask), rowMask = v_setall_s32(f.rowMask);
    const int rowShift = f.rowShift;
    MwcRandom rng = kDiffusion ? generatorAtRow(f, firstRow) : MwcRandom{0, 0};

    for (int y = firstRow; y < endRow; ++y) {
        const std::uint8_t* hsv = scratchImages[0].ptr<std::uint8_t>(y);
        std::uint8_t* out = canvas + static_cast<std::size_t>(y - firstRow) * canvasStep;
        const typename FastPositions<Positions>::Row positions =
            FastPositions<Positions>::row(f, y);
        for (int x = 0; x < f.width; x += 4) {
            const int count = std::min(4, f.width - x);
            const FourCanvasPositions c = positions.four(x, count);
            v_float64x2 px[2] = {c.x[0] + xOffset, c.x[1] + xOffset};
            v_float64x2 py[2] = {c.x[0] * slope + (c.y[0] + yOffset),
                                 c.x[1] * slope + (c.y[1] + yOffset)};
            if constexpr (kDiffusion) {
                // Per pixel the x draw, then the y draw; put into lanes from registers (a
                // vector load of values just stored one by one would stall).
                double d[8] = {};
                if (count == 4) {
                    d[0] = rng.next();
                    d[1] = rng.next();
                    d[2] = rng.next();
                    d[3] = rng.next();
                    d[4] = rng.next();
                    d[5] = rng.next();
                    d[6] = rng.next();
                    d[7] = rng.next();
                } else {
                    for (int i = 0; i < 2 * count; ++i) d[i] = rng.next();
                }
                const v_float64x2 dx[2] = {v_float64x2(d[0], d[2]), v_float64x2(d[4], d[6])};
                const v_float64x2 dy[2] = {v_float64x2(d[1], d[3]), v_float64x2(d[5], d[7])};
                for (int h = 0; h < 2; ++h) {
                    px[h] = px[h] + (two * dx[h] - one);
                    py[h] = py[h] + (two * dy[h] - one);
                }
            }
            FourPositions p;
            for (int h = 0; h < 2; ++h) {
                p.u[h] = a0 * px[h] + a1 * py[h] + a2;
                p.v[h] = a3 * px[h] + a4 * py[h] + a5;
            }
            const std::uint8_t* in = hsv + 3 * x;
            std::uint8_t* o = out + 3 * x;
            if constexpr (kInterpolation == 0) {
                int offset[4];
                v_store(offset, ((nearestIndex(p.v[0], p.v[1]) & rowMask) << rowShift) +
                                    (nearestIndex(p.u[0], p.u[1]) & columnMask));
                const auto pixel = [&](int i) {
                    const std::uint8_t* source = in + 3 * i;
                    std::uint8_t* po = o + 3 * i;
                    const int v = source[2];
                    const int sample = f.patternData[f.patternOfValue[v]][offset[i]];
                    if constexpr (kMask) {
                        po[0] = 0;
                        po[1] = 0;
                        po[2] = f.maskOf[sample];
                    } else {
                        po[0] = source[0];
                        po[1] = f.saturationOf[sample][source[1]];
                        po[2] = f.valueOf[(v << 8) | sample];
                    }
                };
                if (count == 4) {
                    pixel(0);
                    pixel(1);
                    pixel(2);
                    pixel(3);
                } else {
                    for (int i = 0; i < count; ++i) pixel(i);
                }
            } else {
                double fu[4], fv[4];
                int iu[4], iv[4];
                v_store(iu, splitIndex(p.u[0], p.u[1], fu));
                v_store(iv, splitIndex(p.v[0], p.v[1], fv));
                for (int i = 0; i < count; ++i, in += 3, o += 3) {
                    const std::uint8_t* pattern = f.patternData[f.patternOfValue[in[2]]];
                    const auto patternRow = [&](int k) {
                        return pattern + (static_cast<std::size_t>(k & f.rowMask) << rowShift);
                    };
                    double sample;
                    if constexpr (kInterpolation == 1) {
                        const int j0 = iu[i] & f.columnMask, j1 = (j0 + 1) & f.columnMask;
                        const int k0 = iv[i] & f.rowMask;
                        const std::uint8_t* r0 = patternRow(k0);
                        const std::uint8_t* r1 = patternRow(k0 + 1);
                        sample = bilinearMix(r0[j0], r0[j1], r1[j0], r1[j1], fu[i], fv[i]);
                    } else {
                        const int jm = iu[i] - 1, km = iv[i] - 1;
                        const int cols[4] = {jm & f.columnMask, (jm + 1) & f.columnMask,
                                             (jm + 2) & f.columnMask, (jm + 3) & f.columnMask};
                        const std::uint8_t* const rows[4] = {patternRow(km), patternRow(km + 1),
                                                             patternRow(km + 2),
                                                             patternRow(km + 3)};
                        sample = clampReal(bicubicMix(rows, cols, fu[i], fv[i]), 0, 255);
                    }
                    writeFastPixel<kMask>(f, in, o, sample);
                }
            }
        }
    }
}

template <class Positions, int kInterpolation>
void fastRowsFor(const HatchingFrame& f, int firstRow, int endRow, std::uint8_t* out,
                 std::size_t outStep) {
    if (f.diffusion)
        f.mask
            ? fastRows<Positions, kInterpolation, true, true>(f, firstRow, endRow, out, outStep)
            : fastRows<Positions, kInterpolation, true, false>(f, firstRow, endRow, out, outStep);
    else
        f.mask
            ? fastRows<Positions, kInterpolation, false, true>(f, firstRow, endRow, out, outStep)
            : fastRows<Positions, kInterpolation, false, false>(f, firstRow, endRow, out, outStep);
}

template <class Positions>
void fastRowsOf(const HatchingFrame& f, int firstRow, int endRow, std::uint8_t* out,
                std::size_t outStep) {
    switch (f.interpolation) {
        case 1:
            return fastRowsFor<Positions, 1>(f, firstRow, endRow, out, outStep);
        case 2:
            return fastRowsFor<Positions, 2>(f, firstRow, endRow, out, outStep);
        default:
            return fastRowsFor<Positions, 0>(f, firstRow, endRow, out, outStep);
    }
}
#endif

template <class Positions>
void plainRowsOf(const HatchingFrame& f, int firstRow, int endRow, std::uint8_t* out,
                 std::size_t outStep) {
    switch (f.interpolation) {
        case 1:
            return plainRows<sampleBilinearWrapped, Positions>(f, firstRow, endRow, out, outStep);
        case 2:
            return plainRows<sampleBicubicClamped, Positions>(f, firstRow, endRow, out, outStep);
        default:
            return plainRows<sampleNearestWrapped, Positions>(f, firstRow, endRow, out, outStep);
    }
}

}  // namespace

void hatchRowsPlain(const HatchingFrame& f, int firstRow, int endRow, std::uint8_t* out,
                    std::size_t outStep) {
    if (f.carried.x != nullptr)
        plainRowsOf<CarriedRowPositions>(f, firstRow, endRow, out, outStep);
    else
        plainRowsOf<CanvasPositions>(f, firstRow, endRow, out, outStep);
}

void hatchRows(const HatchingFrame& f, int firstRow, int endRow, std::uint8_t* out,
               std::size_t outStep) {
#if CV_SIMD128_64F
    if (f.fast) {
        if (f.carried.x != nullptr)
            return fastRowsOf<CarriedRowPositions>(f, firstRow, endRow, out, outStep);
        return fastRowsOf<CanvasPositions>(f, firstRow, endRow, out, outStep);
    }
#endif
    hatchRowsPlain(f, firstRow, endRow, out, outStep);
}

}  // namespace drawlet
