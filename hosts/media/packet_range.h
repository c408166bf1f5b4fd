// Which packets of the streams kept beside the pictures (audio, subtitles, data) go with a
// stretch of frames: those from the time of its first frame (from the very start when the
// stretch starts at the input's first frame) up to the time of the first frame after it (to
// the very end when it reaches the input's last). Parts of one input rendered apart thus
// share out its packets, each to exactly one part. A subtitle cue still showing when the
// stretch starts comes too, cut to start with it: the part shows it on its own, and join
// knows the piece by its end, which the whole cue in the part before shares.
#pragma once

#include <vector>

#include "media/av_util.h"

namespace drawlet::media {

using Packets = std::vector<PacketPtr>;

class PacketRange {
  public:
    // `input` holds the streams; times of frames are in `videoTimeBase`.
    PacketRange(const AVFormatContext* input, AVRational videoTimeBase);

    // The stretch begins at this frame time: packets before it are dropped.
    void startAt(int64_t pts);

    // Takes the packets read so far and gives back, in file order, those before `pts` that
    // belong to the stretch; the others are held until their time is known to be in it.
    Packets take(Packets& incoming, int64_t pts);

    // The stretch ends before frame time `end` (AV_NOPTS_VALUE: at the end of the input):
    // gives back every held packet that belongs to it.
    Packets finish(Packets& incoming, int64_t end);

  private:
    int compare(const AVPacket& packet, int64_t pts) const;  // packet's time against a frame's
    bool cutToStart(AVPacket& packet) const;  // a cue showing at the start, made to begin there

    const AVFormatContext* input_;
    AVRational videoTimeBase_;
    int64_t start_ = AV_NOPTS_VALUE;
    Packets held_;
};

}  // namespace drawlet::media
