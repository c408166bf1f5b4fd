// The built-in picture of the demo: shaded shapes, gradients and fine detail, drawn here.
#pragma once

#include <opencv2/core.hpp>

namespace drawlet::kit {

// A deterministic scene of the given size (the same pixels on every run). `phase` in 0..1
// moves the shapes for an animated clip.
cv::Mat drawDemoScene(int width, int height, double phase = 0.0);

}  // namespace drawlet::kit
