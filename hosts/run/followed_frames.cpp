#include "run/followed_frames.h"

#include <fmt/format.h>

#include <utility>

#include "kit/error.h"
#include "run/signals.h"

namespace drawlet::run {

FollowedFrames::FollowedFrames(std::string input, media::ReaderOptions options)
    : input_(std::move(input)), options_(std::move(options)) {
    options_.stop = &stopFlag();
    reader_ = std::make_unique<media::VideoReader>(input_, options_);
    frameRate_ = media::frameRateOf(reader_->info().frameRate);
}

// The follower's state at frame N depends on the frames from N's run start on: feeding on
// from frame fed_ is the same as starting anew where the run of N starts at or before fed_ + 1
// (a scheduled tick renews the follower as a reset does).
std::optional<FollowedFrames::Frame> FollowedFrames::at(long long index, int updateInterval,
                                                        const std::function<bool()>& keepGoing) {
    const long long first = MotionFollower::firstFrameOfRun(index, updateInterval);
    const bool onTheWay =
        reader_ && fed_ >= 0 && interval_ == updateInterval && fed_ <= index && fed_ + 1 >= first;
    if (!onTheWay) restart(first, updateInterval);
    try {
        while (fed_ < index) {
            if (keepGoing && !keepGoing()) return std::nullopt;
            feedOne();
        }
    } catch (...) {
        reader_.reset();
        fed_ = -1;
        throw;
    }
    if (fed_ != index) throw Error(fmt::format("{}: has no frame {}", input_, index));
    if (!followed_) return Frame{&last_, nullptr, &last_.bgr};
    return Frame{&last_, &coordinates_, &positions_.picture};
}

void FollowedFrames::restart(long long first, int updateInterval) {
    // The reader opened by the constructor serves the first run; later runs seek a new one.
    if (!reader_ || !unread_) reader_ = std::make_unique<media::VideoReader>(input_, options_);
    unread_ = false;
    reader_->seekToFrame(first);
    follower_.reset();
    fed_ = first - 1;
    interval_ = updateInterval;
    followed_ = false;
}

void FollowedFrames::feedOne() {
    std::vector<media::PacketPtr> others;
    std::optional<media::VideoFrame> frame = reader_->next(others);
    if (!frame) throw Error(fmt::format("{}: has no frame {}", input_, fed_ + 1));
    followed_ = follower_.advance(frame->bgr, frame->index, interval_, positions_);
    if (followed_) coordinates_ = positions_.coordinates();
    fed_ = frame->index;
    last_ = {std::move(frame->bgr), std::move(frame->alpha), frame->index, frameRate_};
}

}  // namespace drawlet::run
