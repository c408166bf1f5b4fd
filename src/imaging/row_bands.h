// Per-row work split into bands of rows on OpenCV's threads, so that a host's
// cv::setNumThreads governs every thread of a frame. A band touches only its own rows, so
// the bytes written do not depend on how many threads run the bands.
#pragma once

#include <functional>

namespace drawlet {

inline constexpr int kBandRows = 16;

using BandWork = std::function<void(int firstRow, int endRow)>;

// Runs `band` over rows [0, rows) in bands of kBandRows rows (the last may be shorter).
void forEachRowBand(int rows, const BandWork& band);

// The same, with `side` as one more task, started first, that runs beside the bands on
// another thread when there is one. An exception of any task is rethrown here.
void forEachRowBandBeside(int rows, const BandWork& band, const std::function<void()>& side);

}  // namespace drawlet
