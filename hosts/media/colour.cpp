#include "media/colour.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <opencv2/core.hpp>
#include <vector>

#include "kit/error.h"

namespace drawlet::media {

namespace {

// The sizes are equal: only chroma is resampled. Bicubic chroma brings a 4:2:0 frame back
// from BGR within a level or two, where bilinear blurs it by up to three; exact rounding and
// full chroma resolution on the RGB side.
constexpr int kScaleFlags =
    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_BITEXACT;

void setDetails(SwsContext* sws, AVPixelFormat source, AVPixelFormat target,
                const ColourTags& tags) {
    const int* matrix = sws_getCoefficients(conversionMatrix(tags));
    // The RGB side is always full range; the YUV side takes the stream's range.
    const int sourceFull = isRgb(source) ? 1 : fullRange(tags, source) ? 1 : 0;
    const int targetFull = isRgb(target) ? 1 : fullRange(tags, target) ? 1 : 0;
    sws_setColorspaceDetails(sws, matrix, sourceFull, matrix, targetFull, 0, 1 << 16, 1 << 16);
}

}  // namespace

AVColorSpace conversionMatrix(const ColourTags& tags) {
    switch (tags.matrix) {
        case AVCOL_SPC_BT709:
        case AVCOL_SPC_FCC:
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_SMPTE240M:
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return tags.matrix;
        default:
            return AVCOL_SPC_SMPTE170M;
    }
}

bool fullRange(const ColourTags& tags, AVPixelFormat format) {
    if (tags.range == AVCOL_RANGE_JPEG) return true;
    // The deprecated "J" formats are full range whatever the tag says.
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
           format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P ||
           format == AV_PIX_FMT_YUVJ411P;
}

bool hasAlpha(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

bool isRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && ((d->flags & AV_PIX_FMT_FLAG_RGB) != 0 || d->nb_components < 3 ||
                            (d->flags & AV_PIX_FMT_FLAG_PAL) != 0);
}

int bitDepth(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr ? d->comp[0].depth : 8;
}

Scaler::~Scaler() { sws_freeContext(sws_); }

SwsContext* Scaler::get(int width, int height, AVPixelFormat from, AVPixelFormat to,
                        const ColourTags& tags) {
    if (sws_ != nullptr && width == width_ && height == height_ && from == from_ && to == to_)
        return sws_;
    sws_freeContext(sws_);
    sws_ = sws_getContext(width, height, from, width, height, to, kScaleFlags, nullptr, nullptr,
                          nullptr);
    if (sws_ == nullptr)
        throw Error(std::string("cannot convert pictures from ") +
                    (av_get_pix_fmt_name(from) ? av_get_pix_fmt_name(from) : "?") + " to " +
                    (av_get_pix_fmt_name(to) ? av_get_pix_fmt_name(to) : "?"));
    setDetails(sws_, from, to, tags);
    width_ = width;
    height_ = height;
    from_ = from;
    to_ = to;
    return sws_;
}

cv::Mat ToBgr::convert(const AVFrame& frame, const ColourTags& tags, cv::Mat* alpha) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const bool withAlpha = alpha != nullptr && hasAlpha(format);
    if (withAlpha) alpha->create(frame.height, frame.width, CV_8UC1);
    if (!isRgb(format)) {
        // From YUV the scaler's planar output has the packed output's bytes at less than half
        // its cost (the exact packed path is plain C per pixel); the planes are then
        // interleaved. Both give the same bytes for every YUV format (tested).
        SwsContext* sws = scaler_.get(frame.width, frame.height, format,
                                      withAlpha ? AV_PIX_FMT_GBRAP : AV_PIX_FMT_GBRP, tags);
        for (cv::Mat* plane : {&green_, &blue_, &red_})
            plane->create(frame.height, frame.width, CV_8UC1);
        uint8_t* planes[4] = {green_.data, blue_.data, red_.data,
                              withAlpha ? alpha->data : nullptr};
        const int step = static_cast<int>(green_.step);
        int strides[4] = {step, step, step, withAlpha ? static_cast<int>(alpha->step) : 0};
        sws_scale(sws, frame.data, frame.linesize, 0, frame.height, planes, strides);
        cv::Mat bgr;
        cv::merge(std::vector<cv::Mat>{blue_, green_, red_}, bgr);
        return bgr;
    }
    const AVPixelFormat target = withAlpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    SwsContext* sws = scaler_.get(frame.width, frame.height, format, target, tags);
    cv::Mat out(frame.height, frame.width, withAlpha ? CV_8UC4 : CV_8UC3);
    uint8_t* planes[4] = {out.data, nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(out.step), 0, 0, 0};
    sws_scale(sws, frame.data, frame.linesize, 0, frame.height, planes, strides);
    if (!withAlpha) return out;
    cv::Mat bgr(out.size(), CV_8UC3);
    cv::Mat outputs[] = {bgr, *alpha};
    const int fromTo[] = {0, 0, 1, 1, 2, 2, 3, 3};
    cv::mixChannels(&out, 1, outputs, 2, fromTo, 4);
    return bgr;
}

void FromBgr::convert(const cv::Mat& bgr, const cv::Mat* alpha, const ColourTags& tags,
                      AVFrame& out) {
    CV_Assert(bgr.type() == CV_8UC3 && bgr.cols == out.width && bgr.rows == out.height);
    const auto format = static_cast<AVPixelFormat>(out.format);
    const bool withAlpha = alpha != nullptr && !alpha->empty() && hasAlpha(format);
    cv::Mat source = bgr;
    if (withAlpha) {
        CV_Assert(alpha->type() == CV_8UC1 && alpha->size() == bgr.size());
        const cv::Mat inputs[] = {bgr, *alpha};
        source.create(bgr.size(), CV_8UC4);
        const int fromTo[] = {0, 0, 1, 1, 2, 2, 3, 3};
        cv::mixChannels(inputs, 2, &source, 1, fromTo, 4);
    }
    const AVPixelFormat from = withAlpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    SwsContext* sws = scaler_.get(out.width, out.height, from, format, tags);
    const uint8_t* planes[4] = {source.data, nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(source.step), 0, 0, 0};
    sws_scale(sws, planes, strides, 0, out.height, out.data, out.linesize);
}

}  // namespace drawlet::media
