// A frame rate as an exact fraction, for the code above the media layer (which does not see
// FFmpeg's types).
#pragma once

namespace drawlet::media {

struct FrameRate {
    int num = 0;  // 0: not a video (a picture has no rate)
    int den = 1;

    double perSecond() const { return den != 0 ? static_cast<double>(num) / den : 0; }
    bool known() const { return num > 0 && den > 0; }
};

}  // namespace drawlet::media
