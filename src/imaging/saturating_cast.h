// Real-to-integer conversion for values that only slider settings outside their registered
// ranges push beyond the int range. Within the range it is the plain truncating cast, so
// every in-range setting keeps its bytes; beyond it the result is held at the nearest end
// instead of being undefined, and NaN gives 0.
#pragma once

#include <climits>

namespace drawlet {

inline int saturatingTrunc(double v) {
    if (v != v) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace drawlet
