#include "media/subtitles.h"

#include <cstring>
#include <vector>

#include "kit/error.h"
#include "media/encoding.h"

namespace drawlet::media {

namespace {

// Cues are timed in milliseconds, as subtitle decoders give their display times.
constexpr AVRational kMilliseconds{1, 1000};

// Room for one encoded cue: text cues are a few hundred bytes.
constexpr int kCueBytes = 1 << 16;

// Frees a decoded cue on every way out.
struct CueOwner {
    AVSubtitle cue{};
    CueOwner() = default;
    CueOwner(const CueOwner&) = delete;
    CueOwner& operator=(const CueOwner&) = delete;
    ~CueOwner() { avsubtitle_free(&cue); }
};

}  // namespace

const AVCodec* subtitleEncoderFor(const AVOutputFormat* container,
                                  const AVCodecParameters* source) {
    const AVCodecDescriptor* from = avcodec_descriptor_get(source->codec_id);
    if (from == nullptr || (from->props & AV_CODEC_PROP_TEXT_SUB) == 0 ||
        avcodec_find_decoder(source->codec_id) == nullptr)
        return nullptr;
    for (const AVCodecID id : {container->subtitle_codec, AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_WEBVTT,
                               AV_CODEC_ID_ASS, AV_CODEC_ID_SUBRIP}) {
        if (id == AV_CODEC_ID_NONE || !containerTakes(container, id)) continue;
        if (const AVCodec* encoder = avcodec_find_encoder(id)) return encoder;
    }
    return nullptr;
}

SubtitleConverter::SubtitleConverter(const AVStream* source, const AVCodec* encoder,
                                     const std::string& what)
    : what_(what), sourceTimeBase_(source->time_base) {
    const AVCodec* decoder = avcodec_find_decoder(source->codecpar->codec_id);
    decoder_.reset(avcodec_alloc_context3(decoder));
    if (!decoder_) throw std::bad_alloc();
    check(avcodec_parameters_to_context(decoder_.get(), source->codecpar), what);
    decoder_->pkt_timebase = source->time_base;
    openCodec(decoder_.get(), decoder, nullptr, what + ": cannot open its subtitle decoder");

    encoder_.reset(avcodec_alloc_context3(encoder));
    if (!encoder_) throw std::bad_alloc();
    encoder_->time_base = kMilliseconds;
    // The styles the cues refer to: the encoder writes them into its own header.
    if (decoder_->subtitle_header_size > 0) {
        const auto size = static_cast<std::size_t>(decoder_->subtitle_header_size);
        encoder_->subtitle_header = static_cast<uint8_t*>(av_mallocz(size + 1));
        if (encoder_->subtitle_header == nullptr) throw std::bad_alloc();
        std::memcpy(encoder_->subtitle_header, decoder_->subtitle_header, size);
        encoder_->subtitle_header_size = decoder_->subtitle_header_size;
    }
    openCodec(encoder_.get(), encoder, nullptr, what + ": cannot open the subtitle encoder");
}

void SubtitleConverter::push(AVPacket* packet, const Emit& emit) {
    CueOwner owner;
    AVSubtitle& cue = owner.cue;
    int got = 0;
    // A cue that does not decode is left out, as a damaged audio packet is.
    if (avcodec_decode_subtitle2(decoder_.get(), &cue, &got, packet) < 0 || got == 0 ||
        cue.num_rects == 0 || packet->pts == AV_NOPTS_VALUE)
        return;
    const int64_t start =
        av_rescale_q(packet->pts, sourceTimeBase_, kMilliseconds) + cue.start_display_time;
    int64_t length = 0;
    if (cue.end_display_time > cue.start_display_time && cue.end_display_time != UINT32_MAX)
        length = cue.end_display_time - cue.start_display_time;
    else if (packet->duration > 0)
        length = av_rescale_q(packet->duration, sourceTimeBase_, kMilliseconds);
    cue.start_display_time = 0;
    cue.end_display_time = static_cast<uint32_t>(length);

    std::vector<uint8_t> bytes(kCueBytes);
    const int size = avcodec_encode_subtitle(encoder_.get(), bytes.data(), kCueBytes, &cue);
    check(size, what_ + ": cannot convert its subtitles");
    if (size == 0) return;
    PacketPtr out = makePacket();
    check(av_new_packet(out.get(), size), what_);
    std::memcpy(out->data, bytes.data(), static_cast<std::size_t>(size));
    out->pts = out->dts = start;
    out->duration = length;
    emit(out.get());
}

}  // namespace drawlet::media
