#include "hatching/hatching_renderer.h"

#include <cmath>
#include <cstdint>
#include <opencv2/imgproc.hpp>

#include "hatching/hatching_frame.h"
#include "hatching/hatching_rows.h"
#include "hatching/hatching_tone.h"
#include "imaging/mwc_jump.h"
#include "imaging/mwc_random.h"
#include "imaging/row_bands.h"
#include "imaging/working_images.h"

namespace drawlet {

std::array<int, 256> buildToneTable(int vFlag) {
    std::array<int, 256> table{};
    // 64-bit integer steps: exact, and free of overflow for vFlag far below its range.
    const std::int64_t flag = vFlag;
    const double exponent = static_cast<double>(10 - flag) / 10.0;
    for (int i = 0; i < 256; ++i) {
        const double base =
            vFlag >= 0 ? i / 255.0 : static_cast<double>(i * (255 + flag)) / 255 / 255;
        // Within the registered vFlag range the value lies in 0..255; the clamp only keeps
        // out-of-range values (infinite or NaN powers) from overflowing the conversion.
        const double value = clampReal(std::pow(base, exponent) * 255, 0, 255);
        table[static_cast<std::size_t>(i)] = static_cast<int>(std::isnan(value) ? 0 : value);
    }
    return table;
}

namespace {

// The frame's tables, kept from frame to frame so that their buffers are reused.
HatchingFrame hatchingFrame;

}  // namespace

int renderHatching(const BesideBands& beside, const CarriedPositions& carried) {
    cv::cvtColor(srcImage, scratchImages[0], cv::COLOR_BGR2HSV);

    // The generator is kept in a local for the frame jitter and stored back once, advanced
    // past the two draws per pixel of the diffusion.
    MwcRandom rng = mwcRandom;
    HatchingFrame& frame = hatchingFrame;
    prepareHatchingFrame(frame, rng, carried);
    forEachRowBandBeside(
        frame.height,
        [&](int firstRow, int endRow) {
            // The band in HSV form in a buffer of its own, then converted into the canvas:
            // the conversion does not work in place, which would copy the band first.
            cv::Mat hsvBand(endRow - firstRow, frame.width, CV_8UC3);
            hatchRows(frame, firstRow, endRow, hsvBand.data, hsvBand.step[0]);
            cv::Mat canvasBand = canvasImage.rowRange(firstRow, endRow);
            cv::cvtColor(hsvBand, canvasBand, cv::COLOR_HSV2BGR);
        },
        beside);
    if (frame.diffusion)
        rng = mwcSkip(rng, 2 * static_cast<std::uint64_t>(frame.width) * frame.height);
    mwcRandom = rng;
    return 1;
}

}  // namespace drawlet
