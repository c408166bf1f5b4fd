// Chapters as render and join carry them: read from a file, cut to the stretch a part holds,
// put back together when parts are joined, and given to an output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media/av_util.h"

namespace drawlet::media {

// A stretch of an input's time, in the time base of its pictures: from the first frame
// written up to the first frame after them. An open side reaches the input's start or end.
struct TimeSpan {
    AVRational timeBase{1, 1};
    std::optional<int64_t> start;
    std::optional<int64_t> end;
};

struct Chapter {
    int64_t id = 0;
    AVRational timeBase{1, 1000};
    int64_t start = 0;
    int64_t end = 0;
    std::vector<std::pair<std::string, std::string>> tags;
};

std::vector<Chapter> chaptersOf(const AVFormatContext* file);

// The chapters that overlap `span`, cut at its ends.
std::vector<Chapter> cutChapters(const std::vector<Chapter>& chapters, const TimeSpan& span);

// The chapters of the next part after those of the parts before: a chapter that continues
// one of them (the same tags, starting within it or where it ends, as a chapter cut at the
// end of a part does) lengthens it instead, and one they already hold is left out (an MP4
// part holds the chapters before its start too).
void appendChapters(std::vector<Chapter>& chapters, const std::vector<Chapter>& more);

// Gives `chapters` to an output context that holds none yet.
void writeChapters(AVFormatContext* file, const std::vector<Chapter>& chapters);

}  // namespace drawlet::media
