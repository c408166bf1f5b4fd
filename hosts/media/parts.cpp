#include "media/parts.h"

#include <fmt/format.h>

#include <algorithm>
#include <climits>
#include <map>

#include "kit/error.h"
#include "media/chapters.h"
#include "media/muxer.h"
#include "media/part_tags.h"

namespace drawlet::media {

namespace {

struct Part {
    std::string path;
    InputPtr input;
    PartRecord record;
    int video = -1;
    long long frames = 0;  // video packets: one per frame
};

InputPtr openInput(const std::string& path, const StopFlag* stop) {
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) throw std::bad_alloc();
    raw->interrupt_callback = interruptOn(stop);
    if (const int opened = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); opened < 0)
        throw Error(fmt::format("{}: cannot read it as a video ({})", path, errorText(opened)));
    InputPtr input(raw);
    check(avformat_find_stream_info(raw, nullptr), path + ": cannot read its streams");
    return input;
}

long long countFrames(AVFormatContext* input, int video) {
    long long frames = 0;
    PacketPtr packet = makePacket();
    while (av_read_frame(input, packet.get()) >= 0) {
        if (packet->stream_index == video && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) ++frames;
        av_packet_unref(packet.get());
    }
    return frames;
}

std::string frameSpan(long long first, long long frames) {
    return fmt::format("frames {}..{}", first, first + frames - 1);
}

// Opens a part, reads its record and counts its frames (a first pass over its packets, then
// opened again for the copy); throws naming it unless it holds the frames it records.
Part openPart(const std::string& path, const StopFlag* stop) {
    Part part{path, openInput(path, stop), {}};
    const std::optional<PartRecord> record = readPartTags(part.input->metadata, path);
    if (!record)
        throw Error(path +
                    ": not a part of a render (parts are made by drawlet render with --start "
                    "and --frames)");
    part.record = *record;
    part.video = av_find_best_stream(part.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (part.video < 0) throw Error(path + ": holds no video stream");
    part.frames = countFrames(part.input.get(), part.video);
    if (part.frames == 0) throw Error(path + ": holds no frames");
    const long long recorded = part.record.frames;
    if (recorded >= 0 && part.frames < recorded)
        throw Error(
            fmt::format("{}: holds {} of its {} frames (the file is cut short or "
                        "damaged: render the part again)",
                        path, part.frames, recorded));
    if (recorded >= 0 && part.frames > recorded)
        throw Error(
            fmt::format("{}: holds {} frames but records {} (the file was changed "
                        "after drawlet render wrote it)",
                        path, part.frames, recorded));
    if (part.record.first > LLONG_MAX - part.frames)
        throw Error(fmt::format("{}: its first frame {} is out of range", path, part.record.first));
    part.input = openInput(path, stop);
    return part;
}

std::vector<Part> openParts(const std::vector<std::string>& paths, const StopFlag* stop) {
    std::vector<Part> parts;
    for (const std::string& p : paths) parts.push_back(openPart(p, stop));
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Part& a, const Part& b) { return a.record.first < b.record.first; });
    return parts;
}

// Every part is of one input and was rendered with the others' settings: the part whose
// digest differs from the one most parts share is named.
void checkOneRender(const std::vector<Part>& parts) {
    for (std::size_t i = 1; i < parts.size(); ++i)
        if (parts[i].record.source != parts[0].record.source)
            throw Error(fmt::format("{} and {} are parts of different inputs", parts[0].path,
                                    parts[i].path));
    std::map<std::string, int> votes;
    for (const Part& p : parts) ++votes[p.record.digest];
    const Part* model = &parts[0];
    for (const Part& p : parts)
        if (votes[p.record.digest] > votes[model->record.digest]) model = &p;
    for (const Part& p : parts)
        if (p.record.digest != model->record.digest)
            throw Error(
                fmt::format("{}: rendered with other settings than {} (the module, its "
                            "pattern sets, a setting or the codec differs: render "
                            "every part with the same options)",
                            p.path, model->path));
}

bool sameStreams(const AVFormatContext* a, const AVFormatContext* b) {
    if (a->nb_streams != b->nb_streams) return false;
    for (unsigned i = 0; i < a->nb_streams; ++i) {
        const AVCodecParameters* x = a->streams[i]->codecpar;
        const AVCodecParameters* y = b->streams[i]->codecpar;
        if (x->codec_type != y->codec_type || x->codec_id != y->codec_id) return false;
        if (x->codec_type == AVMEDIA_TYPE_VIDEO &&
            (x->width != y->width || x->height != y->height || x->format != y->format ||
             x->extradata_size != y->extradata_size ||
             (x->extradata_size > 0 &&
              !std::equal(x->extradata, x->extradata + x->extradata_size, y->extradata))))
            return false;
    }
    return true;
}

// Each part begins where the one before ends, with the same streams.
void checkContiguous(const std::vector<Part>& parts) {
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const Part& a = parts[i - 1];
        const Part& b = parts[i];
        const long long end = a.record.first + a.frames;  // checked by openPart
        if (end > b.record.first)
            throw Error(fmt::format("{} ({}) and {} ({}) overlap", a.path,
                                    frameSpan(a.record.first, a.frames), b.path,
                                    frameSpan(b.record.first, b.frames)));
        if (end < b.record.first)
            throw Error(fmt::format("{} between {} and {} are in no part",
                                    frameSpan(end, b.record.first - end), a.path, b.path));
        if (!sameStreams(a.input.get(), b.input.get()))
            throw Error(
                fmt::format("{} and {} hold different streams or encodings (render "
                            "every part with the same options)",
                            a.path, b.path));
    }
}

// A subtitle cue still showing where a part starts is in that part cut to begin there, and
// whole in the part before: the cut piece, the same text ending at the same time, is left out.
class CueTails {
  public:
    bool repeats(std::size_t part, const AVPacket& packet, const AVStream* stream) {
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE || packet.duration <= 0 ||
            packet.pts == AV_NOPTS_VALUE)
            return false;
        const AVRational tb = stream->time_base;
        const int64_t end = packet.pts + packet.duration;
        std::erase_if(showing_, [&](const Cue& c) {
            return av_compare_ts(c.end, c.timeBase, packet.pts, tb) <= 0;
        });
        const std::vector<uint8_t> data(packet.data, packet.data + packet.size);
        for (const Cue& c : showing_)
            if (c.part < part && c.stream == packet.stream_index && c.data == data &&
                av_compare_ts(c.end, c.timeBase, end, tb) == 0)
                return true;
        showing_.push_back({part, packet.stream_index, tb, end, data});
        return false;
    }

  private:
    struct Cue {
        std::size_t part;
        int stream;
        AVRational timeBase;
        int64_t end;
        std::vector<uint8_t> data;
    };
    std::vector<Cue> showing_;
};

// The streams of the first part: the pictures copied, the others kept as the muxer can.
void addStreams(Muxer& muxer, const Part& model) {
    const AVFormatContext* in = model.input.get();
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        if (static_cast<int>(i) == model.video)
            muxer.copyVideo(in->streams[i]);
        else if (carriesContent(in->streams[i]))
            muxer.keep(in->streams[i]);
    }
}

void copyPackets(Muxer& muxer, Part& part, std::size_t index, CueTails& tails) {
    AVFormatContext* in = part.input.get();
    PacketPtr packet = makePacket();
    while (av_read_frame(in, packet.get()) >= 0) {
        const AVStream* stream = in->streams[packet->stream_index];
        if (packet->stream_index == part.video)
            muxer.writeVideo(packet.get(), stream->time_base);
        else if (!tails.repeats(index, *packet, stream))
            muxer.writeKept(packet.get(), stream->time_base);
        av_packet_unref(packet.get());
    }
}

}  // namespace

JoinResult joinParts(const std::vector<std::string>& paths, const std::string& path,
                     const std::string& shownAs, const std::string& format, const StopFlag* stop) {
    std::vector<Part> parts = openParts(paths, stop);
    checkOneRender(parts);
    checkContiguous(parts);

    Muxer muxer(path, shownAs, format, stop);
    addStreams(muxer, parts.front());
    muxer.setTags(parts.front().input->metadata, {});
    std::vector<Chapter> chapters;
    for (const Part& p : parts) appendChapters(chapters, chaptersOf(p.input.get()));
    muxer.setChapters(std::move(chapters));
    muxer.start();

    JoinResult result{parts.front().record.first, 0, {}};
    CueTails tails;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        copyPackets(muxer, parts[i], i, tails);
        if (stop != nullptr && stop->load() != 0) throw Error(shownAs + ": stopped");
        result.frames += parts[i].frames;
    }
    muxer.finish();
    result.notes = muxer.notes();
    return result;
}

}  // namespace drawlet::media
