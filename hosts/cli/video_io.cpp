#include "cli/video_io.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

namespace drawlet::cli {

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext;
}

const std::set<std::string> kImageExtensions = {".png",  ".jpg",  ".jpeg", ".bmp", ".tif",
                                                ".tiff", ".webp", ".ppm",  ".pgm", ".exr"};

double parseRate(const std::string& rate) {
    const auto slash = rate.find('/');
    try {
        if (slash == std::string::npos) return std::stod(rate);
        const double num = std::stod(rate.substr(0, slash));
        const double den = std::stod(rate.substr(slash + 1));
        return den != 0 ? num / den : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

std::string ffmpegProgram() {
    const std::string ffmpeg = findProgram("ffmpeg");
    if (ffmpeg.empty())
        throw VideoError{
            "ffmpeg is not installed (or not on PATH): videos are read and written "
            "through it; install it with: apt-get install ffmpeg"};
    return ffmpeg;
}

// The display-matrix rotation of a stream in degrees, 0 when it has none.
double displayRotation(const nlohmann::json& stream) {
    if (!stream.contains("side_data_list")) return 0;
    for (const auto& side : stream["side_data_list"])
        if (side.contains("rotation") && side["rotation"].is_number())
            return side["rotation"].get<double>();
    return 0;
}

}  // namespace

std::string uprightFilterFor(double degrees) {
    const long turn = ((std::lround(degrees) % 360) + 360) % 360;
    if (turn == 90) return "transpose=cclock";
    if (turn == 180) return "hflip,vflip";
    if (turn == 270) return "transpose=clock";
    return "";
}

bool isImageSequence(const std::string& path) {
    return path.find('%') != std::string::npos && kImageExtensions.count(lowerExtension(path));
}

bool isStillImage(const std::string& path) {
    return path.find('%') == std::string::npos && kImageExtensions.count(lowerExtension(path));
}

VideoInfo probeVideo(const std::string& path, const std::string& sequenceRate) {
    ffmpegProgram();
    const std::string ffprobe = findProgram("ffprobe");
    if (ffprobe.empty()) throw VideoError{"ffprobe is not installed: apt-get install ffmpeg"};
    std::vector<std::string> args = {
        ffprobe, "-v", "error", "-print_format", "json", "-show_streams", "-show_format"};
    if (isImageSequence(path)) {
        args.push_back("-framerate");
        args.push_back(sequenceRate);
    }
    args.push_back(path);
    int status = 0;
    const std::string text = runAndCapture(args, status);
    nlohmann::json probe;
    try {
        probe = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception&) {
        status = status == 0 ? 1 : status;
    }
    if (status != 0 || !probe.contains("streams"))
        throw VideoError{path + ": not a video or image sequence that ffmpeg can read"};
    VideoInfo info;
    bool video = false;
    for (const auto& stream : probe["streams"]) {
        const std::string type = stream.value("codec_type", "");
        if (type == "video" && !video) {
            video = true;
            info.width = stream.value("width", 0);
            info.height = stream.value("height", 0);
            std::string rate = stream.value("avg_frame_rate", "0/0");
            if (parseRate(rate) <= 0) rate = stream.value("r_frame_rate", "25/1");
            if (isImageSequence(path)) rate = sequenceRate;
            info.frameRate = rate;
            info.fps = parseRate(rate) > 0 ? parseRate(rate) : 25.0;
            const std::string sar = stream.value("sample_aspect_ratio", "1:1");
            if (sar.find(':') != std::string::npos && sar != "0:1") info.sampleAspect = sar;
            // A rotated video is read upright (turned by the reader, not left to ffmpeg's
            // autorotation, which not every build applies): a quarter turn swaps the sides
            // and the pixel aspect.
            info.uprightFilter = uprightFilterFor(displayRotation(stream));
            if (info.uprightFilter.rfind("transpose", 0) == 0) {
                std::swap(info.width, info.height);
                const auto colon = info.sampleAspect.find(':');
                info.sampleAspect =
                    info.sampleAspect.substr(colon + 1) + ":" + info.sampleAspect.substr(0, colon);
            }
            if (stream.contains("nb_frames")) {
                try {
                    info.frameCount = std::stoll(stream["nb_frames"].get<std::string>());
                } catch (const std::exception&) {
                }
            }
        } else if (type == "audio") {
            info.audioCodecs.push_back(stream.value("codec_name", ""));
        }
    }
    if (!video || info.width <= 0 || info.height <= 0)
        throw VideoError{path + ": holds no video stream"};
    if (info.frameCount <= 0 && probe.contains("format") && probe["format"].contains("duration")) {
        try {
            const double duration = std::stod(probe["format"]["duration"].get<std::string>());
            info.frameCount = std::llround(duration * info.fps);
        } catch (const std::exception&) {
        }
    }
    return info;
}

FrameReader::FrameReader(const std::string& path, const VideoInfo& info,
                         const std::string& sequenceRate)
    : path_(path), info_(info) {
    std::vector<std::string> args = {ffmpegProgram(), "-v", "error", "-nostdin", "-noautorotate"};
    if (isImageSequence(path)) {
        args.push_back("-framerate");
        args.push_back(sequenceRate);
    }
    // One raw frame per decoded frame: no frames dropped or repeated for a constant rate.
    for (const char* a : {"-i", path.c_str(), "-map", "0:v:0", "-fps_mode", "passthrough"})
        args.push_back(a);
    if (!info.uprightFilter.empty()) {
        args.push_back("-vf");
        args.push_back(info.uprightFilter);
    }
    for (const char* a : {"-f", "rawvideo", "-pix_fmt", "bgr24", "-"}) args.push_back(a);
    ffmpeg_ = std::make_unique<ChildProcess>(args, ChildProcess::Pipe::FromChild);
}

cv::Mat FrameReader::next() {
    cv::Mat frame(info_.height, info_.width, CV_8UC3);
    if (!ffmpeg_->readExactly(frame.data, frame.total() * 3)) return {};
    return frame;
}

void FrameReader::finish() {
    ffmpeg_->closePipe();
    if (ffmpeg_->wait() != 0)
        throw VideoError{path_ + ": ffmpeg could not decode it:\n" + ffmpeg_->errorTail()};
}

void FrameReader::stop() { ffmpeg_->terminate(); }

std::string audioCodecFor(const std::string& outputPath, const std::string& inputCodec) {
    const std::string ext = lowerExtension(outputPath);
    const auto takes = [&](std::initializer_list<const char*> codecs) {
        return std::any_of(codecs.begin(), codecs.end(),
                           [&](const char* c) { return inputCodec == c; });
    };
    if (ext == ".mkv" || ext == ".nut") return "copy";
    if (ext == ".mp4" || ext == ".mov" || ext == ".m4v")
        return takes({"aac", "mp3", "alac", "ac3", "eac3", "opus"}) ? "copy" : "aac";
    if (ext == ".webm") return takes({"opus", "vorbis"}) ? "copy" : "libopus";
    if (ext == ".avi") return takes({"mp3", "ac3", "pcm_s16le"}) ? "copy" : "libmp3lame";
    if (ext == ".ogv" || ext == ".ogg")
        return takes({"vorbis", "opus", "flac"}) ? "copy" : "libvorbis";
    return "aac";
}

std::string setSampleAspectFilter(const std::string& ratio) {
    std::string filter = "setsar=" + ratio;
    std::replace(filter.begin(), filter.end(), ':', '/');
    return filter;
}

FrameWriter::FrameWriter(const std::string& output, const std::string& shownAs,
                         const std::string& input, const VideoInfo& info, long long start,
                         long long count, long long firstNumber, const Encoding& encoding)
    : output_(output), shownAs_(shownAs) {
    std::vector<std::string> args = {ffmpegProgram(),
                                     "-v",
                                     "error",
                                     "-nostdin",
                                     "-y",
                                     "-f",
                                     "rawvideo",
                                     "-pix_fmt",
                                     "bgr24",
                                     "-s",
                                     fmt::format("{}x{}", info.width, info.height),
                                     "-r",
                                     info.frameRate,
                                     "-i",
                                     "-"};
    const bool sequence = isImageSequence(output);
    const bool audio = !info.audioCodecs.empty() && !sequence;
    if (audio) {
        // The audio of the same stretch of the input.
        if (start > 0) {
            args.push_back("-ss");
            args.push_back(fmt::format("{:.6f}", start / info.fps));
        }
        if (count >= 0) {
            args.push_back("-t");
            args.push_back(fmt::format("{:.6f}", count / info.fps));
        }
        args.push_back("-i");
        args.push_back(input);
    }
    for (const char* a : {"-map", "0:v:0"}) args.push_back(a);
    if (audio) {
        // Each stream keeps its codec if the container takes it, else is re-encoded.
        args.push_back("-map");
        args.push_back("1:a");
        for (std::size_t i = 0; i < info.audioCodecs.size(); ++i) {
            args.push_back(fmt::format("-c:a:{}", i));
            args.push_back(audioCodecFor(output, info.audioCodecs[i]));
        }
    }
    args.push_back("-vf");
    args.push_back(setSampleAspectFilter(info.sampleAspect));
    const std::string ext = lowerExtension(output);
    if (sequence) {
        args.push_back("-start_number");
        args.push_back(std::to_string(firstNumber));
    } else if (ext == ".mp4" || ext == ".mov" || ext == ".mkv" || ext == ".m4v") {
        // H.264 at a high quality; 4:2:0 needs even sizes, odd ones keep full chroma.
        const bool even = info.width % 2 == 0 && info.height % 2 == 0;
        for (const std::string& a :
             {std::string("-c:v"), std::string("libx264"), std::string("-crf"),
              std::to_string(encoding.crf), std::string("-preset"), encoding.preset})
            args.push_back(a);
        args.push_back("-pix_fmt");
        args.push_back(even ? "yuv420p" : "yuv444p");
    }
    args.push_back(output);
    ffmpeg_ = std::make_unique<ChildProcess>(args, ChildProcess::Pipe::ToChild);
}

bool FrameWriter::write(const cv::Mat& frame) {
    CV_Assert(frame.isContinuous() && frame.type() == CV_8UC3);
    return ffmpeg_->writeAll(frame.data, frame.total() * 3);
}

void FrameWriter::finish() {
    ffmpeg_->closePipe();
    if (ffmpeg_->wait() != 0) {
        // ffmpeg's own words name the temporary file: name the user's file instead.
        std::string tail = ffmpeg_->errorTail();
        for (auto at = tail.find(output_); at != std::string::npos;
             at = tail.find(output_, at + shownAs_.size()))
            tail.replace(at, output_.size(), shownAs_);
        throw VideoError{shownAs_ + ": ffmpeg could not write it:\n" + tail};
    }
}

}  // namespace drawlet::cli
