// Parts of one render made apart (--start/--frames) and joined afterwards without encoding
// the pictures again. Each part records its input, its frames and a digest of what shaped
// them (media/part_tags.h), so that a part of another input or render, a part cut short, a
// gap or an overlap is refused rather than joined.
#pragma once

#include <string>
#include <vector>

#include "media/av_util.h"

namespace drawlet::media {

// Joins parts into `path` (named `shownAs` in messages), written as a `format` file (empty:
// from the name). Parts may be given in any order; they are put in frame order. Throws
// drawlet::Error naming a part when they do not join into one stretch of one render, before
// anything is written.
struct JoinResult {
    long long first = 0;
    long long frames = 0;
    std::vector<std::string> notes;
};
JoinResult joinParts(const std::vector<std::string>& parts, const std::string& path,
                     const std::string& shownAs, const std::string& format, const StopFlag* stop);

}  // namespace drawlet::media
