#include "cli/pending_output.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "kit/error.h"
#include "media/file_commit.h"
#include "media/paths.h"
#include "media/sequences.h"
#include "run/signals.h"

namespace drawlet::cli {

namespace fs = std::filesystem;

namespace {

using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> idOf(const fs::path& file) {
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

// The files a path names now: the existing frames of a sequence, or the file itself.
std::vector<fs::path> filesOf(const std::string& path) {
    if (!media::isImageSequence(path)) return {path};
    const media::SequencePattern sequence(path);
    std::vector<fs::path> files;
    for (const long long number : sequence.existing()) files.emplace_back(sequence.file(number));
    return files;
}

bool sameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a.empty() ? "." : a, b.empty() ? "." : b, ec);
}

// Whether `file` is by its name a frame of `sequence`, in its folder (reached by any path).
bool isFrameOf(const media::SequencePattern& sequence, const fs::path& file) {
    return sequence.numberOf(file.filename().string()) &&
           sameFolder(file.parent_path(), sequence.folder());
}

bool writesOver(const std::string& output, const std::string& input) {
    const std::vector<fs::path> read = filesOf(input);
    std::set<FileId> readIds;
    for (const fs::path& file : read)
        if (const auto id = idOf(file)) readIds.insert(*id);
    for (const fs::path& file : filesOf(output))
        if (const auto id = idOf(file); id && readIds.count(*id) != 0) return true;
    const bool inSequence = media::isImageSequence(input);
    if (!media::isImageSequence(output))
        return inSequence && isFrameOf(media::SequencePattern(input), output);
    const media::SequencePattern written(output);
    if (inSequence && fs::path(input).filename() == fs::path(output).filename() &&
        sameFolder(media::SequencePattern(input).folder(), written.folder()))
        return true;
    for (const fs::path& file : read)
        if (isFrameOf(written, file)) return true;
    return false;
}

}  // namespace

void refuseWritingOverInputs(const std::string& output, const std::vector<std::string>& inputs) {
    if (media::isStdio(output)) return;
    for (const std::string& input : inputs)
        if (!media::isStdio(input) && writesOver(output, input))
            throw UsageError(fmt::format("{}: would write over the input {}; give another output",
                                         output, input));
}

std::set<long long> framesAlreadyThere(const std::string& pattern, long long first, long long count,
                                       bool overwrite, bool resume) {
    std::set<long long> there;
    if (overwrite) return there;
    const media::SequencePattern sequence(pattern);
    for (const long long number : sequence.existing())
        if (number >= first && (count < 0 || number - first < count)) there.insert(number);
    if (!there.empty() && !resume)
        throw Error(sequence.file(*there.begin()) +
                    ": already exists (use -y to overwrite, or --resume to keep the frames "
                    "there and render the others)");
    return there;
}

PendingOutput::PendingOutput(const std::string& output, bool overwrite, bool sequence)
    : target_(output), overwrite_(overwrite) {
    path_ = output;
    if (media::isStdio(output)) {
        done_ = true;
        return;
    }
    std::error_code ec;
    if (!sequence && fs::is_directory(target_, ec))
        throw Error(output + ": is a folder; give a file name");
    if (!sequence && fs::exists(target_, ec) && !overwrite)
        throw Error(output + ": already exists (use -y to overwrite)");
    prepareFolder(sequence ? media::SequencePattern(output).folder()
                           : (target_.has_parent_path() ? target_.parent_path() : "."));
    if (sequence) return;
    temporary_ = media::temporaryBeside(target_);
    path_ = temporary_.string();
    run::setUrgentCleanup(path_);
}

// The folder exists and is writable; one missing folder is made when its parent exists.
void PendingOutput::prepareFolder(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        const fs::path parent = folder.has_parent_path() ? folder.parent_path() : ".";
        if (!fs::is_directory(parent, ec))
            throw Error(target_.string() + ": the folder " + parent.string() + " does not exist");
        std::error_code made;
        if (fs::create_directory(folder, made)) madeFolder_ = folder;
        if (!fs::is_directory(folder, ec))
            throw Error(target_.string() + ": cannot make the folder " + folder.string() + ": " +
                        (made ? made.message() : "a file has its name"));
    }
    if (access(folder.c_str(), W_OK) != 0)
        throw Error(target_.string() + ": the folder " + folder.string() + " is not writable");
}

PendingOutput::~PendingOutput() {
    std::error_code ec;
    if (!done_ && !temporary_.empty()) {
        fs::remove(temporary_, ec);
        run::setUrgentCleanup("");
    }
    // Removed only when empty: a stopped sequence keeps the frames it finished.
    if (!madeFolder_.empty()) fs::remove(madeFolder_, ec);
}

void PendingOutput::commit() {
    if (done_) return;
    if (!temporary_.empty()) media::moveIntoPlace(temporary_, target_, overwrite_);
    done_ = true;
    run::setUrgentCleanup("");
}

}  // namespace drawlet::cli
