#include "run/positions.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <opencv2/core/hal/intrin.hpp>

namespace drawlet::run {
namespace {

// A position inside [0, size] as it is, one beyond the frame wrapped around it into [0, size]
// (the module takes positions inside the frame only; the rounding of the product can leave a
// hair outside, which the clamp takes back). `inverse` is 1 / size.
cv::v_float32x4 wrapped(cv::v_float32x4 p, cv::v_float32x4 size, cv::v_float32x4 inverse) {
    const cv::v_float32x4 inside = (p >= cv::v_setzero_f32()) & (p <= size);
    if (cv::v_check_all(inside)) return p;
    const cv::v_float32x4 w = p - cv::v_cvt_f32(cv::v_floor(p * inverse)) * size;
    return cv::v_select(inside, p, cv::v_min(cv::v_max(w, cv::v_setzero_f32()), size));
}
float wrapped(float p, float size, float inverse) {
    if (p >= 0 && p <= size) return p;
    p -= std::floor(p * inverse) * size;
    return std::min(std::max(p, 0.0f), size);
}

}  // namespace

Widening::Widening(int reduced, int full)
    : reducedWidth(reduced),
      width(full),
      left(static_cast<std::size_t>(full)),
      right(static_cast<std::size_t>(full)),
      leftWeight(static_cast<std::size_t>(full)),
      rightWeight(static_cast<std::size_t>(full)) {
    const float scale = static_cast<float>(reducedWidth) / static_cast<float>(width);
    const float last = static_cast<float>(reducedWidth - 1);
    for (int x = 0; x < width; ++x) {
        const float s = std::clamp((static_cast<float>(x) + 0.5f) * scale - 0.5f, 0.0f, last);
        const auto c = static_cast<std::size_t>(x);
        left[c] = static_cast<int>(s);
        right[c] = std::min(left[c] + 1, reducedWidth - 1);
        rightWeight[c] = s - static_cast<float>(left[c]);
        leftWeight[c] = 1.0f - rightWeight[c];
    }
}

void positionRow(const float* reduced, const Widening& widening, float ownStart, float ownStep,
                 float limit, float* out, bool fast) {
    const float inverse = 1.0f / limit;
    const auto column = [&](int x) {
        const auto c = static_cast<std::size_t>(x);
        const float value = reduced[widening.left[c]] * widening.leftWeight[c] +
                            reduced[widening.right[c]] * widening.rightWeight[c];
        out[x] = wrapped(ownStart + ownStep * static_cast<float>(x) + value, limit, inverse);
    };
    int x = 0;
    if (fast && widening.fourfold()) {
        // Column 4i + k reads reduced columns i - 1 and i (k = 0, 1) or i and i + 1 (k = 2, 3),
        // at weights that are eighths, exact in the table too. Four reduced columns i .. i + 3
        // give the four k-vectors, and their transpose the 16 columns in order. Block 0 reads
        // the replicated end and goes by the table, as do the last ones.
        for (; x < 4; ++x) column(x);
        const cv::v_float32x4 eighth1 = cv::v_setall_f32(0.125f),
                              eighth3 = cv::v_setall_f32(0.375f);
        const cv::v_float32x4 eighth5 = cv::v_setall_f32(0.625f),
                              eighth7 = cv::v_setall_f32(0.875f);
        const cv::v_float32x4 size = cv::v_setall_f32(limit), over = cv::v_setall_f32(inverse);
        const cv::v_float32x4 start = cv::v_setall_f32(ownStart), step = cv::v_setall_f32(ownStep);
        const cv::v_float32x4 lanes(0, 1, 2, 3);
        int i = 1;
        for (; i + 4 < widening.reducedWidth; i += 4) {
            const cv::v_float32x4 before = cv::v_load(reduced + i - 1);
            const cv::v_float32x4 here = cv::v_load(reduced + i);
            const cv::v_float32x4 after = cv::v_load(reduced + i + 1);
            cv::v_float32x4 k[4] = {
                before * eighth3 + here * eighth5, before * eighth1 + here * eighth7,
                here * eighth7 + after * eighth1, here * eighth5 + after * eighth3};
            cv::v_float32x4 columns[4];
            cv::v_transpose4x4(k[0], k[1], k[2], k[3], columns[0], columns[1], columns[2],
                               columns[3]);
            for (int j = 0; j < 4; ++j) {
                const int first = 4 * (i + j);
                const cv::v_float32x4 index = cv::v_setall_f32(static_cast<float>(first)) + lanes;
                const cv::v_float32x4 own = start + step * index;
                cv::v_store(out + first, wrapped(own + columns[j], size, over));
            }
        }
        x = 4 * i;
    }
    for (; x < widening.width; ++x) column(x);
}

}  // namespace drawlet::run
