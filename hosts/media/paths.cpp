#include "media/paths.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

namespace drawlet::media {

namespace {

constexpr std::array<std::string_view, 11> kImageExtensions = {
    ".png", ".jpg", ".jpeg", ".bmp", ".tif", ".tiff", ".webp", ".ppm", ".pgm", ".exr", ".jp2"};

bool hasImageExtension(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return std::find(kImageExtensions.begin(), kImageExtensions.end(), ext) !=
           kImageExtensions.end();
}

}  // namespace

bool isStdio(const std::string& path) { return path == "-"; }

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool isImageSequence(const std::string& path) {
    if (!hasImageExtension(path) || path.find('%') == std::string::npos) return false;
    // FFmpeg's own reading of the pattern: exactly one %d-style number, other % doubled.
    char name[4096];
    return av_get_frame_filename2(name, sizeof name, path.c_str(), 0, 0) == 0;
}

bool isStillImage(const std::string& path) {
    return hasImageExtension(path) && !isImageSequence(path);
}

std::string sequenceFile(const std::string& pattern, long long number) {
    std::string name(pattern.size() + 32, '\0');
    if (av_get_frame_filename2(name.data(), static_cast<int>(name.size()), pattern.c_str(),
                               static_cast<int>(number), 0) < 0)
        return pattern;
    name.resize(name.find('\0'));
    return name;
}

bool imageKeepsAlpha(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == ".png" || ext == ".tif" || ext == ".tiff" || ext == ".webp" || ext == ".exr";
}

}  // namespace drawlet::media
