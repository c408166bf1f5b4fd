// The plain single-thread path of a whole frame, kept as the reference of the module's
// threaded and vectorised one: per-pixel YC conversions, the hatching pixel by pixel through
// the wrapped samplers and the level and shading functions, and the line drawer pass by
// pass, contour by contour.
#pragma once

#include "imaging/mwc_random.h"
#include "kit/filter_host.h"

namespace drawlet::test {

struct ReferenceResult {
    kit::YcFrame frame;
    MwcRandom generator;  // the random source after the frame's draws
};

// The frame the module should give for `input` and `frameNumber`. Reads the parameters,
// patterns and working images that a module frame of the same settings and size has just
// left (EffectParams, patternScaled, patternInverseAffine), and overwrites the working images.
ReferenceResult referenceFrame(const kit::YcFrame& input, int frameNumber);

// The hatching of srcImage into canvasImage, rows outer, columns inner, every pixel through
// the wrapped samplers and the level and shading functions; returns the random source after
// the frame's draws.
MwcRandom hatchPlainly(MwcRandom rng);

}  // namespace drawlet::test
