#include "media/audio_range.h"

namespace drawlet::media {

namespace {

int64_t timeOf(const AVPacket& packet) {
    return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

}  // namespace

AudioRange::AudioRange(const AVFormatContext* input, AVRational videoTimeBase)
    : input_(input), videoTimeBase_(videoTimeBase) {}

void AudioRange::startAt(int64_t pts) { start_ = pts; }

int AudioRange::compare(const AVPacket& packet, int64_t pts) const {
    return av_compare_ts(timeOf(packet), input_->streams[packet.stream_index]->time_base, pts,
                         videoTimeBase_);
}

std::vector<PacketPtr> AudioRange::take(std::vector<PacketPtr>& incoming, int64_t pts) {
    for (PacketPtr& p : incoming) held_.push_back(std::move(p));
    incoming.clear();
    std::vector<PacketPtr> given, kept;
    for (PacketPtr& p : held_) {
        // A packet without any time stays with the frames around it.
        if (timeOf(*p) == AV_NOPTS_VALUE) {
            given.push_back(std::move(p));
        } else if (start_ != AV_NOPTS_VALUE && compare(*p, start_) < 0) {
            continue;  // before the stretch
        } else if (compare(*p, pts) < 0) {
            given.push_back(std::move(p));
        } else {
            kept.push_back(std::move(p));
        }
    }
    held_ = std::move(kept);
    return given;
}

std::vector<PacketPtr> AudioRange::finish(std::vector<PacketPtr>& incoming, int64_t end) {
    std::vector<PacketPtr> given = take(incoming, end == AV_NOPTS_VALUE ? INT64_MAX : end);
    if (end == AV_NOPTS_VALUE)
        for (PacketPtr& p : held_) given.push_back(std::move(p));
    held_.clear();
    return given;
}

}  // namespace drawlet::media
