#include "media/stretch.h"

namespace drawlet::media {

Stretch::Stretch(VideoReader& reader, long long start, long long frames)
    : reader_(reader),
      start_(start),
      frames_(frames),
      range_(reader.format(), reader.info().timeBase) {
    span_.timeBase = reader.info().timeBase;
    reader.seekToFrame(start);
}

std::optional<StretchItem> Stretch::next() {
    if (ended_) return std::nullopt;
    std::optional<VideoFrame> frame = reader_.next(incoming_);
    // Frames are numbered from start_ on: the difference cannot overflow.
    if (!frame || (frames_ >= 0 && frame->index - start_ >= frames_)) return end(std::move(frame));
    if (first_ && start_ > 0) {
        range_.startAt(frame->pts);
        span_.start = frame->pts;
    }
    first_ = false;
    StretchItem item;
    item.packets = range_.take(incoming_, frame->pts);
    item.frame = std::move(frame);
    return item;
}

// The stretch ends before frame `after` (none: at the end of the video): the packets up to
// its time, or to the very end.
StretchItem Stretch::end(std::optional<VideoFrame> after) {
    ended_ = true;
    int64_t end = AV_NOPTS_VALUE;
    if (after) {
        end = after->pts;
        reader_.readOthersUntil(end, incoming_);
        span_.end = end;
    }
    StretchItem item;
    if (!first_) item.packets = range_.finish(incoming_, end);
    return item;
}

}  // namespace drawlet::media
