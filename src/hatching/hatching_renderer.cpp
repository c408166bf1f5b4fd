#include "hatching/hatching_renderer.h"

#include <cmath>
#include <cstdint>
#include <opencv2/imgproc.hpp>
#include <stdexcept>

#include "hatching/hatching_tone.h"
#include "hatching/pattern_bank.h"
#include "hatching/samplers.h"
#include "host/effect_params.h"
#include "imaging/mwc_random.h"
#include "imaging/working_images.h"

namespace drawlet {

std::array<int, 256> buildToneTable(int vFlag) {
    std::array<int, 256> table{};
    const double exponent = (10 - vFlag) / 10.0;
    for (int i = 0; i < 256; ++i) {
        const double base =
            vFlag >= 0 ? i / 255.0 : static_cast<double>(i * (255 + vFlag)) / 255 / 255;
        // Within the registered vFlag range the value lies in 0..255; the clamp only keeps
        // out-of-range values (infinite or NaN powers) from overflowing the conversion.
        const double value = clampReal(std::pow(base, exponent) * 255, 0, 255);
        table[static_cast<std::size_t>(i)] = static_cast<int>(std::isnan(value) ? 0 : value);
    }
    return table;
}

namespace {

struct FrameJitter {
    double xOffset;
    double yOffset;
    double slope;
};

using Sampler = double (*)(const PatternView&, double, double);

double sampleBicubicClamped(const PatternView& p, double x, double y) {
    return clampReal(sampleBicubicWrapped(p, x, y), 0, 255);
}

// All rows of the canvas, rows outer and columns inner: with diffusion the per-pixel draws
// consume the random sequence in exactly this order.
template <Sampler sample>
void hatchRows(const FrameJitter& jitter, const std::array<int, 256>& toneTable,
               const PatternView (&patterns)[kPatternCount], MwcRandom& rng) {
    const EffectParameters& p = EffectParams;
    const double* a = patternInverseAffine;
    const int width = srcImage.cols;
    const int height = srcImage.rows;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* hsv = scratchImages[0].ptr<std::uint8_t>(y);
        std::uint8_t* out = canvasImage.ptr<std::uint8_t>(y);
        for (int x = 0; x < width; ++x, hsv += 3, out += 3) {
            const int hue = hsv[0], sat = hsv[1], v = hsv[2];
            const int tone = toneTable[static_cast<std::size_t>(v)];
            double px = x + jitter.xOffset;
            double py = x * jitter.slope + (y + jitter.yOffset);
            if (p.diffusion) {
                px = px + (2 * rng.next() - 1);
                py = py + (2 * rng.next() - 1);
            }
            const int k = patternIndexFor(tone, p.hatchShift, p.hatchInvert);
            const double patX = a[0] * px + a[1] * py + a[2];
            const double patY = a[3] * px + a[4] * py + a[5];
            const double sampled = sample(patterns[k], patX, patY);
            const double vb = clampReal(v * p.brightnessGain, 0, 255);
            const Shade shade =
                shadeFor(p.hatchToneMode, sampled, vb, p.densityLimit, p.saturationGain);
            if (!p.maskMode) {
                out[0] = static_cast<std::uint8_t>(hue);
                out[1] =
                    static_cast<std::uint8_t>(static_cast<int>(clampReal(shade.g * sat, 0, 255)));
                out[2] = static_cast<std::uint8_t>(shade.value);
            } else {
                out[0] = 0;
                out[1] = 0;
                out[2] = static_cast<std::uint8_t>(maskValueFor(p.hatchToneMode, shade.f));
            }
        }
    }
}

}  // namespace

int renderHatching() {
    const EffectParameters& p = EffectParams;
    PatternView patterns[kPatternCount];
    for (int i = 0; i < kPatternCount; ++i) {
        if (patternScaled[i].empty() || patternScaled[i].type() != CV_8UC1)
            throw std::logic_error("hatching patterns are not prepared");
        patterns[i] = PatternView::of(patternScaled[i]);
    }

    cv::cvtColor(srcImage, scratchImages[0], cv::COLOR_BGR2HSV);

    // Keep the generator in locals for the whole run and store it back once.
    MwcRandom rng = mwcRandom;
    FrameJitter jitter{};
    jitter.xOffset = rng.next() * p.xJitter;
    jitter.yOffset = rng.next() * p.yJitter;
    jitter.slope = p.tilt + (rng.next() - 0.5) * p.tiltJitter;

    const std::array<int, 256> toneTable = buildToneTable(p.vFlag);
    switch (p.interpolation) {
        case 1:
            hatchRows<sampleBilinearWrapped>(jitter, toneTable, patterns, rng);
            break;
        case 2:
            hatchRows<sampleBicubicClamped>(jitter, toneTable, patterns, rng);
            break;
        default:
            hatchRows<sampleNearestWrapped>(jitter, toneTable, patterns, rng);
            break;
    }
    mwcRandom = rng;

    cv::cvtColor(canvasImage, canvasImage, cv::COLOR_HSV2BGR);
    return 1;
}

}  // namespace drawlet
