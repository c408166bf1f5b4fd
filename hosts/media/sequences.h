// The files of a numbered image sequence ("shots/IMG_%04d.png"): which names in its folder
// belong to it, which numbers exist, and where a sequence read from them starts.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace drawlet::media {

class SequencePattern {
  public:
    // `pattern` is an image sequence (isImageSequence).
    explicit SequencePattern(const std::string& pattern);

    const std::string& pattern() const { return pattern_; }
    // The folder of its files ("." when the pattern names none).
    const std::filesystem::path& folder() const { return folder_; }
    // The frame number the file name `name` (no folder) stands for; nullopt when it is not a
    // name of the sequence. "IMG_1000.png" is 1000 of IMG_%04d.png, "IMG_01000.png" none.
    std::optional<long long> numberOf(const std::string& name) const;
    // The numbers of the sequence's files in its folder, in order; none when the frame number
    // is in the folder's name rather than the file's.
    std::vector<long long> existing() const;
    // False when the frame number is in the folder's name: its files are not listed.
    bool listable() const { return numberInName_; }
    // The file of frame `number`.
    std::string file(long long number) const;

  private:
    std::string pattern_;
    std::filesystem::path folder_;
    std::string prefix_, suffix_;  // of the file names, around the number
    int width_ = 0;                // digits at least, zero-padded
    bool numberInName_ = false;
};

// The first number of a sequence read from its files: `start` when given (>= 0), else the
// smallest there is (-1, for FFmpeg to find, when the sequence is not listable). Throws
// drawlet::Error naming the file when that frame does not exist, when no file matches, or when a
// frame between the first and the last is missing.
long long sequenceStart(const SequencePattern& sequence, long long start);

}  // namespace drawlet::media
