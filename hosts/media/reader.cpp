#include "media/reader.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
}

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>

#include "kit/error.h"
#include "media/paths.h"
#include "media/rates.h"
#include "media/sequences.h"

namespace drawlet::media {

namespace {

// Frames a decoder may hold back to reorder them: the scan for a frame's timestamp reads this
// many packets beyond it, so that a later packet of smaller timestamp is counted.
constexpr long long kReorderWindow = 32;

// Seconds before a frame to seek to, so that every audio packet from the frame on is read
// even where the container stores audio a little ahead of the video.
constexpr double kSeekLead = 0.5;

int quarterTurnsOf(const AVStream* stream) {
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr || size < 9 * sizeof(int32_t)) return 0;
    const double degrees = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(degrees)) return 0;
    const long turn = ((std::lround(degrees) % 360) + 360) % 360;
    return turn == 90 ? 1 : turn == 180 ? 2 : turn == 270 ? 3 : 0;
}

// Matroska keeps a stream's length in a DURATION tag, "HH:MM:SS.nnnnnnnnn".
double durationTag(const AVStream* stream) {
    const AVDictionaryEntry* tag = av_dict_get(stream->metadata, "DURATION", nullptr, 0);
    int h = 0, m = 0;
    double s = 0;
    if (tag == nullptr || std::sscanf(tag->value, "%d:%d:%lf", &h, &m, &s) != 3) return 0;
    return h * 3600.0 + m * 60.0 + s;
}

const AVCodec* decoderFor(const AVStream* stream, bool& alpha) {
    // FFmpeg's own VP8/VP9 decoders ignore the alpha channel WebM stores beside the picture;
    // libvpx's decoders read it.
    const AVDictionaryEntry* alphaMode = av_dict_get(stream->metadata, "alpha_mode", nullptr, 0);
    if (alphaMode != nullptr && std::string(alphaMode->value) == "1") {
        const char* name = stream->codecpar->codec_id == AV_CODEC_ID_VP9   ? "libvpx-vp9"
                           : stream->codecpar->codec_id == AV_CODEC_ID_VP8 ? "libvpx"
                                                                           : nullptr;
        if (name != nullptr)
            if (const AVCodec* codec = avcodec_find_decoder_by_name(name)) {
                alpha = true;
                return codec;
            }
    }
    return avcodec_find_decoder(stream->codecpar->codec_id);
}

ColourTags tagsOf(const AVCodecParameters* par) {
    return {par->color_primaries, par->color_trc, par->color_space, par->color_range,
            par->chroma_location};
}

}  // namespace

VideoReader::VideoReader(const std::string& path, const ReaderOptions& options)
    : path_(path), options_(options), frame_(makeFrame()), packet_(makePacket()) {
    openFile();
    findStreams();
    bool sideAlpha = false;
    openDecoder(sideAlpha);
    readInfo(sideAlpha);
}

// The image2 demuxer's options for a sequence: its rate, and its first number as the files
// say, its first picture's size checked first.
AVDictionary* VideoReader::sequenceOptions() const {
    const SequencePattern sequence(path_);
    const long long start = sequenceStart(sequence, options_.sequenceStart);
    if (start >= 0)
        if (const std::optional<PictureSize> size = declaredSize(sequence.file(start)))
            checkPixelLimit(sequence.file(start), size->width, size->height, options_.maxPixels);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "framerate", options_.sequenceRate.c_str(), 0);
    if (start >= 0) av_dict_set_int(&options, "start_number", start, 0);
    return options;
}

void VideoReader::openFile() {
    const bool sequence = isImageSequence(path_);
    AVDictionary* demuxOptions = sequence ? sequenceOptions() : nullptr;
    AVFormatContext* raw = avformat_alloc_context();
    if (raw == nullptr) throw std::bad_alloc();
    raw->interrupt_callback = interruptOn(options_.stop);
    const AVInputFormat* forced = sequence ? av_find_input_format("image2") : nullptr;
    const std::string url = isStdio(path_) ? "pipe:0" : path_;
    const int opened = avformat_open_input(&raw, url.c_str(), forced, &demuxOptions);
    av_dict_free(&demuxOptions);
    if (opened < 0)
        throw Error(fmt::format("{}: not a video{} that FFmpeg can read ({})", path_,
                                sequence ? " or image sequence" : "", errorText(opened)));
    format_.reset(raw);
    checkDeclaredSize();
    // The decoders that find the streams' parameters refuse frames beyond the limit too.
    std::vector<AVDictionary*> probeOptions(raw->nb_streams, nullptr);
    for (AVDictionary*& o : probeOptions) av_dict_set_int(&o, "max_pixels", options_.maxPixels, 0);
    const int found = avformat_find_stream_info(raw, probeOptions.data());
    for (AVDictionary*& o : probeOptions) av_dict_free(&o);
    if (found < 0)
        throw Error(fmt::format("{}: cannot read its streams ({})", path_, errorText(found)));
}

// The size of the pictures as the container declares it, checked before any is decoded (the
// stream's parameters are those the decoder found afterwards).
void VideoReader::checkDeclaredSize() const {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* s = format_->streams[i];
        if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO ||
            (s->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0)
            continue;
        checkPixelLimit(path_, s->codecpar->width, s->codecpar->height, options_.maxPixels);
        return;
    }
}

// The pictures come from the first video stream that is not an attached picture; packets of
// audio, subtitle and data streams are read and handed over, the others are not read.
void VideoReader::findStreams() {
    AVFormatContext* raw = format_.get();
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* s = raw->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && videoStream_ < 0 &&
            (s->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0)
            videoStream_ = static_cast<int>(i);
        else if (carriesContent(s))
            keptStreams_.push_back(static_cast<int>(i));
    }
    if (videoStream_ < 0) throw Error(path_ + ": holds no video stream");
    passedOn_.assign(raw->nb_streams, false);
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (static_cast<int>(i) != videoStream_) raw->streams[i]->discard = AVDISCARD_ALL;
    for (const int k : keptStreams_) {
        AVStream* s = raw->streams[k];
        const AVMediaType type = s->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO) audioStreams_.push_back(k);
        if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE &&
            type != AVMEDIA_TYPE_DATA)
            continue;
        s->discard = AVDISCARD_DEFAULT;
        passedOn_[static_cast<std::size_t>(k)] = true;
    }
}

void VideoReader::openDecoder(bool& sideAlpha) {
    const AVStream* video = format_->streams[videoStream_];
    checkPixelLimit(path_, video->codecpar->width, video->codecpar->height, options_.maxPixels);
    const AVCodec* codec = decoderFor(video, sideAlpha);
    if (codec == nullptr)
        throw Error(fmt::format("{}: no decoder for its {} video", path_,
                                avcodec_get_name(video->codecpar->codec_id)));
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_) throw std::bad_alloc();
    check(avcodec_parameters_to_context(decoder_.get(), video->codecpar), path_);
    decoder_->pkt_timebase = video->time_base;
    decoder_->max_pixels = options_.maxPixels;
    decoder_->thread_count = 0;
    openCodec(decoder_.get(), codec, nullptr, path_ + ": cannot open its video decoder");
}

void VideoReader::readInfo(bool sideAlpha) {
    AVFormatContext* raw = format_.get();
    AVStream* video = raw->streams[videoStream_];
    const AVCodecParameters* par = video->codecpar;
    info_.width = par->width;
    info_.height = par->height;
    if (info_.width <= 0 || info_.height <= 0)
        throw Error(path_ + ": its video has no picture size");
    info_.sampleAspect = av_guess_sample_aspect_ratio(raw, video, nullptr);
    if (info_.sampleAspect.num <= 0 || info_.sampleAspect.den <= 0) info_.sampleAspect = {1, 1};
    info_.timeBase = video->time_base;
    info_.frameRate =
        isImageSequence(path_) ? parseRate(options_.sequenceRate) : video->avg_frame_rate;
    if (info_.frameRate.num <= 0 || info_.frameRate.den <= 0) info_.frameRate = video->r_frame_rate;
    if (info_.frameRate.num <= 0 || info_.frameRate.den <= 0) info_.frameRate = {25, 1};
    info_.colour = tagsOf(par);
    info_.pixelFormat = static_cast<AVPixelFormat>(par->format);
    info_.alpha = hasAlpha(info_.pixelFormat) || sideAlpha;
    info_.quarterTurns = quarterTurnsOf(video);
    if (info_.quarterTurns % 2 == 1) {
        std::swap(info_.width, info_.height);
        std::swap(info_.sampleAspect.num, info_.sampleAspect.den);
    }
    if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
        info_.duration = static_cast<double>(video->duration) * av_q2d(video->time_base);
    else if (const double tagged = durationTag(video); tagged > 0)
        info_.duration = tagged;
    else if (audioStreams_.empty() && raw->duration > 0)
        info_.duration = static_cast<double>(raw->duration) / AV_TIME_BASE;
    if (video->nb_frames > 0)
        info_.frameCount = video->nb_frames;
    else if (info_.duration > 0)
        info_.frameCount = std::llround(info_.duration * av_q2d(info_.frameRate));
    audioPassed_.assign(raw->nb_streams, false);
}

VideoReader::~VideoReader() = default;

bool VideoReader::isCue(const AVPacket& packet) const {
    const auto index = static_cast<std::size_t>(packet.stream_index);
    return index < passedOn_.size() && passedOn_[index] && packet.pts != AV_NOPTS_VALUE &&
           packet.duration > 0 &&
           format_->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE;
}

// The timestamp of frame `index`, from the packets' timestamps read from the start; the
// subtitle cues read on the way are kept in `cues`.
VideoReader::FrameSearch VideoReader::findFramePts(long long index, std::vector<PacketPtr>& cues) {
    std::vector<int64_t> stamps;
    PacketPtr packet = makePacket();
    // Written so that an index near the largest number cannot overflow.
    while (static_cast<long long>(stamps.size()) - 1 - kReorderWindow < index) {
        const int got = av_read_frame(format_.get(), packet.get());
        if (got < 0) break;
        if (packet->stream_index == videoStream_ && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
            const int64_t pts = packet->pts;
            av_packet_unref(packet.get());
            if (pts == AV_NOPTS_VALUE) return {false, AV_NOPTS_VALUE};
            stamps.push_back(pts);
            continue;
        }
        if (isCue(*packet)) {
            cues.push_back(makePacket());
            av_packet_move_ref(cues.back().get(), packet.get());
        }
        av_packet_unref(packet.get());
    }
    if (static_cast<long long>(stamps.size()) <= index) return {};
    std::nth_element(stamps.begin(), stamps.begin() + index, stamps.end());
    return {true, stamps[static_cast<std::size_t>(index)]};
}

// Cues begun before frame time `pts` and still showing then: the seek may land after them,
// so they are handed over with the first frame, and not again when read once more.
void VideoReader::keepCuesShowingAt(std::vector<PacketPtr>& cues, int64_t pts) {
    for (PacketPtr& cue : cues) {
        const AVRational timeBase = format_->streams[cue->stream_index]->time_base;
        if (av_compare_ts(cue->pts, timeBase, pts, info_.timeBase) >= 0 ||
            av_compare_ts(cue->pts + cue->duration, timeBase, pts, info_.timeBase) <= 0)
            continue;
        earlyCueKeys_.emplace_back(cue->stream_index, cue->pts);
        earlyCues_.push_back(std::move(cue));
    }
}

void VideoReader::rewind() {
    AVFormatContext* fc = format_.get();
    // By time where the container has an index; a raw stream only by bytes.
    if (avformat_seek_file(fc, videoStream_, INT64_MIN, INT64_MIN, INT64_MIN, 0) < 0 &&
        av_seek_frame(fc, -1, 0, AVSEEK_FLAG_BYTE) < 0)
        throw Error(path_ + ": cannot seek in it");
    avcodec_flush_buffers(decoder_.get());
}

void VideoReader::seekToFrame(long long index) {
    if (index <= 0) return;
    AVFormatContext* fc = format_.get();
    const bool seekable = fc->pb == nullptr || (fc->pb->seekable & AVIO_SEEKABLE_NORMAL) != 0;
    const bool scanned = seekable && !isStdio(path_);
    std::vector<PacketPtr> cues;
    const FrameSearch found = scanned ? findFramePts(index, cues) : FrameSearch{false};
    if (!found.timed) {
        // Packets without timestamps: only decoding from the start can count frames, and the
        // search has read on past the start.
        if (scanned) rewind();
        dropUntilIndex_ = index;
        return;
    }
    const int64_t lead = av_rescale_q(static_cast<int64_t>(kSeekLead * AV_TIME_BASE),
                                      AVRational{1, AV_TIME_BASE}, info_.timeBase);
    const int64_t to = found.pts == AV_NOPTS_VALUE ? INT64_MAX : found.pts - lead;
    if (avformat_seek_file(fc, videoStream_, INT64_MIN, to, to, 0) < 0 &&
        avformat_seek_file(fc, videoStream_, INT64_MIN, 0, 0, 0) < 0)
        throw Error(path_ + ": cannot seek in it");
    avcodec_flush_buffers(decoder_.get());
    demuxDone_ = flushed_ = false;
    if (found.pts == AV_NOPTS_VALUE) {
        // Fewer frames than `index`: nothing is left to read.
        demuxDone_ = flushed_ = true;
        nextIndex_ = index;
        return;
    }
    dropBefore_ = found.pts;
    nextIndex_ = index;
    keepCuesShowingAt(cues, found.pts);
}

bool VideoReader::readPacket(std::vector<PacketPtr>& packets) {
    AVPacket* packet = packet_.get();
    const int got = av_read_frame(format_.get(), packet);
    if (got < 0) {
        if (got != AVERROR_EOF) demuxError_ = true;
        if (options_.stop != nullptr && options_.stop->load() != 0)
            throw Error(path_ + ": stopped");
        demuxDone_ = true;
        return false;
    }
    if (packet->stream_index == videoStream_ && !videoDone_) {
        const int sent = avcodec_send_packet(decoder_.get(), packet);
        if (sent == AVERROR_INVALIDDATA || (sent < 0 && sent != AVERROR(EAGAIN)))
            ++report_.damagedPackets;
        av_packet_unref(packet);
        return true;
    }
    // Streams found after the header (in a transport stream) are not read.
    const auto index = static_cast<std::size_t>(packet->stream_index);
    if (isCue(*packet) &&
        std::find(earlyCueKeys_.begin(), earlyCueKeys_.end(),
                  std::pair{packet->stream_index, packet->pts}) != earlyCueKeys_.end()) {
        av_packet_unref(packet);
        return true;
    }
    if (index < passedOn_.size() && passedOn_[index]) {
        if (audioUntil_ != AV_NOPTS_VALUE && packet->pts != AV_NOPTS_VALUE &&
            av_compare_ts(packet->pts, format_->streams[packet->stream_index]->time_base,
                          audioUntil_, info_.timeBase) >= 0)
            audioPassed_[static_cast<std::size_t>(packet->stream_index)] = true;
        PacketPtr kept = makePacket();
        av_packet_move_ref(kept.get(), packet);
        packets.push_back(std::move(kept));
        return true;
    }
    av_packet_unref(packet);
    return true;
}

bool VideoReader::receiveFrame(VideoFrame& out) {
    AVFrame* frame = frame_.get();
    int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) pts = frame->pts;
    if (pts == AV_NOPTS_VALUE) {
        // No timestamp: one frame duration after the last one.
        const int64_t step =
            std::max<int64_t>(1, av_rescale_q(1, av_inv_q(info_.frameRate), info_.timeBase));
        pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + step;
    }
    if ((dropBefore_ != AV_NOPTS_VALUE && pts < dropBefore_) || nextIndex_ < dropUntilIndex_) {
        if (nextIndex_ < dropUntilIndex_) ++nextIndex_;
        lastPts_ = pts;
        av_frame_unref(frame);
        return false;
    }
    dropBefore_ = AV_NOPTS_VALUE;
    ColourTags tags = info_.colour;
    if (frame->colorspace != AVCOL_SPC_UNSPECIFIED) tags.matrix = frame->colorspace;
    if (frame->color_range != AVCOL_RANGE_UNSPECIFIED) tags.range = frame->color_range;
    out.alpha.release();
    out.bgr = toBgr_.convert(*frame, tags, info_.alpha ? &out.alpha : nullptr);
    if (info_.quarterTurns != 0) {
        const int code = info_.quarterTurns == 1   ? cv::ROTATE_90_COUNTERCLOCKWISE
                         : info_.quarterTurns == 2 ? cv::ROTATE_180
                                                   : cv::ROTATE_90_CLOCKWISE;
        cv::rotate(out.bgr, out.bgr, code);
        if (!out.alpha.empty()) cv::rotate(out.alpha, out.alpha, code);
    }
    const int64_t duration = frame->pkt_duration > 0
                                 ? frame->pkt_duration
                                 : av_rescale_q(1, av_inv_q(info_.frameRate), info_.timeBase);
    report_.lastEnd = static_cast<double>(pts + duration) * av_q2d(info_.timeBase);
    av_frame_unref(frame);
    out.pts = pts;
    out.index = nextIndex_++;
    lastPts_ = pts;
    ++report_.decoded;
    return true;
}

std::optional<VideoFrame> VideoReader::next(std::vector<PacketPtr>& packets) {
    for (PacketPtr& cue : earlyCues_) packets.push_back(std::move(cue));
    earlyCues_.clear();
    VideoFrame out;
    for (;;) {
        if (options_.stop != nullptr && options_.stop->load() != 0)
            throw Error(path_ + ": stopped");
        const int got = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (got == 0) {
            if (receiveFrame(out)) return out;
            continue;
        }
        if (got == AVERROR_EOF) {
            reachedEnd_ = true;
            return std::nullopt;
        }
        if (got != AVERROR(EAGAIN)) {
            ++report_.damagedPackets;
            continue;
        }
        if (demuxDone_) {
            if (flushed_) {
                reachedEnd_ = true;
                return std::nullopt;
            }
            avcodec_send_packet(decoder_.get(), nullptr);
            flushed_ = true;
            continue;
        }
        readPacket(packets);
    }
}

void VideoReader::readOthersUntil(int64_t pts, std::vector<PacketPtr>& packets) {
    videoDone_ = true;
    audioUntil_ = pts;
    const auto allPassed = [&] {
        return std::all_of(audioStreams_.begin(), audioStreams_.end(),
                           [&](int a) { return audioPassed_[static_cast<std::size_t>(a)]; });
    };
    while (!demuxDone_ && !allPassed()) readPacket(packets);
}

ReadReport VideoReader::report() const {
    ReadReport r = report_;
    const double frame = 1.0 / av_q2d(info_.frameRate);
    r.endedEarly = reachedEnd_ &&
                   (demuxError_ ||
                    (info_.duration > 0 && r.lastEnd < info_.duration - std::max(0.5, 2 * frame)));
    return r;
}

}  // namespace drawlet::media
