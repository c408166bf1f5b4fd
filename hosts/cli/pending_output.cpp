#include "cli/pending_output.h"

#include <fmt/format.h>
#include <unistd.h>

#include "kit/error.h"
#include "media/paths.h"
#include "run/signals.h"

namespace drawlet::cli {

namespace fs = std::filesystem;

PendingOutput::PendingOutput(const std::string& output, bool overwrite, bool sequence)
    : target_(output), sequence_(sequence), overwrite_(overwrite) {
    if (media::isStdio(output)) {
        path_ = output;
        done_ = true;
        return;
    }
    const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw Error(output + ": the folder " + folder.string() + " does not exist");
    if (fs::is_directory(target_, ec)) throw Error(output + ": is a folder; give a file name");
    if (!sequence_ && fs::exists(target_, ec) && !overwrite)
        throw Error(output + ": already exists (use -y to overwrite)");
    if (access(folder.c_str(), W_OK) != 0)
        throw Error(output + ": the folder " + folder.string() + " is not writable");
    if (sequence_) {
        temporary_ = folder / fmt::format(".drawlet-part-{}", getpid());
        fs::create_directories(temporary_, ec);
        if (ec) throw Error(output + ": cannot create a folder beside it: " + ec.message());
        path_ = (temporary_ / target_.filename()).string();
    } else {
        temporary_ = folder / fmt::format(".{}.part-{}{}", target_.stem().string(), getpid(),
                                          target_.extension().string());
        path_ = temporary_.string();
        run::setUrgentCleanup(path_);
    }
}

PendingOutput::~PendingOutput() {
    if (done_) return;
    std::error_code ec;
    fs::remove_all(temporary_, ec);
    run::setUrgentCleanup("");
}

void PendingOutput::commit() {
    if (done_) return;
    std::error_code ec;
    if (!sequence_) {
        fs::rename(temporary_, target_, ec);
        if (ec) throw Error(target_.string() + ": cannot write: " + ec.message());
    } else {
        const fs::path folder = temporary_.parent_path();
        if (!overwrite_)
            for (const auto& entry : fs::directory_iterator(temporary_))
                if (fs::exists(folder / entry.path().filename()))
                    throw Error((folder / entry.path().filename()).string() +
                                ": already exists (use -y to overwrite)");
        for (const auto& entry : fs::directory_iterator(temporary_)) {
            fs::rename(entry.path(), folder / entry.path().filename(), ec);
            if (ec) throw Error(entry.path().string() + ": cannot move: " + ec.message());
        }
        fs::remove(temporary_, ec);
    }
    done_ = true;
    run::setUrgentCleanup("");
}

}  // namespace drawlet::cli
