// Named looks: settings files in the looks folder installed beside the program, read by
// --look, drawlet looks, drawlet compare and the studio.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "run/settings_file.h"

namespace drawlet::run {

struct Look {
    std::string name;  // the file's name without .json: "pen-and-ink"
    std::string description;
    std::filesystem::path file;
    SettingsJson settings;
};

// The looks folder: <program's folder>/looks in a build, else <prefix>/share/drawlet/looks
// for an installed program (<prefix>/lib/drawlet/drawlet); empty when neither exists.
std::filesystem::path looksFolder();

// Every look of the folder, by name; throws naming a file that is not a usable settings file.
std::vector<Look> allLooks();

// The look called `name`; a usage error listing the looks (and the closest name) when there
// is none.
Look findLook(const std::string& name);

}  // namespace drawlet::run
