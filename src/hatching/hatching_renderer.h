// Paints canvasImage from srcImage with the prepared hatching patterns.
#pragma once

#include "imaging/row_bands.h"

namespace drawlet {

// Reads EffectParams, the working images, the pattern bank and mwcRandom; always returns 1.
// The rows are painted in bands on OpenCV's threads with the work `beside` them: its leading
// tasks must not touch canvasImage or write scratchImages[0]; its tail runs once the canvas
// is painted.
int renderHatching(const BesideBands& beside = {});

}  // namespace drawlet
