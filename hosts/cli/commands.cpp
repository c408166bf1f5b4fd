#include "cli/commands.h"

#include <fmt/format.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/demo_scene.h"
#include "cli/progress.h"
#include "cli/settings_file.h"
#include "cli/video_io.h"
#include "kit/filter_host.h"

namespace drawlet::cli {

namespace fs = std::filesystem;

namespace {

// A failure with a message for the user and the exit code it ends with.
struct CliError {
    std::string message;
    int exitCode;
};

std::string executableDirectory() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

std::string modulePathOr(const std::string& given) {
    return given.empty() ? executableDirectory() + "/Drawlet.auf" : given;
}

std::unique_ptr<kit::FilterHost> loadModule(const std::string& path) {
    try {
        return std::make_unique<kit::FilterHost>(path);
    } catch (const kit::HostError& e) {
        throw CliError{e.what(), kExitFailure};
    }
}

// The values a command renders with: the settings file first, then every --set in order.
struct Settings {
    std::string module;
    std::string file;
    std::vector<std::string> assignments;
};

void applySetting(kit::FilterHost& host, const std::string& assignment) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
        throw CliError{"--set " + assignment + ": expected NAME=VALUE", kExitUsage};
    const std::string name = assignment.substr(0, eq);
    const kit::Parameter* p = host.find(name);
    if (p == nullptr)
        throw CliError{"--set " + assignment + ": no slider or check box is called \"" + name +
                           "\" (see drawlet params)",
                       kExitUsage};
    host.setValue(*p, parseValue(*p, assignment.substr(eq + 1), "--set " + assignment));
}

std::unique_ptr<kit::FilterHost> configuredHost(const Settings& settings) {
    auto host = loadModule(modulePathOr(settings.module));
    try {
        if (!settings.file.empty()) applySettingsFile(*host, settings.file);
        for (const std::string& s : settings.assignments) applySetting(*host, s);
    } catch (const SettingsError& e) {
        throw CliError{e.message, kExitUsage};
    }
    // As a settings window would after a change: keeps the interpolation boxes exclusive.
    host->update();
    return host;
}

void printParameters(kit::FilterHost& host, const std::string& format, std::ostream& out) {
    if (format == "tsv") {
        for (const kit::Parameter& p : host.parameters()) {
            if (p.kind == kit::ParameterKind::Slider)
                out << "slider\t" << p.index << '\t' << p.name << '\t' << p.defaultValue << '\t'
                    << p.minimum << '\t' << p.maximum << '\t' << p.alias << '\n';
            else
                out << "check\t" << p.index << '\t' << p.name << '\t' << p.defaultValue << '\t'
                    << p.alias << '\n';
        }
        return;
    }
    out << host.displayName() << " (" << host.information() << ")\n\nSliders:\n";
    out << "  index    value  default      min      max  alias             name\n";
    for (const kit::Parameter& p : host.parameters())
        if (p.kind == kit::ParameterKind::Slider)
            out << fmt::format("{:>7}{:>9}{:>9}{:>9}{:>9}  {:<17} {}\n", p.index, host.value(p),
                               p.defaultValue, p.minimum, p.maximum, p.alias, p.name);
    out << "\nCheck boxes:\n  index    value  default  alias             name\n";
    for (const kit::Parameter& p : host.parameters())
        if (p.kind == kit::ParameterKind::Check)
            out << fmt::format("{:>7}{:>9}{:>9}  {:<17} {}\n", p.index,
                               host.value(p) ? "on" : "off", p.defaultValue ? "on" : "off", p.alias,
                               p.name);
}

// The output is written under a temporary name in its folder and renamed at the end, so a
// failed render never leaves a complete-looking file behind.
class PendingOutput {
  public:
    PendingOutput(const std::string& output, bool overwrite) : target_(output) {
        const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
        if (!fs::is_directory(folder))
            throw CliError{output + ": the folder " + folder.string() + " does not exist",
                           kExitFailure};
        sequence_ = isImageSequence(output);
        if (!sequence_ && fs::exists(target_) && !overwrite)
            throw CliError{output + ": already exists (use -y to overwrite)", kExitFailure};
        overwrite_ = overwrite;
        if (sequence_) {
            temporary_ = folder / fmt::format(".drawlet-part-{}", getpid());
            fs::create_directories(temporary_);
            path_ = (temporary_ / target_.filename()).string();
        } else {
            temporary_ = folder / fmt::format(".{}.part-{}{}", target_.stem().string(), getpid(),
                                              target_.extension().string());
            path_ = temporary_.string();
        }
    }
    ~PendingOutput() {
        std::error_code ec;
        if (!committed_) fs::remove_all(temporary_, ec);
    }
    const std::string& path() const { return path_; }

    void commit() {
        std::error_code ec;
        if (!sequence_) {
            fs::rename(temporary_, target_, ec);
            if (ec)
                throw CliError{target_.string() + ": cannot write: " + ec.message(), kExitFailure};
        } else {
            const fs::path folder = temporary_.parent_path();
            if (!overwrite_)
                for (const auto& entry : fs::directory_iterator(temporary_))
                    if (fs::exists(folder / entry.path().filename()))
                        throw CliError{(folder / entry.path().filename()).string() +
                                           ": already exists (use -y to overwrite)",
                                       kExitFailure};
            for (const auto& entry : fs::directory_iterator(temporary_)) {
                fs::rename(entry.path(), folder / entry.path().filename(), ec);
                if (ec)
                    throw CliError{entry.path().string() + ": cannot move: " + ec.message(),
                                   kExitFailure};
            }
            fs::remove(temporary_, ec);
        }
        committed_ = true;
    }

  private:
    fs::path target_;
    fs::path temporary_;
    std::string path_;
    bool sequence_ = false;
    bool overwrite_ = false;
    bool committed_ = false;
};

void writeImage(const cv::Mat& image, const std::string& output, bool overwrite) {
    PendingOutput pending(output, overwrite);
    bool written = false;
    try {
        written = cv::imwrite(pending.path(), image);
    } catch (const cv::Exception&) {
        written = false;
    }
    if (!written)
        throw CliError{output + ": cannot write the image (unknown format or not writable)",
                       kExitFailure};
    pending.commit();
}

cv::Mat readImage(const std::string& input) {
    if (!fs::exists(input)) throw CliError{input + ": no such file", kExitFailure};
    cv::Mat image;
    try {
        image = cv::imread(input, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        image.release();
    }
    if (image.empty())
        throw CliError{input + ": cannot read it as an image (unreadable or not an image)",
                       kExitFailure};
    return image;
}

// Message boxes of the module go to stderr, as "caption: text".
void reportMessagesTo(kit::FilterHost& host, std::ostream& err) {
    host.onMessageBox([&err](const kit::MessageBoxCall& call) {
        err << call.caption << ": " << call.text << '\n';
    });
}

cv::Mat renderFrame(kit::FilterHost& host, const cv::Mat& input, long long frameNumber,
                    const std::string& what) {
    std::optional<cv::Mat> result = host.processBgr(input, static_cast<int>(frameNumber));
    if (!result)
        throw CliError{what +
                           ": the filter left the frame unprocessed (see the message above, "
                           "or check the pattern files beside " +
                           host.modulePath() + ")",
                       kExitFailure};
    return *result;
}

// A bounded queue between the decoding, filtering and encoding threads.
template <typename T>
class Channel {
  public:
    explicit Channel(std::size_t capacity) : capacity_(capacity) {}
    bool push(T item) {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return items_.size() < capacity_ || closed_; });
        if (closed_) return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }
    std::optional<T> pop() {
        std::unique_lock lock(mutex_);
        notEmpty_.wait(lock, [&] { return !items_.empty() || closed_; });
        if (items_.empty()) return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return item;
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        notEmpty_.notify_all();
        notFull_.notify_all();
    }

  private:
    std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable notEmpty_, notFull_;
    std::deque<T> items_;
    bool closed_ = false;
};

struct NumberedFrame {
    long long number;
    cv::Mat image;
};

struct RenderOptions {
    long long start = 0;
    long long frames = -1;  // -1: to the end
    std::string sequenceRate = "25";
    bool quiet = false;
    bool overwrite = false;
    Encoding encoding;
};

// Decoding, filtering and encoding run at once: the filter on this thread, ffmpeg's two
// ends on their own, with a few frames queued between them.
void renderVideo(kit::FilterHost& host, const std::string& input, const std::string& output,
                 const RenderOptions& options, std::ostream& err) {
    if (!isImageSequence(input) && !fs::exists(input))
        throw CliError{input + ": no such file", kExitFailure};
    if (isStillImage(output))
        throw CliError{output +
                           ": a video needs a video file or an image sequence such as "
                           "frames/%05d.png as output",
                       kExitUsage};
    VideoInfo info;
    try {
        info = probeVideo(input, options.sequenceRate);
    } catch (const VideoError& e) {
        throw CliError{e.message, kExitFailure};
    }
    long long total = options.frames;
    if (total < 0 && info.frameCount > 0) total = std::max(0LL, info.frameCount - options.start);
    PendingOutput pending(output, options.overwrite);

    Channel<NumberedFrame> decoded(4), filtered(4);
    std::exception_ptr readerError, writerError;
    std::optional<FrameReader> reader;
    std::optional<FrameWriter> writer;
    try {
        reader.emplace(input, info, options.sequenceRate);
        writer.emplace(pending.path(), output, input, info, options.start, options.frames,
                       options.start, options.encoding);
    } catch (const VideoError& e) {
        throw CliError{e.message, kExitFailure};
    }
    std::thread readerThread([&] {
        try {
            const long long end = options.frames < 0 ? -1 : options.start + options.frames;
            bool complete = false;
            for (long long n = 0; end < 0 || n < end; ++n) {
                cv::Mat frame = reader->next();
                if (frame.empty()) {
                    complete = true;
                    break;
                }
                if (n < options.start) continue;
                if (!decoded.push({n, std::move(frame)})) break;
            }
            // The whole input read: ffmpeg's status tells whether it decoded cleanly. Stopped
            // before the end (a range, or a failure downstream): it is stopped too.
            if (complete)
                reader->finish();
            else
                reader->stop();
        } catch (...) {
            readerError = std::current_exception();
        }
        decoded.close();
    });
    std::thread writerThread([&] {
        try {
            bool accepted = true;
            while (std::optional<NumberedFrame> item = filtered.pop())
                if (!(accepted = writer->write(item->image))) break;
            filtered.close();
            writer->finish();
            if (!accepted) throw VideoError{output + ": ffmpeg stopped taking frames"};
        } catch (...) {
            writerError = std::current_exception();
        }
        filtered.close();
        decoded.close();
    });

    Progress progress(err, total, options.quiet, isatty(STDERR_FILENO) == 1);
    long long done = 0;
    std::exception_ptr filterError;
    try {
        while (std::optional<NumberedFrame> item = decoded.pop()) {
            cv::Mat out = renderFrame(host, item->image, item->number,
                                      fmt::format("{} frame {}", input, item->number));
            if (!filtered.push({item->number, std::move(out)})) break;
            progress.update(++done);
        }
    } catch (...) {
        filterError = std::current_exception();
    }
    decoded.close();
    filtered.close();
    readerThread.join();
    writerThread.join();
    if (filterError) std::rethrow_exception(filterError);
    for (const std::exception_ptr& e : {writerError, readerError}) {
        if (!e) continue;
        try {
            std::rethrow_exception(e);
        } catch (const VideoError& v) {
            throw CliError{v.message, kExitFailure};
        }
    }
    if (done == 0)
        throw CliError{fmt::format("{}: no frames to render (the input has {} from frame 0; "
                                   "--start was {})",
                                   input, info.frameCount, options.start),
                       kExitFailure};
    progress.finish(done);
    pending.commit();
}

struct CommonOptions {
    Settings settings;
    bool overwrite = false;
    bool quiet = false;
};

void addCommonOptions(CLI::App& command, CommonOptions& options) {
    command.add_option("--module", options.settings.module,
                       "the filter module file (default: Drawlet.auf beside this program)");
    command.add_option("--settings", options.settings.file,
                       "a JSON file of name: value (names, aliases or indices as keys)");
    command
        .add_option("--set", options.settings.assignments,
                    "NAME=VALUE: a slider or check box by display name, alias or index; "
                    "check boxes take on/off/1/0; later ones win")
        ->type_name("NAME=VALUE");
    command.add_flag("-y,--overwrite", options.overwrite, "overwrite an existing output");
    command.add_flag("-q,--quiet", options.quiet, "no progress line");
}

// The demo: the built-in scene through the five modes and mask mode on one sheet, and a
// short animated clip.
cv::Mat labelled(const cv::Mat& image, const std::string& label) {
    cv::Mat tile;
    cv::copyMakeBorder(image, tile, 0, 28, 0, 0, cv::BORDER_CONSTANT, cv::Scalar::all(255));
    cv::putText(tile, label, {8, image.rows + 20}, cv::FONT_HERSHEY_SIMPLEX, 0.55,
                cv::Scalar::all(30), 1, cv::LINE_AA);
    return tile;
}

void runDemo(kit::FilterHost& host, const std::string& sheetPath, const std::string& clipPath,
             const CommonOptions& options, std::ostream& out, std::ostream& err) {
    const cv::Mat scene = drawDemoScene(480, 320);
    const kit::Parameter& mode = *host.find("mode");
    const kit::Parameter& mask = *host.find("mask");
    const int userMode = host.value(mode), userMask = host.value(mask);
    std::vector<cv::Mat> tiles = {labelled(scene, "original")};
    const char* names[] = {"mode 1: scratchboard", "mode 2: white ink on black",
                           "mode 3: pen and wash", "mode 4: pencil on white",
                           "mode 5: colour hatching"};
    for (int m = 1; m <= 5; ++m) {
        host.setValue(mode, m);
        host.setValue(mask, 0);
        tiles.push_back(labelled(renderFrame(host, scene, 0, "demo scene"), names[m - 1]));
    }
    host.setValue(mode, 3);
    host.setValue(mask, 1);
    tiles.push_back(labelled(renderFrame(host, scene, 0, "demo scene"), "mask (mode 3)"));
    tiles.push_back(cv::Mat(tiles[0].size(), CV_8UC3, cv::Scalar::all(255)));
    cv::Mat top, bottom, sheet;
    cv::hconcat(std::vector<cv::Mat>(tiles.begin(), tiles.begin() + 4), top);
    cv::hconcat(std::vector<cv::Mat>(tiles.begin() + 4, tiles.end()), bottom);
    cv::vconcat(top, bottom, sheet);
    writeImage(sheet, sheetPath, options.overwrite);
    out << "wrote " << sheetPath << '\n';

    if (clipPath.empty()) return;
    host.setValue(mode, userMode);
    host.setValue(mask, userMask);
    // A short clip: the scene moving, rendered frame by frame into the clip.
    VideoInfo info;
    info.width = 480;
    info.height = 320;
    constexpr int kFrames = 75;
    PendingOutput pending(clipPath, options.overwrite);
    try {
        FrameWriter writer(pending.path(), clipPath, "", info, 0, kFrames, 0);
        Progress progress(err, kFrames, options.quiet, isatty(STDERR_FILENO) == 1);
        for (int n = 0; n < kFrames; ++n) {
            const cv::Mat frame =
                renderFrame(host, drawDemoScene(480, 320, n / (kFrames - 1.0)), n, "demo clip");
            if (!writer.write(frame)) break;
            progress.update(n + 1);
        }
        writer.finish();
        progress.finish(kFrames);
    } catch (const VideoError& e) {
        throw CliError{e.message, kExitFailure};
    }
    pending.commit();
    out << "wrote " << clipPath << '\n';
}

}  // namespace

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    // The library's own warnings (a pattern file it could not open) would repeat what the
    // filter reports itself.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);

    CLI::App app{
        "drawlet: turns pictures and videos into hand-drawn-looking ones through "
        "Drawlet.auf"};
    app.require_subcommand(1);

    CommonOptions paramsOptions;
    std::string paramsFormat = "text", saveFile;
    CLI::App* params =
        app.add_subcommand("params", "list the sliders and check boxes, with aliases");
    params->add_option("--format", paramsFormat, "text or tsv")
        ->check(CLI::IsMember({"text", "tsv"}));
    params->add_option("--save", saveFile,
                       "write the values (defaults, --settings, --set) as JSON");
    addCommonOptions(*params, paramsOptions);

    CommonOptions renderOptions;
    RenderOptions video;
    std::string input, output;
    int frameNumber = 0;
    CLI::App* render = app.add_subcommand(
        "render",
        "render an image, a video or an image sequence (frames/%05d.png) through the filter");
    render->add_option("INPUT", input, "input image, video or image sequence")->required();
    render->add_option("-o,--output", output, "output image, video or image sequence")->required();
    render->add_option("--frame", frameNumber,
                       "frame number given to the filter for an image (default 0)");
    render->add_option("--start", video.start, "first frame of a video to render (0-based)")
        ->check(CLI::NonNegativeNumber);
    render->add_option("--frames", video.frames, "number of frames to render (default: all)")
        ->check(CLI::NonNegativeNumber);
    render->add_option("--rate", video.sequenceRate,
                       "frame rate of an image sequence input (default 25)");
    render
        ->add_option("--preset", video.encoding.preset,
                     "x264 preset of .mp4/.mov/.mkv outputs (default ultrafast; slower ones give "
                     "smaller files)")
        ->check(CLI::IsMember({"ultrafast", "superfast", "veryfast", "faster", "fast", "medium",
                               "slow", "slower", "veryslow"}));
    render->add_option("--crf", video.encoding.crf, "x264 quality, 0 (lossless) to 51 (default 20)")
        ->check(CLI::Range(0, 51));
    addCommonOptions(*render, renderOptions);

    CommonOptions demoOptions;
    std::string demoOutput = "drawlet-demo.png", demoClip;
    bool noClip = false;
    CLI::App* demo =
        app.add_subcommand("demo", "render the built-in scene in every mode, and a clip");
    demo->add_option("-o,--output", demoOutput, "contact sheet PNG (default drawlet-demo.png)");
    demo->add_option("--clip", demoClip, "the animated clip (default: the sheet's name with .mp4)");
    demo->add_flag("--no-clip", noClip, "only the contact sheet");
    addCommonOptions(*demo, demoOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kExitOk : kExitUsage;
    }

    try {
        if (*params) {
            auto host = configuredHost(paramsOptions.settings);
            if (!saveFile.empty()) {
                // Like a render's output: an existing file is kept unless -y is given, and
                // a failed write leaves it as it was.
                PendingOutput pending(saveFile, paramsOptions.overwrite);
                try {
                    saveSettingsFile(*host, pending.path());
                } catch (const SettingsError&) {
                    throw CliError{saveFile + ": cannot write the settings file", kExitFailure};
                }
                pending.commit();
                out << "wrote " << saveFile << '\n';
            } else {
                printParameters(*host, paramsFormat, out);
            }
        } else if (*render) {
            video.quiet = renderOptions.quiet;
            video.overwrite = renderOptions.overwrite;
            const bool still = isStillImage(input);
            if (still && (video.start != 0 || video.frames >= 0))
                throw CliError{"--start and --frames are for videos; an image takes --frame",
                               kExitUsage};
            const cv::Mat image = still ? readImage(input) : cv::Mat();
            auto host = configuredHost(renderOptions.settings);
            reportMessagesTo(*host, err);
            if (still)
                writeImage(renderFrame(*host, image, frameNumber, input), output,
                           renderOptions.overwrite);
            else
                renderVideo(*host, input, output, video, err);
        } else if (*demo) {
            auto host = configuredHost(demoOptions.settings);
            reportMessagesTo(*host, err);
            if (demoClip.empty() && !noClip)
                demoClip = (fs::path(demoOutput).parent_path() /
                            (fs::path(demoOutput).stem().string() + ".mp4"))
                               .string();
            runDemo(*host, demoOutput, noClip ? "" : demoClip, demoOptions, out, err);
        }
    } catch (const CliError& e) {
        err << "drawlet: " << e.message << '\n';
        return e.exitCode;
    }
    return kExitOk;
}

}  // namespace drawlet::cli
