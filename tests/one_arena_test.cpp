// The render's thread pool: OpenCV's loops run in the arena of the work, at its thread count,
// and OpenCV's own loops come back afterwards, also when the work throws.
#include "cli/one_arena.h"

#include <gtest/gtest.h>
#include <tbb/task_arena.h>

#include <atomic>
#include <opencv2/core/utility.hpp>
#include <stdexcept>

namespace {

using drawlet::cli::runInOneArena;

int stripesOutsideAnArenaOf(int threads) {
    std::atomic<int> outside{0}, rows{0};
    cv::parallel_for_(cv::Range(0, 64), [&](const cv::Range& r) {
        if (tbb::this_task_arena::max_concurrency() != threads) ++outside;
        rows += r.end - r.start;
    });
    EXPECT_EQ(rows.load(), 64);
    return outside.load();
}

TEST(OneArena, OpenCvLoopsRunInTheArenaAndComeBackAfter) {
    const int before = cv::getNumThreads();
    for (const int threads : {1, 3, 5}) {
        runInOneArena(threads, [&] {
            EXPECT_EQ(cv::getNumThreads(), threads);
            EXPECT_EQ(stripesOutsideAnArenaOf(threads), 0);
        });
        EXPECT_EQ(cv::getNumThreads(), before);
    }
    EXPECT_THROW(runInOneArena(3, [] { throw std::runtime_error("stopped"); }), std::runtime_error);
    EXPECT_EQ(cv::getNumThreads(), before);
    EXPECT_GT(stripesOutsideAnArenaOf(5), 0);
}

}  // namespace
