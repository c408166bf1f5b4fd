// Paints canvasImage from srcImage with the prepared hatching patterns.
#pragma once

#include "imaging/row_bands.h"

namespace drawlet {

// Reads EffectParams, the working images, the pattern bank and mwcRandom; always returns 1.
// The rows are painted in bands on OpenCV's threads; the tasks `beside` run beside them
// (they must not touch canvasImage or write scratchImages[0]).
int renderHatching(const SideTasks& beside = {});

}  // namespace drawlet
