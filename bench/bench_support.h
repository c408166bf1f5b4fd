// Shared set-up of the benchmarks: a registered filter with default settings, the demo
// scene at a real frame size in srcImage, and the pattern set beside the module prepared.
#pragma once

#include <benchmark/benchmark.h>

#include <array>
#include <map>
#include <opencv2/core.hpp>
#include <string>

#include "interface/drawlet_filter.h"

namespace drawlet::bench {

struct FilterState {
    DrawletRegistration* reg = nullptr;
    std::array<int, 23> sliders{};
    std::array<int, 7> checks{};
    DrawletFrameRequest request{};
};

// Registers the filter with default values; the caller may change them, then calls
// prepareFrame.
FilterState& filterState();

// Demo scene of width x height into srcImage, parameters decoded, patterns prepared.
void prepareFrame(int width, int height);

// Frame sizes by height: 720, 1080, 2160.
int widthForHeight(int height);

// OpenCV's own threads: 1, or its default when `threads` is 0.
void useThreads(int threads);

// Runs the registered benchmarks and prints, for every benchmark whose name has a
// baseline counterpart (the part before the first '/' listed in `baselines`), the ratio of
// its time to the baseline's with the same remaining arguments.
int runWithRatios(int argc, char** argv, const std::map<std::string, std::string>& baselines);

}  // namespace drawlet::bench
