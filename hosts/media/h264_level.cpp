#include "media/h264_level.h"

#include <array>
#include <cmath>

namespace drawlet::media {

namespace {

// The levels' limits (H.264 Table A-1) from 4.1 on.
constexpr std::array<H264Level, 8> kLevels = {{
    {"4.1", 8192, 245760, 50000},
    {"4.2", 8704, 522240, 50000},
    {"5", 22080, 589824, 135000},
    {"5.1", 36864, 983040, 240000},
    {"5.2", 36864, 2073600, 240000},
    {"6", 139264, 4177920, 240000},
    {"6.1", 139264, 8355840, 480000},
    {"6.2", 139264, 16711680, 800000},
}};

}  // namespace

const H264Level& h264LevelFor(int width, int height, double fps) {
    const long columns = (width + 15) / 16, rows = (height + 15) / 16;
    const long frameMbs = columns * rows;
    const double mbRate = static_cast<double>(frameMbs) * (fps > 0 ? fps : 0);
    for (const H264Level& level : kLevels) {
        // Neither side may pass the square root of eight times the frame's macroblocks.
        const double side = std::sqrt(8.0 * level.maxFrameMbs);
        if (frameMbs <= level.maxFrameMbs && mbRate <= level.maxMbRate && columns <= side &&
            rows <= side)
            return level;
    }
    return kLevels.back();
}

}  // namespace drawlet::media
