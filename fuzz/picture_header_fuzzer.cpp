// Picture headers: the input becomes a file whose declared size is read as the picture
// reader reads it before decoding anything (the header readers seek and read by offsets
// taken from the file).
//
// Beyond the sanitizers, the run fails when OpenCV decodes a picture of another size than
// the header declared (checked for declared sizes of up to a million pixels).
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "media/picture_size.h"

namespace {

constexpr long long kDecodedAtMost = 1 << 20;

const std::string& inputFile() {
    static const std::string path = [] {
        cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
        std::string pattern =
            (std::filesystem::temp_directory_path() / "drawlet-fuzz-header-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd < 0) std::abort();
        close(fd);
        return pattern;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(inputFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const auto declared = drawlet::media::declaredSize(inputFile());
    if (!declared || declared->width > kDecodedAtMost / declared->height) return 0;
    cv::Mat decoded;
    try {
        const std::vector<std::uint8_t> bytes(data, data + size);
        decoded = cv::imdecode(bytes, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception&) {
        return 0;
    }
    if (!decoded.empty() && (decoded.cols != declared->width || decoded.rows != declared->height)) {
        std::fprintf(stderr, "declared %lldx%lld, decoded %dx%d\n", declared->width,
                     declared->height, decoded.cols, decoded.rows);
        std::abort();
    }
    return 0;
}
