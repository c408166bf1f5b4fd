// Frames encoded into a video file in process: the picture stream with the input's
// timestamps and colour tags, written through the muxer with the input's other streams,
// tags and chapters.
#pragma once

#include <memory>

#include "media/output.h"

namespace drawlet::media {

std::unique_ptr<FrameOutput> openVideoOutput(const OutputVideo& video,
                                             const OutputOptions& options);

}  // namespace drawlet::media
