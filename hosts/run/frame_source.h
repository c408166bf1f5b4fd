// One frame of an input, for the commands that look at a single frame (render to a picture,
// compare, the studio): a picture as it is, or frame N of a video or image sequence, read
// exactly as a render of the whole video reads it.
#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "media/frame_rate.h"
#include "media/reader.h"

namespace drawlet::run {

struct SourceFrame {
    cv::Mat bgr;
    cv::Mat alpha;               // empty when the input has none
    long long index = 0;         // the frame number given to the filter
    media::FrameRate frameRate;  // the video's; 0 for a picture
};

// Frame `index` of `input`: a picture is given to the filter as frame `index`; a video's
// frame `index` (0-based, in presentation order) is found by an exact seek. Throws naming
// the input when it has no such frame, or when it is larger than `options` allow. The stop
// flag is this process's.
SourceFrame readSourceFrame(const std::string& input, long long index,
                            const media::ReaderOptions& options);

}  // namespace drawlet::run
