// The parameter set of the current frame: decoded by the frame driver at the start of every
// frame and read by the renderers.
#pragma once

namespace drawlet {

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

}  // namespace drawlet
