// Where rendered frames go: a video file (or standard output) encoded in process, an image
// sequence, or a single picture. One interface, so a render does not care which.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/av_util.h"
#include "media/colour.h"
#include "media/encoding.h"

namespace drawlet::media {

// The pictures given to an output.
struct OutputVideo {
    int width = 0;
    int height = 0;
    AVRational sampleAspect{1, 1};
    AVRational timeBase{1, 25};
    AVRational frameRate{25, 1};
    ColourTags colour;
    AVPixelFormat sourceFormat = AV_PIX_FMT_BGR24;  // what the input was decoded from
    bool alpha = false;                             // frames come with an alpha plane
};

struct OutputOptions {
    std::string path;     // the file written ("-" for standard output)
    std::string shownAs;  // the name errors give (the user's, not a temporary one)
    EncodeOptions encode;
    // The input whose global and stream tags are kept and whose audio streams are written.
    const AVFormatContext* source = nullptr;
    int sourceVideoStream = -1;
    std::vector<int> audioStreams;
    std::vector<std::pair<std::string, std::string>> tags;  // more global tags
    const StopFlag* stop = nullptr;
};

class FrameOutput {
  public:
    virtual ~FrameOutput() = default;
    // A frame, with its timestamp (OutputVideo::timeBase) and its index in the input.
    virtual void write(const cv::Mat& bgr, const cv::Mat* alpha, int64_t pts, long long index) = 0;
    // A packet of one of OutputOptions::audioStreams, in the source stream's time base.
    virtual void writeAudio(PacketPtr packet) { (void)packet; }
    // Flushes the encoders and closes the file; `draining` is called first when encoders
    // still hold frames.
    virtual void finish(const std::function<void()>& draining) = 0;
    // One-line notes for the user (padding, a dropped alpha channel, re-encoded audio).
    virtual std::vector<std::string> notes() const { return {}; }
};

// True when frames with alpha written to `path` with `encode` keep it: PNG pictures and
// sequences, or a video whose encoder and pixel format (as openOutput chooses them) have an
// alpha plane. Throws a usage error as openOutput would for an unknown format or codec.
bool outputKeepsAlpha(const std::string& path, const EncodeOptions& encode);

// An output for `options.path`: an image sequence when the name has a frame-number pattern,
// a still picture when it is a picture, else a video.
std::unique_ptr<FrameOutput> openOutput(const OutputVideo& video, const OutputOptions& options);

}  // namespace drawlet::media
