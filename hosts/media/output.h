// Where rendered frames go: a video file (or standard output) encoded in process, an image
// sequence, or a single picture. One interface, so a render does not care which.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/av_util.h"
#include "media/chapters.h"
#include "media/colour.h"
#include "media/encoding.h"
#include "media/packet_range.h"
#include "media/part_tags.h"
#include "media/reader.h"

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

// The pictures of a video as the reader gives them.
OutputVideo outputVideoOf(const VideoInfo& info);

struct OutputOptions {
    std::string path;     // the file written ("-" for standard output)
    std::string shownAs;  // the name errors give (the user's, not a temporary one)
    EncodeOptions encode;
    // The input whose tags, chapters and other streams (VideoReader::keptStreams) are kept.
    const VideoReader* source = nullptr;
    // What a part of a render records (written with --start or --frames).
    std::optional<PartRecord> part;
    const StopFlag* stop = nullptr;
    // Image sequences: every frame is written under a temporary name beside its file and
    // moved into place when complete; a file already there is replaced only with `replace`.
    bool replace = false;
    // Told the temporary file a frame is being written to, and "" once it is gone (so that
    // a second Ctrl-C can remove it).
    std::function<void(const std::string&)> writing;
};

class FrameOutput {
  public:
    virtual ~FrameOutput() = default;
    // A frame, with its timestamp (OutputVideo::timeBase) and its index in the input.
    virtual void write(const cv::Mat& bgr, const cv::Mat* alpha, int64_t pts, long long index) = 0;
    // Packets of the source's other streams, as the reader gives them.
    virtual void writeKept(Packets packets) { (void)packets; }
    // Flushes the encoders and closes the file; `draining` is called first when encoders
    // still hold frames. `span` is the stretch of the source's time written: a part's
    // chapters are cut to it.
    virtual void finish(const std::function<void()>& draining, const TimeSpan& span) = 0;
    // One-line notes for the user (padding, a dropped alpha channel, streams converted or
    // left out).
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
