// Frames encoded into a video file in process: the picture stream with the input's
// timestamps and colour tags, the input's audio streams copied (or re-encoded where the
// container cannot hold them), and the input's global and stream tags.
#pragma once

#include <memory>

#include "media/output.h"

namespace drawlet::media {

std::unique_ptr<FrameOutput> openVideoOutput(const OutputVideo& video,
                                             const OutputOptions& options);

// Tags that describe the old file's encoding, not its content: dropped when tags are kept.
bool isEncodingTag(const char* key);

}  // namespace drawlet::media
