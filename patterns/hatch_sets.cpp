#include "hatch_sets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <opencv2/imgproc.hpp>

namespace drawlet::patterns {

namespace {

// Everything is drawn four times larger and shrunk by area averaging: anti-aliased strokes.
constexpr int kScale = 4;
constexpr int kCanvas = kPatternSize * kScale;
constexpr double kPi = 3.14159265358979323846;

// splitmix64: small, fast and the same on every platform (unlike std:: distributions).
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

  private:
    std::uint64_t state_;
};

// Draws on the torus: every primitive is also drawn shifted by one tile in x and y, so the
// tile has no seam. Coordinates are in canvas pixels; OpenCV's sub-pixel shift keeps them
// fractional.
constexpr int kShiftBits = 4;
constexpr double kShiftScale = 1 << kShiftBits;

cv::Point fixedPoint(cv::Point2d p) {
    return {static_cast<int>(std::lround(p.x * kShiftScale)),
            static_cast<int>(std::lround(p.y * kShiftScale))};
}

void wrappedLine(cv::Mat& canvas, cv::Point2d a, cv::Point2d b, int ink, int thickness) {
    // The segment's own tile: shift it so that its start lies in the canvas.
    const double ox = std::floor(a.x / kCanvas) * kCanvas;
    const double oy = std::floor(a.y / kCanvas) * kCanvas;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const cv::Point2d shift(dx * kCanvas - ox, dy * kCanvas - oy);
            cv::line(canvas, fixedPoint(a + shift), fixedPoint(b + shift), cv::Scalar(ink),
                     thickness, cv::LINE_AA, kShiftBits);
        }
}

void wrappedDot(cv::Mat& canvas, cv::Point2d c, cv::Size2d axes, double angle, int ink) {
    const double ox = std::floor(c.x / kCanvas) * kCanvas;
    const double oy = std::floor(c.y / kCanvas) * kCanvas;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const cv::Point2d at = c + cv::Point2d(dx * kCanvas - ox, dy * kCanvas - oy);
            cv::ellipse(canvas, fixedPoint(at),
                        cv::Size(static_cast<int>(axes.width * kShiftScale),
                                 static_cast<int>(axes.height * kShiftScale)),
                        angle, 0, 360, cv::Scalar(ink), cv::FILLED, cv::LINE_AA, kShiftBits);
        }
}

// One hand-drawn stroke along direction `u` from `start`, `length` canvas pixels long: the
// line wobbles sideways a little and the pressure (darkness and width) swells in the middle
// and lifts at the ends.
struct Pen {
    double inkDark;     // gray at full pressure
    double width;       // canvas pixels at full pressure
    double wobble;      // sideways amplitude, canvas pixels
    double wavelength;  // of the wobble, canvas pixels
};

void stroke(cv::Mat& canvas, Random& rng, cv::Point2d start, cv::Point2d u, double length,
            const Pen& pen) {
    const cv::Point2d n(-u.y, u.x);
    const double phase = rng.uniform(0, 2 * kPi);
    const double phase2 = rng.uniform(0, 2 * kPi);
    const double pressure = rng.uniform(0.75, 1.0);
    const double bend = rng.uniform(-1, 1) * pen.wobble;  // a slight overall curve
    const int steps = std::max(2, static_cast<int>(length / 6));
    cv::Point2d previous = start;
    for (int i = 1; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double along = t * length;
        const double side =
            pen.wobble * std::sin(2 * kPi * along / pen.wavelength + phase) * 0.6 +
            pen.wobble * 0.4 * std::sin(2 * kPi * along / (pen.wavelength * 2.7) + phase2) +
            bend * 4 * t * (1 - t);
        const cv::Point2d point = start + u * along + n * side;
        // Pressure: rises over the first fifth, eases off over the last quarter.
        const double swell = std::min({1.0, t / 0.2 + 0.35, (1 - t) / 0.25 + 0.3});
        const double p = pressure * swell;
        const int ink = static_cast<int>(std::lround(255 - (255 - pen.inkDark) * p));
        const int width = std::max(1, static_cast<int>(std::lround(pen.width * (0.55 + 0.45 * p))));
        wrappedLine(canvas, previous, point, ink, width);
        previous = point;
    }
}

// Parallel hatch lines of one direction that close on themselves on the torus: the
// direction (a, b) in whole tiles, the lines `count` per tile across, broken into strokes.
struct HatchLayer {
    int a, b;          // direction: a tiles across, b tiles down
    int count;         // lines per tile
    double strokeMin;  // stroke length range, as a fraction of the line's length
    double strokeMax;
    double gap;  // mean gap between strokes, canvas pixels
};

void hatch(cv::Mat& canvas, Random& rng, const HatchLayer& layer, const Pen& pen) {
    const cv::Point2d dir(layer.a, layer.b);
    const double lineLength = std::hypot(layer.a, layer.b) * kCanvas;
    const cv::Point2d u = dir / std::hypot(dir.x, dir.y);
    // Lines through (k / count) tiles along the axis the direction does not follow.
    const bool stepX = std::abs(layer.b) >= std::abs(layer.a);
    for (int k = 0; k < layer.count; ++k) {
        const double offset = (k + rng.uniform(-0.18, 0.18)) * kCanvas / layer.count;
        const cv::Point2d origin = stepX ? cv::Point2d(offset, 0) : cv::Point2d(0, offset);
        double t = rng.uniform(0, lineLength * 0.2);
        const double end = t + lineLength;
        while (t < end) {
            const double len =
                std::min(end - t, rng.uniform(layer.strokeMin, layer.strokeMax) * lineLength);
            if (len > 12) stroke(canvas, rng, origin + u * t, u, len, pen);
            t += len + rng.uniform(0.3, 1.7) * layer.gap;
        }
    }
}

// A tileable paper-and-graphite grain in 0..1: value noise on a wrapped grid, smoothed.
cv::Mat grain(Random& rng, int cells, double strength) {
    cv::Mat grid(cells, cells, CV_32F);
    for (int y = 0; y < cells; ++y)
        for (int x = 0; x < cells; ++x) grid.at<float>(y, x) = static_cast<float>(rng.uniform());
    // Pad by wrapping so that the enlargement is periodic, then cut the middle out.
    cv::Mat padded;
    cv::copyMakeBorder(grid, padded, 2, 2, 2, 2, cv::BORDER_WRAP);
    const double f = static_cast<double>(kCanvas) / cells;
    cv::Mat big;
    cv::resize(padded, big, cv::Size(), f, f, cv::INTER_CUBIC);
    const int margin = static_cast<int>(2 * f);
    cv::Mat noise = big(cv::Rect(margin, margin, kCanvas, kCanvas)).clone();
    noise = 1.0 - strength + strength * noise;
    return noise;
}

cv::Mat shrink(const cv::Mat& canvas) {
    cv::Mat out;
    cv::resize(canvas, out, cv::Size(kPatternSize, kPatternSize), 0, 0, cv::INTER_AREA);
    return out;
}

// Set 0: pen strokes, one direction at first, then crossing directions, denser at each level.
cv::Mat penLevel(int level, Random& rng) {
    cv::Mat canvas(kCanvas, kCanvas, CV_8UC1, cv::Scalar(255));
    const Pen pen{28, 2.6 * kScale / 2, 3.0, 220};
    struct Plan {
        std::vector<HatchLayer> layers;
    };
    const HatchLayer diag{1, 1, 0, 0.18, 0.42, 60};
    const HatchLayer anti{-1, 1, 0, 0.18, 0.42, 60};
    const HatchLayer flat{1, 0, 0, 0.25, 0.55, 60};
    const HatchLayer upright{0, 1, 0, 0.25, 0.55, 60};
    auto with = [](HatchLayer l, int count, double gap) {
        l.count = count;
        l.gap = gap;
        return l;
    };
    std::vector<HatchLayer> layers;
    switch (level) {
        case 0:
            layers = {with(diag, 5, 260)};
            break;
        case 1:
            layers = {with(diag, 12, 120)};
            break;
        case 2:
            layers = {with(diag, 20, 70)};
            break;
        case 3:
            layers = {with(diag, 22, 60), with(anti, 14, 90)};
            break;
        case 4:
            layers = {with(diag, 28, 45), with(anti, 24, 50)};
            break;
        case 5:
            layers = {with(diag, 32, 35), with(anti, 30, 35), with(flat, 22, 45)};
            break;
        default:
            layers = {with(diag, 40, 25), with(anti, 38, 25), with(flat, 34, 30),
                      with(upright, 34, 30)};
            break;
    }
    for (const HatchLayer& layer : layers) hatch(canvas, rng, layer, pen);
    return shrink(canvas);
}

// Set 1: soft pencil: lighter, thinner, short strokes at a slant, on grainy paper.
cv::Mat pencilLevel(int level, Random& rng) {
    cv::Mat canvas(kCanvas, kCanvas, CV_8UC1, cv::Scalar(255));
    const Pen pen{130 - 12.0 * level, 1.6 * kScale / 2, 2.0, 150};
    const int counts[kLevels] = {6, 16, 28, 40, 56, 76, 100};
    const HatchLayer slant{1, 2, counts[level], 0.05, 0.14, 40};
    hatch(canvas, rng, slant, pen);
    if (level >= 4) {
        const HatchLayer cross{2, -1, counts[level] / 2 + 6 * (level - 3), 0.05, 0.12, 50};
        hatch(canvas, rng, cross, pen);
    }
    cv::Mat ink;
    canvas.convertTo(ink, CV_32F, 1.0 / 255);
    // Graphite catches on the paper's tooth: the grain lightens the strokes unevenly.
    const cv::Mat tooth = grain(rng, 64, 0.55);
    cv::Mat out = 1.0f - (1.0f - ink).mul(tooth);
    out.convertTo(canvas, CV_8U, 255);
    return shrink(canvas);
}

// Set 2: stippling: ink dots on a jittered grid, more and larger at each level.
cv::Mat stippleLevel(int level, Random& rng) {
    cv::Mat canvas(kCanvas, kCanvas, CV_8UC1, cv::Scalar(255));
    const int cellsPerSide[kLevels] = {10, 20, 30, 40, 48, 56, 64};
    const double radius[kLevels] = {1.3, 1.5, 1.6, 1.8, 2.0, 2.2, 2.5};  // output pixels
    const int cells = cellsPerSide[level];
    const double cell = static_cast<double>(kCanvas) / cells;
    for (int gy = 0; gy < cells; ++gy)
        for (int gx = 0; gx < cells; ++gx) {
            if (rng.uniform() < 0.15) continue;  // a hand leaves holes
            const cv::Point2d at((gx + rng.uniform(0.05, 0.95)) * cell,
                                 (gy + rng.uniform(0.05, 0.95)) * cell);
            const double r = radius[level] * kScale * rng.uniform(0.7, 1.25);
            const cv::Size2d axes(r, r * rng.uniform(0.7, 1.0));
            const int ink = static_cast<int>(rng.uniform(15, 60));
            wrappedDot(canvas, at, axes, rng.uniform(0, 180), ink);
        }
    return shrink(canvas);
}

}  // namespace

std::vector<cv::Mat> makePatternSet(int set) {
    std::vector<cv::Mat> levels;
    for (int level = 0; level < kLevels; ++level) {
        Random rng(0xD3A7u + 7919u * static_cast<std::uint64_t>(set) + 104729u * level);
        switch (static_cast<SetStyle>(set)) {
            case SetStyle::SoftPencil:
                levels.push_back(pencilLevel(level, rng));
                break;
            case SetStyle::Stippling:
                levels.push_back(stippleLevel(level, rng));
                break;
            default:
                levels.push_back(penLevel(level, rng));
                break;
        }
    }
    return levels;
}

double seamRatio(const cv::Mat& gray) {
    CV_Assert(gray.type() == CV_8UC1 && gray.cols >= 3 && gray.rows >= 3);
    const auto columnStep = [&](int a, int b) {
        return cv::mean(cv::abs(gray.col(a) - gray.col(b)) + cv::abs(gray.col(b) - gray.col(a)))[0];
    };
    const auto rowStep = [&](int a, int b) {
        return cv::mean(cv::abs(gray.row(a) - gray.row(b)) + cv::abs(gray.row(b) - gray.row(a)))[0];
    };
    double interior = 0;
    for (int x = 0; x + 1 < gray.cols; ++x) interior = std::max(interior, columnStep(x, x + 1));
    for (int y = 0; y + 1 < gray.rows; ++y) interior = std::max(interior, rowStep(y, y + 1));
    const double seam = std::max(columnStep(gray.cols - 1, 0), rowStep(gray.rows - 1, 0));
    if (interior == 0) return seam == 0 ? 0.0 : INFINITY;
    return seam / interior;
}

}  // namespace drawlet::patterns
