// Decoded pictures to 8-bit BGR (and alpha) and back, with the picture's own colour matrix
// and range, so that a frame passed through unfiltered comes back as it went in.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <opencv2/core.hpp>

struct AVFrame;
struct SwsContext;

namespace drawlet::media {

struct ColourTags;

// One swscale context for a fixed conversion, made again when the conversion changes.
class Scaler {
  public:
    Scaler() = default;
    ~Scaler();
    Scaler(const Scaler&) = delete;
    Scaler& operator=(const Scaler&) = delete;

    SwsContext* get(int width, int height, AVPixelFormat from, AVPixelFormat to,
                    const ColourTags& tags);

  private:
    SwsContext* sws_ = nullptr;
    int width_ = 0, height_ = 0;
    AVPixelFormat from_ = AV_PIX_FMT_NONE, to_ = AV_PIX_FMT_NONE;
};

// The colour description a video stream carries.
struct ColourTags {
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVChromaLocation chromaLocation = AVCHROMA_LOC_UNSPECIFIED;
};

// The matrix and range to convert a YUV format with, for a stream tagged `tags`: the tag
// when it names one, else BT.601 and limited range, FFmpeg's own assumption for untagged
// video (so that an untagged input comes back as its players show it).
AVColorSpace conversionMatrix(const ColourTags& tags);
bool fullRange(const ColourTags& tags, AVPixelFormat format);

// Converts pictures of one size and format to BGR, reusing its scaler.
class ToBgr {
  public:
    // 8-bit BGR of `frame`; its alpha plane into `alpha` (8-bit) when the format has one
    // and `alpha` is given.
    cv::Mat convert(const AVFrame& frame, const ColourTags& tags, cv::Mat* alpha);

  private:
    Scaler scaler_;
    cv::Mat green_, blue_, red_;  // planes of the scaler's planar output, kept between frames
};

// Converts 8-bit BGR (and an optional alpha plane) into frames of an encoder's format.
class FromBgr {
  public:
    // Fills `out` (its format, width and height set, buffers allocated) from `bgr`.
    void convert(const cv::Mat& bgr, const cv::Mat* alpha, const ColourTags& tags, AVFrame& out);

  private:
    Scaler scaler_;
};

bool hasAlpha(AVPixelFormat format);
bool isRgb(AVPixelFormat format);
// Bits per component of the format's first component (8 for yuv420p, 10 for yuv420p10le).
int bitDepth(AVPixelFormat format);

}  // namespace drawlet::media
