#include "media/video_output.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <fmt/format.h>

#include <opencv2/core.hpp>

#include "kit/error.h"
#include "media/images.h"
#include "media/muxer.h"
#include "media/paths.h"

namespace drawlet::media {

namespace {

// Frames encoded in process and written through the muxer, with the source's other streams,
// tags and chapters beside them.
class VideoOutput : public FrameOutput {
  public:
    VideoOutput(const OutputVideo& video, const OutputOptions& options);
    void write(const cv::Mat& bgr, const cv::Mat* alpha, int64_t pts, long long index) override;
    void writeKept(Packets packets) override;
    void finish(const std::function<void()>& draining, const TimeSpan& span) override;
    std::vector<std::string> notes() const override { return notes_; }

  private:
    AVPixelFormat chooseFormat(const AVCodec* codec, const OutputVideo& video);
    void padForChroma(const OutputVideo& video, AVPixelFormat format);
    void openEncoder(const AVCodec* codec, AVPixelFormat format, const OutputVideo& video);
    void prepareFrame(const OutputVideo& video);
    void keepSource();
    std::vector<Chapter> partChapters(TimeSpan span) const;
    void drainVideo();
    std::string what() const { return options_.shownAs; }

    OutputOptions options_;
    Muxer muxer_;
    CodecPtr encoder_;
    FramePtr frame_;
    FromBgr fromBgr_;
    ColourTags tags_;
    bool keepAlpha_ = false;
    int padRight_ = 0, padBottom_ = 0;
    int64_t lastPts_ = AV_NOPTS_VALUE;
    long long restamped_ = 0;
    long long written_ = 0;
    std::vector<std::string> notes_;
};

VideoOutput::VideoOutput(const OutputVideo& video, const OutputOptions& options)
    : options_(options),
      muxer_(options.path, options.shownAs, options.encode.format, options.stop),
      frame_(makeFrame()) {
    const AVCodec* codec = videoEncoderFor(muxer_.container(), options.encode.codec);
    const AVPixelFormat format = chooseFormat(codec, video);
    padForChroma(video, format);
    openEncoder(codec, format, video);
    prepareFrame(video);
    keepSource();
    muxer_.start();
    notes_.insert(notes_.end(), muxer_.notes().begin(), muxer_.notes().end());
}

AVPixelFormat VideoOutput::chooseFormat(const AVCodec* codec, const OutputVideo& video) {
    const AVPixelFormat format = pixelFormatFor(codec, options_.encode.pixelFormat, video.alpha);
    keepAlpha_ = video.alpha && hasAlpha(format);
    if (video.alpha && !keepAlpha_)
        notes_.push_back(fmt::format(
            "{}: the input's alpha channel is dropped ({} in {} has none; WebM, PNG pictures "
            "and --codec prores_ks in .mov keep it)",
            what(), codec->name, muxer_.container()->name));
    return format;
}

// Chroma subsampling needs sides that are multiples of 2 (4:2:0): one more column or row, a
// copy of the last, rather than a format players refuse.
void VideoOutput::padForChroma(const OutputVideo& video, AVPixelFormat format) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    const int xStep = 1 << desc->log2_chroma_w, yStep = 1 << desc->log2_chroma_h;
    padRight_ = (xStep - video.width % xStep) % xStep;
    padBottom_ = (yStep - video.height % yStep) % yStep;
    if (padRight_ != 0 || padBottom_ != 0)
        notes_.push_back(fmt::format("{}: {}x{} padded to {}x{} ({} needs even sides)", what(),
                                     video.width, video.height, video.width + padRight_,
                                     video.height + padBottom_, av_get_pix_fmt_name(format)));
}

void VideoOutput::openEncoder(const AVCodec* codec, AVPixelFormat format,
                              const OutputVideo& video) {
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_) throw std::bad_alloc();
    AVCodecContext* enc = encoder_.get();
    enc->width = video.width + padRight_;
    enc->height = video.height + padBottom_;
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
    if (muxer_.wantsGlobalHeader()) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // mpeg4 and a few others cannot take a time base finer than 1/65535.
    if (codec->id == AV_CODEC_ID_MPEG4 && enc->time_base.den > 65535)
        enc->time_base = av_inv_q(video.frameRate);

    AVDictionary* codecOptions = nullptr;
    const FrameShape shape{enc->width, enc->height, av_q2d(video.frameRate), format};
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
}

void VideoOutput::prepareFrame(const OutputVideo& video) {
    frame_->format = encoder_->pix_fmt;
    frame_->width = encoder_->width;
    frame_->height = encoder_->height;
    check(av_frame_get_buffer(frame_.get(), 0), what());
    frame_->color_primaries = tags_.primaries;
    frame_->color_trc = tags_.transfer;
    frame_->colorspace = tags_.matrix;
    frame_->color_range = tags_.range;
    frame_->chroma_location = tags_.chromaLocation;
    frame_->sample_aspect_ratio = video.sampleAspect;
}

// The picture stream, the source's other streams, its tags and chapters, and what a part
// records about itself.
void VideoOutput::keepSource() {
    const VideoReader* source = options_.source;
    const AVFormatContext* input = source != nullptr ? source->format() : nullptr;
    muxer_.addVideo(encoder_.get(), encoder_->framerate,
                    input != nullptr ? input->streams[source->videoStream()] : nullptr);
    if (input == nullptr) return;
    for (const int k : source->keptStreams()) muxer_.keep(input->streams[k]);
    muxer_.setTags(input->metadata, options_.part ? partTags(*options_.part) : Tags{});
    if (options_.part && !muxer_.reserveCountTag(kPartFramesTag))
        notes_.push_back(
            isStdio(options_.path)
                ? what() +
                      ": a part written to a pipe cannot record its frame count: join "
                      "cannot check that it is whole"
                : fmt::format("{}: a part in the {} format cannot record its frame count "
                              "(Matroska, WebM, MP4 and MOV can): join cannot check that it "
                              "is whole",
                              what(), muxer_.container()->name));
    const std::vector<Chapter> chapters = chaptersOf(input);
    if (!options_.part || !isStdio(options_.path))
        muxer_.setChapters(chapters);
    else if (!chapters.empty())
        notes_.push_back(what() +
                         ": the chapters are left out: a part written to a pipe "
                         "cannot cut them to its frames");
}

void VideoOutput::drainVideo() {
    PacketPtr packet = makePacket();
    for (;;) {
        const int got = avcodec_receive_packet(encoder_.get(), packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
        check(got, what() + ": cannot encode");
        muxer_.writeVideo(packet.get(), encoder_->time_base);
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
    ++written_;
    drainVideo();
}

void VideoOutput::writeKept(Packets packets) {
    if (options_.source == nullptr) return;
    const AVFormatContext* input = options_.source->format();
    for (PacketPtr& p : packets)
        muxer_.writeKept(p.get(), input->streams[p->stream_index]->time_base);
}

void VideoOutput::finish(const std::function<void()>& draining, const TimeSpan& span) {
    if (draining) draining();
    check(avcodec_send_frame(encoder_.get(), nullptr), what() + ": cannot encode");
    drainVideo();
    if (options_.part) {
        if (!isStdio(options_.path)) muxer_.setChapters(partChapters(span));
        muxer_.setCount(written_);
    }
    muxer_.finish();
    if (restamped_ > 0)
        notes_.push_back(
            fmt::format("{}: {} frames had a timestamp at or before the one "
                        "before them and were moved just after it",
                        what(), restamped_));
}

// The source's chapters cut to the part's stretch. An MP4 chapter track starts with the
// file, so there a part's chapters are cut at its end only.
std::vector<Chapter> VideoOutput::partChapters(TimeSpan span) const {
    const std::string name = muxer_.container()->name;
    if (name == "mp4" || name == "mov" || name == "ipod" || name == "ismv") span.start.reset();
    return cutChapters(chaptersOf(options_.source->format()), span);
}

}  // namespace

OutputVideo outputVideoOf(const VideoInfo& info) {
    OutputVideo video;
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
