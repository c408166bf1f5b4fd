#include "media/file_commit.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "kit/error.h"

namespace drawlet::media {

namespace fs = std::filesystem;

namespace {

// POSIX's smallest limit on a file name, where the folder does not say its own.
constexpr long kFallbackNameMax = 255;

long nameMax(const fs::path& folder) {
    const long max = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? max : kFallbackNameMax;
}

[[noreturn]] void refuse(const fs::path& to) {
    throw Error(to.string() +
                ": already exists (it appeared while this command ran; use -y to overwrite)");
}

[[noreturn]] void cannotMove(const fs::path& to, int error) {
    throw Error(to.string() + ": cannot write: " + std::generic_category().message(error));
}

// Where renameat2 cannot refuse to replace (a file system without RENAME_NOREPLACE): a hard
// link refuses just as well, and the temporary name is then removed.
bool linkedIntoPlace(const fs::path& from, const fs::path& to) {
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) refuse(to);
    // No hard links either (FAT, some network shares): test, then rename.
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS)
        cannotMove(to, errno);
    return false;
}

}  // namespace

fs::path temporaryBeside(const fs::path& target) {
    const fs::path folder = target.parent_path();
    const std::string stem = target.stem().string(), ext = target.extension().string();
    const std::string mark = fmt::format(".part-{}", getpid());
    // "." + stem + mark + ext, the stem cut short to fit.
    const long room = nameMax(folder) - 1 - static_cast<long>(mark.size() + ext.size());
    const std::string kept =
        room <= 0 ? std::string() : stem.substr(0, static_cast<std::size_t>(room));
    return folder / ("." + kept + mark + ext);
}

void moveIntoPlace(const fs::path& from, const fs::path& to, bool replace) {
    if (replace) {
        if (rename(from.c_str(), to.c_str()) != 0) cannotMove(to, errno);
        return;
    }
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno == EEXIST) refuse(to);
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) cannotMove(to, errno);
    if (linkedIntoPlace(from, to)) return;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(to, ec))) refuse(to);
    if (rename(from.c_str(), to.c_str()) != 0) cannotMove(to, errno);
}

}  // namespace drawlet::media
