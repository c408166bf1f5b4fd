// The per-frame spine: parameters decoded by name, the mode presets, the pattern bank kept
// up to date, the working images matched to the frame, and the pipeline run.
#pragma once

#include <cstdint>

#include "host/drawlet_filter.h"

namespace drawlet {

// The parameter set of the current frame, decoded at the start of every frame.
struct EffectParameters {
    int mode = 0;
    int lineStep = 0;
    int extractInterval = 0;
    int length = 0;
    int width = 0;
    int noise = 0;
    int vFlag = 0;
    double lineDensity = 0.0;
    double tilt = 0.0;
    double densityLimit = 0.0;
    int updateInterval = 0;
    int randomSeed = 0;
    double tiltJitter = 0.0;
    int xJitter = 0;
    int yJitter = 0;
    double saturationGain = 0.0;
    double brightnessGain = 0.0;
    int lineType = 0;
    int cannyTh1 = 0;
    int cannyTh2 = 0;
    bool lineOn = false;
    bool hatchOn = false;
    bool diffusion = false;
    int interpolation = 0;  // 0 nearest, 1 bilinear, 2 bicubic
    bool maskMode = false;

    // Set by the mode preset.
    double lineStrength = 1.0;
    double lineOffset = 0.0;
    int hatchToneMode = 0;
    int hatchShift = 0;
    int backgroundLevel = 0;
    bool hatchInvert = false;
};

extern EffectParameters EffectParams;

// Decodes EffectParams from the host's current values, by display name (steps up to and
// including maskMode; the presets are applied separately).
void decodeEffectParams(const DrawletRegistration& reg);

// Applies the preset of EffectParams.mode, the invert check and the line strength.
void applyModePreset(bool invertChecked);

// The two seed words for a frame: S = q + seed * 2^32 with q = frame / interval (0 when the
// interval is 0); an all-zero S becomes 0xFFFFFFFF in both words.
struct SeedWords {
    std::uint32_t rngX;
    std::uint32_t rngCarry;
};
SeedWords seedWordsFor(int frameNumber, int updateInterval, int randomSeed);

// Runs one frame; 1 when the frame was rewritten, 0 when it was left untouched.
int runFrameDriver(DrawletRegistration& reg, DrawletFrameRequest& request);

// The registered processing callback: times the driver and shows the time in the title.
int processCallback(DrawletRegistration* reg, DrawletFrameRequest* request);

}  // namespace drawlet
