// Writes our hatching pattern sets as 8-bit gray BMP files:
//   OUTDIR/img/h0.bmp .. h6.bmp (set 0), OUTDIR/img1/..., OUTDIR/img2/...
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "hatch_sets.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    namespace fs = std::filesystem;
    for (int set = 0; set < drawlet::patterns::kSetCount; ++set) {
        const fs::path folder =
            fs::path(argv[1]) / (set == 0 ? "img" : "img" + std::to_string(set));
        std::error_code ec;
        fs::create_directories(folder, ec);
        const auto levels = drawlet::patterns::makePatternSet(set);
        for (int i = 0; i < drawlet::patterns::kLevels; ++i) {
            const fs::path file = folder / ("h" + std::to_string(i) + ".bmp");
            if (!cv::imwrite(file.string(), levels[static_cast<std::size_t>(i)])) {
                std::fprintf(stderr, "%s: cannot write the pattern file\n", file.c_str());
                return 1;
            }
        }
    }
    return 0;
}
