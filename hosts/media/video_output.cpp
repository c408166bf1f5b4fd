#include "media/video_output.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <fmt/format.h>
#include <strings.h>

#include <opencv2/core.hpp>

#include "kit/error.h"
#include "media/audio.h"
#include "media/images.h"
#include "media/paths.h"

namespace drawlet::media {

namespace {

void copyTags(AVDictionary** to, const AVDictionary* from, bool video) {
    const AVDictionaryEntry* tag = nullptr;
    while ((tag = av_dict_get(from, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        if (isEncodingTag(tag->key)) continue;
        // The pictures are written upright: a rotation tag would turn them again.
        if (video && strcasecmp(tag->key, "rotate") == 0) continue;
        av_dict_set(to, tag->key, tag->value, 0);
    }
}

bool isMatroska(const AVOutputFormat* format) {
    const std::string name = format->name;
    return name == "matroska" || name == "webm";
}

bool isMp4Family(const AVOutputFormat* format) {
    const std::string name = format->name;
    return name == "mp4" || name == "mov" || name == "ipod" || name == "ismv";
}

class VideoOutput : public FrameOutput {
  public:
    VideoOutput(const OutputVideo& video, const OutputOptions& options);
    void write(const cv::Mat& bgr, const cv::Mat* alpha, int64_t pts, long long index) override;
    void writeAudio(PacketPtr packet) override;
    void finish(const std::function<void()>& draining) override;
    std::vector<std::string> notes() const override { return notes_; }

  private:
    struct AudioTrack {
        int source = -1;
        AVStream* out = nullptr;
        AVRational sourceTimeBase{1, 1};
        std::unique_ptr<AudioTranscoder> transcoder;
    };

    void setUpVideo(const OutputVideo& video);
    void setUpAudio();
    void writePacket(AVPacket* packet, AVStream* stream, AVRational from);
    void drainVideo();
    std::string what() const { return options_.shownAs; }

    OutputOptions options_;
    const AVOutputFormat* container_ = nullptr;
    OutputPtr owner_;
    AVFormatContext* out_ = nullptr;  // owned by owner_
    CodecPtr encoder_;
    AVStream* videoStream_ = nullptr;
    FramePtr frame_;
    FromBgr fromBgr_;
    ColourTags tags_;
    bool keepAlpha_ = false;
    int padRight_ = 0, padBottom_ = 0;
    int64_t lastPts_ = AV_NOPTS_VALUE;
    long long restamped_ = 0;
    std::vector<AudioTrack> audio_;
    std::vector<std::string> notes_;
};

VideoOutput::VideoOutput(const OutputVideo& video, const OutputOptions& options)
    : options_(options), frame_(makeFrame()) {
    container_ = outputFormatFor(options.path, options.encode.format, options.shownAs);
    const std::string url = isStdio(options.path) ? "pipe:1" : options.path;
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, container_, nullptr, url.c_str()), what());
    owner_.reset(raw);
    out_ = raw;
    out_->interrupt_callback = interruptOn(options.stop);
    setUpVideo(video);
    setUpAudio();

    if (options.source != nullptr) copyTags(&out_->metadata, options.source->metadata, false);
    for (const auto& [key, value] : options.tags)
        av_dict_set(&out_->metadata, key.c_str(), value.c_str(), 0);

    AVDictionary* muxOptions = nullptr;
    if (isMp4Family(container_)) {
        std::string flags =
            isStdio(options.path) ? "+frag_keyframe+empty_moov+default_base_moof" : "+faststart";
        if (!options.tags.empty()) flags += "+use_metadata_tags";
        av_dict_set(&muxOptions, "movflags", flags.c_str(), 0);
    }
    // Matroska would shift every timestamp to make the encoder's first ones non-negative;
    // frames keep their input's timestamps instead.
    if (isMatroska(container_)) out_->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    if ((container_->flags & AVFMT_NOFILE) == 0)
        check(
            avio_open2(&out_->pb, url.c_str(), AVIO_FLAG_WRITE, &out_->interrupt_callback, nullptr),
            what() + ": cannot write");
    const int header = avformat_write_header(out_, &muxOptions);
    av_dict_free(&muxOptions);
    check(header, what() + ": cannot start writing");
}

void VideoOutput::setUpVideo(const OutputVideo& video) {
    const AVCodec* codec = videoEncoderFor(container_, options_.encode.codec);
    const AVPixelFormat format = pixelFormatFor(codec, options_.encode.pixelFormat, video.alpha);
    keepAlpha_ = video.alpha && hasAlpha(format);
    if (video.alpha && !keepAlpha_)
        notes_.push_back(fmt::format(
            "{}: the input's alpha channel is dropped ({} in {} has none; WebM, PNG pictures "
            "and --codec prores_ks in .mov keep it)",
            what(), codec->name, container_->name));

    // Chroma subsampling needs sides that are multiples of 2 (4:2:0): one more column or
    // row, a copy of the last, rather than a format players refuse.
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    const int xStep = 1 << desc->log2_chroma_w, yStep = 1 << desc->log2_chroma_h;
    padRight_ = (xStep - video.width % xStep) % xStep;
    padBottom_ = (yStep - video.height % yStep) % yStep;
    const int width = video.width + padRight_, height = video.height + padBottom_;
    if (padRight_ != 0 || padBottom_ != 0)
        notes_.push_back(fmt::format("{}: {}x{} padded to {}x{} ({} needs even sides)", what(),
                                     video.width, video.height, width, height,
                                     av_get_pix_fmt_name(format)));

    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_) throw std::bad_alloc();
    AVCodecContext* enc = encoder_.get();
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = format;
    enc->time_base = video.timeBase;
    enc->framerate = video.frameRate;
    enc->sample_aspect_ratio = video.sampleAspect;
    tags_ = outputTags(video.colour, video.sourceFormat, format);
    enc->color_primaries = tags_.primaries;
    enc->color_trc = tags_.transfer;
    enc->colorspace = tags_.matrix;
    enc->color_range = tags_.range;
    enc->chroma_sample_location = tags_.chromaLocation;
    enc->thread_count = 0;
    if ((container_->flags & AVFMT_GLOBALHEADER) != 0) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // mpeg4 and a few others cannot take a time base finer than 1/65535.
    if (codec->id == AV_CODEC_ID_MPEG4 && enc->time_base.den > 65535)
        enc->time_base = av_inv_q(video.frameRate);

    AVDictionary* codecOptions = nullptr;
    const FrameShape shape{width, height, av_q2d(video.frameRate), format};
    for (const auto& [key, value] : qualityOptions(codec, options_.encode, shape))
        av_dict_set(&codecOptions, key.c_str(), value.c_str(), 0);
    for (const auto& [key, value] : options_.encode.encoderOptions)
        av_dict_set(&codecOptions, key.c_str(), value.c_str(), 0);
    try {
        openCodec(enc, codec, &codecOptions, what());
    } catch (...) {
        av_dict_free(&codecOptions);
        throw;
    }
    av_dict_free(&codecOptions);

    videoStream_ = avformat_new_stream(out_, nullptr);
    if (videoStream_ == nullptr) throw std::bad_alloc();
    check(avcodec_parameters_from_context(videoStream_->codecpar, enc), what());
    videoStream_->time_base = enc->time_base;
    videoStream_->avg_frame_rate = video.frameRate;
    videoStream_->sample_aspect_ratio = video.sampleAspect;
    if (options_.source != nullptr && options_.sourceVideoStream >= 0) {
        const AVStream* in = options_.source->streams[options_.sourceVideoStream];
        copyTags(&videoStream_->metadata, in->metadata, true);
        videoStream_->disposition = in->disposition;
    }

    frame_->format = format;
    frame_->width = width;
    frame_->height = height;
    check(av_frame_get_buffer(frame_.get(), 0), what());
    frame_->color_primaries = tags_.primaries;
    frame_->color_trc = tags_.transfer;
    frame_->colorspace = tags_.matrix;
    frame_->color_range = tags_.range;
    frame_->chroma_location = tags_.chromaLocation;
    frame_->sample_aspect_ratio = video.sampleAspect;
}

void VideoOutput::setUpAudio() {
    if (options_.source == nullptr) return;
    for (const int index : options_.audioStreams) {
        const AVStream* in = options_.source->streams[index];
        AudioTrack track;
        track.source = index;
        track.sourceTimeBase = in->time_base;
        const bool copy = containerTakes(container_, in->codecpar->codec_id);
        const AVCodec* encoder = copy ? nullptr : audioEncoderFor(container_);
        if (!copy && encoder == nullptr) {
            notes_.push_back(fmt::format(
                "{}: audio stream {} ({}) is left out: the {} format "
                "takes no audio codec available here",
                what(), index, avcodec_get_name(in->codecpar->codec_id), container_->name));
            continue;
        }
        track.out = avformat_new_stream(out_, nullptr);
        if (track.out == nullptr) throw std::bad_alloc();
        if (copy) {
            check(avcodec_parameters_copy(track.out->codecpar, in->codecpar), what());
            track.out->codecpar->codec_tag = 0;
            track.out->time_base = in->time_base;
        } else {
            track.transcoder = std::make_unique<AudioTranscoder>(
                in, encoder, (container_->flags & AVFMT_GLOBALHEADER) != 0, what());
            check(avcodec_parameters_from_context(track.out->codecpar, track.transcoder->encoder()),
                  what());
            track.out->time_base = track.transcoder->encoder()->time_base;
            notes_.push_back(fmt::format(
                "{}: {} audio re-encoded as {} (the {} format cannot "
                "hold it)",
                what(), avcodec_get_name(in->codecpar->codec_id), encoder->name, container_->name));
        }
        copyTags(&track.out->metadata, in->metadata, false);
        track.out->disposition = in->disposition;
        audio_.push_back(std::move(track));
    }
}

void VideoOutput::writePacket(AVPacket* packet, AVStream* stream, AVRational from) {
    av_packet_rescale_ts(packet, from, stream->time_base);
    packet->stream_index = stream->index;
    check(av_interleaved_write_frame(out_, packet), what() + ": cannot write");
}

void VideoOutput::drainVideo() {
    PacketPtr packet = makePacket();
    for (;;) {
        const int got = avcodec_receive_packet(encoder_.get(), packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
        check(got, what() + ": cannot encode");
        writePacket(packet.get(), videoStream_, encoder_->time_base);
    }
}

void VideoOutput::write(const cv::Mat& bgr, const cv::Mat* alpha, int64_t pts, long long) {
    cv::Mat picture = bgr, matte;
    const bool withAlpha = keepAlpha_ && alpha != nullptr && !alpha->empty();
    if (padRight_ != 0 || padBottom_ != 0) {
        cv::copyMakeBorder(bgr, picture, 0, padBottom_, 0, padRight_, cv::BORDER_REPLICATE);
        if (withAlpha)
            cv::copyMakeBorder(*alpha, matte, 0, padBottom_, 0, padRight_, cv::BORDER_REPLICATE);
    } else if (withAlpha) {
        matte = *alpha;
    }
    check(av_frame_make_writable(frame_.get()), what());
    fromBgr_.convert(picture, withAlpha ? &matte : nullptr, tags_, *frame_);
    // Timestamps must grow: a repeated or backward one is moved just after the last.
    if (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_) {
        pts = lastPts_ + 1;
        ++restamped_;
    }
    frame_->pts = pts;
    lastPts_ = pts;
    check(avcodec_send_frame(encoder_.get(), frame_.get()), what() + ": cannot encode");
    drainVideo();
}

void VideoOutput::writeAudio(PacketPtr packet) {
    for (AudioTrack& track : audio_) {
        if (track.source != packet->stream_index) continue;
        if (!track.transcoder) {
            writePacket(packet.get(), track.out, track.sourceTimeBase);
            return;
        }
        AVStream* stream = track.out;
        const AVRational from = track.transcoder->encoder()->time_base;
        track.transcoder->push(packet.get(), [&](AVPacket* p) { writePacket(p, stream, from); });
        return;
    }
}

void VideoOutput::finish(const std::function<void()>& draining) {
    if (draining) draining();
    check(avcodec_send_frame(encoder_.get(), nullptr), what() + ": cannot encode");
    drainVideo();
    for (AudioTrack& track : audio_) {
        if (!track.transcoder) continue;
        AVStream* stream = track.out;
        const AVRational from = track.transcoder->encoder()->time_base;
        track.transcoder->finish([&](AVPacket* p) { writePacket(p, stream, from); });
    }
    check(av_interleaved_write_frame(out_, nullptr), what() + ": cannot write");
    check(av_write_trailer(out_), what() + ": cannot finish writing");
    if ((container_->flags & AVFMT_NOFILE) == 0)
        check(avio_closep(&out_->pb), what() + ": cannot write");
    if (restamped_ > 0)
        notes_.push_back(
            fmt::format("{}: {} frames had a timestamp at or before the one "
                        "before them and were moved just after it",
                        what(), restamped_));
}

}  // namespace

bool isEncodingTag(const char* key) {
    static const char* const kKeys[] = {"encoder",          "DURATION",          "major_brand",
                                        "minor_version",    "compatible_brands", "BPS",
                                        "NUMBER_OF_FRAMES", "NUMBER_OF_BYTES",   "vendor_id"};
    for (const char* k : kKeys)
        if (strcasecmp(key, k) == 0) return true;
    return strncasecmp(key, "_STATISTICS_", 12) == 0;
}

bool outputKeepsAlpha(const std::string& path, const EncodeOptions& encode) {
    if (isImageSequence(path) || isStillImage(path)) return imageKeepsAlpha(path);
    const AVOutputFormat* container = outputFormatFor(path, encode.format);
    const AVCodec* codec = videoEncoderFor(container, encode.codec);
    return hasAlpha(pixelFormatFor(codec, encode.pixelFormat, true));
}

std::unique_ptr<FrameOutput> openOutput(const OutputVideo& video, const OutputOptions& options) {
    if (isImageSequence(options.path) || isStillImage(options.path))
        return openImageOutput(video, options);
    return std::make_unique<VideoOutput>(video, options);
}

std::unique_ptr<FrameOutput> openVideoOutput(const OutputVideo& video,
                                             const OutputOptions& options) {
    return std::make_unique<VideoOutput>(video, options);
}

}  // namespace drawlet::media
