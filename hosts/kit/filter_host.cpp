#include "kit/filter_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <charconv>
#include <mutex>

#include "imaging/row_bands.h"
#include "imaging/yc_rows.h"
#include "kit/text_encoding.h"

namespace drawlet::kit {

namespace {

std::recursive_mutex& moduleLock() { return FilterHost::callLock(); }

std::string safeText(const char* cp932) {
    if (cp932 == nullptr) return {};
    try {
        return cp932ToUtf8(cp932);
    } catch (const Error&) {
        return cp932;
    }
}

}  // namespace

// Modules keep module-wide state: one call into a module at a time, in the whole process.
std::recursive_mutex& FilterHost::callLock() {
    static std::recursive_mutex lock;
    return lock;
}

YcFrame toYcFrame(const cv::Mat& bgr, int rowStride) {
    CV_Assert(bgr.type() == CV_8UC3);
    YcFrame frame;
    frame.width = bgr.cols;
    frame.height = bgr.rows;
    frame.rowStride = rowStride > bgr.cols ? rowStride : bgr.cols;
    frame.pixels.resize(static_cast<std::size_t>(frame.rowStride) * frame.height);
    forEachRowBand(frame.height, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            DrawletPixelYC* row = frame.row(y);
            bgrRowToYc(bgr.ptr<std::uint8_t>(y), row, frame.width);
            std::fill(row + frame.width, row + frame.rowStride, DrawletPixelYC{0, 0, 0});
        }
    });
    return frame;
}

cv::Mat toBgr(const YcFrame& frame) {
    cv::Mat bgr(frame.height, frame.width, CV_8UC3);
    forEachRowBand(frame.height, [&](int first, int end) {
        for (int y = first; y < end; ++y)
            ycRowToBgr(frame.row(y), bgr.ptr<std::uint8_t>(y), frame.width);
    });
    return bgr;
}

FilterHost::FilterHost(const std::string& modulePath) : modulePath_(modulePath) {
    // A bare file name would make the loader search the library path instead of the folder.
    const std::string openPath =
        modulePath.find('/') == std::string::npos ? "./" + modulePath : modulePath;
    std::lock_guard guard(moduleLock());
    dlerror();
    handle_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        throw Error(modulePath +
                    ": cannot load the filter module: " + (reason ? reason : "unknown reason"));
    }
    getTable_ = reinterpret_cast<DrawletGetFilterTableFn>(dlsym(handle_, "GetFilterTable"));
    if (getTable_ == nullptr) {
        dlclose(handle_);
        throw Error(modulePath + ": not a filter module: it has no GetFilterTable");
    }
    reg_ = getTable_();
    if (reg_ == nullptr || reg_->trackCount < 0 || reg_->checkCount < 0) {
        dlclose(handle_);
        throw Error(modulePath + ": GetFilterTable returned no usable registration record");
    }
    for (int i = 0; i < reg_->trackCount; ++i) {
        parameters_.push_back(describeParameter(
            ParameterKind::Slider, i, safeText(reg_->trackNames[i]), reg_->trackNames[i],
            reg_->trackDefaults[i], reg_->trackMinimums[i], reg_->trackMaximums[i]));
        sliders_.push_back(reg_->trackDefaults[i]);
    }
    for (int j = 0; j < reg_->checkCount; ++j) {
        parameters_.push_back(describeParameter(ParameterKind::Check, j,
                                                safeText(reg_->checkNames[j]), reg_->checkNames[j],
                                                reg_->checkDefaults[j], 0, 1));
        checks_.push_back(reg_->checkDefaults[j]);
    }
    services_.isSaving = &FilterHost::isSavingThunk;
    services_.updateWindow = &FilterHost::updateWindowThunk;
    window_.context = this;
    window_.setTitle = &FilterHost::setTitleThunk;
    window_.messageBox = &FilterHost::messageBoxThunk;
}

FilterHost::~FilterHost() {
    std::lock_guard guard(moduleLock());
    lendRecords();
    if (reg_->exit != nullptr) reg_->exit(reg_);
    dlclose(handle_);
}

std::string FilterHost::displayName() const { return safeText(reg_->name); }
std::string FilterHost::information() const { return safeText(reg_->information); }

const Parameter* FilterHost::find(std::string_view nameOrIndex) const {
    int index = -1;
    const char* end = nameOrIndex.data() + nameOrIndex.size();
    const auto parsed = std::from_chars(nameOrIndex.data(), end, index);
    if (parsed.ec == std::errc() && parsed.ptr == end) {
        for (const Parameter& p : parameters_)
            if (p.kind == ParameterKind::Slider && p.index == index) return &p;
        return nullptr;
    }
    for (const Parameter& p : parameters_)
        if (p.name == nameOrIndex || (!p.alias.empty() && p.alias == nameOrIndex)) return &p;
    return nullptr;
}

const Parameter& FilterHost::parameter(std::string_view nameOrIndex) const {
    if (const Parameter* p = find(nameOrIndex)) return *p;
    throw Error(modulePath_ + ": the filter module has no slider or check box \"" +
                std::string(nameOrIndex) + "\"");
}

int FilterHost::value(const Parameter& p) const {
    return p.kind == ParameterKind::Slider ? sliders_[static_cast<std::size_t>(p.index)]
                                           : checks_[static_cast<std::size_t>(p.index)];
}

void FilterHost::setValue(const Parameter& p, int value) {
    if (value < p.minimum || value > p.maximum)
        throw Error(p.name + " must lie in " + std::to_string(p.minimum) + ".." +
                        std::to_string(p.maximum) + ", not " + std::to_string(value),
                    kExitUsage);
    (p.kind == ParameterKind::Slider ? sliders_ : checks_)[static_cast<std::size_t>(p.index)] =
        value;
}

std::string FilterHost::windowTitle() const {
    std::lock_guard guard(moduleLock());
    return safeText(title_.c_str());
}

std::vector<MessageBoxCall> FilterHost::messages() const {
    std::lock_guard guard(moduleLock());
    return messages_;
}

void FilterHost::clearMessages() {
    std::lock_guard guard(moduleLock());
    messages_.clear();
}

void FilterHost::onMessageBox(std::function<void(const MessageBoxCall&)> handler) {
    std::lock_guard guard(moduleLock());
    messageHandler_ = std::move(handler);
}

void FilterHost::lendRecords() {
    // Two hosts of one module file share its record: each lends its own arrays per call.
    reg_->trackValues = sliders_.data();
    reg_->checkValues = checks_.data();
    reg_->services = &services_;
    reg_->settingsWindow = &window_;
}

int FilterHost::process(YcFrame& frame, int frameNumber,
                        const DrawletPatternCoordinates* coordinates) {
    DrawletFrameRequest request{};
    if (coordinates != nullptr) {
        request.flags |= DRAWLET_REQUEST_PATTERN_COORDINATES;
        request.patternCoordinates = coordinates;
    }
    request.frame = frame.pixels.data();
    request.width = frame.width;
    request.height = frame.height;
    request.rowStride = frame.rowStride;
    request.maxHeight = frame.height;
    request.frameNumber = frameNumber;
    request.editHandle = this;
    std::lock_guard guard(moduleLock());
    lendRecords();
    return reg_->process != nullptr ? reg_->process(reg_, &request) : 0;
}

void FilterHost::reregister() {
    std::lock_guard guard(moduleLock());
    reg_ = getTable_();
}

int FilterHost::update() {
    std::lock_guard guard(moduleLock());
    lendRecords();
    return reg_->update != nullptr ? reg_->update(reg_, 0) : 0;
}

int FilterHost::exit() {
    std::lock_guard guard(moduleLock());
    lendRecords();
    return reg_->exit != nullptr ? reg_->exit(reg_) : 0;
}

std::optional<cv::Mat> FilterHost::processBgr(const cv::Mat& bgr, int frameNumber,
                                              const DrawletPatternCoordinates* coordinates) {
    YcFrame frame = toYcFrame(bgr);
    if (process(frame, frameNumber, coordinates) != 1) return std::nullopt;
    return toBgr(frame);
}

void FilterHost::setTitleThunk(void* context, const char* title) {
    static_cast<FilterHost*>(context)->title_ = title ? title : "";
}

int FilterHost::messageBoxThunk(void* context, const char* text, const char* caption) {
    auto* self = static_cast<FilterHost*>(context);
    MessageBoxCall call{safeText(text), safeText(caption)};
    self->messages_.push_back(call);
    if (self->messageHandler_) self->messageHandler_(call);
    return 1;  // OK
}

int FilterHost::isSavingThunk(void* editHandle) {
    return static_cast<FilterHost*>(editHandle)->saving_ ? 1 : 0;
}

int FilterHost::updateWindowThunk(DrawletRegistration* reg) {
    // The settings window is this host's: find it through the record's window word.
    auto* window = static_cast<DrawletSettingsWindow*>(reg->settingsWindow);
    ++static_cast<FilterHost*>(window->context)->windowUpdates_;
    return 1;
}

}  // namespace drawlet::kit
