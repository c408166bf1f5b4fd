// Outputs that never cost the user a file: an output is never one of the inputs, a single
// file is written under a temporary name beside its final one and renamed when complete
// (never over a file that appeared meanwhile, unless -y), and the frames of an image
// sequence are each moved into place when complete, so that a stopped render keeps them.
// The owner removes the temporary file, and a folder it made that stayed empty, on every
// way out.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace drawlet::cli {

// Refuses, as a usage error, an output that would write over one of `inputs`: the same file
// (through links too, or the same device and inode), or for image sequences the same pattern
// or any frame file of the input.
void refuseWritingOverInputs(const std::string& output, const std::vector<std::string>& inputs);

// The frames of the image sequence `pattern` that exist from frame `first` on (`count` of
// them, all when negative). With `overwrite` none are kept (an empty set); without it or
// `resume`, any one of them is refused (drawlet::Error naming it).
std::set<long long> framesAlreadyThere(const std::string& pattern, long long first, long long count,
                                       bool overwrite, bool resume);

class PendingOutput {
  public:
    // Checks the output's folder (made when its parent exists) and an existing file (kept
    // unless `overwrite`). "-" is standard output, written directly; an image sequence is
    // written in place (media's image output moves each frame into place).
    PendingOutput(const std::string& output, bool overwrite, bool sequence);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Where to write: the temporary file, or the sequence's own pattern.
    const std::string& path() const { return path_; }
    // Moves the finished file into place; without -y, a file that appeared there since the
    // start is kept and the command fails.
    void commit();

  private:
    void prepareFolder(const std::filesystem::path& folder);

    std::filesystem::path target_;
    std::filesystem::path temporary_;  // empty: nothing to rename
    std::filesystem::path madeFolder_;
    std::string path_;
    bool overwrite_ = false;
    bool done_ = false;
};

}  // namespace drawlet::cli
