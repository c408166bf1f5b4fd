#include "hatching/pattern_bank.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iostream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>

#include "imaging/dicom_file.h"
#include "imaging/saturating_cast.h"
#include "interface/parameter_lookup.h"
#include "interface/parameters.h"
#include "platform/platform.h"

// Paths are built into fixed 8192-byte buffers; a longer path is cut and then fails to load.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wformat-truncation"
#endif

namespace drawlet {

cv::Mat patternOriginals[kPatternCount];
cv::Mat patternScaled[kPatternCount];
double patternInverseAffine[6] = {};
int loadedPatternNo = -100;
double currentPatternScale = 1.0;
double currentPatternAngle = 1.0;

namespace {

std::string patternDirectory;

// The reader writes its own diagnostic of a damaged file ("imread_('...'): can't read
// header: ...") straight to standard error, before the module's one message says the same.
// While it reads, standard error goes to a buffer; anything else written there meanwhile is
// passed on.
class ReaderDiagnosticsHeld {
  public:
    ReaderDiagnosticsHeld() : saved_(std::cerr.rdbuf(&held_)) {}
    ~ReaderDiagnosticsHeld() {
        std::cerr.rdbuf(saved_);
        std::istringstream lines(held_.str());
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("imread_(", 0) != 0 && !line.empty()) std::cerr << line << '\n';
    }
    ReaderDiagnosticsHeld(const ReaderDiagnosticsHeld&) = delete;
    ReaderDiagnosticsHeld& operator=(const ReaderDiagnosticsHeld&) = delete;

  private:
    std::stringbuf held_;
    std::streambuf* saved_;
};

// The reader throws on some malformed files (a header claiming more rows than it accepts)
// instead of returning an empty image: any failure to read is a file that cannot be read.
cv::Mat readPatternFile(const char* path) {
    if (hasDicomMarker(path)) return cv::Mat();  // a pattern is never a DICOM file
    try {
        const ReaderDiagnosticsHeld held;
        return cv::imread(path, cv::IMREAD_GRAYSCALE);
    } catch (const std::exception&) {
        return cv::Mat();
    }
}

// "%s の読み込みに失敗しました" ("failed to read %s") and "エラー" ("error"), code page 932.
constexpr char kLoadFailedFormat[] =
    "%s \x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5"
    "\x82\xBD";
constexpr char kErrorCaption[] = "\x83G\x83\x89\x81[";

constexpr int kMaxPreparedSide = 2048;

cv::Mat matrix3(double a, double b, double c, double d, double e, double f) {
    return (cv::Mat_<double>(3, 3) << a, b, c, d, e, f, 0.0, 0.0, 1.0);
}

}  // namespace

void setPatternBaseDirectory(const char* directory) { patternDirectory = directory; }

void patternBaseFolder(char* out) {
    std::snprintf(out, kPatternTextSize, "%s/Drawlet", patternDirectory.c_str());
    if (!platform::pathExists(out))
        std::snprintf(out, kPatternTextSize, "%s", patternDirectory.c_str());
}

void releasePatterns() {
    for (int i = 0; i < kPatternCount; ++i) {
        patternOriginals[i].release();
        patternScaled[i].release();
    }
}

bool loadPatternSet(char* message) {
    char base[kPatternTextSize];
    patternBaseFolder(base);
    for (int i = 0; i < kPatternCount; ++i) {
        char path[kPatternTextSize];
        if (loadedPatternNo == 0)
            std::snprintf(path, sizeof path, "%s/img/h%d.bmp", base, i);
        else
            std::snprintf(path, sizeof path, "%s/img%d/h%d.bmp", base, loadedPatternNo, i);
        patternOriginals[i].release();
        patternOriginals[i] = readPatternFile(path);
        if (patternOriginals[i].empty()) {
            releasePatterns();
            std::snprintf(message, kPatternTextSize, kLoadFailedFormat, path);
            return false;
        }
    }
    return true;
}

void preparePatterns(const DrawletFrameRequest& request) {
    const double w = patternOriginals[0].cols;
    const double h = patternOriginals[0].rows;
    const double frameW = request.width;
    const double frameH = request.height;
    const double s = currentPatternScale;
    const double theta = currentPatternAngle;

    const cv::Mat toOrigin = matrix3(1, 0, w * -0.5, 0, 1, h * -0.5);
    const cv::Mat rotation =
        matrix3(std::cos(theta), -std::sin(theta), 0, std::sin(theta), std::cos(theta), 0);
    const cv::Mat scale = s >= 1 ? matrix3(s, 0, 0, 0, s, 0) : matrix3(1, 0, 0, 0, 1, 0);
    const cv::Mat toFrameCentre = matrix3(1, 0, frameW * 0.5, 0, 1, frameH * 0.5);

    cv::Mat first, second, third, inverse;
    cv::gemm(rotation, toOrigin, 1, cv::noArray(), 0, first);
    cv::gemm(scale, first, 1, cv::noArray(), 0, second);
    cv::gemm(toFrameCentre, second, 1, cv::noArray(), 0, third);
    cv::invert(third, inverse, cv::DECOMP_LU);
    for (int k = 0; k < 6; ++k) patternInverseAffine[k] = inverse.at<double>(k / 3, k % 3);

    for (int i = 0; i < kPatternCount; ++i) {
        patternScaled[i].release();
        const cv::Mat& original = patternOriginals[i];
        if (s >= 1) {
            patternScaled[i] = original.clone();
        } else {
            const auto shrunk = [s](int side) {
                return std::clamp(saturatingTrunc(s * side), 1, kMaxPreparedSide);
            };
            cv::resize(original, patternScaled[i],
                       cv::Size(shrunk(original.cols), shrunk(original.rows)), 0, 0,
                       cv::INTER_AREA);
        }
    }
}

void updatePatternBank(const DrawletRegistration& reg, const DrawletFrameRequest& request) {
    const int number = trackValue(reg, track::kPatternNo);
    const double scale = trackValue(reg, track::kPatternScale) / 100.0;
    const double angle = trackValue(reg, track::kPatternAngle) * 3.141592653589793 / 180.0;

    bool reloaded = false;
    if (number != loadedPatternNo) {
        loadedPatternNo = number;
        char message[kPatternTextSize];
        if (!loadPatternSet(message)) {
            platform::showMessageBox(reg.settingsWindow, message, kErrorCaption);
            return;
        }
        reloaded = true;
    }
    if (patternOriginals[0].empty()) return;
    if (reloaded || scale != currentPatternScale || angle != currentPatternAngle) {
        currentPatternScale = scale;
        currentPatternAngle = angle;
        try {
            preparePatterns(request);
        } catch (...) {
            // Leave no half-prepared set behind, and try again on the next frame.
            for (cv::Mat& prepared : patternScaled) prepared.release();
            currentPatternScale = std::nan("");
            throw;
        }
    }
}

}  // namespace drawlet
