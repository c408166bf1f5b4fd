#include "studio/session.h"

#include <fmt/format.h>

#include <chrono>
#include <opencv2/imgproc.hpp>

#include "kit/error.h"
#include "media/images.h"
#include "media/paths.h"
#include "media/reader.h"
#include "run/boil_rate.h"
#include "run/configured_host.h"
#include "run/signals.h"

namespace drawlet::studio {

namespace {

// Decoded frames kept for a page that moves a control on one frame, or steps back and forth.
constexpr std::size_t kFramesKept = 4;

}  // namespace

Session::Session(const std::string& input, const media::ReaderOptions& reading,
                 kit::FilterHost& host)
    : input_(input), reading_(reading), host_(host) {
    info_.path = input;
    reading_.stop = &run::stopFlag();
    if (media::isStillImage(input)) {
        run::SourceFrame picture = run::readSourceFrame(input, 0, reading_);
        info_.width = picture.bgr.cols;
        info_.height = picture.bgr.rows;
        info_.alpha = !picture.alpha.empty();
        frames_.push_front(std::move(picture));
        return;
    }
    const media::VideoReader reader(input, reading_);
    const media::VideoInfo& video = reader.info();
    info_.video = true;
    info_.width = video.width;
    info_.height = video.height;
    info_.frameCount = video.frameCount;
    info_.frameRate = media::frameRateOf(video.frameRate);
    info_.duration = video.duration;
    info_.alpha = video.alpha;
}

run::SourceFrame Session::frame(long long index) {
    const std::lock_guard<std::mutex> lock(framesLock_);
    if (!info_.video) {
        // A picture is the same at every frame number; the number goes to the filter.
        run::SourceFrame picture = frames_.front();
        picture.index = index;
        return picture;
    }
    for (auto it = frames_.begin(); it != frames_.end(); ++it)
        if (it->index == index) {
            frames_.splice(frames_.begin(), frames_, it);
            return frames_.front();
        }
    frames_.push_front(run::readSourceFrame(input_, index, reading_));
    if (frames_.size() > kFramesKept) frames_.pop_back();
    return frames_.front();
}

cv::Mat Session::scaled(const run::SourceFrame& frame, int maxSide, cv::Mat* alpha) {
    const int longer = std::max(frame.bgr.cols, frame.bgr.rows);
    *alpha = frame.alpha;
    if (maxSide <= 0 || maxSide >= longer) return frame.bgr;
    const cv::Size size(std::max(1, static_cast<int>(1LL * frame.bgr.cols * maxSide / longer)),
                        std::max(1, static_cast<int>(1LL * frame.bgr.rows * maxSide / longer)));
    cv::Mat small;
    cv::resize(frame.bgr, small, size, 0, 0, cv::INTER_AREA);
    if (!frame.alpha.empty()) cv::resize(frame.alpha, *alpha, size, 0, 0, cv::INTER_AREA);
    return small;
}

run::SettingsJson Session::currentValues() const {
    run::SettingsJson values = run::SettingsJson::object();
    for (const kit::Parameter& p : host_.parameters()) values[p.key()] = host_.value(p);
    return values;
}

run::SettingsJson Session::applyRequest(const RenderRequest& request) {
    if (request.boilRate && !info_.video)
        throw UsageError("a boil rate is for videos: a picture has no frame rate");
    run::resetToDefaults(host_);
    if (request.previous) {
        run::applySettings(host_, *request.previous, "the page's previous settings");
        host_.update();
    }
    run::applySettings(host_, request.settings, "the page's settings");
    host_.update();
    run::SettingsJson values = currentValues();
    // The boil rate sets a slider only, which the update callback leaves alone.
    if (request.boilRate) run::applyBoilRate(host_, *request.boilRate, info_.frameRate);
    return values;
}

Rendered Session::render(const RenderRequest& request) {
    const run::SourceFrame source = frame(request.frame);
    cv::Mat alpha;
    const cv::Mat input = scaled(source, request.maxSide, &alpha);
    Rendered out;
    out.exact = input.size() == source.bgr.size();
    cv::Mat drawn;
    {
        const std::lock_guard<std::recursive_mutex> lock(kit::FilterHost::callLock());
        // The module prepares its patterns for the frame size it meets when the pattern set,
        // scale or angle changes, and keeps them for other sizes. A render after one at
        // another size (a preview, then the full frame) has them prepared anew, as they are
        // for the first frame of a drawlet render.
        if (input.size() != lastSize_) host_.reregister();
        lastSize_ = input.size();
        out.values = applyRequest(request);
        out.updateInterval = host_.value(host_.parameter(kit::alias::kUpdateInterval));
        const auto start = std::chrono::steady_clock::now();
        drawn = run::renderFrame(host_, input, source.index,
                                 fmt::format("{} frame {}", input_, source.index));
        out.filterMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    out.image = {media::encodePng(drawn, alpha.empty() ? nullptr : &alpha), drawn.cols, drawn.rows};
    return out;
}

Image Session::original(long long index, int maxSide) {
    const run::SourceFrame source = frame(index);
    cv::Mat alpha;
    const cv::Mat picture = scaled(source, maxSide, &alpha);
    return {media::encodePng(picture, alpha.empty() ? nullptr : &alpha), picture.cols,
            picture.rows};
}

std::string Session::settingsFile(const RenderRequest& request) {
    const std::lock_guard<std::recursive_mutex> lock(kit::FilterHost::callLock());
    applyRequest(request);
    return run::settingsText(host_);
}

run::SettingsJson Session::valuesFor(const run::SettingsJson& settings, const std::string& where) {
    const std::lock_guard<std::recursive_mutex> lock(kit::FilterHost::callLock());
    run::resetToDefaults(host_);
    run::applySettings(host_, settings, where);
    host_.update();
    return currentValues();
}

}  // namespace drawlet::studio
