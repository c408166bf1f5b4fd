// Paints canvasImage from srcImage with the prepared hatching patterns.
#pragma once

#include <functional>

namespace drawlet {

// Reads EffectParams, the working images, the pattern bank and mwcRandom; always returns 1.
// The rows are painted in bands on OpenCV's threads; `beside`, when given, runs as one more
// task beside them (it must not touch canvasImage or scratchImages[0]).
int renderHatching(const std::function<void()>& beside = {});

}  // namespace drawlet
