// Carries the hatching along the picture's motion. Between the ticks of the update interval
// (the frames where the module draws a new jitter) each pixel samples the hatching at a
// position carried along the picture's optical flow since the last tick, so that the
// hatching moves with the picture instead of staying on the screen, and the picture the
// module draws is steadied along the same motion, so that noise does not make the strokes
// along the edges flicker. Every host feeds its frames through a MotionFollower and hands the
// module the steadied picture with the positions, so that all of them give the same bytes.
#pragma once

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/video/tracking.hpp>
#include <vector>

#include "interface/drawlet_filter.h"
#include "run/positions.h"

namespace drawlet::run {

// What a frame between ticks is drawn from: where every pixel samples the hatching (canvas x
// and y, each CV_32F of the frame's size) and the steadied picture (8-bit BGR, a new buffer
// each frame). A host that keeps several frames in flight keeps one per frame.
struct FollowedFrame {
    cv::Mat x, y;
    cv::Mat picture;

    // The record the module reads; valid while the planes are neither written nor resized.
    DrawletPatternCoordinates coordinates() const {
        return {x.ptr<float>(), y.ptr<float>(), x.cols, x.rows, static_cast<int>(x.step1())};
    }
};

class MotionFollower {
  public:
    // The flows are found on the gray picture at a quarter of the frame's size (sides halved
    // twice): at this size two flows, the check and the carrying fit a 1080p frame's budget
    // of 15 ms on one thread.
    // A pixel fails the forward-backward check when the two flows, followed one after the
    // other, miss their start by more than kCheckSlack (in reduced pixels, squared) plus
    // kCheckShare of their squared lengths, or when the gray of the point it came from differs
    // from its own by more than kCheckGray (two unrelated pictures give small flows that agree,
    // so the flows alone do not see a cut).
    static constexpr float kCheckSlack = 0.25f;
    static constexpr float kCheckShare = 0.01f;
    static constexpr float kCheckGray = 24;
    // A frame where more than this share of the pixels fails the check is a new scene: a tick.
    static constexpr double kCutShare = 0.5;
    // A pixel's own flow counts, instead of the camera's motion, where it differs from that
    // by kResidualFrom to kResidualTo reduced pixels (2 to 4 full-size pixels a frame): less
    // is within the flow's own error.
    static constexpr float kResidualFrom = 0.5f;
    static constexpr float kResidualTo = 1.0f;
    // A camera motion that moves no corner of the frame by this many reduced pixels is none.
    static constexpr double kStillCamera = 0.05;
    // The steadied picture: where a pixel moves with the camera and passes the check, each of
    // its channels that differs from the previous steadied picture at the point it came from
    // (nearest) by fewer levels than kSteadyPerSigma times the frame's noise (its standard
    // deviation, at most kSteadyLevels) keeps that value; a larger change comes through at
    // once, and a clean picture is left as it is. Sensor noise (sigma 8) then no longer moves
    // the strokes: on the noisy pan of the benchmarks their unmatched share fell from 0.136 to
    // 0.069, below the picture's own edges' 0.082.
    static constexpr int kSteadyLevels = 20;
    static constexpr float kSteadyPerSigma = 2.5f;
    static int steadyLevelsFor(float noiseSigma) {
        return std::min(kSteadyLevels, static_cast<int>(std::lround(kSteadyPerSigma * noiseSigma)));
    }

    MotionFollower();

    // The positions at which frame `frameIndex` (8-bit BGR), rendered at `updateInterval`,
    // samples the hatching, valid until the next call; nullptr when the frame is a tick, which
    // the host renders without positions and from which the follower carries them anew.
    // A tick is: the first frame after construction or reset; a frame where the interval draws
    // a new jitter (interval > 0 and index % interval == 0); a change of interval or of frame
    // size; any step but one frame forward (a seek or a reversed step); a scene cut; and every
    // frame too small to find a flow in (44 pixels or fewer on both sides).
    const DrawletPatternCoordinates* advance(const cv::Mat& bgr, long long frameIndex,
                                             int updateInterval);

    // The steadied picture of the last frame that was not a tick (see FollowedFrame).
    const cv::Mat& picture() const { return own_[ownLast_].picture; }

    // The same, writing into `positions` instead of the follower's own: true when it was
    // written, false on a tick (`positions` is then left as it was, and the frame is drawn
    // from `bgr` itself).
    bool advance(const cv::Mat& bgr, long long frameIndex, int updateInterval,
                 FollowedFrame& positions);

    // Forgets the frames seen: the next one is a tick.
    void reset();

    // The share of the last frame's pixels that failed the forward-backward check (0 on a
    // tick found before the flow).
    double failedShare() const { return failedShare_; }

    // The last scheduled tick at or before `frameIndex` (>= 0): the frame from which a host
    // that renders from `frameIndex` on must feed the follower to give the bytes of a whole
    // render. interval > 0: frameIndex - frameIndex % interval; interval 0: frame 0.
    static long long firstFrameOfRun(long long frameIndex, int updateInterval);

  private:
    bool scheduledTick(long long frameIndex, int updateInterval, cv::Size size) const;
    void carry();
    void check();
    void fitCameraMotion();
    void alignCamera(cv::Matx23d& model, double cx, double cy, double norm) const;
    void writePositions(FollowedFrame& positions);
    void steady(const cv::Mat& bgr, cv::Mat& picture);
    cv::Matx23d cameraAtFullSize() const;

    void newFlows();

    cv::Ptr<cv::DISOpticalFlow> backwardFlow_, forwardFlow_;
    bool started_ = false;
    long long lastIndex_ = 0;
    int lastInterval_ = 0;
    cv::Size size_;
    double failedShare_ = 0;

    // Reduced size unless said otherwise.
    cv::Mat gray_, half_;             // full and half size
    cv::Mat previous_, current_;      // 8-bit gray
    cv::Mat backward_, forward_;      // flows, CV_32FC2
    cv::Mat consistent_;              // 1 where the check passes
    cv::Mat ownMotion_;               // 255 where a pixel fails the check or moves on its own
    cv::Matx23f camera_;              // the camera's backward flow at a reduced pixel
    cv::Mat displacement_, carried_;  // position minus own position, full-size pixels
    cv::Mat planes_[2];               // displacement x and y
    Widening widening_;               // how a reduced row is widened to the frame's
    std::vector<float> blended_[2];   // a full-size row's blend of two reduced rows, x and y
    FollowedFrame own_[2];            // full size, for the first advance(), in turn
    int ownLast_ = 0;                 // the one written last
    cv::Mat before_;                  // full size: the picture the last frame was drawn from
    DrawletPatternCoordinates coordinates_{};
};

}  // namespace drawlet::run
