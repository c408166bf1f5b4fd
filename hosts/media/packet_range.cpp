#include "media/packet_range.h"

namespace drawlet::media {

namespace {

int64_t timeOf(const AVPacket& packet) {
    return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

}  // namespace

PacketRange::PacketRange(const AVFormatContext* input, AVRational videoTimeBase)
    : input_(input), videoTimeBase_(videoTimeBase) {}

void PacketRange::startAt(int64_t pts) { start_ = pts; }

int PacketRange::compare(const AVPacket& packet, int64_t pts) const {
    return av_compare_ts(timeOf(packet), input_->streams[packet.stream_index]->time_base, pts,
                         videoTimeBase_);
}

bool PacketRange::cutToStart(AVPacket& packet) const {
    const AVStream* stream = input_->streams[packet.stream_index];
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE || packet.duration <= 0) return false;
    const int64_t end = timeOf(packet) + packet.duration;
    if (av_compare_ts(end, stream->time_base, start_, videoTimeBase_) <= 0) return false;
    const int64_t start = av_rescale_q(start_, videoTimeBase_, stream->time_base);
    if (start >= end) return false;
    packet.pts = packet.dts = start;
    packet.duration = end - start;
    return true;
}

Packets PacketRange::take(Packets& incoming, int64_t pts) {
    for (PacketPtr& p : incoming) held_.push_back(std::move(p));
    incoming.clear();
    Packets given, kept;
    for (PacketPtr& p : held_) {
        // A packet without any time stays with the frames around it.
        if (timeOf(*p) == AV_NOPTS_VALUE) {
            given.push_back(std::move(p));
        } else if (start_ != AV_NOPTS_VALUE && compare(*p, start_) < 0) {
            if (cutToStart(*p)) given.push_back(std::move(p));  // else before the stretch
        } else if (compare(*p, pts) < 0) {
            given.push_back(std::move(p));
        } else {
            kept.push_back(std::move(p));
        }
    }
    held_ = std::move(kept);
    return given;
}

Packets PacketRange::finish(Packets& incoming, int64_t end) {
    Packets given = take(incoming, end == AV_NOPTS_VALUE ? INT64_MAX : end);
    if (end == AV_NOPTS_VALUE)
        for (PacketPtr& p : held_) given.push_back(std::move(p));
    held_.clear();
    return given;
}

}  // namespace drawlet::media
