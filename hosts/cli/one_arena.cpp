#include "cli/one_arena.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <memory>
#include <opencv2/core/parallel/parallel_backend.hpp>
#include <opencv2/core/utility.hpp>

namespace drawlet::cli {

namespace {

// OpenCV's loops as oneTBB loops in the arena given.
class ArenaLoops : public cv::parallel::ParallelForAPI {
  public:
    explicit ArenaLoops(tbb::task_arena& arena) : arena_(arena) {}

    void parallel_for(int tasks, FN_parallel_for_body_cb_t body, void* data) override {
        arena_.execute([&] {
            tbb::parallel_for(
                tbb::blocked_range<int>(0, tasks),
                [&](const tbb::blocked_range<int>& r) { body(r.begin(), r.end(), data); });
        });
    }
    int getThreadNum() const override { return tbb::this_task_arena::current_thread_index(); }
    int getNumThreads() const override { return arena_.max_concurrency(); }
    int setNumThreads(int) override { return arena_.max_concurrency(); }
    const char* getName() const override { return "drawlet-arena"; }

  private:
    tbb::task_arena& arena_;
};

// Puts OpenCV's own loops back, also when the work throws.
struct RestoreLoops {
    ~RestoreLoops() {
        cv::parallel::setParallelForBackend(std::shared_ptr<cv::parallel::ParallelForAPI>(), false);
    }
};

}  // namespace

void runInOneArena(int threads, const std::function<void()>& work) {
    tbb::task_arena arena(threads > 0 ? threads : tbb::task_arena::automatic);
    arena.initialize();
    const RestoreLoops restore;
    cv::parallel::setParallelForBackend(std::make_shared<ArenaLoops>(arena), false);
    arena.execute(work);
}

}  // namespace drawlet::cli
