// Owners for FFmpeg's objects, its error texts, and the stop flag as FFmpeg's I/O polls it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <memory>
#include <string>

#include "kit/stop_flag.h"
#include "media/frame_rate.h"

namespace drawlet::media {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// An output context: its file closed (when it opened one) and its streams freed.
struct OutputCloser {
    void operator()(AVFormatContext* c) const;
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

FramePtr makeFrame();
PacketPtr makePacket();

// The rate as the layers above the media layer see it.
inline FrameRate frameRateOf(AVRational rate) { return {rate.num, rate.den}; }

// False for a track that a demuxer turns into something else: a chapter track (hidden by
// the demuxer as it opens the file, read as chapters) or a timecode track (read as the
// picture stream's timecode tag, which a muxer writes back as a track where it has them).
bool carriesContent(const AVStream* stream);

// FFmpeg's words for an error code.
std::string errorText(int code);

// Throws drawlet::Error "WHAT: FFmpeg's reason" when `code` is negative; returns it otherwise.
int check(int code, const std::string& what);

// The interrupt callback that makes FFmpeg's I/O give up once `flag` is set.
AVIOInterruptCB interruptOn(const StopFlag* flag);

// An encoder or decoder opened from a codec and set-up context, with leftover options named:
// throws when `options` holds a key the codec does not know.
void openCodec(AVCodecContext* context, const AVCodec* codec, AVDictionary** options,
               const std::string& what);

// Seconds as a human reads them: "2.04 s".
std::string seconds(double value);

}  // namespace drawlet::media
