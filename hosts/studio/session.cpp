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

// A frame of `size` scaled so that its longer side is `maxSide` (0, or a side at least as
// long: as it is).
cv::Size previewSize(cv::Size size, int maxSide) {
    const int longer = std::max(size.width, size.height);
    if (maxSide <= 0 || maxSide >= longer) return size;
    return {std::max(1, static_cast<int>(1LL * size.width * maxSide / longer)),
            std::max(1, static_cast<int>(1LL * size.height * maxSide / longer))};
}

// Positions found at full size for a frame drawn at `size`: the planes scaled to it (nearest,
// so that no pixel blends the two sides of a wrap), and their values with them, kept inside
// the frame as the module requires.
void scalePositions(const DrawletPatternCoordinates& c, cv::Size size, run::FollowedFrame& out) {
    const auto plane = [&c](const float* values) {
        return cv::Mat(c.height, c.width, CV_32F, const_cast<float*>(values),
                       static_cast<std::size_t>(c.stride) * sizeof(float));
    };
    if (size == cv::Size(c.width, c.height)) {
        plane(c.x).copyTo(out.x);
        plane(c.y).copyTo(out.y);
        return;
    }
    const double across[2] = {static_cast<double>(size.width) / c.width,
                              static_cast<double>(size.height) / c.height};
    cv::Mat* planes[2] = {&out.x, &out.y};
    const float* sources[2] = {c.x, c.y};
    for (int i = 0; i < 2; ++i) {
        cv::resize(plane(sources[i]), *planes[i], size, 0, 0, cv::INTER_NEAREST);
        planes[i]->convertTo(*planes[i], CV_32F, across[i]);
        cv::min(cv::max(*planes[i], 0.0), i == 0 ? size.width : size.height, *planes[i]);
    }
}

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

// A video frame decoded on the way, for the page's request for the frame as it is.
void Session::remember(const run::SourceFrame& frame) {
    const std::lock_guard<std::mutex> lock(framesLock_);
    for (const run::SourceFrame& kept : frames_)
        if (kept.index == frame.index) return;
    frames_.push_front(frame);
    if (frames_.size() > kFramesKept) frames_.pop_back();
}

std::optional<run::SourceFrame> Session::followedFrame(const RenderRequest& request, int interval,
                                                       const std::function<bool()>& keepGoing,
                                                       run::FollowedFrame& positions,
                                                       bool& followed) {
    const std::lock_guard<std::mutex> lock(followedLock_);
    if (!followed_) followed_.emplace(input_, reading_);
    const auto at = followed_->at(request.frame, interval, keepGoing);
    if (!at) return std::nullopt;
    run::SourceFrame source = *at->source;
    remember(source);
    followed = at->coordinates != nullptr;
    if (followed) {
        scalePositions(*at->coordinates, previewSize(source.bgr.size(), request.maxSide),
                       positions);
        source.bgr = *at->picture;  // drawn from; the frame remembered is the decoded one
    }
    return source;
}

cv::Mat Session::scaled(const run::SourceFrame& frame, int maxSide, cv::Mat* alpha) {
    *alpha = frame.alpha;
    const cv::Size size = previewSize(frame.bgr.size(), maxSide);
    if (size == frame.bgr.size()) return frame.bgr;
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

run::SettingsJson Session::applyRequest(const RenderRequest& request, run::RunSettings* run) {
    if (request.boilRate && !info_.video)
        throw UsageError("a boil rate is for videos: a picture has no frame rate");
    run::resetToDefaults(host_);
    run::RunSettings given;
    if (request.previous) {
        run::applySettings(host_, *request.previous, "the page's previous settings", given);
        host_.update();
    }
    given.followMotion = request.followMotion;
    run::applySettings(host_, request.settings, "the page's settings", given);
    host_.update();
    run::SettingsJson values = currentValues();
    // The boil rate sets a slider only, which the update callback leaves alone.
    if (request.boilRate) run::applyBoilRate(host_, *request.boilRate, info_.frameRate);
    if (run != nullptr) *run = given;
    return values;
}

int Session::intervalFor(const RenderRequest& request, bool* followMotion) {
    const std::lock_guard<std::recursive_mutex> lock(kit::FilterHost::callLock());
    run::RunSettings given;
    applyRequest(request, &given);
    *followMotion = given.followMotion && info_.video;
    return host_.value(host_.parameter(kit::alias::kUpdateInterval));
}

std::optional<Rendered> Session::render(const RenderRequest& request,
                                        const std::function<bool()>& keepGoing) {
    run::FollowedFrame positions;
    bool follow = false, followed = false;
    const int interval = info_.video ? intervalFor(request, &follow) : 0;
    std::optional<run::SourceFrame> source;
    if (follow) {
        source = followedFrame(request, interval, keepGoing, positions, followed);
        if (!source) return std::nullopt;
    } else {
        source = frame(request.frame);
    }
    cv::Mat alpha;
    const cv::Mat input = scaled(*source, request.maxSide, &alpha);
    const DrawletPatternCoordinates coordinates = positions.coordinates();
    Rendered out;
    out.exact = input.size() == source->bgr.size();
    out.followed = followed;
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
        drawn = run::renderFrame(host_, input, source->index,
                                 fmt::format("{} frame {}", input_, source->index),
                                 followed ? &coordinates : nullptr);
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
    run::RunSettings given;
    applyRequest(request, &given);
    return run::settingsText(host_, given);
}

run::SettingsJson Session::valuesFor(const run::SettingsJson& settings, const std::string& where,
                                     bool* followMotion) {
    const std::lock_guard<std::recursive_mutex> lock(kit::FilterHost::callLock());
    run::resetToDefaults(host_);
    run::RunSettings given;
    run::applySettings(host_, settings, where, given);
    host_.update();
    if (followMotion != nullptr) *followMotion = given.followMotion;
    return currentValues();
}

}  // namespace drawlet::studio
