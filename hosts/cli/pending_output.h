// An output written under a temporary name beside its final one and renamed when complete,
// so that a failed or stopped command never leaves a complete-looking file, nor overwrites
// one without -y. The owner removes the temporary file or folder on every way out.
#pragma once

#include <filesystem>
#include <string>

namespace drawlet::cli {

class PendingOutput {
  public:
    // Checks the output's folder and an existing file (kept unless `overwrite`); an image
    // sequence is written into a temporary folder and its files moved out at the end.
    // "-" is standard output, written directly.
    PendingOutput(const std::string& output, bool overwrite, bool sequence);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Where to write: the temporary file, or the pattern inside the temporary folder.
    const std::string& path() const { return path_; }
    // Moves the finished output into place.
    void commit();

  private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::string path_;
    bool sequence_ = false;
    bool overwrite_ = false;
    bool done_ = false;
};

}  // namespace drawlet::cli
