// Single frames of a video as a render that follows the motion draws them: frame N with the
// positions at which a whole render samples its hatching. The follower is fed from the run's
// first frame (the last tick at or before N), or on from the frame asked for last when N lies
// ahead of it in the same run, so that stepping forward one frame decodes one frame.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "media/reader.h"
#include "run/frame_source.h"
#include "run/motion.h"

namespace drawlet::run {

class FollowedFrames {
  public:
    // Opens the video (not a picture); throws drawlet::Error naming it when it cannot.
    FollowedFrames(std::string input, media::ReaderOptions options);

    media::FrameRate frameRate() const { return frameRate_; }

    struct Frame {
        const SourceFrame* source = nullptr;
        const DrawletPatternCoordinates* coordinates = nullptr;  // null on a tick
        const cv::Mat* picture = nullptr;  // what to draw: steadied, or the source on a tick
    };

    // Frame `index` at `updateInterval`, valid until the next call. nullopt when `keepGoing`
    // answers false between two decoded frames (what was fed so far is kept for the next
    // call). Throws naming the input when the video has no such frame.
    std::optional<Frame> at(long long index, int updateInterval,
                            const std::function<bool()>& keepGoing = {});

  private:
    void restart(long long first, int updateInterval);
    void feedOne();

    std::string input_;
    media::ReaderOptions options_;  // with this process's stop flag
    media::FrameRate frameRate_;
    std::unique_ptr<media::VideoReader> reader_;  // next frame: fed_ + 1
    bool unread_ = true;                          // reader_ has not been seeked
    MotionFollower follower_;
    long long fed_ = -1;  // the last frame fed; -1: none
    int interval_ = 0;
    SourceFrame last_;  // frame fed_
    FollowedFrame positions_;
    DrawletPatternCoordinates coordinates_{};
    bool followed_ = false;  // frame fed_ has positions
};

}  // namespace drawlet::run
