// Still pictures and image sequences, read and written through OpenCV's image codecs.
#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "media/output.h"

namespace drawlet::media {

struct Picture {
    cv::Mat bgr;    // 8-bit BGR, turned as its EXIF orientation says
    cv::Mat alpha;  // 8-bit, empty when the file has none
};

// Reads a picture; throws drawlet::Error naming it when it cannot, or when it has more than
// `maxPixels` pixels (its header is read first: nothing is decoded then).
Picture readPicture(const std::string& path, long long maxPixels);

// Writes a picture (with its alpha where the format keeps one); throws naming `shownAs`.
void writePicture(const std::string& path, const std::string& shownAs, const cv::Mat& bgr,
                  const cv::Mat* alpha);

// The picture as a PNG file's bytes, encoded as writePicture writes a .png file.
std::vector<unsigned char> encodePng(const cv::Mat& bgr, const cv::Mat* alpha);

// Frames into numbered pictures: frame N into the pattern's file N.
std::unique_ptr<FrameOutput> openImageOutput(const OutputVideo& video,
                                             const OutputOptions& options);

}  // namespace drawlet::media
