// What the module does when it is loaded into a process: record its own directory and make
// it reachable through PATH.
#pragma once

#include <cstddef>

namespace drawlet {

inline constexpr std::size_t kModuleDirSize = 4096;

// The directory the module was loaded from, without a trailing separator.
extern char moduleDir[kModuleDirSize];

// Fills moduleDir and appends it to PATH. Called once, at process attach.
void onProcessAttach();

}  // namespace drawlet
