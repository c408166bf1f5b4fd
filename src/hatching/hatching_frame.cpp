#include "hatching/hatching_frame.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <opencv2/core/hal/intrin.hpp>
#include <stdexcept>

#include "hatching/hatching_tone.h"
#include "imaging/mwc_jump.h"
#include "imaging/row_bands.h"
#include "imaging/working_images.h"
#include "interface/effect_params.h"

namespace drawlet {
namespace {

bool isPowerOfTwo(std::size_t n) { return n != 0 && (n & (n - 1)) == 0; }

int log2Of(std::size_t n) {
    int shift = 0;
    while ((std::size_t{1} << shift) < n) ++shift;
    return shift;
}

// The fast path needs vectors of doubles and seven patterns of one power-of-two shape.
bool patternsFitTheFastPath(const HatchingFrame& f) {
#if CV_SIMD128_64F
    const PatternView& first = f.patterns[0];
    for (const PatternView& p : f.patterns)
        if (p.width != first.width || p.height != first.height || p.step != first.step)
            return false;
    return isPowerOfTwo(static_cast<std::size_t>(first.width)) &&
           isPowerOfTwo(static_cast<std::size_t>(first.height)) && isPowerOfTwo(first.step);
#else
    (void)f;
    return false;
#endif
}

// V' for every (V, P); rows of equal Vb are equal, so a repeated Vb copies the row before.
void buildValueTable(HatchingFrame& f) {
    f.valueOf.resize(256 * 256);
    for (int v = 0; v < 256; ++v) {
        std::uint8_t* row = f.valueOf.data() + v * 256;
        const double vb = f.brightnessOfValue[static_cast<std::size_t>(v)];
        if (v > 0 && vb == f.brightnessOfValue[static_cast<std::size_t>(v - 1)]) {
            std::memcpy(row, row - 256, 256);
            continue;
        }
        for (int pattern = 0; pattern < 256; ++pattern)
            row[pattern] = static_cast<std::uint8_t>(
                shadeFor(f.toneMode, pattern, vb, f.densityLimit, f.saturationGain).value);
    }
}

// The saturation factor g depends on P in tone mode 4 only, and on no source value.
void buildSaturationTable(HatchingFrame& f) {
    const bool perPattern = f.toneMode == 4;
    f.saturations.resize(perPattern ? 256 * 256 : 256);
    for (int pattern = 0; pattern < (perPattern ? 256 : 1); ++pattern) {
        const double g = shadeFor(f.toneMode, pattern, 0, f.densityLimit, f.saturationGain).g;
        std::uint8_t* row = f.saturations.data() + pattern * 256;
        for (int sat = 0; sat < 256; ++sat)
            row[sat] = static_cast<std::uint8_t>(static_cast<int>(clampReal(g * sat, 0, 255)));
    }
    for (int pattern = 0; pattern < 256; ++pattern)
        f.saturationOf[pattern] = f.saturations.data() + (perPattern ? pattern * 256 : 0);
}

// The shade factor f depends on P alone.
void buildMaskTable(HatchingFrame& f) {
    for (int pattern = 0; pattern < 256; ++pattern) {
        const Shade shade = shadeFor(f.toneMode, pattern, 0, f.densityLimit, f.saturationGain);
        f.maskOf[static_cast<std::size_t>(pattern)] =
            static_cast<std::uint8_t>(maskValueFor(f.toneMode, shade.f));
    }
}

TableInputs tableInputsOf(const HatchingFrame& f) {
    TableInputs bits{};
    bits[0] = static_cast<std::uint64_t>(f.toneMode);
    bits[1] = (f.interpolation == 0 ? 2u : 0u) | (f.mask ? 1u : 0u);
    bits[2] = std::bit_cast<std::uint64_t>(f.densityLimit);
    bits[3] = std::bit_cast<std::uint64_t>(f.saturationGain);
    for (std::size_t v = 0; v < 256; ++v)
        bits[4 + v] = std::bit_cast<std::uint64_t>(f.brightnessOfValue[v]);
    return bits;
}

}  // namespace

bool patternPositionsBounded(const double (&affine)[6], double xOffset, double yOffset,
                             double slope, int width, int height) {
    // Columns run to width + 3 (the last group of four), the diffusion jitter adds below 1.
    const double maxPx = std::abs(xOffset) + width + 4;
    const double maxPy = std::abs(slope) * (width + 4) + std::abs(yOffset) + height + 1;
    constexpr double kLimit = 1e9;  // the int range is 2.1e9: room for every rounding
    for (int r = 0; r < 2; ++r) {
        const double bound = std::abs(affine[3 * r]) * maxPx + std::abs(affine[3 * r + 1]) * maxPy +
                             std::abs(affine[3 * r + 2]);
        if (!(bound < kLimit)) return false;  // also false for NaN
    }
    return true;
}

void prepareHatchingFrame(HatchingFrame& f, MwcRandom& rng, const CarriedPositions& carried) {
    const EffectParameters& p = EffectParams;
    for (int i = 0; i < kPatternCount; ++i) {
        if (patternScaled[i].empty() || patternScaled[i].type() != CV_8UC1)
            throw std::logic_error("hatching patterns are not prepared");
        f.patterns[i] = PatternView::of(patternScaled[i]);
    }
    f.carried = carried;
    f.width = srcImage.cols;
    f.height = srcImage.rows;
    f.xOffset = rng.next() * p.xJitter;
    f.yOffset = rng.next() * p.yJitter;
    f.slope = p.tilt + (rng.next() - 0.5) * p.tiltJitter;
    std::memcpy(f.affine, patternInverseAffine, sizeof f.affine);
    f.interpolation = p.interpolation;
    f.toneMode = p.hatchToneMode;
    f.diffusion = p.diffusion;
    f.mask = p.maskMode;
    f.densityLimit = p.densityLimit;
    f.saturationGain = p.saturationGain;

    const std::array<int, 256> toneTable = buildToneTable(p.vFlag);
    for (int v = 0; v < 256; ++v) {
        const auto i = static_cast<std::size_t>(v);
        f.patternOfValue[i] =
            static_cast<std::uint8_t>(patternIndexFor(toneTable[i], p.hatchShift, p.hatchInvert));
        f.brightnessOfValue[i] = clampReal(v * p.brightnessGain, 0, 255);
    }

    f.fast = patternsFitTheFastPath(f) &&
             patternPositionsBounded(f.affine, f.xOffset, f.yOffset, f.slope, f.width, f.height);
    if (f.fast) {
        f.columnMask = f.patterns[0].width - 1;
        f.rowMask = f.patterns[0].height - 1;
        f.rowShift = log2Of(f.patterns[0].step);
        for (int i = 0; i < kPatternCount; ++i) f.patternData[i] = f.patterns[i].data;
        const TableInputs inputs = tableInputsOf(f);
        if (f.tableInputs != inputs) {
            if (f.interpolation == 0 && f.mask) buildMaskTable(f);
            if (f.interpolation == 0 && !f.mask) buildValueTable(f);
            if (!f.mask) buildSaturationTable(f);
            f.tableInputs = inputs;
        }
    }

    f.bandStarts.clear();
    if (f.diffusion && f.width > 0) {
        // Two draws per pixel, rows in order: band b starts 2 x width x kBandRows x b draws on.
        const MwcJump band(2 * static_cast<std::uint64_t>(f.width) * kBandRows);
        f.bandStarts.push_back(rng);
        for (int row = kBandRows; row < f.height; row += kBandRows)
            f.bandStarts.push_back(band(f.bandStarts.back()));
    }
}

}  // namespace drawlet
