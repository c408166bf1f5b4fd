// drawlet render: a picture, a video or an image sequence through the filter.
#include <fmt/format.h>

#include <filesystem>
#include <optional>

#include "cli/alpha_matte.h"
#include "cli/command.h"
#include "cli/options.h"
#include "cli/pending_output.h"
#include "cli/render_video.h"
#include "kit/error.h"
#include "media/images.h"
#include "media/output.h"
#include "media/paths.h"
#include "media/rates.h"
#include "media/reader.h"
#include "run/boil_rate.h"
#include "run/followed_frames.h"
#include "run/frame_source.h"
#include "run/signals.h"

namespace drawlet::cli {

namespace {

namespace fs = std::filesystem;

void checkInput(const std::string& input) {
    if (media::isStdio(input) || media::isImageSequence(input)) return;
    std::error_code ec;
    if (fs::is_directory(input, ec))
        throw Error(input +
                    ": is a folder; give a picture, a video, or an image sequence such as " +
                    (fs::path(input) / "%05d.png").string());
    if (!fs::exists(input, ec)) throw Error(input + ": no such file");
}

class RenderCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        CLI::App* c = parent.add_subcommand(
            "render", "render a picture, a video or an image sequence (frames/%05d.png)");
        c->add_option("INPUT", job_.input, "picture, video, image sequence, or - for stdin")
            ->required();
        c->add_option("-o,--output", job_.output, "picture, video, image sequence, or - for stdout")
            ->required();
        c->add_option("--frame", frame_,
                      "the frame number given to the filter for a picture; for a video, the "
                      "frame written into a picture output (default 0)")
            ->check(CLI::NonNegativeNumber);
        c->add_option("--start", job_.start, "first frame of a video to render (0-based)")
            ->check(CLI::NonNegativeNumber);
        c->add_option("--frames", job_.frames, "number of frames to render (default: all)")
            ->check(CLI::NonNegativeNumber);
        c->add_option("--rate", job_.sequenceRate,
                      "frame rate of an image sequence input (default 25; 30000/1001 works)")
            ->check(CLI::Validator(
                [](std::string& text) {
                    return media::tryParseRate(text) ? std::string() : "not a frame rate: " + text;
                },
                "RATE", "frame rate"));
        c->add_option("--start-number", job_.sequenceStart,
                      "first file number of an image sequence input (default: the smallest "
                      "there is)")
            ->check(CLI::NonNegativeNumber);
        c->add_flag("--resume", job_.resume,
                    "into an image sequence: keep the frames already there and render the "
                    "others (continues a render that was stopped)");
        addMaxPixelsOption(*c, job_.maxPixels);
        c->add_option("--codec", job_.encode.codec,
                      "video encoder (FFmpeg's name: libx264, libvpx-vp9, ffv1, prores_ks, ...)");
        c->add_option("--pix-fmt", job_.encode.pixelFormat,
                      "pixel format (default: yuv420p for H.264 and VP9; e.g. yuv420p10le)");
        c->add_option("--crf", job_.encode.crf,
                      fmt::format("quality, {} (best) to {}, H.264 to {} (default {} for H.264, "
                                  "{} for VP9)",
                                  media::kCrfBest, media::kCrfWorst, media::kX264CrfWorst,
                                  media::kDefaultX264Crf, media::kDefaultVp9Crf))
            ->check(CLI::Range(media::kCrfBest, media::kCrfWorst));
        c->add_option("--preset", job_.encode.preset,
                      fmt::format("encoder speed (H.264: ultrafast..veryslow, default {}; VP9: "
                                  "realtime, good or best)",
                                  media::kDefaultX264Preset));
        c->add_option("--encoder-opt", encoderOptions_,
                      "KEY=VALUE: an option of the encoder (repeatable)")
            ->type_name("KEY=VALUE");
        c->add_option("--format", job_.encode.format,
                      "output format by FFmpeg's muxer name (for - or a name without extension)");
        c->add_option("--boil-rate", job_.boilRate,
                      "how many times a second the hatching's jitter changes, whatever the "
                      "frame rate (sets update-interval from the video's rate; 0: never)")
            ->check(CLI::NonNegativeNumber);
        c->add_option("--alpha", alpha_,
                      "mask: the filter's gray line-and-shading mask as the output's alpha "
                      "channel (PNG, VP9 in .webm, ProRes 4444 in .mov)")
            ->check(CLI::IsMember({"mask"}));
        addFilterOptions(*c, filter_);
        addFollowMotionFlag(*c, filter_);
        addOutputFlags(*c, flags_);
        return c;
    }

    void run(const Io& io) override {
        job_.overwrite = flags_.overwrite;
        job_.quiet = flags_.quiet;
        for (const std::string& kv : encoderOptions_) {
            const auto eq = kv.find('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError("--encoder-opt " + kv + ": expected KEY=VALUE");
            job_.encode.encoderOptions.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
        }
        refuseWritingOverInputs(job_.output, {job_.input});
        checkUsage();
        const bool stillIn = media::isStillImage(job_.input);
        const bool stillOut = media::isStillImage(job_.output);
        job_.encode.quiet = job_.quiet;
        media::checkOutputEncoding(job_.output, job_.encode);
        checkInput(job_.input);
        run::RunSettings runSettings;
        auto host = configuredHost(filter_, io.err, &runSettings);
        // A picture is one frame: every frame of it is a tick, drawn as it is without.
        job_.followMotion = runSettings.followMotion && !stillIn;
        if (job_.boilRate >= 0 && setsUpdateInterval(*host))
            throw UsageError(
                "--boil-rate sets the update interval: give it or --set update-interval, not "
                "both");
        job_.alphaMask = alpha_ == "mask";
        if (job_.alphaMask) prepareMatteOutput(*host, job_.output, job_.encode);
        if (stillIn)
            renderPicture(*host, io);
        else if (stillOut)
            renderOneFrame(*host, io);
        else
            renderVideo(*host, job_, io);
    }

  private:
    void checkUsage() const {
        const bool stillIn = media::isStillImage(job_.input);
        const bool stillOut = media::isStillImage(job_.output);
        if (stillIn && (job_.start != 0 || job_.frames >= 0))
            throw UsageError("--start and --frames are for videos; a picture takes --frame");
        if (!stillIn && !stillOut && frame_ != 0)
            throw UsageError("--frame is for pictures; a video takes --start and --frames");
        if (!stillIn && stillOut && (job_.start != 0 || job_.frames >= 0))
            throw UsageError("a picture output holds one frame: choose it with --frame");
        if (stillIn && job_.boilRate >= 0)
            throw UsageError(
                "--boil-rate is for videos: a picture has no frame rate (set update-interval)");
        if (job_.frames == 0) throw UsageError("--frames 0: there is nothing to render");
        if (job_.sequenceStart >= 0 && !media::isImageSequence(job_.input))
            throw UsageError("--start-number is for image-sequence inputs such as frames/%05d.png");
        if (job_.resume && (stillIn || !media::isImageSequence(job_.output)))
            throw UsageError(
                "--resume is for videos and image sequences rendered into an image sequence");
        if (job_.resume && job_.overwrite)
            throw UsageError("--resume keeps the frames there and -y overwrites them: give one");
    }

    bool setsUpdateInterval(const kit::FilterHost& host) const {
        const kit::Parameter* interval = &host.parameter(kit::alias::kUpdateInterval);
        for (const std::string& assignment : filter_.assignments)
            if (host.find(assignment.substr(0, assignment.find('='))) == interval) return true;
        return false;
    }

    // A picture in: a picture out, a numbered file of a sequence, or a one-frame video.
    void renderPicture(kit::FilterHost& host, const Io& io) {
        if (media::isImageSequence(job_.output))
            framesAlreadyThere(job_.output, frame_, 1, job_.overwrite, false);
        const media::Picture picture = media::readPicture(job_.input, job_.maxPixels);
        MattedFrame drawn;
        if (job_.alphaMask)
            drawn = renderWithMatte(host, picture.bgr, picture.alpha, frame_, job_.input);
        else
            drawn = {run::renderFrame(host, picture.bgr, frame_, job_.input), picture.alpha};
        PendingOutput pending(job_.output, job_.overwrite, media::isImageSequence(job_.output));
        media::OutputVideo video;
        video.width = drawn.bgr.cols;
        video.height = drawn.bgr.rows;
        video.alpha = !drawn.alpha.empty();
        media::OutputOptions options;
        options.path = pending.path();
        options.shownAs = job_.output;
        options.encode = job_.encode;
        options.stop = &run::stopFlag();
        options.replace = job_.overwrite;
        options.writing = run::setUrgentCleanup;
        auto output = media::openOutput(video, options);
        for (const std::string& note : output->notes()) io.err << "drawlet: note: " << note << '\n';
        output->write(drawn.bgr, drawn.alpha.empty() ? nullptr : &drawn.alpha, 0, frame_);
        output->finish({}, {});
        pending.commit();
    }

    void applyBoilRate(kit::FilterHost& host, media::FrameRate rate, const Io& io) const {
        if (job_.boilRate < 0) return;
        if (const std::string note = run::applyBoilRate(host, job_.boilRate, rate); !note.empty())
            io.err << "drawlet: note: " << note << '\n';
    }

    // A video in, a picture out: frame --frame of the video, as a render of the whole video
    // draws it.
    void renderOneFrame(kit::FilterHost& host, const Io& io) {
        std::optional<run::FollowedFrames> followed;
        run::SourceFrame frame;
        if (job_.followMotion) {
            followed.emplace(job_.input, readerOptions(job_));
            applyBoilRate(host, followed->frameRate(), io);
        } else {
            frame = run::readSourceFrame(job_.input, frame_, readerOptions(job_));
            applyBoilRate(host, frame.frameRate, io);
        }
        const DrawletPatternCoordinates* coordinates = nullptr;
        if (followed) {
            const int interval = host.value(host.parameter(kit::alias::kUpdateInterval));
            const auto at =
                followed->at(frame_, interval, [] { return run::stopFlag().load() == 0; });
            if (!at) throw Error("stopped");
            frame = *at->source;
            frame.bgr = *at->picture;
            coordinates = at->coordinates;
        }
        const std::string what = fmt::format("{} frame {}", job_.input, frame.index);
        MattedFrame drawn;
        if (job_.alphaMask)
            drawn = renderWithMatte(host, frame.bgr, frame.alpha, frame.index, what, coordinates);
        else
            drawn = {run::renderFrame(host, frame.bgr, frame.index, what, coordinates),
                     frame.alpha};
        PendingOutput pending(job_.output, job_.overwrite, false);
        const bool alpha = !drawn.alpha.empty() && media::imageKeepsAlpha(job_.output);
        media::writePicture(pending.path(), job_.output, drawn.bgr, alpha ? &drawn.alpha : nullptr);
        pending.commit();
    }

    VideoJob job_;
    long long frame_ = 0;
    std::string alpha_;
    std::vector<std::string> encoderOptions_;
    FilterOptions filter_;
    OutputFlags flags_;
};

}  // namespace

std::unique_ptr<Command> makeRenderCommand() { return std::make_unique<RenderCommand>(); }

}  // namespace drawlet::cli
