// What a part of a render (--start/--frames) records about itself in its global tags, so
// that join can tell parts of one render from anything else: the input it was made from, its
// first frame, how many frames it holds, and a digest of everything that shaped its frames.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media/av_util.h"

namespace drawlet::media {

using Tags = std::vector<std::pair<std::string, std::string>>;

struct PartRecord {
    std::string source;     // fingerprint of the input file
    long long first = 0;    // index of the part's first frame in the input
    long long frames = -1;  // frames it holds; -1: not recorded (written to a pipe)
    std::string digest;     // of what shaped its frames; empty: not recorded
};

// The tag that holds the frame count: written once the part is complete.
inline constexpr const char* kPartFramesTag = "drawlet_frames";

// The input's fingerprint: its size and a hash of its first and last mebibyte, the same
// wherever the file is copied to. Empty when the path is not a regular file.
std::string sourceFingerprint(const std::string& path);

// A hash of a whole file's bytes (for the module and pattern files); empty when unreadable.
std::string fileDigest(const std::string& path);

// The digest a part records, of a description the caller writes of everything that shapes
// its frames.
std::string partDigest(const std::string& description);

// The tags a part carries from its start (its frame count is written when it is complete).
Tags partTags(const PartRecord& record);

// The record a file's tags hold; nullopt when it carries none. Throws drawlet::Error naming
// `path` when a number is not one or is out of range.
std::optional<PartRecord> readPartTags(const AVDictionary* tags, const std::string& path);

bool isPartTag(const char* key);

}  // namespace drawlet::media
