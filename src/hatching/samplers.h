// Reading a pattern at a real position, the pattern tiling the plane in both directions.
// Each formula is evaluated in the written order: the results are compared bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>

namespace drawlet {

// An 8-bit single-channel pattern: width, height >= 1, row step in bytes.
struct PatternView {
    const std::uint8_t* data;
    std::size_t step;
    int width;
    int height;

    static PatternView of(const cv::Mat& image) {
        return {image.ptr<std::uint8_t>(0), image.step[0], image.cols, image.rows};
    }
    double at(int j, int k) const { return data[static_cast<std::size_t>(k) * step + j]; }
    const std::uint8_t* row(int k) const { return data + static_cast<std::size_t>(k) * step; }
};

// i mod n into 0..n-1, for n >= 1.
inline int wrapIndex(int i, int n) {
    const int r = i % n;
    return r < 0 ? r + n : r;
}

// Truncation toward zero. Positions beyond the int range (only reachable with slider values
// outside their registered ranges) read as 0 instead of overflowing.
inline int truncToInt(double v) {
    return v > -2147483647.0 && v < 2147483647.0 ? static_cast<int>(v) : 0;
}

// v = i + d with i = floor(v) and 0 <= d < 1, through truncation.
struct IntFraction {
    int i;
    double d;
};
inline IntFraction splitReal(double v) {
    int i = truncToInt(v);
    double d = v - i;
    if (d < 0) {
        i = i - 1;
        d = d + 1;
    }
    return {i, d};
}

// Rounds halves away from zero.
inline double sampleNearestWrapped(const PatternView& p, double x, double y) {
    if (x < 0) x = x - 1;
    const int j = truncToInt(x + 0.5);
    if (y < 0) y = y - 1;
    const int k = truncToInt(y + 0.5);
    return p.at(wrapIndex(j, p.width), wrapIndex(k, p.height));
}

// The bilinear mix of the four pixels around a position, at fractions fx and fy.
inline double bilinearMix(double p00, double p10, double p01, double p11, double fx, double fy) {
    return ((1 - fx) * p00 + fx * p10) * (1 - fy) + fy * ((1 - fx) * p01 + fx * p11);
}

inline double sampleBilinearWrapped(const PatternView& p, double x, double y) {
    const IntFraction sx = splitReal(x);
    const IntFraction sy = splitReal(y);
    const int j0 = wrapIndex(sx.i, p.width), j1 = (j0 + 1) % p.width;
    const int k0 = wrapIndex(sy.i, p.height), k1 = (k0 + 1) % p.height;
    return bilinearMix(p.at(j0, k0), p.at(j1, k0), p.at(j0, k1), p.at(j1, k1), sx.d, sy.d);
}

// Cubic convolution kernel with a = -1: the piece for |t| <= 1 and the piece for 1..2.
inline double cubicInner(double t) { return ((t - 2) * t) * t + 1; }
inline double cubicOuter(double t) { return ((5 - t) * t - 8) * t + 4; }

// The cubic convolution of the 4 x 4 pixels around a position, at fractions fx and fy:
// row r, column c of the neighbourhood (offsets -1..2) is row[r][col[c]].
inline double bicubicMix(const std::uint8_t* const (&row)[4], const int (&col)[4], double fx,
                         double fy) {
    const double wx[4] = {cubicOuter(1 + fx), cubicInner(fx), cubicInner(1 - fx),
                          cubicOuter(2 - fx)};
    const double wy[4] = {cubicOuter(1 + fy), cubicInner(fy), cubicInner(1 - fy),
                          cubicOuter(2 - fy)};
    double sum = 0;
    for (int r = 0; r < 4; ++r) {
        double rowSum = 0;
        for (int c = 0; c < 4; ++c) rowSum += wx[c] * row[r][col[c]];
        sum += wy[r] * rowSum;
    }
    return sum;
}

// Can overshoot 0..255 (the outer weights are negative); the caller clamps.
inline double sampleBicubicWrapped(const PatternView& p, double x, double y) {
    const IntFraction sx = splitReal(x);
    const IntFraction sy = splitReal(y);
    const int jm = wrapIndex(sx.i - 1, p.width);
    const int km = wrapIndex(sy.i - 1, p.height);
    const int cols[4] = {jm, (jm + 1) % p.width, (jm + 2) % p.width, (jm + 3) % p.width};
    const std::uint8_t* const rows[4] = {p.row(km), p.row((km + 1) % p.height),
                                         p.row((km + 2) % p.height), p.row((km + 3) % p.height)};
    return bicubicMix(rows, cols, sx.d, sy.d);
}

}  // namespace drawlet
