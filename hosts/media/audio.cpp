#include "media/audio.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include "kit/error.h"

namespace drawlet::media {

namespace {

int sampleRateFor(const AVCodec* encoder, int wanted) {
    if (encoder->supported_samplerates == nullptr) return wanted;
    int best = encoder->supported_samplerates[0];
    for (const int* r = encoder->supported_samplerates; *r != 0; ++r) {
        if (*r == wanted) return wanted;
        if (std::abs(*r - wanted) < std::abs(best - wanted)) best = *r;
    }
    return best;
}

void layoutFor(const AVCodec* encoder, const AVChannelLayout& given, AVChannelLayout& out) {
    // A layout that gives only a channel count: the usual one for that count.
    AVChannelLayout wanted{};
    if (given.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&wanted, given.nb_channels);
    else
        av_channel_layout_copy(&wanted, &given);
    if (encoder->ch_layouts == nullptr) {
        av_channel_layout_copy(&out, &wanted);
        av_channel_layout_uninit(&wanted);
        return;
    }
    for (const AVChannelLayout* l = encoder->ch_layouts; l->nb_channels != 0; ++l)
        if (av_channel_layout_compare(l, &wanted) == 0) {
            av_channel_layout_copy(&out, l);
            av_channel_layout_uninit(&wanted);
            return;
        }
    // The encoder cannot take the layout: stereo, or mono for a mono source.
    av_channel_layout_default(&out, wanted.nb_channels == 1 ? 1 : 2);
    av_channel_layout_uninit(&wanted);
}

}  // namespace

AudioTranscoder::AudioTranscoder(const AVStream* source, const AVCodec* encoder, bool globalHeader,
                                 const std::string& what)
    : what_(what), decoded_(makeFrame()) {
    const AVCodec* decoder = avcodec_find_decoder(source->codecpar->codec_id);
    if (decoder == nullptr)
        throw Error(what + ": no decoder for its " + avcodec_get_name(source->codecpar->codec_id) +
                    " audio");
    decoder_.reset(avcodec_alloc_context3(decoder));
    if (!decoder_) throw std::bad_alloc();
    check(avcodec_parameters_to_context(decoder_.get(), source->codecpar), what);
    decoder_->pkt_timebase = source->time_base;
    openCodec(decoder_.get(), decoder, nullptr, what + ": cannot open its audio decoder");
    if (decoder_->ch_layout.nb_channels == 0) av_channel_layout_default(&decoder_->ch_layout, 2);
    if (decoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&decoder_->ch_layout, decoder_->ch_layout.nb_channels);

    encoder_.reset(avcodec_alloc_context3(encoder));
    if (!encoder_) throw std::bad_alloc();
    encoder_->sample_rate = sampleRateFor(encoder, decoder_->sample_rate);
    layoutFor(encoder, decoder_->ch_layout, encoder_->ch_layout);
    encoder_->sample_fmt =
        encoder->sample_fmts != nullptr ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    encoder_->time_base = {1, encoder_->sample_rate};
    if (globalHeader) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    openCodec(encoder_.get(), encoder, nullptr, what + ": cannot open the audio encoder");

    check(swr_alloc_set_opts2(&swr_, &encoder_->ch_layout, encoder_->sample_fmt,
                              encoder_->sample_rate, &decoder_->ch_layout, decoder_->sample_fmt,
                              decoder_->sample_rate, 0, nullptr),
          what);
    check(swr_init(swr_), what + ": cannot convert its audio");
    fifo_ = av_audio_fifo_alloc(encoder_->sample_fmt, encoder_->ch_layout.nb_channels, 4096);
    if (fifo_ == nullptr) throw std::bad_alloc();
}

AudioTranscoder::~AudioTranscoder() {
    swr_free(&swr_);
    if (fifo_ != nullptr) av_audio_fifo_free(fifo_);
}

void AudioTranscoder::push(const AVPacket* packet, const Emit& emit) {
    const int sent = avcodec_send_packet(decoder_.get(), packet);
    if (sent < 0 && sent != AVERROR_EOF && sent != AVERROR_INVALIDDATA)
        check(sent, what_ + ": cannot decode its audio");
    while (avcodec_receive_frame(decoder_.get(), decoded_.get()) == 0) {
        convert(decoded_.get(), emit);
        av_frame_unref(decoded_.get());
    }
}

void AudioTranscoder::convert(const AVFrame* frame, const Emit& emit) {
    if (nextPts_ == AV_NOPTS_VALUE) {
        const int64_t pts =
            frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : 0;
        nextPts_ = av_rescale_q(pts, decoder_->pkt_timebase, encoder_->time_base);
    }
    const int capacity = swr_get_out_samples(swr_, frame != nullptr ? frame->nb_samples : 0);
    if (capacity <= 0) return;
    uint8_t** buffer = nullptr;
    check(av_samples_alloc_array_and_samples(&buffer, nullptr, encoder_->ch_layout.nb_channels,
                                             capacity, encoder_->sample_fmt, 0),
          what_);
    const int got =
        swr_convert(swr_, buffer, capacity,
                    frame != nullptr ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                    frame != nullptr ? frame->nb_samples : 0);
    if (got > 0) av_audio_fifo_write(fifo_, reinterpret_cast<void**>(buffer), got);
    av_freep(&buffer[0]);
    av_freep(&buffer);
    check(got, what_ + ": cannot convert its audio");
    encodeFromFifo(false, emit);
}

void AudioTranscoder::encodeFromFifo(bool all, const Emit& emit) {
    const bool variable = (encoder_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    const int size = encoder_->frame_size > 0 && !variable ? encoder_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_) >= size || (all && av_audio_fifo_size(fifo_) > 0)) {
        const int count = std::min(size, av_audio_fifo_size(fifo_));
        // A short last frame is padded with silence for encoders that take only full ones.
        const bool pad = count < size && !variable &&
                         (encoder_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) == 0;
        FramePtr frame = makeFrame();
        frame->nb_samples = pad ? size : count;
        frame->format = encoder_->sample_fmt;
        frame->sample_rate = encoder_->sample_rate;
        check(av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout), what_);
        check(av_frame_get_buffer(frame.get(), 0), what_);
        if (pad)
            av_samples_set_silence(frame->extended_data, 0, size, encoder_->ch_layout.nb_channels,
                                   encoder_->sample_fmt);
        av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame->data), count);
        frame->pts = nextPts_;
        nextPts_ += count;
        check(avcodec_send_frame(encoder_.get(), frame.get()), what_ + ": cannot encode audio");
        drainEncoder(emit);
    }
}

void AudioTranscoder::drainEncoder(const Emit& emit) {
    PacketPtr packet = makePacket();
    for (;;) {
        const int got = avcodec_receive_packet(encoder_.get(), packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
        check(got, what_ + ": cannot encode audio");
        emit(packet.get());
        av_packet_unref(packet.get());
    }
}

void AudioTranscoder::finish(const Emit& emit) {
    push(nullptr, emit);
    if (nextPts_ != AV_NOPTS_VALUE) convert(nullptr, emit);  // what the resampler holds
    encodeFromFifo(true, emit);
    check(avcodec_send_frame(encoder_.get(), nullptr), what_ + ": cannot encode audio");
    drainEncoder(emit);
}

}  // namespace drawlet::media
