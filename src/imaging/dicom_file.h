// OpenCV's image reader picks a decoder by a file's bytes, not its name, and hands a file with
// DICOM's marker ("DICM" after a 128-byte preamble) to a medical-imaging library that aborts
// the whole process on a damaged one. Readers of patterns and pictures refuse such files first.
#pragma once

#include <cstdio>
#include <cstring>

namespace drawlet {

inline bool hasDicomMarker(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    char head[132] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return got == sizeof head && std::memcmp(head + 128, "DICM", 4) == 0;
}

}  // namespace drawlet
