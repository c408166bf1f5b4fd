#include "media/parts.h"

#include <fmt/format.h>
#include <strings.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <memory>

#include "kit/error.h"
#include "media/audio.h"
#include "media/paths.h"
#include "media/video_output.h"

namespace drawlet::media {

namespace {

constexpr const char* kSourceTag = "drawlet_source";
constexpr const char* kFirstTag = "drawlet_first_frame";

// FNV-1a, 64 bits: enough to tell inputs apart, not a defence against forgery.
void hashInto(std::uint64_t& hash, const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 1099511628211ULL;
    }
}

long long toNumber(const char* text) {
    long long value = -1;
    const char* end = text + std::char_traits<char>::length(text);
    const auto parsed = std::from_chars(text, end, value);
    return parsed.ec == std::errc() && parsed.ptr == end ? value : -1;
}

struct Part {
    std::string path;
    InputPtr input;
    PartRange range;
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

// Opens a part and counts its frames: a first pass over its packets, then opened again for
// the copy.
Part openPart(const std::string& path, const StopFlag* stop) {
    Part part{path, openInput(path, stop), {}};
    const std::optional<PartRange> range = readPartTags(part.input->metadata);
    if (!range)
        throw Error(path +
                    ": not a part of a render (parts are made by drawlet render with --start "
                    "and --frames)");
    part.range = *range;
    const int video = av_find_best_stream(part.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) throw Error(path + ": holds no video stream");
    PacketPtr packet = makePacket();
    while (av_read_frame(part.input.get(), packet.get()) >= 0) {
        if (packet->stream_index == video && (packet->flags & AV_PKT_FLAG_DISCARD) == 0)
            ++part.frames;
        av_packet_unref(packet.get());
    }
    if (part.frames == 0) throw Error(path + ": holds no frames");
    part.input = openInput(path, stop);
    return part;
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

std::string frameSpan(long long first, long long frames) {
    return fmt::format("frames {}..{}", first, first + frames - 1);
}

}  // namespace

std::string sourceFingerprint(const std::string& path) {
    std::error_code ec;
    if (isStdio(path) || !std::filesystem::is_regular_file(path, ec)) return {};
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return {};
    std::ifstream in(path, std::ios::binary);
    constexpr std::size_t kSpan = 1 << 20;
    std::vector<char> buffer(kSpan);
    std::uint64_t hash = 14695981039346656037ULL;
    in.read(buffer.data(), static_cast<std::streamsize>(kSpan));
    hashInto(hash, buffer.data(), static_cast<std::size_t>(in.gcount()));
    if (size > kSpan) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(size - std::min<std::uintmax_t>(size, kSpan)));
        in.read(buffer.data(), static_cast<std::streamsize>(kSpan));
        hashInto(hash, buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    return fmt::format("{}:{:016x}", size, hash);
}

std::vector<std::pair<std::string, std::string>> partTags(const PartRange& range) {
    return {{kSourceTag, range.source}, {kFirstTag, std::to_string(range.first)}};
}

std::optional<PartRange> readPartTags(const AVDictionary* tags) {
    const AVDictionaryEntry* source = av_dict_get(tags, kSourceTag, nullptr, 0);
    const AVDictionaryEntry* first = av_dict_get(tags, kFirstTag, nullptr, 0);
    if (source == nullptr || first == nullptr) return std::nullopt;
    PartRange range{source->value, toNumber(first->value)};
    if (range.source.empty() || range.first < 0) return std::nullopt;
    return range;
}

bool isPartTag(const char* key) {
    return strcasecmp(key, kSourceTag) == 0 || strcasecmp(key, kFirstTag) == 0;
}

JoinResult joinParts(const std::vector<std::string>& paths, const std::string& path,
                     const std::string& shownAs, const std::string& format, const StopFlag* stop) {
    std::vector<Part> parts;
    for (const std::string& p : paths) parts.push_back(openPart(p, stop));
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Part& a, const Part& b) { return a.range.first < b.range.first; });
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const Part& a = parts[i - 1];
        const Part& b = parts[i];
        if (a.range.source != b.range.source)
            throw Error(fmt::format("{} and {} are parts of different inputs", a.path, b.path));
        const long long end = a.range.first + a.frames;
        if (end > b.range.first)
            throw Error(fmt::format("{} ({}) and {} ({}) overlap", a.path,
                                    frameSpan(a.range.first, a.frames), b.path,
                                    frameSpan(b.range.first, b.frames)));
        if (end < b.range.first)
            throw Error(fmt::format("{} between {} and {} are in no part",
                                    frameSpan(end, b.range.first - end), a.path, b.path));
        if (!sameStreams(a.input.get(), b.input.get()))
            throw Error(
                fmt::format("{} and {} hold different streams or encodings (render "
                            "every part with the same options)",
                            a.path, b.path));
    }

    const AVFormatContext* model = parts.front().input.get();
    const AVOutputFormat* container = outputFormatFor(path, format, shownAs);
    AVFormatContext* raw = nullptr;
    const std::string url = isStdio(path) ? "pipe:1" : path;
    check(avformat_alloc_output_context2(&raw, container, nullptr, url.c_str()), shownAs);
    OutputPtr out(raw);
    out->interrupt_callback = interruptOn(stop);

    JoinResult result;
    std::vector<std::unique_ptr<AudioTranscoder>> transcoders(model->nb_streams);
    for (unsigned i = 0; i < model->nb_streams; ++i) {
        const AVStream* in = model->streams[i];
        AVStream* stream = avformat_new_stream(out.get(), nullptr);
        if (stream == nullptr) throw std::bad_alloc();
        const AVCodecID id = in->codecpar->codec_id;
        if (containerTakes(container, id) || in->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            if (!containerTakes(container, id))
                throw Error(
                    fmt::format("{}: the {} format cannot hold {} video (join into the "
                                "parts' own format)",
                                shownAs, container->name, avcodec_get_name(id)));
            check(avcodec_parameters_copy(stream->codecpar, in->codecpar), shownAs);
            stream->codecpar->codec_tag = 0;
            stream->time_base = in->time_base;
        } else {
            const AVCodec* encoder = audioEncoderFor(container);
            if (encoder == nullptr)
                throw Error(fmt::format("{}: the {} format takes no audio codec available here",
                                        shownAs, container->name));
            transcoders[i] = std::make_unique<AudioTranscoder>(
                in, encoder, (container->flags & AVFMT_GLOBALHEADER) != 0, shownAs);
            check(avcodec_parameters_from_context(stream->codecpar, transcoders[i]->encoder()),
                  shownAs);
            stream->time_base = transcoders[i]->encoder()->time_base;
            result.notes.push_back(fmt::format("{}: {} audio re-encoded as {}", shownAs,
                                               avcodec_get_name(id), encoder->name));
        }
        stream->avg_frame_rate = in->avg_frame_rate;
        stream->sample_aspect_ratio = in->sample_aspect_ratio;
        stream->disposition = in->disposition;
        av_dict_copy(&stream->metadata, in->metadata, 0);
        av_dict_set(&stream->metadata, "DURATION", nullptr, 0);
    }
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(model->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr)
        if (!isPartTag(tag->key) && !isEncodingTag(tag->key))
            av_dict_set(&out->metadata, tag->key, tag->value, 0);

    const std::string name = container->name;
    AVDictionary* muxOptions = nullptr;
    if (name == "mp4" || name == "mov")
        av_dict_set(&muxOptions, "movflags",
                    isStdio(path) ? "+frag_keyframe+empty_moov" : "+faststart", 0);
    if (name == "matroska" || name == "webm") out->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    if ((container->flags & AVFMT_NOFILE) == 0)
        check(avio_open2(&out->pb, url.c_str(), AVIO_FLAG_WRITE, &out->interrupt_callback, nullptr),
              shownAs + ": cannot write");
    const int header = avformat_write_header(out.get(), &muxOptions);
    av_dict_free(&muxOptions);
    check(header, shownAs + ": cannot start writing");

    // Audio encoded apart in each part may overlap at a join by the encoder's start-up
    // samples: a packet that does not move its stream forward is left out.
    std::vector<int64_t> lastDts(model->nb_streams, AV_NOPTS_VALUE);
    const auto write = [&](AVPacket* packet, unsigned index, AVRational from) {
        AVStream* stream = out->streams[index];
        av_packet_rescale_ts(packet, from, stream->time_base);
        packet->stream_index = static_cast<int>(index);
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && packet->dts != AV_NOPTS_VALUE) {
            if (lastDts[index] != AV_NOPTS_VALUE && packet->dts <= lastDts[index]) return;
            lastDts[index] = packet->dts;
        }
        check(av_interleaved_write_frame(out.get(), packet), shownAs + ": cannot write");
    };
    PacketPtr packet = makePacket();
    for (Part& part : parts) {
        AVFormatContext* in = part.input.get();
        while (av_read_frame(in, packet.get()) >= 0) {
            const auto index = static_cast<unsigned>(packet->stream_index);
            if (index < transcoders.size() && transcoders[index]) {
                // The transcoder decodes in the first part's time base.
                av_packet_rescale_ts(packet.get(), in->streams[index]->time_base,
                                     model->streams[index]->time_base);
                const AVRational from = transcoders[index]->encoder()->time_base;
                transcoders[index]->push(packet.get(), [&](AVPacket* p) { write(p, index, from); });
            } else if (index < model->nb_streams) {
                write(packet.get(), index, in->streams[index]->time_base);
            }
            av_packet_unref(packet.get());
        }
        if (stop != nullptr && stop->load() != 0) throw Error(shownAs + ": stopped");
        result.frames += part.frames;
    }
    for (unsigned i = 0; i < transcoders.size(); ++i)
        if (transcoders[i]) {
            const AVRational from = transcoders[i]->encoder()->time_base;
            transcoders[i]->finish([&](AVPacket* p) { write(p, i, from); });
        }
    check(av_interleaved_write_frame(out.get(), nullptr), shownAs + ": cannot write");
    check(av_write_trailer(out.get()), shownAs + ": cannot finish writing");
    if ((container->flags & AVFMT_NOFILE) == 0)
        check(avio_closep(&out->pb), shownAs + ": cannot write");
    result.first = parts.front().range.first;
    return result;
}

}  // namespace drawlet::media
