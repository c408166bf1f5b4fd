#include "reference_frame.h"

#include <algorithm>
#include <cstddef>
#include <opencv2/imgproc.hpp>

#include "hatching/hatching_tone.h"
#include "hatching/pattern_bank.h"
#include "hatching/samplers.h"
#include "host/frame_driver.h"
#include "imaging/working_images.h"
#include "imaging/yc_pixel.h"
#include "interface/effect_params.h"
#include "lines/lines.h"

namespace drawlet::test {
namespace {

const DrawletPixelYC& hostPixel(const kit::YcFrame& frame, int x, int y) {
    return frame.pixels[static_cast<std::size_t>(y) * frame.rowStride + x];
}

// Pass by pass: the contours of a level found and stroked before the next level.
void drawLinesPlainly() {
    const EffectParameters& p = EffectParams;
    const std::size_t minimumPoints = 5 * static_cast<std::size_t>(std::max(p.lineStep, 1));
    prepareValuePlane();
    for (const int level : passLevels(p.lineType, p.extractInterval)) {
        extractContours(level);
        for (const Contour& contour : contourStorage)
            if (contour.size() >= minimumPoints) strokeContour(contour);
        releaseContours();
    }
}

}  // namespace

MwcRandom hatchPlainly(MwcRandom rng) {
    const EffectParameters& p = EffectParams;
    cv::Mat hsv;
    cv::cvtColor(srcImage, hsv, cv::COLOR_BGR2HSV);
    const double xOffset = rng.next() * p.xJitter;
    const double yOffset = rng.next() * p.yJitter;
    const double slope = p.tilt + (rng.next() - 0.5) * p.tiltJitter;
    const auto tone = buildToneTable(p.vFlag);
    const double* a = patternInverseAffine;
    cv::Mat canvas(hsv.size(), CV_8UC3);
    for (int y = 0; y < hsv.rows; ++y)
        for (int x = 0; x < hsv.cols; ++x) {
            const cv::Vec3b px = hsv.at<cv::Vec3b>(y, x);
            double fx = x + xOffset, fy = x * slope + (y + yOffset);
            if (p.diffusion) {
                fx = fx + (2 * rng.next() - 1);
                fy = fy + (2 * rng.next() - 1);
            }
            const int k = patternIndexFor(tone[px[2]], p.hatchShift, p.hatchInvert);
            const PatternView view = PatternView::of(patternScaled[k]);
            const double u = a[0] * fx + a[1] * fy + a[2];
            const double v = a[3] * fx + a[4] * fy + a[5];
            double sample = p.interpolation == 0   ? sampleNearestWrapped(view, u, v)
                            : p.interpolation == 1 ? sampleBilinearWrapped(view, u, v)
                                                   : sampleBicubicWrapped(view, u, v);
            if (p.interpolation == 2) sample = clampReal(sample, 0, 255);
            const double vb = clampReal(px[2] * p.brightnessGain, 0, 255);
            const Shade s = shadeFor(p.hatchToneMode, sample, vb, p.densityLimit, p.saturationGain);
            cv::Vec3b& out = canvas.at<cv::Vec3b>(y, x);
            if (!p.maskMode)
                out = cv::Vec3b(
                    px[0], static_cast<uchar>(static_cast<int>(clampReal(s.g * px[1], 0, 255))),
                    static_cast<uchar>(s.value));
            else
                out = cv::Vec3b(0, 0, static_cast<uchar>(maskValueFor(p.hatchToneMode, s.f)));
        }
    cv::cvtColor(canvas, canvasImage, cv::COLOR_HSV2BGR);
    return rng;
}

ReferenceResult referenceFrame(const kit::YcFrame& input, int frameNumber) {
    const EffectParameters& p = EffectParams;
    for (int y = 0; y < input.height; ++y)
        for (int x = 0; x < input.width; ++x)
            ycPixelToBgr(hostPixel(input, x, y), srcImage.ptr<std::uint8_t>(y) + 3 * x);

    ReferenceResult result{input, {}};
    if (p.hatchOn) {
        const SeedWords seed = seedWordsFor(frameNumber, p.updateInterval, p.randomSeed);
        result.generator = hatchPlainly({seed.rngX, seed.rngCarry});
    } else {
        canvasImage.setTo(cv::Scalar::all(p.backgroundLevel));
    }
    if (p.lineOn) drawLinesPlainly();

    for (int y = 0; y < input.height; ++y)
        for (int x = 0; x < input.width; ++x)
            result.frame.pixels[static_cast<std::size_t>(y) * input.rowStride + x] =
                bgrPixelToYc(canvasImage.ptr<std::uint8_t>(y) + 3 * x);
    return result;
}

}  // namespace drawlet::test
