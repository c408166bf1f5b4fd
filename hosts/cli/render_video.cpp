#include "cli/render_video.h"

#include <fmt/format.h>
#include <tbb/parallel_pipeline.h>

#include <memory>
#include <optional>
#include <set>

#include "cli/alpha_matte.h"
#include "cli/one_arena.h"
#include "cli/part_digest.h"
#include "cli/pending_output.h"
#include "cli/progress.h"
#include "kit/error.h"
#include "kit/memory.h"
#include "media/output.h"
#include "media/part_tags.h"
#include "media/paths.h"
#include "media/reader.h"
#include "media/stretch.h"
#include "run/boil_rate.h"
#include "run/configured_host.h"
#include "run/motion.h"
#include "run/signals.h"

namespace drawlet::cli {

namespace {

// Standard input cannot seek: an MP4 or MOV whose index follows its pictures reads as empty.
constexpr const char* kPipeHint =
    " (read from a pipe, an MP4 or MOV file must have its index first: give the file's name, "
    "or write it with ffmpeg's -movflags +faststart)";

// Frames in flight between decoding, filtering and encoding.
constexpr std::size_t kFramesInFlight = 4;

struct Item {
    media::StretchItem read;  // no frame in the item that ends the stretch
    MattedFrame drawn;
};
// The pipeline passes pointers into a ring of items owned here: a stopped pipeline drops the
// pointers it holds, and the ring frees the items. Item n lives in slot n % kFramesInFlight,
// free again once item n - kFramesInFlight has left the last stage, in order.
using ItemPtr = Item*;

// The positions at which the frame of the item in the same slot samples the hatching, when
// the render follows the motion.
struct Followed {
    run::FollowedFrame positions;
    DrawletPatternCoordinates coordinates{};
    bool on = false;  // false on a tick
};

// Frames before the run's first frame that a part feeds the follower, beyond which a note
// says why the part takes a while to start.
constexpr long long kQuietLeadIn = 100;

// What a part (--start or --frames, into a video file) records for join; none for a whole
// render, an image sequence, or an input that is not a file.
std::optional<media::PartRecord> partRecordOf(const kit::FilterHost& host, const VideoJob& job) {
    if ((job.start == 0 && job.frames < 0) || media::isImageSequence(job.output))
        return std::nullopt;
    const std::string source = media::sourceFingerprint(job.input);
    if (source.empty()) return std::nullopt;
    return media::PartRecord{source, job.start, -1, media::partDigest(partDescription(host, job))};
}

void warnAboutInput(const media::VideoReader& reader, const Io& io) {
    const media::ReadReport report = reader.report();
    const long long expected = reader.info().frameCount;
    if (report.endedEarly)
        io.err << "drawlet: warning: " << reader.path() << ": decoded " << report.decoded
               << (expected > report.decoded ? fmt::format(" of about {}", expected) : "")
               << " frames; the video stops at " << media::seconds(report.lastEnd)
               << (reader.info().duration > 0 ? " of " + media::seconds(reader.info().duration)
                                              : std::string())
               << " (the file looks truncated or damaged)\n";
    if (report.damagedPackets > 0)
        io.err << "drawlet: warning: " << reader.path() << ": " << report.damagedPackets
               << " damaged video packets were skipped\n";
}

// One video render: read a stretch, draw every frame, write it with the streams beside it.
class VideoRender {
  public:
    VideoRender(kit::FilterHost& host, const VideoJob& job, const Io& io);
    void run();

  private:
    void findExistingFrames();
    // A frame of an image-sequence output that is there already and kept (--resume): it is
    // read, but neither drawn nor written.
    bool skipExisting(long long index) const;
    void applyBoilRate();
    void startFollowing();
    void openOutput(const std::string& path);
    void showNotes();
    long long expectedFrames() const;
    void runPipeline();
    void runStages();
    ItemPtr read(tbb::flow_control& control);
    ItemPtr follow(ItemPtr item);
    const DrawletPatternCoordinates* coordinatesOf(ItemPtr item) const;
    const cv::Mat& pictureOf(ItemPtr item) const;
    ItemPtr draw(ItemPtr item);
    void write(ItemPtr item);
    void checkSomethingDrawn() const;

    kit::FilterHost& host_;
    const VideoJob& job_;
    const Io& io_;
    const StopFlag& stop_ = run::stopFlag();
    media::VideoReader reader_;
    media::Stretch stretch_;
    std::unique_ptr<media::FrameOutput> output_;
    std::size_t notesShown_ = 0;
    std::optional<Progress> progress_;
    std::vector<Item> ring_ = std::vector<Item>(kFramesInFlight);
    std::vector<Followed> followed_ = std::vector<Followed>(kFramesInFlight);  // by ring slot
    run::MotionFollower follower_;
    int interval_ = 0;  // the update interval the follower counts ticks by
    std::size_t produced_ = 0;
    long long done_ = 0;
    std::set<long long> existing_;  // frames of an image-sequence output kept as they are
};

VideoRender::VideoRender(kit::FilterHost& host, const VideoJob& job, const Io& io)
    : host_(host),
      job_(job),
      io_(io),
      reader_(job.input, readerOptions(job)),
      stretch_(reader_, job.start, job.frames) {}

void VideoRender::run() {
    findExistingFrames();
    applyBoilRate();
    startFollowing();
    PendingOutput pending(job_.output, job_.overwrite, media::isImageSequence(job_.output));
    openOutput(pending.path());
    showNotes();
    progress_.emplace(io_.err, expectedFrames(), job_.quiet, io_.errIsTerminal);
    runPipeline();
    checkSomethingDrawn();
    output_->finish([&] { progress_->finishing(done_); }, stretch_.span());
    if (stop_.load() != 0) throw Error("stopped");
    pending.commit();
    progress_->finish(done_);
    showNotes();
    warnAboutInput(reader_, io_);
}

// Before anything is drawn: without -y or --resume, a frame file already there stops the
// render now rather than after all the work.
void VideoRender::findExistingFrames() {
    if (media::isImageSequence(job_.output))
        existing_ =
            framesAlreadyThere(job_.output, job_.start, job_.frames, job_.overwrite, job_.resume);
}

bool VideoRender::skipExisting(long long index) const { return existing_.count(index) != 0; }

void VideoRender::applyBoilRate() {
    if (job_.boilRate < 0) return;
    const std::string note =
        run::applyBoilRate(host_, job_.boilRate, media::frameRateOf(reader_.info().frameRate));
    if (!note.empty()) io_.err << "drawlet: note: " << note << '\n';
}

// A render that follows the motion from frame N on gives a whole render's frames: the
// follower is fed the frames from N's run start to N - 1 first (decoded, not drawn).
void VideoRender::startFollowing() {
    if (!job_.followMotion) return;
    interval_ = host_.value(host_.parameter(kit::alias::kUpdateInterval));
    const long long first = run::MotionFollower::firstFrameOfRun(job_.start, interval_);
    if (first == job_.start) return;
    if (media::isStdio(job_.input))
        throw UsageError(fmt::format(
            "--follow-motion from frame {} reads frames {} to {} as well: give the input's "
            "file instead of standard input",
            job_.start, first, job_.start - 1));
    if (job_.start - first > kQuietLeadIn && !job_.quiet)
        io_.err << fmt::format(
            "drawlet: note: following the motion from frame {}: frames {} to {} are decoded "
            "first\n",
            job_.start, first, job_.start - 1);
    media::VideoReader reader(job_.input, readerOptions(job_));
    reader.seekToFrame(first);
    std::vector<media::PacketPtr> others;
    run::FollowedFrame unused;
    for (long long n = first; n < job_.start; ++n) {
        std::optional<media::VideoFrame> frame = reader.next(others);
        if (stop_.load() != 0) throw Error("stopped");
        // Fewer frames: --start lies past the end, which the render itself reports.
        if (!frame) return;
        others.clear();
        follower_.advance(frame->bgr, frame->index, interval_, unused);
    }
}

void VideoRender::openOutput(const std::string& path) {
    media::OutputOptions out;
    out.path = path;
    out.shownAs = job_.output;
    out.encode = job_.encode;
    // The render's threads: its pipeline and OpenCV's loops share them, and so may the encoder.
    out.encode.threads = cv::getNumThreads();
    out.source = &reader_;
    out.part = partRecordOf(host_, job_);
    out.stop = &stop_;
    out.replace = job_.overwrite;
    out.writing = run::setUrgentCleanup;
    media::OutputVideo video = media::outputVideoOf(reader_.info());
    video.alpha = video.alpha || job_.alphaMask;
    output_ = media::openOutput(video, out);
}

void VideoRender::showNotes() {
    const std::vector<std::string> notes = output_->notes();
    for (std::size_t i = notesShown_; i < notes.size(); ++i)
        io_.err << "drawlet: note: " << notes[i] << '\n';
    notesShown_ = notes.size();
}

long long VideoRender::expectedFrames() const {
    const long long count = reader_.info().frameCount;
    long long total = count > 0 ? std::max(0LL, count - job_.start) : -1;
    if (job_.frames >= 0) total = total < 0 ? job_.frames : std::min(total, job_.frames);
    return total;
}

void VideoRender::runPipeline() {
    const media::VideoInfo& info = reader_.info();
    kit::sayingWhenOutOfMemory(job_.input, info.width, info.height, [&] { runStages(); });
}

void VideoRender::runStages() {
    tbb::filter<void, ItemPtr> front =
        tbb::make_filter<void, ItemPtr>(tbb::filter_mode::serial_in_order,
                                        [&](tbb::flow_control& control) { return read(control); });
    // The follower's frame n overlaps the filter's frame n - 1.
    if (job_.followMotion)
        front =
            front & tbb::make_filter<ItemPtr, ItemPtr>(tbb::filter_mode::serial_in_order,
                                                       [&](ItemPtr item) { return follow(item); });
    runInOneArena(cv::getNumThreads(), [&] {
        tbb::parallel_pipeline(
            kFramesInFlight,
            front &
                tbb::make_filter<ItemPtr, ItemPtr>(tbb::filter_mode::serial_in_order,
                                                   [&](ItemPtr item) { return draw(item); }) &
                tbb::make_filter<ItemPtr, void>(tbb::filter_mode::serial_in_order,
                                                [&](ItemPtr item) { write(item); }));
    });
}

ItemPtr VideoRender::read(tbb::flow_control& control) {
    std::optional<media::StretchItem> next = stretch_.next();
    if (!next) {
        control.stop();
        return nullptr;
    }
    Item* item = &ring_[produced_++ % ring_.size()];
    *item = Item{std::move(*next), {}};
    return item;
}

ItemPtr VideoRender::follow(ItemPtr item) {
    if (stop_.load() != 0) throw Error("stopped");
    if (!item->read.frame) return item;
    Followed& slot = followed_[static_cast<std::size_t>(item - ring_.data())];
    const media::VideoFrame& f = *item->read.frame;
    slot.on = follower_.advance(f.bgr, f.index, interval_, slot.positions);
    if (slot.on) slot.coordinates = slot.positions.coordinates();
    return item;
}

const DrawletPatternCoordinates* VideoRender::coordinatesOf(ItemPtr item) const {
    if (!job_.followMotion) return nullptr;
    const Followed& slot = followed_[static_cast<std::size_t>(item - ring_.data())];
    return slot.on ? &slot.coordinates : nullptr;
}

const cv::Mat& VideoRender::pictureOf(ItemPtr item) const {
    if (coordinatesOf(item) == nullptr) return item->read.frame->bgr;
    return followed_[static_cast<std::size_t>(item - ring_.data())].positions.picture;
}

ItemPtr VideoRender::draw(ItemPtr item) {
    if (stop_.load() != 0) throw Error("stopped");
    if (!item->read.frame || skipExisting(item->read.frame->index)) return item;
    const media::VideoFrame& f = *item->read.frame;
    const std::string what = fmt::format("{} frame {}", job_.input, f.index);
    if (job_.alphaMask)
        item->drawn =
            renderWithMatte(host_, pictureOf(item), f.alpha, f.index, what, coordinatesOf(item));
    else
        item->drawn = {run::renderFrame(host_, pictureOf(item), f.index, what, coordinatesOf(item)),
                       f.alpha};
    return item;
}

void VideoRender::write(ItemPtr item) {
    if (item->read.frame) {
        const media::VideoFrame& f = *item->read.frame;
        const cv::Mat& alpha = item->drawn.alpha;
        if (!skipExisting(f.index))
            output_->write(item->drawn.bgr, alpha.empty() ? nullptr : &alpha, f.pts, f.index);
        progress_->update(++done_);
    }
    output_->writeKept(std::move(item->read.packets));
}

void VideoRender::checkSomethingDrawn() const {
    if (done_ > 0) return;
    if (job_.start > 0)
        throw Error(fmt::format("{}: no frames to render (--start {} is past its last frame)",
                                job_.input, job_.start));
    throw Error(job_.input + ": holds no frames that can be decoded" +
                (job_.input == "-" ? kPipeHint : ""));
}

}  // namespace

media::ReaderOptions readerOptions(const VideoJob& job) {
    media::ReaderOptions options;
    options.sequenceRate = job.sequenceRate;
    options.sequenceStart = job.sequenceStart;
    options.maxPixels = job.maxPixels;
    options.stop = &run::stopFlag();
    return options;
}

void renderVideo(kit::FilterHost& host, const VideoJob& job, const Io& io) {
    VideoRender(host, job, io).run();
}

}  // namespace drawlet::cli
