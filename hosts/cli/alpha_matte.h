// --alpha mask: each frame is rendered twice with the same settings, as the drawn picture and
// as the filter's gray line-and-shading mask, and the mask becomes the picture's alpha
// channel, so that an editor can lay the drawing over other footage.
#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "kit/filter_host.h"
#include "media/encoding.h"

namespace drawlet::cli {

struct MattedFrame {
    cv::Mat bgr;
    cv::Mat alpha;
};

// Checks that `output` can carry an alpha channel, choosing ProRes 4444 for a .mov without
// --codec; a usage error lists the outputs that can otherwise. Also refuses settings with the
// mask already on (the picture would be the mask too).
void prepareMatteOutput(const kit::FilterHost& host, const std::string& output,
                        media::EncodeOptions& encode);

// The drawn frame and its matte: the mask's gray level, multiplied by the input's own alpha
// where it has one (`inputAlpha` not empty); both sample the hatching at `coordinates` when
// given. Leaves the host's mask setting as it was.
MattedFrame renderWithMatte(kit::FilterHost& host, const cv::Mat& bgr, const cv::Mat& inputAlpha,
                            long long frameNumber, const std::string& what,
                            const DrawletPatternCoordinates* coordinates = nullptr);

}  // namespace drawlet::cli
