// The per-frame spine: parameters decoded by name, the mode presets, the pattern bank kept
// up to date, the working images matched to the frame, and the pipeline run.
#pragma once

#include <cstdint>

#include "hatching/hatching_frame.h"
#include "interface/drawlet_filter.h"
#include "interface/effect_params.h"

namespace drawlet {

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

// The pattern coordinates a request carries, when its flags say so and they are usable: the
// frame's size, a stride of at least the width, every value finite and within [0, width] x
// [0, height]. Anything else gives none, and the frame samples at the pixels' own positions.
CarriedPositions carriedPositionsOf(const DrawletFrameRequest& request);

// Runs one frame; 1 when the frame was rewritten, 0 when it was left untouched.
int runFrameDriver(DrawletRegistration& reg, DrawletFrameRequest& request);

// The registered processing callback: times the driver and shows the time in the title.
int processCallback(DrawletRegistration* reg, DrawletFrameRequest* request);

}  // namespace drawlet
