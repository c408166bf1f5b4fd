// Paints canvasImage from srcImage with the prepared hatching patterns.
#pragma once

namespace drawlet {

// Reads EffectParams, the working images, the pattern bank and mwcRandom; always returns 1.
int renderHatching();

}  // namespace drawlet
