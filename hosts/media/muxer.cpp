#include "media/muxer.h"

#include <fmt/format.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "kit/error.h"
#include "media/audio.h"
#include "media/encoding.h"
#include "media/paths.h"
#include "media/subtitles.h"

namespace drawlet::media {

namespace {

// Matroska writes its tags at its start: a count tag holds this placeholder (as wide as any
// count written over it, zero-padded) until the file is complete.
constexpr const char* kPlaceholder = "#drawlet-count-tag-#";
constexpr std::size_t kCountWidth = 20;
static_assert(std::char_traits<char>::length(kPlaceholder) == kCountWidth);

bool isMatroska(const AVOutputFormat* format) {
    const std::string name = format->name;
    return name == "matroska" || name == "webm";
}

bool isMp4Family(const AVOutputFormat* format) {
    const std::string name = format->name;
    return name == "mp4" || name == "mov" || name == "ipod" || name == "ismv";
}

// The one choice of MP4 and MOV flags: the index first in a file, so that players start at
// once; fragments on a pipe, which cannot be rewound; tags under their own names when the
// output carries tags MP4 has no atom for (a part's).
std::string movFlags(bool stdio, bool ownTags) {
    std::string flags = stdio ? "+frag_keyframe+empty_moov+default_base_moof" : "+faststart";
    if (ownTags) flags += "+use_metadata_tags";
    return flags;
}

// Tags that describe the old file's encoding, not its content.
bool isEncodingTag(const char* key) {
    static const char* const kKeys[] = {"encoder",          "DURATION",          "major_brand",
                                        "minor_version",    "compatible_brands", "BPS",
                                        "NUMBER_OF_FRAMES", "NUMBER_OF_BYTES",   "vendor_id"};
    for (const char* k : kKeys)
        if (strcasecmp(key, k) == 0) return true;
    return strncasecmp(key, "_STATISTICS_", 12) == 0;
}

void copyTags(AVDictionary** to, const AVDictionary* from, bool video) {
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(from, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        if (isEncodingTag(tag->key) || isPartTag(tag->key)) continue;
        // The pictures are written upright: a rotation tag would turn them again.
        if (video && strcasecmp(tag->key, "rotate") == 0) continue;
        av_dict_set(to, tag->key, tag->value, 0);
    }
}

bool isAttachment(const AVStream* stream) {
    return stream->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT ||
           (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

std::string kindOf(const AVStream* stream) {
    if (isAttachment(stream)) return "attachment";
    const char* kind = av_get_media_type_string(stream->codecpar->codec_type);
    return kind != nullptr ? kind : "unknown";
}

// Finds `text` in `file` and writes `with` (as long) over it; false when it is not there.
bool overwrite(const std::string& file, const std::string& text, const std::string& with) {
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<char> buffer(1 << 20);
    std::streamoff base = 0;
    std::size_t kept = 0;  // bytes carried over from the last read, where a match may begin
    while (io) {
        io.read(buffer.data() + kept, static_cast<std::streamsize>(buffer.size() - kept));
        const std::size_t size = kept + static_cast<std::size_t>(io.gcount());
        const auto end = buffer.begin() + static_cast<std::ptrdiff_t>(size);
        const auto at = std::search(buffer.begin(), end, text.begin(), text.end());
        if (at != end) {
            io.clear();
            io.seekp(base + (at - buffer.begin()));
            io.write(with.data(), static_cast<std::streamsize>(with.size()));
            return static_cast<bool>(io.flush());
        }
        kept = std::min(size, text.size() - 1);
        std::copy(end - static_cast<std::ptrdiff_t>(kept), end, buffer.begin());
        base += static_cast<std::streamoff>(size - kept);
    }
    return false;
}

}  // namespace

struct Muxer::Kept {
    int source = -1;  // the stream's index where its packets come from
    AVStream* out = nullptr;
    AVRational sourceTimeBase{1, 1};
    std::unique_ptr<AudioTranscoder> audio;
    std::unique_ptr<SubtitleConverter> subtitles;
    PacketPtr picture;  // an attached picture: its one packet, written after the header
    int64_t lastDts = AV_NOPTS_VALUE;
};

Muxer::Muxer(const std::string& path, const std::string& shownAs, const std::string& format,
             const StopFlag* stop)
    : path_(path), shownAs_(shownAs), stdio_(isStdio(path)) {
    container_ = outputFormatFor(path, format, shownAs);
    AVFormatContext* raw = nullptr;
    const std::string url = stdio_ ? "pipe:1" : path;
    check(avformat_alloc_output_context2(&raw, container_, nullptr, url.c_str()), shownAs);
    out_.reset(raw);
    out_->interrupt_callback = interruptOn(stop);
}

Muxer::~Muxer() {
    if (finished_ || !opened_ || stdio_) return;
    out_.reset();  // closes the file first
    std::error_code ec;
    std::filesystem::remove(path_, ec);
}

bool Muxer::wantsGlobalHeader() const { return (container_->flags & AVFMT_GLOBALHEADER) != 0; }

AVStream* Muxer::newStream() {
    AVStream* stream = avformat_new_stream(out_.get(), nullptr);
    if (stream == nullptr) throw std::bad_alloc();
    return stream;
}

void Muxer::addVideo(const AVCodecContext* encoder, AVRational frameRate, const AVStream* source) {
    video_ = newStream();
    check(avcodec_parameters_from_context(video_->codecpar, encoder), shownAs_);
    video_->time_base = encoder->time_base;
    video_->avg_frame_rate = frameRate;
    video_->sample_aspect_ratio = encoder->sample_aspect_ratio;
    if (source == nullptr) return;
    copyTags(&video_->metadata, source->metadata, true);
    video_->disposition = source->disposition;
}

void Muxer::copyVideo(const AVStream* source) {
    const AVCodecID id = source->codecpar->codec_id;
    if (!containerTakes(container_, id))
        throw Error(
            fmt::format("{}: the {} format cannot hold {} video (join into the parts' "
                        "own format)",
                        shownAs_, container_->name, avcodec_get_name(id)));
    video_ = newStream();
    check(avcodec_parameters_copy(video_->codecpar, source->codecpar), shownAs_);
    video_->codecpar->codec_tag = 0;
    video_->time_base = source->time_base;
    video_->avg_frame_rate = source->avg_frame_rate;
    video_->sample_aspect_ratio = source->sample_aspect_ratio;
    video_->disposition = source->disposition;
    copyTags(&video_->metadata, source->metadata, true);
}

// True when the container holds the stream as it is; else `reason` says why it cannot
// when there is no conversion either.
bool Muxer::copies(const AVStream* source, std::string& reason) const {
    const AVCodecParameters* par = source->codecpar;
    const std::string name = container_->name;
    reason = fmt::format("the {} format cannot hold it", name);
    if (isAttachment(source)) {
        reason = fmt::format("the {} format holds no attachments", name);
        // Matroska keeps any file as an attachment (WebM none); MP4 a picture as its cover.
        if (name == "matroska") return true;
        return (source->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0 &&
               isMp4Family(container_) && containerTakes(container_, par->codec_id);
    }
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        reason = "only the first video stream is drawn";
        return false;
    }
    if (par->codec_type == AVMEDIA_TYPE_AUDIO || par->codec_type == AVMEDIA_TYPE_SUBTITLE)
        reason += " and no encoder here converts it";
    return containerTakes(container_, par->codec_id);
}

void Muxer::keep(const AVStream* source) {
    auto kept = std::make_unique<Kept>();
    kept->source = source->index;
    kept->sourceTimeBase = source->time_base;
    std::string reason;
    const bool picture = (source->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
    if (!copies(source, reason)) {
        convert(*kept, source);
    } else if (picture && isMatroska(container_)) {
        attachPicture(*kept, source);
    } else {
        kept->out = newStream();
        check(avcodec_parameters_copy(kept->out->codecpar, source->codecpar), shownAs_);
        kept->out->codecpar->codec_tag = 0;
        kept->out->time_base = source->time_base;
        if (picture) {
            kept->picture = makePacket();
            check(av_packet_ref(kept->picture.get(), &source->attached_pic), shownAs_);
        }
    }
    if (kept->out == nullptr) {
        notes_.push_back(fmt::format("{}: {} stream {} ({}) is left out: {}", shownAs_,
                                     kindOf(source), source->index,
                                     avcodec_get_name(source->codecpar->codec_id), reason));
        return;
    }
    copyTags(&kept->out->metadata, source->metadata, false);
    if (kept->out->codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT)
        kept->out->disposition = source->disposition;
    kept_.push_back(std::move(kept));
}

// Matroska keeps an attached picture (a cover) as a file attached to it, named as the
// demuxer named it or after its codec.
void Muxer::attachPicture(Kept& kept, const AVStream* source) {
    kept.out = newStream();
    AVCodecParameters* par = kept.out->codecpar;
    par->codec_type = AVMEDIA_TYPE_ATTACHMENT;
    par->codec_id = source->codecpar->codec_id;
    const AVPacket& picture = source->attached_pic;
    const auto size = static_cast<std::size_t>(std::max(0, picture.size));
    par->extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (par->extradata == nullptr) throw std::bad_alloc();
    if (size > 0) std::copy(picture.data, picture.data + size, par->extradata);
    par->extradata_size = static_cast<int>(size);
    if (av_dict_get(source->metadata, "filename", nullptr, 0) == nullptr) {
        const AVCodecDescriptor* codec = avcodec_descriptor_get(par->codec_id);
        const std::string type = codec != nullptr && codec->mime_types != nullptr
                                     ? codec->mime_types[0]
                                     : "application/octet-stream";
        av_dict_set(&kept.out->metadata, "filename",
                    fmt::format("cover.{}", avcodec_get_name(par->codec_id)).c_str(), 0);
        av_dict_set(&kept.out->metadata, "mimetype", type.c_str(), 0);
    }
}

// Audio is re-encoded with the container's own codec, text subtitles converted to its text
// codec; `kept.out` stays null when there is no encoder for either.
void Muxer::convert(Kept& kept, const AVStream* source) {
    const AVCodecParameters* par = source->codecpar;
    const AVCodecContext* encoder = nullptr;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        if (const AVCodec* codec = audioEncoderFor(container_)) {
            kept.audio =
                std::make_unique<AudioTranscoder>(source, codec, wantsGlobalHeader(), shownAs_);
            encoder = kept.audio->encoder();
        }
    } else if (par->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        if (const AVCodec* codec = subtitleEncoderFor(container_, par)) {
            kept.subtitles = std::make_unique<SubtitleConverter>(source, codec, shownAs_);
            encoder = kept.subtitles->encoder();
        }
    }
    if (encoder == nullptr) return;
    kept.out = newStream();
    check(avcodec_parameters_from_context(kept.out->codecpar, encoder), shownAs_);
    kept.out->time_base = encoder->time_base;
    notes_.push_back(fmt::format(
        "{}: {} {} {} {} (the {} format cannot hold it)", shownAs_, avcodec_get_name(par->codec_id),
        kindOf(source), kept.audio ? "re-encoded as" : "converted to",
        kept.audio ? encoder->codec->name : avcodec_get_name(encoder->codec_id), container_->name));
}

void Muxer::setTags(const AVDictionary* source, const Tags& more) {
    copyTags(&out_->metadata, source, false);
    for (const auto& [key, value] : more)
        av_dict_set(&out_->metadata, key.c_str(), value.c_str(), 0);
    ownTags_ = ownTags_ || !more.empty();
}

bool Muxer::reserveCountTag(const std::string& key) {
    if (stdio_ || (container_->flags & AVFMT_NOFILE) != 0 ||
        (!isMatroska(container_) && !isMp4Family(container_)))
        return false;
    reservedKey_ = key;
    ownTags_ = true;
    // MP4 writes its tags with its index, at the end; Matroska at its start.
    if (isMatroska(container_)) av_dict_set(&out_->metadata, key.c_str(), kPlaceholder, 0);
    return true;
}

void Muxer::start() {
    AVDictionary* options = nullptr;
    if (isMp4Family(container_))
        av_dict_set(&options, "movflags", movFlags(stdio_, ownTags_).c_str(), 0);
    if (isMatroska(container_)) {
        // Matroska would shift every timestamp to make the encoder's first ones
        // non-negative; frames keep their input's timestamps instead.
        out_->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
        // A check sum over the tags would no longer hold once the count is written in.
        if (!reservedKey_.empty()) av_dict_set(&options, "write_crc32", "0", 0);
    }
    if (stdio_) writeChapters(out_.get(), chapters_);
    const std::string url = stdio_ ? "pipe:1" : path_;
    if ((container_->flags & AVFMT_NOFILE) == 0) {
        const int opened =
            avio_open2(&out_->pb, url.c_str(), AVIO_FLAG_WRITE, &out_->interrupt_callback, nullptr);
        if (opened < 0) av_dict_free(&options);
        check(opened, shownAs_ + ": cannot write");
        opened_ = true;
    }
    const int header = avformat_write_header(out_.get(), &options);
    av_dict_free(&options);
    check(header, shownAs_ + ": cannot start writing");
    for (auto& kept : kept_)
        if (kept->picture) write(*kept, kept->picture.get(), kept->sourceTimeBase);
}

void Muxer::write(Kept& kept, AVPacket* packet, AVRational from) {
    av_packet_rescale_ts(packet, from, kept.out->time_base);
    packet->stream_index = kept.out->index;
    // Audio encoded apart in each part may overlap at a join by the encoder's start-up
    // samples, and an MP4 part fills the time before its first cue with an empty one: a
    // packet that does not move its stream forward (an audio packet) or goes back is left
    // out, as the container could not take it.
    if (packet->dts != AV_NOPTS_VALUE) {
        const bool audio = kept.out->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        if (kept.lastDts != AV_NOPTS_VALUE &&
            (packet->dts < kept.lastDts || (audio && packet->dts == kept.lastDts)))
            return;
        kept.lastDts = packet->dts;
    }
    check(av_interleaved_write_frame(out_.get(), packet), shownAs_ + ": cannot write");
}

void Muxer::writeVideo(AVPacket* packet, AVRational from) {
    av_packet_rescale_ts(packet, from, video_->time_base);
    packet->stream_index = video_->index;
    check(av_interleaved_write_frame(out_.get(), packet), shownAs_ + ": cannot write");
}

void Muxer::writeKept(AVPacket* packet, AVRational from) {
    const auto found = std::find_if(kept_.begin(), kept_.end(), [&](const auto& k) {
        return k->source == packet->stream_index;
    });
    // An attachment has no packets; an attached picture's one is written after the header.
    if (found == kept_.end() || (*found)->picture ||
        (*found)->out->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT)
        return;
    Kept& kept = **found;
    if (!kept.audio && !kept.subtitles) {
        write(kept, packet, from);
        return;
    }
    av_packet_rescale_ts(packet, from, kept.sourceTimeBase);
    const AVCodecContext* encoder = kept.audio ? kept.audio->encoder() : kept.subtitles->encoder();
    const auto emit = [&](AVPacket* p) { write(kept, p, encoder->time_base); };
    if (kept.audio)
        kept.audio->push(packet, emit);
    else
        kept.subtitles->push(packet, emit);
}

void Muxer::drainConverters() {
    for (auto& kept : kept_)
        if (kept->audio) {
            const AVRational from = kept->audio->encoder()->time_base;
            kept->audio->finish([&](AVPacket* p) { write(*kept, p, from); });
        }
}

void Muxer::finish() {
    drainConverters();
    check(av_interleaved_write_frame(out_.get(), nullptr), shownAs_ + ": cannot write");
    if (!stdio_) writeChapters(out_.get(), chapters_);
    if (!reservedKey_.empty() && isMp4Family(container_))
        av_dict_set(&out_->metadata, reservedKey_.c_str(), std::to_string(count_).c_str(), 0);
    check(av_write_trailer(out_.get()), shownAs_ + ": cannot finish writing");
    if ((container_->flags & AVFMT_NOFILE) == 0)
        check(avio_closep(&out_->pb), shownAs_ + ": cannot write");
    if (!reservedKey_.empty() && isMatroska(container_)) writeReservedCount();
    finished_ = true;
}

void Muxer::writeReservedCount() {
    const std::string count = fmt::format("{:0{}}", std::max(0LL, count_), kCountWidth);
    if (!overwrite(path_, kPlaceholder, count))
        throw Error(fmt::format("{}: cannot write its {} tag", shownAs_, reservedKey_));
}

}  // namespace drawlet::media
