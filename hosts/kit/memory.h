// Running out of memory, told as such: an allocation that fails anywhere in a host (the C++
// library's or OpenCV's) names the picture size that needed it, not some other cause.
#pragma once

#include <exception>
#include <string>

#include "kit/error.h"

namespace drawlet::kit {

// True for std::bad_alloc and for OpenCV's out-of-memory error.
bool isOutOfMemory(const std::exception& e);

// "WHAT: not enough memory for WxH", a failure (exit code 1).
Error notEnoughMemory(const std::string& what, long long width, long long height);

// Runs `work`; an allocation failing in it is thrown again as notEnoughMemory(what, ...).
template <typename Work>
auto sayingWhenOutOfMemory(const std::string& what, long long width, long long height,
                           Work&& work) {
    try {
        return work();
    } catch (const std::exception& e) {
        if (isOutOfMemory(e)) throw notEnoughMemory(what, width, height);
        throw;
    }
}

}  // namespace drawlet::kit
