#include "media/av_util.h"

#include <fmt/format.h>

#include "kit/error.h"

namespace drawlet::media {

namespace {

// FFmpeg's own log shows errors only: the hosts report what went wrong in their words.
const bool kQuietLibraries = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

}  // namespace

void OutputCloser::operator()(AVFormatContext* c) const {
    if (c->oformat != nullptr && (c->oformat->flags & AVFMT_NOFILE) == 0) avio_closep(&c->pb);
    avformat_free_context(c);
}

FramePtr makeFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    return frame;
}

PacketPtr makePacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) throw std::bad_alloc();
    return packet;
}

bool carriesContent(const AVStream* stream) {
    if (stream->discard == AVDISCARD_ALL) return false;
    return !(stream->codecpar->codec_type == AVMEDIA_TYPE_DATA &&
             stream->codecpar->codec_tag == MKTAG('t', 'm', 'c', 'd'));
}

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int check(int code, const std::string& what) {
    if (code < 0) throw Error(what + ": " + errorText(code));
    return code;
}

AVIOInterruptCB interruptOn(const StopFlag* flag) {
    AVIOInterruptCB callback{};
    callback.callback = [](void* opaque) -> int {
        return static_cast<const StopFlag*>(opaque)->load() != 0 ? 1 : 0;
    };
    callback.opaque = const_cast<StopFlag*>(flag);
    return flag != nullptr ? callback : AVIOInterruptCB{};
}

void openCodec(AVCodecContext* context, const AVCodec* codec, AVDictionary** options,
               const std::string& what) {
    check(avcodec_open2(context, codec, options), what);
    if (options != nullptr && *options != nullptr && av_dict_count(*options) > 0) {
        const AVDictionaryEntry* left = av_dict_get(*options, "", nullptr, AV_DICT_IGNORE_SUFFIX);
        throw UsageError(
            fmt::format("{}: the {} encoder has no option \"{}\" (see ffmpeg -h "
                        "encoder={})",
                        what, codec->name, left->key, codec->name));
    }
}

std::string seconds(double value) { return fmt::format("{:.2f} s", value); }

}  // namespace drawlet::media
