#include "imaging/row_bands.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <opencv2/core/utility.hpp>
#include <vector>

// OpenCV's pool synchronises in code that ThreadSanitizer does not see (the library is not
// built for it): tell it that the tasks start after the caller's writes and that the caller
// goes on after the tasks' writes, as the pool guarantees.
#if defined(__SANITIZE_THREAD__)  // GCC
#define DRAWLET_UNDER_TSAN 1
#elif defined(__has_feature)  // clang
#if __has_feature(thread_sanitizer)
#define DRAWLET_UNDER_TSAN 1
#endif
#endif
#if defined(DRAWLET_UNDER_TSAN)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define DRAWLET_TSAN_ACQUIRE(address) __tsan_acquire(address)
#define DRAWLET_TSAN_RELEASE(address) __tsan_release(address)
#else
#define DRAWLET_TSAN_ACQUIRE(address) static_cast<void>(address)
#define DRAWLET_TSAN_RELEASE(address) static_cast<void>(address)
#endif

namespace drawlet {
namespace {

// The bands in order, with the side tasks spread evenly among them (the first at the start):
// a pool that hands each thread a share of the task range then gets its share of the side
// tasks too. A body object rather than a lambda: the pool calls it by reference, so nothing
// of it is copied after the caller's writes are published to the tasks.
class BandTasks : public cv::ParallelLoopBody {
  public:
    BandTasks(int rows, const BandWork& band, const SideTasks& sides)
        : rows_(rows), band_(band), sides_(sides) {
        const int bands = rows > 0 ? (rows + kBandRows - 1) / kBandRows : 0;
        const int sideCount = static_cast<int>(sides.size());
        const int total = bands + sideCount;
        order_.assign(static_cast<std::size_t>(total), 0);
        std::vector<bool> isSide(static_cast<std::size_t>(total), false);
        for (int side = 0; side < sideCount; ++side)
            isSide[static_cast<std::size_t>(side * total / sideCount)] = true;
        int nextBand = 0, nextSide = 0;
        for (std::size_t task = 0; task < order_.size(); ++task)
            order_[task] = isSide[task] ? -1 - nextSide++ : nextBand++;
    }

    int count() const { return static_cast<int>(order_.size()); }

    void operator()(const cv::Range& range) const override {
        DRAWLET_TSAN_ACQUIRE(const_cast<int*>(&started_));
        for (int task = range.start; task < range.end; ++task) {
            const int what = order_[static_cast<std::size_t>(task)];
            try {
                if (what < 0) {
                    sides_[static_cast<std::size_t>(-1 - what)]();
                } else {
                    const int firstRow = what * kBandRows;
                    band_(firstRow, std::min(rows_, firstRow + kBandRows));
                }
            } catch (...) {
                const std::lock_guard<std::mutex> guard(failureLock_);
                if (!failure_) failure_ = std::current_exception();
            }
        }
        DRAWLET_TSAN_RELEASE(const_cast<int*>(&finished_));
    }

    void run() {
        DRAWLET_TSAN_RELEASE(&started_);
        cv::parallel_for_(cv::Range(0, count()), *this, count());
        DRAWLET_TSAN_ACQUIRE(&finished_);
        if (failure_) std::rethrow_exception(failure_);
    }

  private:
    int rows_;
    const BandWork& band_;
    const SideTasks& sides_;
    std::vector<int> order_;  // a band's index, or -1 - a side task's index
    mutable std::mutex failureLock_;
    mutable std::exception_ptr failure_;
    int started_ = 0, finished_ = 0;  // addresses for the sanitizer's ordering only
};

}  // namespace

void forEachRowBand(int rows, const BandWork& band) { forEachRowBandBeside(rows, band, {}); }

void forEachRowBandBeside(int rows, const BandWork& band, const SideTasks& sides) {
    BandTasks tasks(rows, band, sides);
    if (tasks.count() > 0) tasks.run();
}

}  // namespace drawlet
