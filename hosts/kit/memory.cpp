#include "kit/memory.h"

#include <new>
#include <opencv2/core.hpp>

namespace drawlet::kit {

bool isOutOfMemory(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return true;
    const auto* cvError = dynamic_cast<const cv::Exception*>(&e);
    return cvError != nullptr && cvError->code == cv::Error::StsNoMem;
}

Error notEnoughMemory(const std::string& what, long long width, long long height) {
    return Error(what + ": not enough memory for " + std::to_string(width) + "x" +
                 std::to_string(height));
}

}  // namespace drawlet::kit
