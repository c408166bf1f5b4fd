// Paints canvasImage from srcImage with the prepared hatching patterns.
#pragma once

#include "hatching/hatching_frame.h"
#include "imaging/row_bands.h"

namespace drawlet {

// Reads EffectParams, the working images, the pattern bank and mwcRandom; always returns 1.
// The rows are painted in bands on OpenCV's threads with the work `beside` them: its leading
// tasks must not touch canvasImage or write scratchImages[0]; its tail runs once the canvas
// is painted. With `carried` positions the pixels sample the hatching there instead of at
// their own positions.
int renderHatching(const BesideBands& beside = {}, const CarriedPositions& carried = {});

}  // namespace drawlet
