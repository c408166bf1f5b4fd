// The floor of a frame: the library calls that a setting must make (both HSV conversions of
// the hatching, the line drawer's own HSV conversion and V plane, its edge maps and contour
// passes, and its anti-aliased strokes) plus a plain hatching loop over row pointers for the
// setting's sampler, without the conversions from and to the host's YC frame. It is the
// yardstick of the frame benchmarks: every frame time is printed as a ratio to it.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "lines/lines.h"

namespace drawlet::bench {

class FrameFloor {
  public:
    // Takes what the floor needs from the module's state after a frame has been rendered
    // with the current settings: the source picture, the prepared patterns and matrix, the
    // decoded parameters and the strokes that the line drawer plans for this picture.
    void prepare();

    // One frame's worth of floor work.
    void run();

    std::size_t strokeCount() const { return strokes_.size(); }

    // What the plain hatching loop reads and writes.
    struct Hatch {
        const cv::Mat& hsv;
        cv::Mat& canvas;
        const std::vector<cv::Mat>& patterns;
        const unsigned char* levels;
        const double* a;
        double xOffset, yOffset, slope;
    };

  private:
    void hatch();
    void linePasses();

    cv::Mat src_, hsv_, hsvCanvas_, canvas_, lineHsv_, value_, map_, planes_[3], edges_;
    std::vector<cv::Mat> patterns_;
    std::vector<std::vector<cv::Point>> contours_;
    std::vector<Stroke> strokes_;
    std::vector<int> levels_;
    unsigned char levelOfValue_[256] = {};
    double affine_[6] = {};
    double xOffset_ = 0, yOffset_ = 0, slope_ = 0;
};

}  // namespace drawlet::bench
