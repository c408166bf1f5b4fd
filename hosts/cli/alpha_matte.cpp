#include "cli/alpha_matte.h"

#include <mutex>

#include "cli/options.h"
#include "kit/error.h"
#include "media/output.h"
#include "media/paths.h"

namespace drawlet::cli {

void prepareMatteOutput(const kit::FilterHost& host, const std::string& output,
                        media::EncodeOptions& encode) {
    if (host.value(host.parameter(kit::alias::kMask)) != 0)
        throw UsageError(
            "--alpha mask renders the mask itself: leave the mask check box off (--set mask=off)");
    if (encode.codec.empty() && encode.format.empty() && media::lowerExtension(output) == ".mov")
        encode.codec = "prores_ks";
    if (!media::outputKeepsAlpha(output, encode))
        throw UsageError(
            "--alpha mask: " + output +
            " cannot carry an alpha channel; write PNG, TIFF or WebP pictures (out.png, "
            "frames/%05d.png), VP9 in .webm, or ProRes 4444 in .mov (--codec prores_ks, the "
            "default there)");
}

MattedFrame renderWithMatte(kit::FilterHost& host, const cv::Mat& bgr, const cv::Mat& inputAlpha,
                            long long frameNumber, const std::string& what,
                            const DrawletPatternCoordinates* coordinates) {
    const kit::Parameter& mask = host.parameter(kit::alias::kMask);
    // The two renders and the change of setting between them, atomic for other threads.
    const std::lock_guard<std::recursive_mutex> lock(kit::FilterHost::callLock());
    const int setting = host.value(mask);
    MattedFrame out;
    out.bgr = run::renderFrame(host, bgr, frameNumber, what, coordinates);
    host.setValue(mask, 1);
    cv::Mat gray;
    try {
        gray = run::renderFrame(host, bgr, frameNumber, what + " (mask)", coordinates);
    } catch (...) {
        host.setValue(mask, setting);
        throw;
    }
    host.setValue(mask, setting);
    // The mask is gray: blue, green and red are equal.
    cv::extractChannel(gray, out.alpha, 0);
    if (!inputAlpha.empty()) cv::multiply(out.alpha, inputAlpha, out.alpha, 1.0 / 255);
    return out;
}

}  // namespace drawlet::cli
