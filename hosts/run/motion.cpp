#include "run/motion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <opencv2/imgproc.hpp>
#include <utility>

namespace drawlet::run {
namespace {

// DIS needs a picture of at least 12 pixels on one side; smaller reduced frames are all ticks
// (their hatching stays on the screen).
constexpr int kMinFlowSide = 12;

// The fastest preset; `finestScale` 1 finds the flow at half the reduced size instead of a
// quarter.
cv::Ptr<cv::DISOpticalFlow> newFlow(int finestScale) {
    cv::Ptr<cv::DISOpticalFlow> flow =
        cv::DISOpticalFlow::create(cv::DISOpticalFlow::PRESET_ULTRAFAST);
    flow->setFinestScale(finestScale);
    // A third of the preset's descent steps: the camera fit absorbs what they would refine,
    // and the change rates measured the same (bench/motion_bench.cpp).
    flow->setGradientDescentIterations(4);
    return flow;
}

// Half of each side, twice: two halvings by area averaging are exact 2 x 2 means where the
// sides are even, and much cheaper than one quartering.
cv::Size halved(cv::Size s) {
    return {std::max(1, (s.width + 1) / 2), std::max(1, (s.height + 1) / 2)};
}
cv::Size reducedSize(cv::Size size) { return halved(halved(size)); }

// Adds `m` to the 3 x 3 block of `n` whose top left is (row, column).
void addBlock(cv::Matx66d& n, int row, int column, const cv::Matx33d& m) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) n(row + i, column + j) += m(i, j);
}

// A bilinear read at a real position, clamped into the image (as a replicated border).
struct Bilinear {
    int x0, x1, y0, y1;
    float fx, fy;
    Bilinear(float x, float y, int w, int h) {
        x = std::clamp(x, 0.0f, static_cast<float>(w - 1));
        y = std::clamp(y, 0.0f, static_cast<float>(h - 1));
        x0 = static_cast<int>(x);
        y0 = static_cast<int>(y);
        x1 = std::min(x0 + 1, w - 1);
        y1 = std::min(y0 + 1, h - 1);
        fx = x - static_cast<float>(x0);
        fy = y - static_cast<float>(y0);
    }
    template <typename T>
    float mix(T a, T b, T c, T d) const {
        const float top =
            static_cast<float>(a) + fx * (static_cast<float>(b) - static_cast<float>(a));
        const float bottom =
            static_cast<float>(c) + fx * (static_cast<float>(d) - static_cast<float>(c));
        return top + fy * (bottom - top);
    }
    float gray(const cv::Mat& m) const {
        const std::uint8_t* r0 = m.ptr<std::uint8_t>(y0);
        const std::uint8_t* r1 = m.ptr<std::uint8_t>(y1);
        return mix(r0[x0], r0[x1], r1[x0], r1[x1]);
    }
    cv::Vec2f vec(const cv::Mat& m) const {
        const auto* r0 = m.ptr<cv::Vec2f>(y0);
        const auto* r1 = m.ptr<cv::Vec2f>(y1);
        return {mix(r0[x0][0], r0[x1][0], r1[x0][0], r1[x1][0]),
                mix(r0[x0][1], r0[x1][1], r1[x0][1], r1[x1][1])};
    }
};

// 0 at or below `from`, 1 at or above `to`, linear between.
float ramp(float v, float from, float to) {
    return std::clamp((v - from) / (to - from), 0.0f, 1.0f);
}

}  // namespace

MotionFollower::MotionFollower() = default;

// The backward flow carries the positions: finer. The forward one only checks it.
void MotionFollower::newFlows() {
    backwardFlow_ = newFlow(1);
    // Patches every 8 pixels instead of 4: half of its time. The camera's motion comes from the
    // pictures themselves (alignCamera); only the moving object's change rate rose, from
    // 0.022 to 0.024 (the plain render's is 0.030).
    backwardFlow_->setPatchStride(8);
    forwardFlow_ = newFlow(2);
}

void MotionFollower::reset() { started_ = false; }

long long MotionFollower::firstFrameOfRun(long long frameIndex, int updateInterval) {
    if (updateInterval == 0) return 0;
    const long long interval = updateInterval < 0 ? -static_cast<long long>(updateInterval)
                                                  : static_cast<long long>(updateInterval);
    return frameIndex - frameIndex % interval;
}

bool MotionFollower::scheduledTick(long long frameIndex, int updateInterval, cv::Size size) const {
    const cv::Size reduced = reducedSize(size);
    return !started_ || (updateInterval != 0 && frameIndex % updateInterval == 0) ||
           updateInterval != lastInterval_ || frameIndex != lastIndex_ + 1 || size != size_ ||
           std::max(reduced.width, reduced.height) < kMinFlowSide;
}

const DrawletPatternCoordinates* MotionFollower::advance(const cv::Mat& bgr, long long frameIndex,
                                                         int updateInterval) {
    // Two sets in turn, so that the picture before, which the follower keeps, is never the one
    // written: its buffer is used again.
    FollowedFrame& next = own_[ownLast_ ^ 1];
    if (!advance(bgr, frameIndex, updateInterval, next)) return nullptr;
    ownLast_ ^= 1;
    coordinates_ = next.coordinates();
    return &coordinates_;
}

bool MotionFollower::advance(const cv::Mat& bgr, long long frameIndex, int updateInterval,
                             FollowedFrame& positions) {
    CV_Assert(bgr.type() == CV_8UC3 && !bgr.empty());
    cv::cvtColor(bgr, gray_, cv::COLOR_BGR2GRAY);
    cv::resize(gray_, half_, halved(bgr.size()), 0, 0, cv::INTER_AREA);
    cv::resize(half_, current_, reducedSize(bgr.size()), 0, 0, cv::INTER_AREA);
    const bool tick = scheduledTick(frameIndex, updateInterval, bgr.size());
    started_ = true;
    lastIndex_ = frameIndex;
    lastInterval_ = updateInterval;
    size_ = bgr.size();
    failedShare_ = 0;
    if (!tick) {
        carry();
        if (failedShare_ <= kCutShare) {
            std::swap(previous_, current_);
            writePositions(positions);
            steady(bgr, positions.picture);
            before_ = positions.picture;
            return true;
        }
    }
    std::swap(previous_, current_);
    // A new buffer: the one before_ held may be a picture a host is still drawing from.
    before_ = bgr.clone();
    displacement_.create(previous_.size(), CV_32FC2);
    displacement_.setTo(cv::Scalar::all(0));
    // A run starts with new flows and no previous flow to start from: DIS keeps a start flow
    // it was once handed, and the patch size it picks for a small picture, for good. So the
    // positions depend on the run's frames alone, and a host feeding the follower from the
    // run's first frame gets a whole render's.
    newFlows();
    backward_.release();
    forward_.release();
    return false;
}

// Marks the pixels whose backward flow passes the forward-backward check, and counts the
// others.
void MotionFollower::check() {
    const int w = current_.cols, h = current_.rows;
    consistent_.create(current_.size(), CV_8U);
    long long failed = 0;
    for (int y = 0; y < h; ++y) {
        const auto* b = backward_.ptr<cv::Vec2f>(y);
        const std::uint8_t* now = current_.ptr<std::uint8_t>(y);
        std::uint8_t* ok = consistent_.ptr<std::uint8_t>(y);
        for (int x = 0; x < w; ++x) {
            const float qx = static_cast<float>(x) + b[x][0], qy = static_cast<float>(y) + b[x][1];
            bool pass = qx >= -0.5f && qx <= static_cast<float>(w) - 0.5f && qy >= -0.5f &&
                        qy <= static_cast<float>(h) - 0.5f;
            if (pass) {
                const Bilinear at(qx, qy, w, h);
                // The forward flow is smooth at this scale: its nearest value, within the slack.
                const cv::Vec2f f = forward_.at<cv::Vec2f>(at.fy < 0.5f ? at.y0 : at.y1,
                                                           at.fx < 0.5f ? at.x0 : at.x1);
                const float ex = b[x][0] + f[0], ey = b[x][1] + f[1];
                const float lengths =
                    b[x][0] * b[x][0] + b[x][1] * b[x][1] + f[0] * f[0] + f[1] * f[1];
                pass = ex * ex + ey * ey <= kCheckSlack + kCheckShare * lengths &&
                       std::abs(static_cast<float>(now[x]) - at.gray(previous_)) <= kCheckGray;
            }
            ok[x] = pass ? 1 : 0;
            failed += pass ? 0 : 1;
        }
    }
    failedShare_ = static_cast<double>(failed) / (static_cast<double>(w) * h);
}

// The camera's motion: the affine motion that best explains the backward flow of the pixels
// that pass the check (every fourth in both directions), by least squares reweighted twice
// to set moving objects aside. Without enough such pixels, no motion.
void MotionFollower::fitCameraMotion() {
    const int w = current_.cols, h = current_.rows;
    camera_ = cv::Matx23f::zeros();
    const double cx = w / 2.0, cy = h / 2.0, norm = 1.0 / std::max(w, h);
    cv::Matx23d model = cv::Matx23d::zeros();  // in coordinates centred and scaled by norm
    for (int round = 0; round < 3; ++round) {
        // The sums of the normal equations, weight times each product of (u, v, 1), and of
        // the flow's x and y times (u, v, 1).
        double uu = 0, uv = 0, u1 = 0, vv = 0, v1 = 0, total = 0;
        double xu = 0, xv = 0, x1 = 0, yu = 0, yv = 0, y1 = 0;
        for (int y = 0; y < h; y += 4) {
            const auto* b = backward_.ptr<cv::Vec2f>(y);
            const std::uint8_t* ok = consistent_.ptr<std::uint8_t>(y);
            const double v = (y - cy) * norm;
            for (int x = 0; x < w; x += 4) {
                if (ok[x] == 0) continue;
                double weight = 1;
                const double u = (x - cx) * norm;
                if (round > 0) {
                    const double dx = b[x][0] - (model(0, 0) * u + model(0, 1) * v + model(0, 2));
                    const double dy = b[x][1] - (model(1, 0) * u + model(1, 1) * v + model(1, 2));
                    weight /= 1 + (dx * dx + dy * dy) / (kResidualFrom * kResidualFrom);
                }
                uu += weight * (u * u);
                uv += weight * (u * v);
                u1 += weight * u;
                vv += weight * (v * v);
                v1 += weight * v;
                total += weight;
                const double wx = weight * b[x][0], wy = weight * b[x][1];
                xu += wx * u;
                xv += wx * v;
                x1 += wx;
                yu += wy * u;
                yv += wy * v;
                y1 += wy;
            }
        }
        const cv::Matx33d n(uu, uv, u1, uv, vv, v1, u1, v1, total);
        const cv::Vec3d rx(xu, xv, x1), ry(yu, yv, y1);
        cv::Vec3d ax, ay;
        if (total < 0.01 * w * h / 16 || !cv::solve(n, rx, ax, cv::DECOMP_CHOLESKY) ||
            !cv::solve(n, ry, ay, cv::DECOMP_CHOLESKY))
            return;
        model = {ax[0], ax[1], ax[2], ay[0], ay[1], ay[2]};
    }
    // One step: a second moved the benchmark's change rates by less than 0.0001.
    alignCamera(model, cx, cy, norm);
    // A camera that hardly moves stands still: the flow's own errors would otherwise slide
    // the hatching of a still picture slowly, a band at a time.
    double largest = 0;
    for (const double u : {-0.5 * w * norm, 0.5 * w * norm})
        for (const double v : {-0.5 * h * norm, 0.5 * h * norm})
            for (int r = 0; r < 2; ++r)
                largest =
                    std::max(largest, std::abs(model(r, 0) * u + model(r, 1) * v + model(r, 2)));
    if (largest < kStillCamera) return;
    // Back to reduced pixels: flow = A (p - c) norm + t.
    for (int r = 0; r < 2; ++r) {
        const double a = model(r, 0) * norm, b = model(r, 1) * norm;
        camera_(r, 0) = static_cast<float>(a);
        camera_(r, 1) = static_cast<float>(b);
        camera_(r, 2) = static_cast<float>(model(r, 2) - a * cx - b * cy);
    }
}

// One Gauss-Newton step that moves the camera's motion `model` (in coordinates centred on
// (cx, cy) and scaled by norm) towards the one under which the previous reduced gray, read
// where each pixel came from, best matches the current one. The flow alone is short of small
// motions at this scale (a zoom of 0.4% a frame by 4 to 8%, which the carried positions then
// add up); the pictures themselves are not. Only pixels that pass the check and move with the
// camera count (every second in both directions), each weighed down as its gray differs.
void MotionFollower::alignCamera(cv::Matx23d& model, double cx, double cy, double norm) const {
    const int w = current_.cols, h = current_.rows;
    // The normal equations' terms are (gx, gy)-products times (u, v, 1)-products; along a row
    // v is fixed, so each row sums the products with 1, u and u * u, and the row's v is
    // applied once.
    cv::Matx66d n = cv::Matx66d::zeros();
    cv::Vec6d rhs = cv::Vec6d::all(0);
    double total = 0;
    for (int y = 1; y + 1 < h; y += 2) {
        const auto* b = backward_.ptr<cv::Vec2f>(y);
        const std::uint8_t* ok = consistent_.ptr<std::uint8_t>(y);
        const std::uint8_t* above = current_.ptr<std::uint8_t>(y - 1);
        const std::uint8_t* row = current_.ptr<std::uint8_t>(y);
        const std::uint8_t* below = current_.ptr<std::uint8_t>(y + 1);
        const double v = (y - cy) * norm;
        const double my = model(1, 1) * v + model(1, 2), mx = model(0, 1) * v + model(0, 2);
        // [xx, xy, yy, rx, ry] times [1, u, u * u] (the r-terms need no u * u).
        double xx = 0, xxU = 0, xxUU = 0, xy = 0, xyU = 0, xyUU = 0, yy = 0, yyU = 0, yyUU = 0;
        double rx = 0, rxU = 0, ry = 0, ryU = 0;
        for (int x = 1; x + 1 < w; x += 2) {
            if (ok[x] == 0) continue;
            const double u = (x - cx) * norm;
            const double fx = model(0, 0) * u + mx, fy = model(1, 0) * u + my;
            const double ex = b[x][0] - fx, ey = b[x][1] - fy;
            if (ex * ex + ey * ey > kResidualFrom * kResidualFrom) continue;
            const double qx = x + fx, qy = y + fy;
            if (qx < 0 || qy < 0 || qx > w - 1 || qy > h - 1) continue;
            const Bilinear at(static_cast<float>(qx), static_cast<float>(qy), w, h);
            const double r = at.gray(previous_) - row[x];
            const double gx = 0.5 * (row[x + 1] - row[x - 1]);
            const double gy = 0.5 * (below[x] - above[x]);
            const double weight = 1 / (1 + r * r / (kCheckGray * kCheckGray / 4));
            const double wx = weight * gx, wy = weight * gy;
            xx += wx * gx;
            xxU += wx * gx * u;
            xxUU += wx * gx * u * u;
            xy += wx * gy;
            xyU += wx * gy * u;
            xyUU += wx * gy * u * u;
            yy += wy * gy;
            yyU += wy * gy * u;
            yyUU += wy * gy * u * u;
            rx += wx * r;
            rxU += wx * r * u;
            ry += wy * r;
            ryU += wy * r * u;
            total += weight;
        }
        // A term's sums with 1, u and u * u, times each product of (u, v, 1).
        const auto products = [v](double s, double su, double suu) {
            return cv::Matx33d(suu, v * su, su, v * su, v * v * s, v * s, su, v * s, s);
        };
        const cv::Matx33d crossed = products(xy, xyU, xyUU);
        addBlock(n, 0, 0, products(xx, xxU, xxUU));
        addBlock(n, 0, 3, crossed);
        addBlock(n, 3, 0, crossed.t());
        addBlock(n, 3, 3, products(yy, yyU, yyUU));
        rhs -= cv::Vec6d(rxU, v * rx, rx, ryU, v * ry, ry);
    }
    cv::Vec6d step;
    if (total < 0.01 * w * h / 4 || !cv::solve(n, rhs, step, cv::DECOMP_CHOLESKY)) return;
    model += cv::Matx23d(step.val);
}

// The reduced displacement of every pixel (its position minus its own) carried from the
// previous frame. The motion of a pixel is the camera's, or its own flow where that passes
// the check and differs from the camera's by more than kResidualFrom (wholly from
// kResidualTo on): a moving object. The camera's motion is exact for a pan, a zoom or a
// turn, where the flow alone errs by a third of a pixel. The pixel came from p + motion, so
// its position is the previous position at that point: its displacement is the previous one
// there plus the motion (in full-size pixels). Pixels that fail the check, new at the edges
// or uncovered, move with the camera: the carried hatching goes on across them without a
// seam (sampling at their own positions instead changed more of every benchmark clip, the
// noisy pan's 0.155 against 0.149).
void MotionFollower::carry() {
    // Each flow starts from the previous frame's, which the output holds.
    backwardFlow_->calc(current_, previous_, backward_);
    forwardFlow_->calc(previous_, current_, forward_);
    check();
    if (failedShare_ > kCutShare) return;

    fitCameraMotion();

    const int w = current_.cols, h = current_.rows;
    const float toFullX = static_cast<float>(size_.width) / static_cast<float>(w);
    const float toFullY = static_cast<float>(size_.height) / static_cast<float>(h);
    carried_.create(current_.size(), CV_32FC2);
    ownMotion_.create(current_.size(), CV_8U);
    const cv::Matx23f& m = camera_;
    for (int y = 0; y < h; ++y) {
        const auto* b = backward_.ptr<cv::Vec2f>(y);
        const std::uint8_t* ok = consistent_.ptr<std::uint8_t>(y);
        std::uint8_t* moving = ownMotion_.ptr<std::uint8_t>(y);
        auto* out = carried_.ptr<cv::Vec2f>(y);
        const float fy = static_cast<float>(y);
        for (int x = 0; x < w; ++x) {
            const float fx = static_cast<float>(x);
            const float gx = m(0, 0) * fx + m(0, 1) * fy + m(0, 2);
            const float gy = m(1, 0) * fx + m(1, 1) * fy + m(1, 2);
            const float dx = b[x][0] - gx, dy = b[x][1] - gy;
            const float own =
                ok[x] ? ramp(std::sqrt(dx * dx + dy * dy), kResidualFrom, kResidualTo) : 0.0f;
            moving[x] = ok[x] == 0 || own > 0 ? 255 : 0;
            const float vx = gx + own * dx, vy = gy + own * dy;
            const cv::Vec2f before = Bilinear(fx + vx, fy + vy, w, h).vec(displacement_);
            out[x] = {vx * toFullX + before[0], vy * toFullY + before[1]};
        }
    }
    std::swap(displacement_, carried_);
}

// Full-size positions: the displacement brought to the frame's size (bilinear, which is exact
// for an affine motion) added to every pixel's own position, wrapped into the frame. Content
// that came into view since the tick has positions beyond the frame: wrapped, its hatching
// moves with the picture as the rest does, with a seam where the wrap falls, where holding
// the positions at the frame's edge drew streaks across all of it (the whole frame, once a
// run without ticks had panned a frame's width). Each full-size row blends two reduced rows,
// which positionRow widens.
void MotionFollower::writePositions(FollowedFrame& positions) {
    const int w = displacement_.cols, h = displacement_.rows;
    const int width = size_.width, height = size_.height;
    cv::split(displacement_, planes_);
    if (widening_.reducedWidth != w || widening_.width != width) widening_ = Widening(w, width);
    blended_[0].resize(static_cast<std::size_t>(w));
    blended_[1].resize(static_cast<std::size_t>(w));
    positions.x.create(size_, CV_32F);
    positions.y.create(size_, CV_32F);
    for (int y = 0; y < height; ++y) {
        // Pixel centres line up: full-size row y reads reduced row (y + 0.5) h / height - 0.5.
        const float s = std::clamp(
            (static_cast<float>(y) + 0.5f) * static_cast<float>(h) / static_cast<float>(height) -
                0.5f,
            0.0f, static_cast<float>(h - 1));
        const int y0 = static_cast<int>(s), y1 = std::min(y0 + 1, h - 1);
        const float fy = s - static_cast<float>(y0);
        for (int c = 0; c < 2; ++c) {
            const float* a = planes_[c].ptr<float>(y0);
            const float* b = planes_[c].ptr<float>(y1);
            float* row = blended_[c].data();
            for (int x = 0; x < w; ++x) row[x] = a[x] + fy * (b[x] - a[x]);
        }
        positionRow(blended_[0].data(), widening_, 0, 1, static_cast<float>(width),
                    positions.x.ptr<float>(y));
        positionRow(blended_[1].data(), widening_, static_cast<float>(y), 0,
                    static_cast<float>(height), positions.y.ptr<float>(y));
    }
}

}  // namespace drawlet::run
