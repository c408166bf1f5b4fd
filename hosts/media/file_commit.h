// Files written under a temporary name beside their final one, then moved into place in one
// step: nobody ever sees half a file under the final name, and a file that appeared there in
// the meantime is kept unless the user asked for it to be replaced.
#pragma once

#include <filesystem>
#include <string>

namespace drawlet::media {

// A hidden name beside `target`, marked with this process and ending in `target`'s extension
// (writers choose the format by it); the target's own name is shortened in it where needed,
// so that it fits the folder's limit on file names.
std::filesystem::path temporaryBeside(const std::filesystem::path& target);

// Moves `from` to `to` in one step. Without `replace`, a file at `to` (even one that
// appeared a moment ago) is kept: throws drawlet::Error naming `to`, and `from` stays.
void moveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to,
                   bool replace);

}  // namespace drawlet::media
