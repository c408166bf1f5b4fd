// Which audio packets go with a stretch of frames: those from the time of its first frame
// (from the very start when the stretch starts at the input's first frame) up to the time of
// the first frame after it (to the very end when it reaches the input's last). Parts of one
// input rendered apart thus share out its audio packets, each to exactly one part.
#pragma once

#include <vector>

#include "media/av_util.h"

namespace drawlet::media {

class AudioRange {
  public:
    // `input` holds the audio streams; times of frames are in `videoTimeBase`.
    AudioRange(const AVFormatContext* input, AVRational videoTimeBase);

    // The stretch begins at this frame time: packets before it are dropped.
    void startAt(int64_t pts);

    // Takes the packets read so far and gives back, in file order, those before `pts` that
    // belong to the stretch; the others are held until their time is known to be in it.
    std::vector<PacketPtr> take(std::vector<PacketPtr>& incoming, int64_t pts);

    // The stretch ends before frame time `end` (AV_NOPTS_VALUE: at the end of the input):
    // gives back every held packet that belongs to it.
    std::vector<PacketPtr> finish(std::vector<PacketPtr>& incoming, int64_t end);

  private:
    int compare(const AVPacket& packet, int64_t pts) const;  // packet's time against a frame's

    const AVFormatContext* input_;
    AVRational videoTimeBase_;
    int64_t start_ = AV_NOPTS_VALUE;
    std::vector<PacketPtr> held_;
};

}  // namespace drawlet::media
