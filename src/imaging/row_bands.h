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

// Work of a frame beside its bands. The threads take the leading tasks, then the bands, one
// at a time in that order, each once: the long tasks first, and the short bands fill in. The
// thread that ends the last band (or the first thread, when there are no bands) then runs
// the tail, once, while the others finish what is left.
struct BesideBands {
    SideTasks leading;
    std::function<void()> tail;
};

// The bands with the work beside them; returns when all of it has ended, and rethrows the
// first exception of any of it.
void forEachRowBandBeside(int rows, const BandWork& band, const BesideBands& beside);

}  // namespace drawlet
