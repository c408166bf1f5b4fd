// Videos and image sequences in and out through the ffmpeg program, as raw BGR frames over
// pipes, so that every container and codec ffmpeg knows works.
#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/child_process.h"

namespace drawlet::cli {

// A failure with a message for the user (it names the file and the cause).
struct VideoError {
    std::string message;
};

struct VideoInfo {
    int width = 0;
    int height = 0;
    std::string frameRate = "25";  // as ffmpeg writes it: "30000/1001"
    double fps = 25.0;
    std::string sampleAspect = "1:1";      // as ffprobe writes it: "4:3"
    long long frameCount = -1;             // -1 when unknown
    std::vector<std::string> audioCodecs;  // one per audio stream, in stream order
    // The filters that stand a rotated video upright ("" for none); width, height and
    // sampleAspect are those of the upright pictures.
    std::string uprightFilter;
};

// The filters that turn pictures upright for a display-matrix rotation of `degrees`
// (counter-clockwise, as ffprobe reports it), the same turns ffmpeg's autorotation makes: ""
// for none, "transpose=cclock" for 90, "hflip,vflip" for 180, "transpose=clock" for 270.
std::string uprightFilterFor(double degrees);

// True for a single picture (an image file name without a % pattern).
bool isStillImage(const std::string& path);
// True for an image sequence pattern such as frames/%05d.png.
bool isImageSequence(const std::string& path);

// Probes with ffprobe; throws VideoError naming the file when it holds no video.
VideoInfo probeVideo(const std::string& path, const std::string& sequenceRate);

// Decodes every frame of the first video stream, in order.
class FrameReader {
  public:
    FrameReader(const std::string& path, const VideoInfo& info, const std::string& sequenceRate);
    // The next frame, or an empty Mat at the end.
    cv::Mat next();
    // Throws VideoError if ffmpeg failed (call after the last frame).
    void finish();
    // Stops decoding before the end.
    void stop();

  private:
    std::string path_;
    VideoInfo info_;
    std::unique_ptr<ChildProcess> ffmpeg_;
};

// How H.264 outputs (.mp4, .mov, .mkv) are encoded. Hatching is full of fine detail, which
// is slow to encode: the fastest preset keeps the encoder from setting the pace of a
// render; a slower one (--preset medium) gives smaller files.
struct Encoding {
    std::string preset = "ultrafast";
    int crf = 20;
};

// Encodes frames into `output`, copying or re-encoding every audio stream of `input` for the
// frames [start, start + count) (count -1: to the end). Errors name `shownAs`, the file the
// user asked for, rather than the temporary file being written.
class FrameWriter {
  public:
    FrameWriter(const std::string& output, const std::string& shownAs, const std::string& input,
                const VideoInfo& info, long long start, long long count, long long firstNumber,
                const Encoding& encoding = {});
    bool write(const cv::Mat& frame);
    void finish();

  private:
    std::string output_;
    std::string shownAs_;
    std::unique_ptr<ChildProcess> ffmpeg_;
};

// The ffmpeg arguments choosing the audio codec for an output container: copy when the
// container takes the input's codec, else a codec it does take.
std::string audioCodecFor(const std::string& outputPath, const std::string& inputCodec);

// The ffmpeg filter that sets a sample aspect ratio given as "W:H" (':' separates filter
// options, so the ratio is written "W/H").
std::string setSampleAspectFilter(const std::string& ratio);

}  // namespace drawlet::cli
