#include "imaging/row_bands.h"

#include <algorithm>
#include <atomic>
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

// The threads' shared queue of work: item i is a leading task or a band, in that order, and
// each thread takes the next item until none is left. A body object rather
// than a lambda: the pool calls it by reference, so nothing of it is copied after the
// caller's writes are published to the threads.
class FrameTasks : public cv::ParallelLoopBody {
  public:
    FrameTasks(int rows, const BandWork& band, const BesideBands& beside)
        : rows_(rows),
          band_(band),
          beside_(beside),
          bands_(rows > 0 ? (rows + kBandRows - 1) / kBandRows : 0),
          leading_(static_cast<int>(beside.leading.size())),
          items_(leading_ + bands_) {}

    void operator()(const cv::Range&) const override {
        DRAWLET_TSAN_ACQUIRE(const_cast<int*>(&started_));
        if (bands_ == 0) runTail();
        for (int item = next_++; item < items_; item = next_++) {
            const int band = item - leading_;
            if (band < 0) {
                guarded(beside_.leading[static_cast<std::size_t>(item)]);
            } else {
                const int firstRow = band * kBandRows;
                guarded([&] { band_(firstRow, std::min(rows_, firstRow + kBandRows)); });
                if (++bandsDone_ == bands_) runTail();
            }
        }
        DRAWLET_TSAN_RELEASE(const_cast<int*>(&finished_));
    }

    void run() {
        if (items_ == 0 && !beside_.tail) return;
        DRAWLET_TSAN_RELEASE(&started_);
        const int threads = std::max(cv::getNumThreads(), 1);
        cv::parallel_for_(cv::Range(0, threads), *this, threads);
        DRAWLET_TSAN_ACQUIRE(&finished_);
        if (failure_) std::rethrow_exception(failure_);
    }

  private:
    void runTail() const {
        if (beside_.tail && !tailTaken_.exchange(true)) guarded(beside_.tail);
    }

    template <typename F>
    void guarded(const F& work) const {
        try {
            work();
        } catch (...) {
            const std::lock_guard<std::mutex> guard(failureLock_);
            if (!failure_) failure_ = std::current_exception();
        }
    }

    int rows_;
    const BandWork& band_;
    const BesideBands& beside_;
    int bands_, leading_, items_;
    mutable std::atomic<int> next_{0}, bandsDone_{0};
    mutable std::atomic<bool> tailTaken_{false};
    mutable std::mutex failureLock_;
    mutable std::exception_ptr failure_;
    int started_ = 0, finished_ = 0;  // addresses for the sanitizer's ordering only
};

}  // namespace

void forEachRowBand(int rows, const BandWork& band) { forEachRowBandBeside(rows, band, {}); }

void forEachRowBandBeside(int rows, const BandWork& band, const BesideBands& beside) {
    FrameTasks(rows, band, beside).run();
}

}  // namespace drawlet
