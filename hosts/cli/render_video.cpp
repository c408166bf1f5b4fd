#include "cli/render_video.h"

#include <fmt/format.h>
#include <tbb/parallel_pipeline.h>

#include <memory>
#include <optional>

#include "cli/alpha_matte.h"
#include "cli/one_arena.h"
#include "cli/options.h"
#include "cli/pending_output.h"
#include "cli/progress.h"
#include "kit/error.h"
#include "media/audio_range.h"
#include "media/output.h"
#include "media/parts.h"
#include "media/paths.h"
#include "media/reader.h"
#include "run/boil_rate.h"
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
    std::optional<media::VideoFrame> frame;  // none for the audio that ends the stretch
    MattedFrame drawn;
    std::vector<media::PacketPtr> audio;
};
// The pipeline passes pointers into a ring of items owned here: a stopped pipeline drops the
// pointers it holds, and the ring frees the items. Item n lives in slot n % kFramesInFlight,
// free again once item n - kFramesInFlight has left the last stage, in order.
using ItemPtr = Item*;

media::OutputVideo outputVideoOf(const media::VideoInfo& info) {
    media::OutputVideo video;
    video.width = info.width;
    video.height = info.height;
    video.sampleAspect = info.sampleAspect;
    video.timeBase = info.timeBase;
    video.frameRate = info.frameRate;
    video.colour = info.colour;
    video.sourceFormat = info.pixelFormat;
    video.alpha = info.alpha;
    return video;
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

}  // namespace

void renderVideo(kit::FilterHost& host, const VideoJob& job, const Io& io) {
    const StopFlag& stop = run::stopFlag();
    media::ReaderOptions readerOptions;
    readerOptions.sequenceRate = job.sequenceRate;
    readerOptions.stop = &stop;
    media::VideoReader reader(job.input, readerOptions);
    const media::VideoInfo& info = reader.info();
    std::vector<media::PacketPtr> incoming;
    reader.seekToFrame(job.start);
    if (job.boilRate >= 0)
        if (const std::string note =
                run::applyBoilRate(host, job.boilRate, media::frameRateOf(info.frameRate));
            !note.empty())
            io.err << "drawlet: note: " << note << '\n';

    const bool sequenceOut = media::isImageSequence(job.output);
    PendingOutput pending(job.output, job.overwrite, sequenceOut);
    media::OutputOptions out;
    out.path = pending.path();
    out.shownAs = job.output;
    out.encode = job.encode;
    // The render's threads: its pipeline and OpenCV's loops share them, and so may the encoder.
    const int threads = cv::getNumThreads();
    out.encode.threads = threads;
    out.source = reader.format();
    out.sourceVideoStream = reader.videoStream();
    out.audioStreams = reader.audioStreams();
    out.stop = &stop;
    const bool part = job.start > 0 || job.frames >= 0;
    if (part && !sequenceOut)
        if (const std::string source = media::sourceFingerprint(job.input); !source.empty())
            out.tags = media::partTags({source, job.start});
    media::OutputVideo video = outputVideoOf(info);
    video.alpha = info.alpha || job.alphaMask;
    std::unique_ptr<media::FrameOutput> output = media::openOutput(video, out);
    const auto notesFrom = [&](std::size_t first) {
        const std::vector<std::string> notes = output->notes();
        for (std::size_t i = first; i < notes.size(); ++i)
            io.err << "drawlet: note: " << notes[i] << '\n';
        return notes.size();
    };
    const std::size_t notesShown = notesFrom(0);

    long long total = info.frameCount > 0 ? std::max(0LL, info.frameCount - job.start) : -1;
    if (job.frames >= 0) total = total < 0 ? job.frames : std::min(total, job.frames);
    Progress progress(io.err, total, job.quiet, io.errIsTerminal);
    media::AudioRange audio(reader.format(), info.timeBase);
    bool first = true, ended = false;
    long long done = 0;
    std::vector<Item> ring(kFramesInFlight);
    std::size_t produced = 0;

    runInOneArena(threads, [&] {
        tbb::parallel_pipeline(
            kFramesInFlight,
            tbb::make_filter<void, ItemPtr>(
                tbb::filter_mode::serial_in_order,
                [&](tbb::flow_control& control) -> ItemPtr {
                    if (ended) {
                        control.stop();
                        return nullptr;
                    }
                    Item* item = &ring[produced++ % ring.size()];
                    *item = Item{};
                    std::optional<media::VideoFrame> frame = reader.next(incoming);
                    if (!frame || (job.frames >= 0 && frame->index >= job.start + job.frames)) {
                        // The stretch ends: the audio up to the next frame, or to the end.
                        int64_t end = AV_NOPTS_VALUE;
                        if (frame) {
                            end = frame->pts;
                            reader.readAudioUntil(end, incoming);
                        }
                        if (!first) item->audio = audio.finish(incoming, end);
                        ended = true;
                        return item;
                    }
                    if (first && job.start > 0) audio.startAt(frame->pts);
                    first = false;
                    item->audio = audio.take(incoming, frame->pts);
                    item->frame = std::move(frame);
                    return item;
                }) &
                tbb::make_filter<ItemPtr, ItemPtr>(
                    tbb::filter_mode::serial_in_order,
                    [&](ItemPtr item) {
                        if (stop.load() != 0) throw Error("stopped");
                        if (!item->frame) return item;
                        const media::VideoFrame& f = *item->frame;
                        const std::string what = fmt::format("{} frame {}", job.input, f.index);
                        if (job.alphaMask)
                            item->drawn = renderWithMatte(host, f.bgr, f.alpha, f.index, what);
                        else
                            item->drawn = {run::renderFrame(host, f.bgr, f.index, what), f.alpha};
                        return item;
                    }) &
                tbb::make_filter<ItemPtr, void>(
                    tbb::filter_mode::serial_in_order, [&](ItemPtr item) {
                        if (item->frame) {
                            const media::VideoFrame& f = *item->frame;
                            const cv::Mat& alpha = item->drawn.alpha;
                            output->write(item->drawn.bgr, alpha.empty() ? nullptr : &alpha, f.pts,
                                          f.index);
                            progress.update(++done);
                        }
                        for (media::PacketPtr& p : item->audio) output->writeAudio(std::move(p));
                    }));
    });

    if (done == 0)
        throw Error(job.start > 0 ? fmt::format("{}: no frames to render (--start {} is past "
                                                "its last frame)",
                                                job.input, job.start)
                                  : job.input + ": holds no frames that can be decoded" +
                                        (job.input == "-" ? kPipeHint : ""));
    output->finish([&] { progress.finishing(done); });
    if (stop.load() != 0) throw Error("stopped");
    pending.commit();
    progress.finish(done);
    notesFrom(notesShown);
    warnAboutInput(reader, io);
}

}  // namespace drawlet::cli
