// Text subtitles converted for a container that cannot hold their codec (SubRip into MP4
// becomes MOV text): each cue decoded and encoded again, keeping its time and length.
#pragma once

#include <functional>
#include <string>

#include "media/av_util.h"

namespace drawlet::media {

// The subtitle encoder for `container` that can take the cues of `source`: text cues only,
// into the container's own text codec; null when there is none.
const AVCodec* subtitleEncoderFor(const AVOutputFormat* container, const AVCodecParameters* source);

class SubtitleConverter {
  public:
    using Emit = std::function<void(AVPacket*)>;  // packets in the encoder's time base

    // `source` is the input stream; `encoder` one subtitleEncoderFor chose. Errors name `what`.
    SubtitleConverter(const AVStream* source, const AVCodec* encoder, const std::string& what);

    const AVCodecContext* encoder() const { return encoder_.get(); }

    // A packet of the source stream, in its time base; a cue without text gives nothing.
    void push(AVPacket* packet, const Emit& emit);

  private:
    std::string what_;
    AVRational sourceTimeBase_;
    CodecPtr decoder_;
    CodecPtr encoder_;
};

}  // namespace drawlet::media
