// Decoding, filtering and encoding on one pool of threads.
#pragma once

#include <functional>

namespace drawlet::cli {

// Runs `work` in one oneTBB arena of `threads` threads (all cores when 0 or less), with every
// OpenCV parallel loop started meanwhile, the filter's included, run in that arena too. OpenCV
// otherwise keeps an arena of its own: a pipeline thread waiting for the next stage could
// not help with a frame, and the frame would run on one thread while the other idles.
void runInOneArena(int threads, const std::function<void()>& work);

}  // namespace drawlet::cli
