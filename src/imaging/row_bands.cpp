#include "imaging/row_bands.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <opencv2/core/utility.hpp>

namespace drawlet {

void forEachRowBand(int rows, const BandWork& band) { forEachRowBandBeside(rows, band, {}); }

void forEachRowBandBeside(int rows, const BandWork& band, const std::function<void()>& side) {
    if (rows <= 0 && !side) return;
    const int bands = rows > 0 ? (rows + kBandRows - 1) / kBandRows : 0;
    const int first = side ? 1 : 0;  // task 0 is the side task
    const int tasks = bands + first;
    std::mutex failureLock;
    std::exception_ptr failure;
    cv::parallel_for_(
        cv::Range(0, tasks),
        [&](const cv::Range& range) {
            for (int task = range.start; task < range.end; ++task) {
                try {
                    if (task < first) {
                        side();
                    } else {
                        const int firstRow = (task - first) * kBandRows;
                        band(firstRow, std::min(rows, firstRow + kBandRows));
                    }
                } catch (...) {
                    const std::lock_guard<std::mutex> guard(failureLock);
                    if (!failure) failure = std::current_exception();
                }
            }
        },
        tasks);
    if (failure) std::rethrow_exception(failure);
}

}  // namespace drawlet
