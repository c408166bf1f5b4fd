// The steadied picture of a followed frame (see MotionFollower::kSteadyLevels): what only
// noise changed since the frame before, along the camera's motion, keeps its earlier value.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <opencv2/core/hal/intrin.hpp>
#include <utility>

#include "run/motion.h"

namespace drawlet::run {
namespace {

// The standard deviation of the noise of a frame's green channel: the median size of the
// response to the 3 x 3 mask (1 -2 1; -2 4 -2; 1 -2 1), which cancels smooth shading and is
// 6 sigma wide for white noise (median of its size: 0.6745 * 6 sigma), on every 16th row
// (a 1080p frame still gives 130,000 samples).
// The median sets the few edges aside.
float noiseSigma(const cv::Mat& bgr) {
    constexpr int kLargest = 1023;
    std::array<long long, kLargest + 1> sizes{};
    long long count = 0;
    const int w = bgr.cols, h = bgr.rows;
    for (int y = 1; y + 1 < h; y += 16) {
        const std::uint8_t* a = bgr.ptr<std::uint8_t>(y - 1) + 1;  // green
        const std::uint8_t* b = bgr.ptr<std::uint8_t>(y) + 1;
        const std::uint8_t* c = bgr.ptr<std::uint8_t>(y + 1) + 1;
        for (int x = 3; x + 3 < 3 * w; x += 3) {
            const int v = a[x - 3] - 2 * a[x] + a[x + 3] - 2 * b[x - 3] + 4 * b[x] - 2 * b[x + 3] +
                          c[x - 3] - 2 * c[x] + c[x + 3];
            ++sizes[static_cast<std::size_t>(std::min(std::abs(v), kLargest))];
            ++count;
        }
    }
    long long below = 0;
    for (int size = 0; size <= kLargest; ++size) {
        below += sizes[static_cast<std::size_t>(size)];
        if (2 * below > count) return static_cast<float>(size) / (0.6745f * 6);
    }
    return static_cast<float>(kLargest) / (0.6745f * 6);
}

// The nearest whole pixel to a coordinate (halves up), kept far inside the int range.
int nearestPixel(double v) {
    constexpr double kFar = 1 << 20;
    return static_cast<int>(std::clamp(v, -kFar, kFar) + 0.5 + kFar) - static_cast<int>(kFar);
}

// The first x after `from` (at most `width`) where the nearest pixel to slope * x + start is
// no longer `pixel` (its value at `from`), as the line gives it.
int nextStep(double slope, double start, int pixel, int from, int width) {
    double at = width;
    if (slope > 0) at = std::ceil((pixel + 0.5 - start) / slope);
    if (slope < 0) at = std::floor((pixel - 0.5 - start) / slope) + 1;
    return static_cast<int>(std::clamp(at, from + 1.0, static_cast<double>(width)));
}

// One run of a steadied row: each byte of `now` that differs from `was` by fewer than
// `levels` takes `was`'s value.
void steadyRun(const std::uint8_t* now, const std::uint8_t* was, std::uint8_t* out, int bytes,
               int levels, std::size_t wasStep) {
    const cv::v_uint8x16 limit = cv::v_setall_u8(static_cast<std::uint8_t>(levels));
    int i = 0;
    for (; i + 16 <= bytes; i += 16) {
        if (i % 64 == 0) __builtin_prefetch(was + i + wasStep);
        const cv::v_uint8x16 n = cv::v_load(now + i), w = cv::v_load(was + i);
        cv::v_store(out + i, cv::v_select(cv::v_absdiff(n, w) < limit, w, n));
    }
    for (; i < bytes; ++i) {
        const int change = now[i] > was[i] ? now[i] - was[i] : was[i] - now[i];
        out[i] = change < levels ? was[i] : now[i];
    }
}

}  // namespace

// The picture a frame between ticks is drawn from (see kSteadyLevels): each pixel compared
// with the previous steadied picture at the nearest pixel of the point the camera's motion
// brought it from. Pixels whose point lies beyond the previous frame, and those that fail the
// check or move on their own, come through as they are. `picture` is written in place unless
// another holder shares its buffer (the host may still draw from the one before, which
// before_ keeps): then it gets a new one.
void MotionFollower::steady(const cv::Mat& bgr, cv::Mat& picture) {
    const cv::Matx23d camera = cameraAtFullSize();
    const int levels = steadyLevelsFor(noiseSigma(bgr));
    if (picture.size() != size_ || picture.type() != CV_8UC3 || picture.u->refcount > 1)
        picture = cv::Mat(size_, CV_8UC3);
    const int width = size_.width, height = size_.height;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* now = bgr.ptr<std::uint8_t>(y);
        std::uint8_t* out = picture.ptr<std::uint8_t>(y);
        // Pixel (x, y) came from (x + offset(x), row(x)), each rounded to the nearest pixel.
        // Both are monotonic in x, so a run of equal ones is found by galloping.
        const double rowX = camera(0, 1) * y + camera(0, 2);
        const double rowY = camera(1, 1) * y + camera(1, 2);
        const auto from = [&](int x) {
            return std::pair{nearestPixel((camera(0, 0) - 1) * x + rowX),
                             nearestPixel(camera(1, 0) * x + rowY)};
        };
        for (int x = 0; x < width;) {
            const auto [offset, row] = from(x);
            const auto same = [&, offset = offset, row = row](int at) {
                return from(at) == std::pair{offset, row};
            };
            // Where the line says the run ends, which one comparison on either side confirms;
            // else (rounding at a half) by galloping.
            int end = std::min(nextStep(camera(0, 0) - 1, rowX, offset, x, width),
                               nextStep(camera(1, 0), rowY, row, x, width));
            if (!same(end - 1) || (end < width && same(end))) {
                int inside = x + 1, step = 1;  // from(inside - 1) is the run's
                while (inside + step - 1 < width && same(inside + step - 1)) {
                    inside += step;
                    step *= 2;
                }
                for (; step > 0; step /= 2)
                    if (inside + step - 1 < width && same(inside + step - 1)) inside += step;
                end = inside;
            }
            // Of the run [x, end), the pixels whose source column is inside the frame.
            const int first = std::clamp(-offset, x, end);
            const int last = std::clamp(width - offset, first, end);
            if (row < 0 || row >= height || first == last) {
                std::copy(now + 3 * x, now + 3 * end, out + 3 * x);
            } else {
                std::copy(now + 3 * x, now + 3 * first, out + 3 * x);
                steadyRun(now + 3 * first, before_.ptr<std::uint8_t>(row) + 3 * (first + offset),
                          out + 3 * first, 3 * (last - first), levels, before_.step);
                std::copy(now + 3 * last, now + 3 * end, out + 3 * last);
            }
            x = end;
        }
    }
    // The blocks of the reduced pixels that fail the check or move on their own, a run of them
    // along a reduced row at a time.
    const int w = ownMotion_.cols, h = ownMotion_.rows;
    for (int yr = 0; yr < h; ++yr) {
        const std::uint8_t* own = ownMotion_.ptr<std::uint8_t>(yr);
        for (int xr = 0; xr < w;) {
            if (own[xr] == 0) {
                ++xr;
                continue;
            }
            const int first = xr;
            while (xr < w && own[xr] != 0) ++xr;
            const int from = 3 * (first * width / w), to = 3 * (xr * width / w);
            for (int y = yr * height / h; y < (yr + 1) * height / h; ++y)
                std::copy(bgr.ptr<std::uint8_t>(y) + from, bgr.ptr<std::uint8_t>(y) + to,
                          picture.ptr<std::uint8_t>(y) + from);
        }
    }
}

// The camera's backward motion at full size, as the point a full-size pixel came from.
// Reduced pixel centres: x_r = (x + 0.5) / sx - 0.5; the camera's flow there in full-size
// pixels is s * camera(x_r, y_r), s the side's own scale.
cv::Matx23d MotionFollower::cameraAtFullSize() const {
    const double scale[2] = {static_cast<double>(size_.width) / current_.cols,
                             static_cast<double>(size_.height) / current_.rows};
    cv::Matx23d from;
    for (int r = 0; r < 2; ++r) {
        const double s = scale[r];
        const double a = camera_(r, 0), b = camera_(r, 1), c = camera_(r, 2);
        from(r, 0) = (r == 0 ? 1.0 : 0.0) + s * a / scale[0];
        from(r, 1) = (r == 1 ? 1.0 : 0.0) + s * b / scale[1];
        from(r, 2) = s * (a * (0.5 / scale[0] - 0.5) + b * (0.5 / scale[1] - 0.5) + c);
    }
    return from;
}

}  // namespace drawlet::run
