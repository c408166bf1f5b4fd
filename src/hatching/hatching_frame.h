// Everything the hatching of one frame reads besides the pixels: the frame's jitter, the
// pattern views and matrix, and lookup tables of the per-pixel formulas, each entry computed
// by the same functions (hatching_tone.h) that the per-pixel path calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "hatching/pattern_bank.h"
#include "hatching/samplers.h"
#include "imaging/mwc_random.h"

namespace drawlet {

// The bits of everything the fast path's tables are built from: tone mode, sampler and mask
// choice, density limit, saturation gain and Vb of every V.
using TableInputs = std::array<std::uint64_t, 260>;

// Canvas positions at which the pixels sample the hatching instead of their own: pixel (x, y)
// reads (x[y * stride + x], y[y * stride + x]). Every value lies in [0, width] x [0, height]
// (the frame driver checks it), so the positions stay as bounded as the pixels' own.
struct CarriedPositions {
    const float* x = nullptr;
    const float* y = nullptr;
    std::size_t stride = 0;  // floats between row starts
};

struct HatchingFrame {
    // Frame jitter: the first three draws after seeding.
    double xOffset = 0;
    double yOffset = 0;
    double slope = 0;
    double affine[6] = {};  // canvas to pattern coordinates
    PatternView patterns[kPatternCount] = {};
    CarriedPositions carried;  // x null: every pixel samples at its own position

    int width = 0;
    int height = 0;
    int interpolation = 0;
    int toneMode = 0;
    bool diffusion = false;
    bool mask = false;
    double densityLimit = 0;
    double saturationGain = 0;

    // Per source value V: the pattern it samples, and Vb = clamp(V x brightness gain).
    std::array<std::uint8_t, 256> patternOfValue{};
    std::array<double, 256> brightnessOfValue{};

    // The fast path: all seven patterns of one power-of-two size and row step, and every
    // pattern position of the frame well inside the int range, so that a position wraps
    // with a mask and converts without the range test. The remaining frames take the plain
    // per-pixel path.
    bool fast = false;
    int columnMask = 0;
    int rowMask = 0;
    int rowShift = 0;  // log2 of the row step
    const std::uint8_t* patternData[kPatternCount] = {};

    // Nearest sampling reads whole pattern bytes P, so the bytes written are functions of
    // (V, P), (P, saturation) and P: tables built for the fast path. The saturation table
    // serves every sampler: outside tone mode 4 its one row holds for any sample.
    std::vector<std::uint8_t> valueOf;           // [V << 8 | P]: V'
    std::vector<std::uint8_t> saturations;       // one row of 256, or 256 rows (tone mode 4)
    const std::uint8_t* saturationOf[256] = {};  // [P]: the row of output saturations
    std::array<std::uint8_t, 256> maskOf{};      // [P]: the mask byte

    // A video keeps the tables' inputs from frame to frame: they are built again only when
    // one of them changes.
    std::optional<TableInputs> tableInputs;

    // With diffusion, the generator at the first draw of every band of rows.
    std::vector<MwcRandom> bandStarts;
};

// Fills `frame` for the current EffectParams, patterns and frame size, drawing the frame
// jitter from `rng` (which is left after those three draws).
void prepareHatchingFrame(HatchingFrame& frame, MwcRandom& rng,
                          const CarriedPositions& carried = {});

// True when positions of the frame, pattern coordinates of pixels up to four columns past
// the width and with the diffusion jitter, stay far inside the int range. The bound covers
// carried positions too: they lie in [0, width] x [0, height], within the columns and rows
// it allows for.
bool patternPositionsBounded(const double (&affine)[6], double xOffset, double yOffset,
                             double slope, int width, int height);

}  // namespace drawlet
