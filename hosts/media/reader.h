// Reads the first video stream of a file, an image sequence or standard input, frame by frame
// in presentation order, with each frame's timestamp; and hands over the packets of the
// other streams (audio, subtitles, data) read on the way.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media/av_util.h"
#include "media/colour.h"
#include "media/picture_size.h"

namespace drawlet::media {

struct ReaderOptions {
    // Frame rate of an image sequence, as FFmpeg reads one ("25", "30000/1001", "ntsc").
    std::string sequenceRate = "25";
    // First number of an image sequence; -1: the smallest of its files.
    long long sequenceStart = -1;
    // Frames of more pixels are refused before anything is decoded.
    long long maxPixels = kDefaultMaxPixels;
    const StopFlag* stop = nullptr;
};

struct VideoInfo {
    int width = 0;  // upright, as a player shows the pictures
    int height = 0;
    AVRational sampleAspect{1, 1};  // upright
    AVRational timeBase{1, 25};     // of the timestamps of the frames
    AVRational frameRate{25, 1};    // average, or the sequence's rate
    long long frameCount = -1;      // expected, from the container; -1 when unknown
    double duration = 0;            // seconds of video, 0 when unknown
    ColourTags colour;
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;  // as decoded
    bool alpha = false;
    int quarterTurns = 0;  // counter-clockwise turns that stand the pictures upright
};

struct VideoFrame {
    cv::Mat bgr;
    cv::Mat alpha;        // empty when the input has none
    int64_t pts = 0;      // in VideoInfo::timeBase
    long long index = 0;  // 0-based, in presentation order
};

// What reading found wrong, for a warning at the end.
struct ReadReport {
    long long decoded = 0;
    long long damagedPackets = 0;
    bool endedEarly = false;  // the demuxer stopped with an error, or the video ends short
    double lastEnd = 0;       // seconds where the last frame read ends
};

class VideoReader {
  public:
    // Opens `path` ("-" for standard input); throws drawlet::Error naming it when it holds no
    // video that FFmpeg can decode, or frames of more than options.maxPixels. An image
    // sequence is read from its first file on, and refused when a frame is missing.
    VideoReader(const std::string& path, const ReaderOptions& options = {});
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    const VideoInfo& info() const { return info_; }
    const std::string& path() const { return path_; }
    AVFormatContext* format() const { return format_.get(); }
    int videoStream() const { return videoStream_; }
    // The input's streams other than the pictures that carry content (audio, subtitles, data,
    // attachments, other video), in stream order: those an output keeps, or names.
    const std::vector<int>& keptStreams() const { return keptStreams_; }

    // Positions the reader so that the next frame is frame `index` exactly: seeks to the
    // keyframe before it where the input allows, else decodes and drops from the start. The
    // packets of the other streams read on the way come with that frame from next().
    void seekToFrame(long long index);

    // The next frame, or nullopt at the end of the video. Packets of the other streams read
    // on the way are appended to `packets`, in file order.
    std::optional<VideoFrame> next(std::vector<PacketPtr>& packets);

    // Reads on past the video frames wanted until every audio stream has a packet at or
    // after `pts` (VideoInfo::timeBase), or the input ends; appends the packets read.
    void readOthersUntil(int64_t pts, std::vector<PacketPtr>& packets);

    ReadReport report() const;

  private:
    AVDictionary* sequenceOptions() const;
    void openFile();
    void checkDeclaredSize() const;
    void findStreams();
    void openDecoder(bool& sideAlpha);
    void readInfo(bool sideAlpha);
    bool readPacket(std::vector<PacketPtr>& packets);
    bool receiveFrame(VideoFrame& out);
    bool isCue(const AVPacket& packet) const;
    // Where frame `index` is, from the packets' timestamps.
    struct FrameSearch {
        bool timed = true;             // false: a packet has no timestamp, so none tells
        int64_t pts = AV_NOPTS_VALUE;  // the frame's; AV_NOPTS_VALUE when there are fewer
    };
    FrameSearch findFramePts(long long index, std::vector<PacketPtr>& cues);
    void keepCuesShowingAt(std::vector<PacketPtr>& cues, int64_t pts);
    // Back to the first packet of a seekable input, before anything is decoded.
    void rewind();

    std::string path_;
    ReaderOptions options_;
    InputPtr format_;
    CodecPtr decoder_;
    int videoStream_ = -1;
    std::vector<int> keptStreams_;
    std::vector<int> audioStreams_;
    std::vector<bool> passedOn_;        // streams whose packets are handed over
    std::vector<PacketPtr> earlyCues_;  // cues showing at the frame sought, begun before it
    std::vector<std::pair<int, int64_t>> earlyCueKeys_;  // their streams and times
    VideoInfo info_;
    ToBgr toBgr_;
    FramePtr frame_;
    PacketPtr packet_;
    long long nextIndex_ = 0;
    int64_t dropBefore_ = AV_NOPTS_VALUE;  // frames before this one are decoded, not given
    int64_t lastPts_ = AV_NOPTS_VALUE;
    long long dropUntilIndex_ = 0;  // frames before this index are decoded, not given
    bool demuxDone_ = false;
    bool flushed_ = false;
    bool demuxError_ = false;
    bool videoDone_ = false;  // the caller wants no more frames, only audio
    bool reachedEnd_ = false;
    std::vector<bool> audioPassed_;
    int64_t audioUntil_ = AV_NOPTS_VALUE;
    ReadReport report_;
};

}  // namespace drawlet::media
