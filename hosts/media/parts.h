// Parts of one render made apart (--start/--frames) and joined afterwards without encoding
// the pictures again. Each part carries tags naming its input and its frames, so that a
// part of another input, a gap or an overlap is refused rather than joined.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media/av_util.h"
#include "media/encoding.h"

namespace drawlet::media {

struct PartRange {
    std::string source;   // fingerprint of the input file
    long long first = 0;  // index of the part's first frame in the input
};

// The input's fingerprint: its size and a hash of its first and last mebibyte, the same
// wherever the file is copied to. Empty when the path is not a regular file.
std::string sourceFingerprint(const std::string& path);

// The global tags that mark a part, and reading them back.
std::vector<std::pair<std::string, std::string>> partTags(const PartRange& range);
std::optional<PartRange> readPartTags(const AVDictionary* tags);
bool isPartTag(const char* key);

// Joins parts into `output` (written at `path`, named `shownAs` in messages). Parts may be
// given in any order; they are put in frame order. Throws drawlet::Error naming the parts
// when they do not join into one stretch of one input.
struct JoinResult {
    long long first = 0;
    long long frames = 0;
    std::vector<std::string> notes;
};
JoinResult joinParts(const std::vector<std::string>& parts, const std::string& path,
                     const std::string& shownAs, const std::string& format, const StopFlag* stop);

}  // namespace drawlet::media
