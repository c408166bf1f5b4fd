#include "run/look_files.h"

#include <algorithm>

#include "kit/error.h"
#include "run/configured_host.h"
#include "run/suggest.h"

namespace drawlet::run {

namespace fs = std::filesystem;

fs::path looksFolder() {
    const fs::path program = executableDirectory();
    for (const fs::path& candidate :
         {program / "looks", program / ".." / ".." / "share" / "drawlet" / "looks"}) {
        std::error_code ec;
        if (fs::is_directory(candidate, ec)) return candidate.lexically_normal();
    }
    return {};
}

std::vector<Look> allLooks() {
    std::vector<Look> looks;
    const fs::path folder = looksFolder();
    if (folder.empty()) return looks;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".json") continue;
        Look look;
        look.name = entry.path().stem().string();
        look.file = entry.path();
        look.settings = readSettingsFile(entry.path().string());
        look.description = descriptionOf(look.settings);
        looks.push_back(std::move(look));
    }
    std::sort(looks.begin(), looks.end(),
              [](const Look& a, const Look& b) { return a.name < b.name; });
    return looks;
}

Look findLook(const std::string& name) {
    std::vector<Look> looks = allLooks();
    std::vector<std::string> names;
    for (Look& look : looks) {
        if (look.name == name) return std::move(look);
        names.push_back(look.name);
    }
    if (names.empty())
        throw UsageError("--look " + name +
                         ": no looks are installed (the folder looks/ beside "
                         "the program, or share/drawlet/looks, is missing)");
    const std::string hint = closestMatch(name, names);
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
    throw UsageError("--look " + name + ": no such look" +
                     (hint.empty() ? "" : " (did you mean " + hint + "?)") + "; the looks are " +
                     list + " (drawlet looks describes them)");
}

}  // namespace drawlet::run
