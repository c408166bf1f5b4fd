// Per-row work split into bands of rows on OpenCV's threads, so that a host's
// cv::setNumThreads governs every thread of a frame. A band touches only its own rows, so
// the bytes written do not depend on how many threads run the bands.
#pragma once

#include <functional>
#include <vector>

namespace drawlet {

inline constexpr int kBandRows = 16;

using BandWork = std::function<void(int firstRow, int endRow)>;

// Runs `band` over rows [0, rows) in bands of kBandRows rows (the last may be shorter).
void forEachRowBand(int rows, const BandWork& band);

using SideTasks = std::vector<std::function<void()>>;

// The same, with `sides` as more tasks, started first, that run beside the bands on other
// threads when there are any. An exception of any task is rethrown here.
void forEachRowBandBeside(int rows, const BandWork& band, const SideTasks& sides);

}  // namespace drawlet
