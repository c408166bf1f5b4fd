#include "frame_floor.h"

#include <algorithm>
#include <cstdint>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

#include "hatching/hatching_tone.h"
#include "hatching/pattern_bank.h"
#include "imaging/working_images.h"
#include "interface/effect_params.h"

namespace drawlet::bench {
namespace {

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// The cubic convolution kernel with a = -1, as any bicubic resampler has it.
double cubicWeight(double t) {
    t = std::abs(t);
    if (t <= 1) return (t - 2) * t * t + 1;
    return ((5 - t) * t - 8) * t + 4;
}

// Rows outer, columns inner: one level lookup, the affine position, one sample through
// power-of-two masks, the shade and three bytes written. The sampler and the options are
// template arguments, as a hand-written loop for one setting would have them.
template <int kInterpolation, bool kDiffusion, bool kMask>
void hatchPlain(const cv::Mat& hsv, cv::Mat& canvas, const std::vector<cv::Mat>& patterns,
                const unsigned char* levelOfValue, const double* a, double xOffset, double yOffset,
                double slope) {
    const EffectParameters& p = EffectParams;
    const int width = hsv.cols, height = hsv.rows;
    const int wMask = patterns[0].cols - 1, hMask = patterns[0].rows - 1;
    const std::size_t step = patterns[0].step[0];
    std::uint32_t rngX = 12345, rngCarry = 678;
    const auto draw = [&] {
        const std::uint64_t t = 1554115554ull * rngX + rngCarry;
        rngX = static_cast<std::uint32_t>(t);
        rngCarry = static_cast<std::uint32_t>(t >> 32);
        return rngX * 2.3283064365386963e-10;
    };
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = hsv.ptr<std::uint8_t>(y);
        std::uint8_t* out = canvas.ptr<std::uint8_t>(y);
        const double row = y + yOffset;
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            const std::uint8_t* pat = patterns[levelOfValue[in[2]]].data;
            double px = x + xOffset, py = x * slope + row;
            if constexpr (kDiffusion) {
                px += 2 * draw() - 1;
                py += 2 * draw() - 1;
            }
            const double u = a[0] * px + a[1] * py + a[2];
            const double v = a[3] * px + a[4] * py + a[5];
            const auto at = [&](int j, int k) {
                return static_cast<double>(pat[(k & hMask) * step + (j & wMask)]);
            };
            double sample;
            if constexpr (kInterpolation == 0) {
                sample = at(cvRound(u), cvRound(v));
            } else {
                const int iu = cvFloor(u), iv = cvFloor(v);
                const double fu = u - iu, fv = v - iv;
                if constexpr (kInterpolation == 1) {
                    sample = ((1 - fu) * at(iu, iv) + fu * at(iu + 1, iv)) * (1 - fv) +
                             fv * ((1 - fu) * at(iu, iv + 1) + fu * at(iu + 1, iv + 1));
                } else {
                    sample = 0;
                    for (int r = -1; r <= 2; ++r) {
                        double rowSum = 0;
                        for (int c = -1; c <= 2; ++c)
                            rowSum += cubicWeight(c - fu) * at(iu + c, iv + r);
                        sample += cubicWeight(r - fv) * rowSum;
                    }
                    sample = std::clamp(sample, 0.0, 255.0);
                }
            }
            const double f = 1 - std::min(sample * (1.0 / 255), p.densityLimit);
            if constexpr (kMask) {
                out[0] = 0;
                out[1] = 0;
                out[2] = static_cast<std::uint8_t>(255 * f);
            } else {
                out[0] = in[0];
                out[1] = cv::saturate_cast<std::uint8_t>(in[1] * p.saturationGain);
                out[2] = static_cast<std::uint8_t>(std::min(in[2] * p.brightnessGain, 255.0) * f);
            }
        }
    }
}

template <int kInterpolation>
void hatchFor(bool diffusion, bool mask, const FrameFloor::Hatch& h) {
    if (diffusion)
        mask ? hatchPlain<kInterpolation, true, true>(h.hsv, h.canvas, h.patterns, h.levels, h.a,
                                                      h.xOffset, h.yOffset, h.slope)
             : hatchPlain<kInterpolation, true, false>(h.hsv, h.canvas, h.patterns, h.levels, h.a,
                                                       h.xOffset, h.yOffset, h.slope);
    else
        mask ? hatchPlain<kInterpolation, false, true>(h.hsv, h.canvas, h.patterns, h.levels, h.a,
                                                       h.xOffset, h.yOffset, h.slope)
             : hatchPlain<kInterpolation, false, false>(h.hsv, h.canvas, h.patterns, h.levels, h.a,
                                                        h.xOffset, h.yOffset, h.slope);
}

}  // namespace

void FrameFloor::prepare() {
    const EffectParameters& p = EffectParams;
    src_ = srcImage.clone();
    hsv_.create(src_.size(), CV_8UC3);
    hsvCanvas_.create(src_.size(), CV_8UC3);
    canvas_.create(src_.size(), CV_8UC3);
    patterns_.clear();
    for (const cv::Mat& pattern : patternScaled) {
        if (!isPowerOfTwo(pattern.cols) || !isPowerOfTwo(pattern.rows) ||
            pattern.cols != patternScaled[0].cols || pattern.rows != patternScaled[0].rows)
            throw std::runtime_error("the floor samples equal patterns of power-of-two sides");
        patterns_.push_back(pattern.clone());
    }
    std::copy(patternInverseAffine, patternInverseAffine + 6, affine_);
    const auto tone = buildToneTable(p.vFlag);
    for (int v = 0; v < 256; ++v)
        levelOfValue_[v] =
            static_cast<unsigned char>(patternIndexFor(tone[v], p.hatchShift, p.hatchInvert));
    xOffset_ = 0.25 * p.xJitter;
    yOffset_ = 0.75 * p.yJitter;
    slope_ = p.tilt;

    // The strokes the line drawer draws for this picture, all passes in order.
    prepareValuePlane();
    LinePlan plan;
    plan.budget = SIZE_MAX;
    const BesideBands work = lineWork(plan);
    for (const auto& task : work.leading) task();
    strokes_.clear();
    for (std::size_t i = 0; i < plan.levels.size(); ++i)
        strokes_.insert(strokes_.end(), plan.passes[i].strokes.begin(),
                        plan.passes[i].strokes.end());
    levels_ = plan.levels;
}

void FrameFloor::run() {
    cv::cvtColor(src_, hsv_, cv::COLOR_BGR2HSV);
    hatch();
    cv::cvtColor(hsvCanvas_, canvas_, cv::COLOR_HSV2BGR);
    linePasses();
    const int thickness = std::clamp(EffectParams.width, 1, 32767);
    for (const Stroke& s : strokes_)
        cv::line(canvas_, s.from, s.to, s.colour, thickness, cv::LINE_AA);
}

void FrameFloor::linePasses() {
    const EffectParameters& p = EffectParams;
    cv::cvtColor(src_, lineHsv_, cv::COLOR_BGR2HSV);
    cv::extractChannel(lineHsv_, value_, 2);
    for (const int level : levels_) {
        if (p.lineType == 0) {
            cv::threshold(value_, map_, level, 255, cv::THRESH_BINARY);
        } else {
            const auto canny = [&](const cv::Mat& plane, cv::Mat& out) {
                cv::Canny(plane, out, p.cannyTh1, p.cannyTh2, 5);
            };
            if (p.lineType == 1) {
                canny(value_, map_);
            } else {
                cv::split(src_, planes_);
                canny(planes_[0], map_);
                for (int c = 1; c < 3; ++c) {
                    canny(planes_[c], edges_);
                    map_ |= edges_;
                }
                if (p.lineType == 3) {
                    canny(value_, edges_);
                    map_ |= edges_;
                }
            }
        }
        cv::findContours(map_, contours_, cv::RETR_LIST, cv::CHAIN_APPROX_NONE);
    }
}

void FrameFloor::hatch() {
    const EffectParameters& p = EffectParams;
    const Hatch h{hsv_, hsvCanvas_, patterns_, levelOfValue_, affine_, xOffset_, yOffset_, slope_};
    switch (p.interpolation) {
        case 1:
            hatchFor<1>(p.diffusion, p.maskMode, h);
            break;
        case 2:
            hatchFor<2>(p.diffusion, p.maskMode, h);
            break;
        default:
            hatchFor<0>(p.diffusion, p.maskMode, h);
            break;
    }
}

}  // namespace drawlet::bench
