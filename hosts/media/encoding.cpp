#include "media/encoding.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <fmt/format.h>

#include <algorithm>

#include "kit/error.h"
#include "media/paths.h"

namespace drawlet::media {

namespace {

// Codecs made for watching, which players expect in 8-bit 4:2:0.
bool forDelivery(AVCodecID id) {
    switch (id) {
        case AV_CODEC_ID_H264:
        case AV_CODEC_ID_HEVC:
        case AV_CODEC_ID_VP8:
        case AV_CODEC_ID_VP9:
        case AV_CODEC_ID_AV1:
        case AV_CODEC_ID_MPEG4:
        case AV_CODEC_ID_MPEG2VIDEO:
        case AV_CODEC_ID_MPEG1VIDEO:
        case AV_CODEC_ID_THEORA:
        case AV_CODEC_ID_FLV1:
        case AV_CODEC_ID_H263:
            return true;
        default:
            return false;
    }
}

bool supports(const AVCodec* encoder, AVPixelFormat format) {
    if (encoder->pix_fmts == nullptr) return format == AV_PIX_FMT_YUV420P;
    for (const AVPixelFormat* f = encoder->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == format) return true;
    return false;
}

std::string formatsOf(const AVCodec* encoder) {
    std::string list;
    for (const AVPixelFormat* f = encoder->pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; ++f)
        list += (list.empty() ? "" : ", ") + std::string(av_get_pix_fmt_name(*f));
    return list;
}

bool hasOption(const AVCodec* encoder, const char* name) {
    return encoder->priv_class != nullptr &&
           av_opt_find(const_cast<AVClass**>(&encoder->priv_class), name, nullptr, 0,
                       AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

}  // namespace

bool containerTakes(const AVOutputFormat* container, AVCodecID codec) {
    // The MP4 muxer writes these only as an experimental feature.
    const std::string name = container->name;
    if ((name == "mp4" || name == "mov" || name == "ipod") &&
        (codec == AV_CODEC_ID_FLAC || codec == AV_CODEC_ID_TRUEHD))
        return false;
    return avformat_query_codec(container, codec, FF_COMPLIANCE_NORMAL) == 1;
}

const AVOutputFormat* outputFormatFor(const std::string& path, const std::string& format,
                                      const std::string& shownAs) {
    if (!format.empty()) {
        const AVOutputFormat* named = av_guess_format(format.c_str(), nullptr, nullptr);
        if (named == nullptr)
            throw UsageError("--format " + format +
                             ": FFmpeg has no such output format (see ffmpeg -muxers)");
        return named;
    }
    if (isStdio(path)) return av_guess_format("matroska", nullptr, nullptr);
    const AVOutputFormat* guessed = av_guess_format(nullptr, path.c_str(), nullptr);
    if (guessed == nullptr)
        throw UsageError((shownAs.empty() ? path : shownAs) +
                         ": no video format has this extension (use .mp4, .mkv, .webm, .mov, "
                         "or name one with --format)");
    return guessed;
}

const AVCodec* videoEncoderFor(const AVOutputFormat* container, const std::string& name) {
    if (!name.empty()) {
        const AVCodec* named = avcodec_find_encoder_by_name(name.c_str());
        if (named == nullptr || named->type != AVMEDIA_TYPE_VIDEO)
            throw UsageError("--codec " + name +
                             ": FFmpeg has no such video encoder (see ffmpeg -encoders)");
        if (avformat_query_codec(container, named->id, FF_COMPLIANCE_NORMAL) == 0)
            throw UsageError(fmt::format("--codec {}: the {} format cannot hold {} video", name,
                                         container->name, avcodec_get_name(named->id)));
        return named;
    }
    const std::string muxer = container->name;
    const AVCodec* chosen = nullptr;
    if (muxer == "webm")
        chosen = avcodec_find_encoder_by_name("libvpx-vp9");
    else if (containerTakes(container, AV_CODEC_ID_H264))
        chosen = avcodec_find_encoder_by_name("libx264");
    if (chosen == nullptr) chosen = avcodec_find_encoder(container->video_codec);
    if (chosen == nullptr)
        throw UsageError(
            fmt::format("the {} format has no video encoder here; name one with "
                        "--codec",
                        container->name));
    return chosen;
}

AVPixelFormat pixelFormatFor(const AVCodec* encoder, const std::string& name, bool alpha) {
    if (!name.empty()) {
        const AVPixelFormat named = av_get_pix_fmt(name.c_str());
        if (named == AV_PIX_FMT_NONE)
            throw UsageError("--pix-fmt " + name + ": FFmpeg has no such pixel format");
        if (!supports(encoder, named))
            throw UsageError(fmt::format("--pix-fmt {}: the {} encoder takes {}", name,
                                         encoder->name, formatsOf(encoder)));
        return named;
    }
    if (forDelivery(encoder->id) || encoder->pix_fmts == nullptr) {
        if (alpha && supports(encoder, AV_PIX_FMT_YUVA420P)) return AV_PIX_FMT_YUVA420P;
        if (supports(encoder, AV_PIX_FMT_YUV420P)) return AV_PIX_FMT_YUV420P;
    }
    const AVPixelFormat source = alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    return avcodec_find_best_pix_fmt_of_list(encoder->pix_fmts, source, alpha ? 1 : 0, nullptr);
}

std::vector<std::pair<std::string, std::string>> qualityOptions(const AVCodec* encoder,
                                                                const EncodeOptions& options) {
    std::vector<std::pair<std::string, std::string>> set;
    const std::string name = encoder->name;
    int crf = options.crf;
    std::string preset = options.preset;
    if (name == "libx264" || name == "libx264rgb") {
        if (crf < 0) crf = kDefaultX264Crf;
        if (preset.empty()) preset = kDefaultX264Preset;
        // At ultrafast x264 needs about a third of the filter's time for a frame, and it
        // runs as a stage beside the filter: its own frame threads would only take cores
        // from the filter (a render on two cores is 7% faster with one). A third of the
        // render's threads keeps it ahead of the filter on larger machines.
        if (preset == "ultrafast" && options.threads > 0)
            set.emplace_back("threads", std::to_string((options.threads + 2) / 3));
    } else if (name == "libvpx-vp9") {
        if (crf < 0) crf = kDefaultVp9Crf;
        set.emplace_back("b", "0");  // constant quality: no bitrate target
        set.emplace_back("row-mt", "1");
        if (preset.empty()) {
            set.emplace_back("deadline", "realtime");
            set.emplace_back("cpu-used", "8");
        }
    }
    if (crf >= 0) {
        // x264 would quietly take its own worst quality for a larger value.
        if ((name == "libx264" || name == "libx264rgb") && crf > kX264CrfWorst)
            throw UsageError(fmt::format("--crf {}: H.264 ({}) takes {} to {}", crf, name, kCrfBest,
                                         kX264CrfWorst));
        if (!hasOption(encoder, "crf"))
            throw UsageError(
                fmt::format("--crf: the {} encoder has no crf setting (use "
                            "--encoder-opt)",
                            name));
        set.emplace_back("crf", std::to_string(crf));
    }
    if (!preset.empty()) {
        if (name == "libvpx-vp9") {
            // libvpx names its speeds by deadline: good (slower, smaller) or realtime.
            set.emplace_back("deadline", preset);
        } else {
            if (!hasOption(encoder, "preset"))
                throw UsageError(
                    fmt::format("--preset: the {} encoder has no presets (use "
                                "--encoder-opt)",
                                name));
            set.emplace_back("preset", preset);
        }
    }
    return set;
}

ColourTags outputTags(const ColourTags& input, AVPixelFormat inputFormat, AVPixelFormat format) {
    ColourTags out = input;
    if (isRgb(format)) {
        out.matrix = AVCOL_SPC_RGB;
        out.range = AVCOL_RANGE_JPEG;
        out.chromaLocation = AVCHROMA_LOC_UNSPECIFIED;
        return out;
    }
    if (isRgb(inputFormat) || input.matrix == AVCOL_SPC_RGB) {
        out.matrix = AVCOL_SPC_BT709;
        out.range = AVCOL_RANGE_MPEG;
        out.chromaLocation = AVCHROMA_LOC_LEFT;
        return out;
    }
    // YUV to YUV: the input's matrix and range (J formats are full range).
    out.range = fullRange(input, inputFormat) ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    if (input.range == AVCOL_RANGE_UNSPECIFIED && !fullRange(input, inputFormat))
        out.range = AVCOL_RANGE_UNSPECIFIED;
    return out;
}

const AVCodec* audioEncoderFor(const AVOutputFormat* container) {
    for (const AVCodecID id : {container->audio_codec, AV_CODEC_ID_AAC, AV_CODEC_ID_OPUS,
                               AV_CODEC_ID_VORBIS, AV_CODEC_ID_MP3}) {
        if (id == AV_CODEC_ID_NONE || !containerTakes(container, id)) continue;
        if (const AVCodec* encoder = avcodec_find_encoder(id)) return encoder;
    }
    return nullptr;
}

}  // namespace drawlet::media
