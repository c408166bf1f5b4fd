// The hatching pattern bank: seven gray pattern images of a numbered set, loaded from a
// folder beside the module, and their copies prepared for the current scale and angle.
#pragma once

#include <opencv2/core.hpp>

#include "interface/drawlet_filter.h"

namespace drawlet {

inline constexpr int kPatternCount = 7;
inline constexpr int kPatternTextSize = 8192;

extern cv::Mat patternOriginals[kPatternCount];  // as loaded, 8-bit gray; empty when no set
extern cv::Mat patternScaled[kPatternCount];     // what the renderer samples
// Canvas to pattern coordinates: u = a00 x + a01 y + a02, v = a10 x + a11 y + a12.
extern double patternInverseAffine[6];
extern int loadedPatternNo;  // the set number last attempted
extern double currentPatternScale;
extern double currentPatternAngle;  // radians

// The directory in which the pattern folders are looked for (the module's directory).
void setPatternBaseDirectory(const char* directory);

// The folder the sets are read from: "<dir>/Drawlet" when it exists, else the directory.
void patternBaseFolder(char* out /* kPatternTextSize */);

// Loads a new set when the number changed, re-prepares when the set, scale or angle changed.
void updatePatternBank(const DrawletRegistration& reg, const DrawletFrameRequest& request);

// Loads set loadedPatternNo; on failure releases everything and writes the message.
bool loadPatternSet(char* message /* kPatternTextSize */);

// Builds patternInverseAffine and patternScaled for the current scale, angle and frame size.
void preparePatterns(const DrawletFrameRequest& request);

void releasePatterns();

}  // namespace drawlet
