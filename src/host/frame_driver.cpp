#include "host/frame_driver.h"

#include <cstdio>

#include "hatching/hatching_renderer.h"
#include "hatching/pattern_bank.h"
#include "imaging/mwc_random.h"
#include "imaging/working_images.h"
#include "interface/parameter_lookup.h"
#include "interface/parameters.h"
#include "lines/lines.h"
#include "platform/platform.h"

namespace drawlet {

EffectParameters EffectParams;

void decodeEffectParams(const DrawletRegistration& reg) {
    EffectParameters& p = EffectParams;
    const auto slider = [&](const char* name) { return trackValue(reg, name); };
    const auto real = [&](const char* name) { return trackValue(reg, name) / 100.0; };
    const auto checkState = [&](const char* name) { return checkValue(reg, name); };

    p.mode = slider(track::kMode);
    p.lineStep = slider(track::kLineStep);
    p.extractInterval = slider(track::kExtractInterval);
    p.length = slider(track::kLength);
    p.width = slider(track::kWidth);
    p.noise = slider(track::kNoise);
    p.vFlag = slider(track::kVFlag);
    p.lineDensity = real(track::kLineDensity);
    p.tilt = real(track::kTilt);
    p.densityLimit = real(track::kDensityLimit);
    p.updateInterval = slider(track::kUpdateInterval);
    p.randomSeed = slider(track::kRandomSeed);
    p.tiltJitter = real(track::kTiltJitter);
    p.xJitter = slider(track::kXJitter);
    p.yJitter = slider(track::kYJitter);
    p.saturationGain = real(track::kSaturationGain);
    p.brightnessGain = real(track::kBrightnessGain);
    p.lineType = slider(track::kLineType);
    p.cannyTh1 = slider(track::kCannyTh1);
    p.cannyTh2 = slider(track::kCannyTh2);
    // "ライン" and "ハッチング" count as on when non-zero, the other boxes only when 1.
    p.lineOn = checkState(check::kLine) != 0;
    p.hatchOn = checkState(check::kHatching) != 0;
    p.diffusion = checkState(check::kDiffusion) == 1;
    // With both interpolation boxes on, bicubic wins.
    p.interpolation = 0;
    if (checkState(check::kBilinear) == 1) p.interpolation = 1;
    if (checkState(check::kBicubic) == 1) p.interpolation = 2;
    p.maskMode = checkState(check::kMask) == 1;
}

void applyModePreset(bool invertChecked) {
    EffectParameters& p = EffectParams;
    struct Preset {
        double lineStrength;
        int hatchToneMode;
        int hatchShift;
        bool whiteBackground;  // 255 unless in mask mode
        bool hatchInvert;
    };
    static constexpr Preset kPresets[5] = {
        {1.0, 0, 0, false, false}, {1.0, 1, 0, false, true}, {0.7, 2, 1, true, true},
        {0.0, 3, 1, true, true},   {1.0, 4, 0, true, true},
    };
    if (p.mode >= 1 && p.mode <= 5) {
        const Preset& preset = kPresets[p.mode - 1];
        p.lineStrength = preset.lineStrength;
        p.hatchToneMode = preset.hatchToneMode;
        p.hatchShift = preset.hatchShift;
        p.backgroundLevel = preset.whiteBackground && !p.maskMode ? 255 : 0;
        p.hatchInvert = preset.hatchInvert;
    }
    p.hatchInvert = p.hatchInvert != invertChecked;
    if (p.mode == 4) {
        p.lineOffset = (1 - p.lineDensity) * 255;
    } else {
        p.lineStrength = p.lineStrength * p.lineDensity;
        p.lineOffset = 0;
    }
}

SeedWords seedWordsFor(int frameNumber, int updateInterval, int randomSeed) {
    // 64-bit division: no overflow even for INT_MIN / -1 from out-of-range values.
    const std::int64_t q =
        updateInterval != 0 ? static_cast<std::int64_t>(frameNumber) / updateInterval : 0;
    const std::uint64_t s =
        static_cast<std::uint64_t>(q) + (static_cast<std::uint64_t>(randomSeed) << 32);
    if (s == 0) return {0xFFFFFFFFu, 0xFFFFFFFFu};
    return {static_cast<std::uint32_t>(s), static_cast<std::uint32_t>(s >> 32)};
}

namespace {

// True when every value of the rows lies in [0, limit]; NaN fails every comparison. The
// whole row is scanned without an early exit, so that the loop vectorises.
bool rowsWithin(const float* values, int width, int height, std::size_t stride, float limit) {
    for (int y = 0; y < height; ++y) {
        const float* row = values + static_cast<std::size_t>(y) * stride;
        bool outside = false;
        for (int x = 0; x < width; ++x) outside |= !(row[x] >= 0.0f && row[x] <= limit);
        if (outside) return false;
    }
    return true;
}

}  // namespace

CarriedPositions carriedPositionsOf(const DrawletFrameRequest& request) {
    if ((request.flags & DRAWLET_REQUEST_PATTERN_COORDINATES) == 0) return {};
    const DrawletPatternCoordinates* c = request.patternCoordinates;
    if (c == nullptr || c->x == nullptr || c->y == nullptr || c->width != request.width ||
        c->height != request.height || c->stride < c->width)
        return {};
    const auto stride = static_cast<std::size_t>(c->stride);
    // The frame's width and height are far below 2^24: exact as floats.
    if (!rowsWithin(c->x, c->width, c->height, stride, static_cast<float>(c->width)) ||
        !rowsWithin(c->y, c->width, c->height, stride, static_cast<float>(c->height)))
        return {};
    return {c->x, c->y, stride};
}

int runFrameDriver(DrawletRegistration& reg, DrawletFrameRequest& request) {
    DrawletPixelYC* const frame = request.frame;
    const int width = request.width;
    const int height = request.height;
    const int rowStride = request.rowStride;

    decodeEffectParams(reg);
    updatePatternBank(reg, request);
    applyModePreset(checkValue(reg, check::kInvert) == 1);

    if (patternScaled[0].empty()) return 0;
    // A frame the module cannot address safely is left as it is.
    if (frame == nullptr || width <= 0 || height <= 0 || rowStride < width) return 0;

    if (srcImage.empty() || srcImage.cols != width || srcImage.rows != height) {
        releaseWorkingImages();
        createWorkingImages(width, height);
    }
    ycToBgr(rowStride, frame, width, height);

    const bool lines = EffectParams.lineOn;
    if (EffectParams.hatchOn) {
        const SeedWords seed =
            seedWordsFor(request.frameNumber, EffectParams.updateInterval, EffectParams.randomSeed);
        mwcRandom.rngX = seed.rngX;
        mwcRandom.rngCarry = seed.rngCarry;
        // The strokes are planned from the frame and the value plane of the hatching's own HSV
        // picture (the same bytes the line drawer would convert again) beside the hatching,
        // and drawn once it is done.
        renderHatching(lines ? lineWork(linePlan) : BesideBands(), carriedPositionsOf(request));
    } else {
        const double level = EffectParams.backgroundLevel;
        canvasImage.setTo(cv::Scalar(level, level, level, level));
        if (lines) drawLines();
    }

    bgrToYc(rowStride, frame, width, height);
    return 1;
}

int processCallback(DrawletRegistration* reg, DrawletFrameRequest* request) {
    if (reg == nullptr || request == nullptr) return 0;
    try {
        const std::uint32_t start = platform::tickCountMs();
        if (runFrameDriver(*reg, *request) != 1) return 0;
        const std::uint32_t elapsed = platform::tickCountMs() - start;
        const bool saving = reg->services != nullptr && reg->services->isSaving != nullptr &&
                            reg->services->isSaving(request->editHandle) != 0;
        if (!saving) {
            char title[256];
            std::snprintf(title, sizeof title, "Morvane time:%d", static_cast<int>(elapsed));
            platform::setWindowTitle(reg->settingsWindow, title);
        }
        return 1;
    } catch (...) {
        // Nothing has been written into the host frame before the last step, which cannot
        // throw: an exception leaves the frame as the host gave it.
        return 0;
    }
}

}  // namespace drawlet
