// How a video output is encoded: the container from the file name (or a muxer name), the
// encoder, its pixel format and options, and the colour tags it carries. The defaults give
// 8-bit 4:2:0 video that browsers and phones play.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <string>
#include <utility>
#include <vector>

#include "media/colour.h"

namespace drawlet::media {

struct EncodeOptions {
    std::string codec;        // an FFmpeg encoder name; empty: the container's playable default
    std::string pixelFormat;  // empty: chosen for the encoder
    int crf = -1;             // -1: the encoder's default below
    std::string preset;       // empty: the encoder's default below
    std::vector<std::pair<std::string, std::string>> encoderOptions;  // --encoder-opt K=V
    std::string format;  // an FFmpeg muxer name; empty: from the file name
    int threads = 0;     // the threads the whole render runs on; 0: not known
    bool quiet = false;  // encoders that write their own log (x265) keep it to errors
};

// The pictures an encoder is set up for: the level of H.264 and the bitrate caps follow
// from their size and rate. A width of 0 sets no level.
struct FrameShape {
    int width = 0;
    int height = 0;
    double fps = 0;
    AVPixelFormat format = AV_PIX_FMT_YUV420P;
};

// Defaults for H.264 (libx264): chosen by bench/bitrate_table.sh for a small file at a pace
// that keeps the filter, not the encoder, setting the speed of a render. Every default file
// is High profile at the lowest level from 4.1 up that holds its size and rate, with the
// rate control capped at that level's bitrate, so that it plays wherever its level does.
inline constexpr const char* kDefaultX264Preset = "ultrafast";
inline constexpr int kDefaultX264Crf = 28;
// VP9 (libvpx-vp9) in WebM: constant quality at libvpx's real-time speed, rows in parallel.
inline constexpr int kDefaultVp9Crf = 32;

// The constant-quality scale --crf takes: 0 (best) to 63, as VP9 counts; H.264 stops at 51.
inline constexpr int kCrfBest = 0;
inline constexpr int kCrfWorst = 63;
inline constexpr int kX264CrfWorst = 51;

// The muxer for `path` (or the one named `format`); throws a usage error naming them (or
// `shownAs`) when FFmpeg has none. Standard output without a format is Matroska.
const AVOutputFormat* outputFormatFor(const std::string& path, const std::string& format,
                                      const std::string& shownAs = "");

// The video encoder: the one named, checked against the container, or the container's
// playable default (VP9 for WebM, H.264 wherever the container takes it, else its own).
const AVCodec* videoEncoderFor(const AVOutputFormat* container, const std::string& name);

// The pixel format for `encoder`: the one named (checked), else 8-bit 4:2:0 for codecs made
// for delivery (H.264, VP9, ...) with an alpha plane where wanted and the encoder has one,
// else the encoder's format that keeps most of 8-bit BGR (and alpha).
AVPixelFormat pixelFormatFor(const AVCodec* encoder, const std::string& name, bool alpha);

// The encoder's options for the crf and preset asked for, or their defaults, its thread
// count where the render's own threads serve it better than the encoder's, and for H.264
// and VP9 the profile, level and bitrate caps of pictures of `shape` (unless --encoder-opt
// names a profile, level or rate of its own). Throws a usage error when the encoder has no
// such setting and one was asked for, or does not know the preset, tune, profile or crf.
std::vector<std::pair<std::string, std::string>> qualityOptions(const AVCodec* encoder,
                                                                const EncodeOptions& options,
                                                                const FrameShape& shape = {});

// Checks what a render to `path` asks of its encoder, as openOutput will choose it, before
// any work: a usage error naming the known presets, tunes or profiles, or the crf range.
void checkOutputEncoding(const std::string& path, const EncodeOptions& options);

// The colour tags an output in `format` carries for input pictures tagged `input` and
// decoded from `inputFormat`: YUV keeps the input's matrix and range; pictures that were RGB
// become BT.709, limited range; an RGB output carries no matrix.
ColourTags outputTags(const ColourTags& input, AVPixelFormat inputFormat, AVPixelFormat format);

// The audio encoder for a container that cannot hold a stream's codec: the container's own
// default, or AAC; null when there is none the container takes.
const AVCodec* audioEncoderFor(const AVOutputFormat* container);

// True when the container can hold the codec as it is.
bool containerTakes(const AVOutputFormat* container, AVCodecID codec);

}  // namespace drawlet::media
