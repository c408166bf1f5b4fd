#include "media/images.h"

#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/dicom_file.h"
#include "kit/error.h"
#include "kit/memory.h"
#include "media/file_commit.h"
#include "media/paths.h"
#include "media/picture_size.h"

namespace drawlet::media {

namespace {

cv::Mat to8Bit(const cv::Mat& image) {
    if (image.depth() == CV_8U) return image;
    cv::Mat out;
    const double scale = image.depth() == CV_16U   ? 1.0 / 257
                         : image.depth() == CV_32F ? 255.0
                                                   : 1.0;
    image.convertTo(out, CV_8U, scale);
    return out;
}

class ImageOutput : public FrameOutput {
  public:
    ImageOutput(const OutputVideo& video, const OutputOptions& options)
        : options_(options), sequence_(isImageSequence(options.path)) {
        if (video.alpha && !imageKeepsAlpha(options.path))
            notes_.push_back(options.shownAs + ": the input's alpha channel is dropped (" +
                             lowerExtension(options.path) + " has none; PNG keeps it)");
        keepAlpha_ = video.alpha && imageKeepsAlpha(options.path);
    }
    void write(const cv::Mat& bgr, const cv::Mat* alpha, int64_t, long long index) override {
        const cv::Mat* kept = keepAlpha_ ? alpha : nullptr;
        if (!sequence_) {
            writePicture(options_.path, options_.shownAs, bgr, kept);
            return;
        }
        // Under a temporary name, then moved into place: no half frame is ever seen.
        const std::string file = sequenceFile(options_.path, index);
        const std::string temporary = temporaryBeside(file).string();
        if (options_.writing) options_.writing(temporary);
        try {
            writePicture(temporary, file, bgr, kept);
            moveIntoPlace(temporary, file, options_.replace);
        } catch (...) {
            std::remove(temporary.c_str());
            if (options_.writing) options_.writing("");
            throw;
        }
        if (options_.writing) options_.writing("");
    }
    void finish(const std::function<void()>&, const TimeSpan&) override {}
    std::vector<std::string> notes() const override { return notes_; }

  private:
    OutputOptions options_;
    bool sequence_;
    bool keepAlpha_ = false;
    std::vector<std::string> notes_;
};

// BGR, or BGRA when there is an alpha plane.
cv::Mat withAlpha(const cv::Mat& bgr, const cv::Mat* alpha) {
    if (alpha == nullptr || alpha->empty()) return bgr;
    const cv::Mat parts[] = {bgr, *alpha};
    cv::Mat image(bgr.size(), CV_8UC4);
    const int fromTo[] = {0, 0, 1, 1, 2, 2, 3, 3};
    cv::mixChannels(parts, 2, &image, 1, fromTo, 4);
    return image;
}

}  // namespace

Picture readPicture(const std::string& path, long long maxPixels) {
    if (hasDicomMarker(path.c_str()))
        throw Error(path +
                    ": a DICOM file; medical images are not read (give a PNG, JPEG, TIFF "
                    "or BMP picture)");
    const std::optional<PictureSize> declared = declaredSize(path);
    if (declared) checkPixelLimit(path, declared->width, declared->height, maxPixels);
    Picture picture;
    cv::Mat unchanged;
    try {
        picture.bgr = cv::imread(path, cv::IMREAD_COLOR);
        if (!picture.bgr.empty()) unchanged = cv::imread(path, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception& e) {
        if (kit::isOutOfMemory(e) && declared)
            throw kit::notEnoughMemory(path, declared->width, declared->height);
        if (kit::isOutOfMemory(e)) throw;
        picture.bgr.release();
    }
    if (picture.bgr.empty())
        throw Error(path + ": cannot read it as a picture (unreadable or not a picture)");
    // A file whose header is not read above is checked once decoded.
    checkPixelLimit(path, picture.bgr.cols, picture.bgr.rows, maxPixels);
    // The alpha channel, where the file has one and the picture needed no turning.
    if (!unchanged.empty() && (unchanged.channels() == 4 || unchanged.channels() == 2) &&
        unchanged.size() == picture.bgr.size()) {
        cv::extractChannel(unchanged, picture.alpha, unchanged.channels() - 1);
        picture.alpha = to8Bit(picture.alpha);
    }
    return picture;
}

void writePicture(const std::string& path, const std::string& shownAs, const cv::Mat& bgr,
                  const cv::Mat* alpha) {
    const cv::Mat image = withAlpha(bgr, alpha);
    bool written = false;
    try {
        written = cv::imwrite(path, image);
    } catch (const cv::Exception&) {
        written = false;
    }
    if (!written)
        throw Error(shownAs + ": cannot write the picture (unknown format, or not writable)");
}

std::vector<unsigned char> encodePng(const cv::Mat& bgr, const cv::Mat* alpha) {
    std::vector<unsigned char> bytes;
    if (!cv::imencode(".png", withAlpha(bgr, alpha), bytes))
        throw Error("cannot encode the picture as PNG");
    return bytes;
}

std::unique_ptr<FrameOutput> openImageOutput(const OutputVideo& video,
                                             const OutputOptions& options) {
    return std::make_unique<ImageOutput>(video, options);
}

}  // namespace drawlet::media
