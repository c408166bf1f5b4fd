// The frames of a stretch of a video (--start/--frames) in order, each with the packets of
// the other streams that go with it, and the stretch of the input's time they span.
#pragma once

#include <optional>

#include "media/chapters.h"
#include "media/packet_range.h"
#include "media/reader.h"

namespace drawlet::media {

struct StretchItem {
    std::optional<VideoFrame> frame;  // none in the item that ends the stretch
    Packets packets;                  // of the other streams, before the next frame's time
};

class Stretch {
  public:
    // Seeks `reader` to frame `start`; `frames` -1: up to the end of the video.
    Stretch(VideoReader& reader, long long start, long long frames);

    // The next frame with its packets; after the last frame, one item without a frame that
    // holds the packets up to the end of the stretch; then nullopt.
    std::optional<StretchItem> next();

    // Complete once next() has given the ending item.
    const TimeSpan& span() const { return span_; }

  private:
    StretchItem end(std::optional<VideoFrame> after);

    VideoReader& reader_;
    long long start_;
    long long frames_;
    PacketRange range_;
    Packets incoming_;
    TimeSpan span_;
    bool first_ = true;
    bool ended_ = false;
};

}  // namespace drawlet::media
