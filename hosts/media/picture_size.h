// The size a picture file declares, read from its header before anything is decoded, and the
// limit on the pixels of a frame that a command takes.
#pragma once

#include <optional>
#include <string>

namespace drawlet::media {

// Pixels of a frame taken by default: 16384 x 16384 (a frame of the filter then needs a few
// GB of memory).
inline constexpr long long kDefaultMaxPixels = 16384LL * 16384;

struct PictureSize {
    long long width = 0;
    long long height = 0;
};

// The width and height in the header of a PNG, JPEG, BMP, TIFF, WebP, PBM/PGM/PPM/PAM/PFM,
// OpenEXR, JPEG 2000, Radiance HDR or Sun raster file, found by its leading bytes whatever
// its name; nullopt for other files, and for headers that cannot be read or declare no
// pixels.
std::optional<PictureSize> declaredSize(const std::string& path);

// Throws drawlet::Error naming `what`, its size and the limit when width x height is more
// than `maxPixels`.
void checkPixelLimit(const std::string& what, long long width, long long height,
                     long long maxPixels);

}  // namespace drawlet::media
