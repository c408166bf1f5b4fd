#include "imaging/row_bands.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <opencv2/core/utility.hpp>

// OpenCV's pool synchronises in code that ThreadSanitizer does not see (the library is not
// built for it): tell it that the tasks start after the caller's writes and that the caller
// goes on after the tasks' writes, as the pool guarantees.
#if defined(__SANITIZE_THREAD__)
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

// Task 0 is the side task when there is one; the others are the bands in order. A body
// object rather than a lambda: the pool calls it by reference, so nothing of it is copied
// after the caller's writes are published to the tasks.
class BandTasks : public cv::ParallelLoopBody {
  public:
    BandTasks(int rows, const BandWork& band, const std::function<void()>& side)
        : rows_(rows), band_(band), side_(side), first_(side ? 1 : 0) {}

    int count() const { return (rows_ > 0 ? (rows_ + kBandRows - 1) / kBandRows : 0) + first_; }

    void operator()(const cv::Range& range) const override {
        DRAWLET_TSAN_ACQUIRE(const_cast<int*>(&started_));
        for (int task = range.start; task < range.end; ++task) {
            try {
                if (task < first_) {
                    side_();
                } else {
                    const int firstRow = (task - first_) * kBandRows;
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
    const std::function<void()>& side_;
    int first_;
    mutable std::mutex failureLock_;
    mutable std::exception_ptr failure_;
    int started_ = 0, finished_ = 0;  // addresses for the sanitizer's ordering only
};

}  // namespace

void forEachRowBand(int rows, const BandWork& band) { forEachRowBandBeside(rows, band, {}); }

void forEachRowBandBeside(int rows, const BandWork& band, const std::function<void()>& side) {
    BandTasks tasks(rows, band, side);
    if (tasks.count() > 0) tasks.run();
}

}  // namespace drawlet
