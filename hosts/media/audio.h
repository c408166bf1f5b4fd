// Re-encodes one audio stream for a container that cannot hold its codec: decode, convert
// to what the encoder takes, encode, keeping every sample's time.
#pragma once

#include <functional>
#include <string>

#include "media/av_util.h"

struct AVAudioFifo;
struct SwrContext;

namespace drawlet::media {

class AudioTranscoder {
  public:
    using Emit = std::function<void(AVPacket*)>;  // packets in the encoder's time base

    // `source` is the input stream; `encoder` the codec chosen for the output container,
    // whose `globalHeader` flag it obeys. Errors name `what`.
    AudioTranscoder(const AVStream* source, const AVCodec* encoder, bool globalHeader,
                    const std::string& what);
    ~AudioTranscoder();
    AudioTranscoder(const AudioTranscoder&) = delete;
    AudioTranscoder& operator=(const AudioTranscoder&) = delete;

    const AVCodecContext* encoder() const { return encoder_.get(); }

    // A packet of the source stream, in the source's time base.
    void push(const AVPacket* packet, const Emit& emit);
    // Encodes what is left and drains the encoder.
    void finish(const Emit& emit);

  private:
    void convert(const AVFrame* frame, const Emit& emit);
    void encodeFromFifo(bool all, const Emit& emit);
    void drainEncoder(const Emit& emit);

    std::string what_;
    CodecPtr decoder_;
    CodecPtr encoder_;
    SwrContext* swr_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    FramePtr decoded_;
    int64_t nextPts_ = AV_NOPTS_VALUE;  // of the first sample in the fifo, encoder time base
};

}  // namespace drawlet::media
