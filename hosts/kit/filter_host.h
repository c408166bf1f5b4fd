// A host of the filter interface: loads a module file, keeps its registration record, lends
// it value arrays, host services and a settings window, and runs frames through it.
//
// The module keeps module-wide state, so every call into any module goes through one
// process-wide lock: a FilterHost may be used from several threads.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interface/drawlet_filter.h"
#include "kit/error.h"
#include "kit/parameter_info.h"

namespace drawlet::kit {

// Leaves the pixels of a new frame unset instead of zeroing them: the conversion writes every
// pixel a moment later, and zeroing a 1080p frame first cost a serial millisecond or two.
template <typename T>
struct UnsetPixels : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnsetPixels<U>;
    };
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(p)) U;
        else
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// A frame in the host's pixel form; the row stride (in pixels) may exceed the width.
struct YcFrame {
    int width = 0;
    int height = 0;
    int rowStride = 0;
    std::vector<DrawletPixelYC, UnsetPixels<DrawletPixelYC>> pixels;  // resize leaves them unset

    DrawletPixelYC* row(int y) { return pixels.data() + static_cast<std::size_t>(y) * rowStride; }
    const DrawletPixelYC* row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * rowStride;
    }
};

// 8-bit BGR to YC and back, with the module's own fixed-point arithmetic, so that a frame
// the module leaves unchanged survives the round trip exactly. rowStride 0 means the width.
YcFrame toYcFrame(const cv::Mat& bgr, int rowStride = 0);
cv::Mat toBgr(const YcFrame& frame);

struct MessageBoxCall {
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
};

class FilterHost {
  public:
    // Loads the module and builds its parameters' records; throws drawlet::Error naming the
    // file and the loader's reason.
    explicit FilterHost(const std::string& modulePath);
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    const std::string& modulePath() const { return modulePath_; }
    const DrawletRegistration& registration() const { return *reg_; }
    std::string displayName() const;
    std::string information() const;

    const std::vector<Parameter>& parameters() const { return parameters_; }
    // By UTF-8 display name, English alias, or 0-based index ("3" is slider 3; check boxes
    // are found by name or alias); null when there is none.
    const Parameter* find(std::string_view nameOrIndex) const;
    // The same for a parameter the caller relies on (kit::alias::kMask); throws
    // drawlet::Error naming it and the module when the module has no such parameter.
    const Parameter& parameter(std::string_view nameOrIndex) const;

    int value(const Parameter& p) const;
    // Throws drawlet::Error (a usage error) when the value lies outside the registered range.
    void setValue(const Parameter& p, int value);
    std::vector<int>& sliders() { return sliders_; }
    std::vector<int>& checks() { return checks_; }

    // What the settings window shows and what the module asked it to show.
    std::string windowTitle() const;
    std::vector<MessageBoxCall> messages() const;
    void clearMessages();
    // Called (outside the lock's scope of other hosts, but under it) for every message box.
    void onMessageBox(std::function<void(const MessageBoxCall&)> handler);
    void setSaving(bool saving) { saving_ = saving; }
    int windowUpdates() const { return windowUpdates_; }

    // Asks the module for its registration record again, as a host does when it re-reads
    // its filters: the pattern set is then loaded and prepared anew by the next frame.
    void reregister();

    // The process-wide lock every call into a module takes. Hold it to make a sequence of
    // calls (values set, then a frame) atomic with respect to other threads.
    static std::recursive_mutex& callLock();

    // Callbacks, one at a time across the process. With `coordinates` the request carries
    // them (flag and word 18): the pixels sample the hatching there.
    int process(YcFrame& frame, int frameNumber,
                const DrawletPatternCoordinates* coordinates = nullptr);
    int update();
    int exit();

    // BGR in, BGR out; nullopt when the module left the frame untouched (returned 0).
    std::optional<cv::Mat> processBgr(const cv::Mat& bgr, int frameNumber,
                                      const DrawletPatternCoordinates* coordinates = nullptr);

  private:
    static void setTitleThunk(void* context, const char* title);
    static int messageBoxThunk(void* context, const char* text, const char* caption);
    static int isSavingThunk(void* editHandle);
    static int updateWindowThunk(DrawletRegistration* reg);
    void lendRecords();

    std::string modulePath_;
    void* handle_ = nullptr;
    DrawletGetFilterTableFn getTable_ = nullptr;
    DrawletRegistration* reg_ = nullptr;
    std::vector<Parameter> parameters_;
    std::vector<int> sliders_;
    std::vector<int> checks_;
    DrawletHostServices services_{};
    DrawletSettingsWindow window_{};
    std::string title_;
    std::vector<MessageBoxCall> messages_;
    std::function<void(const MessageBoxCall&)> messageHandler_;
    bool saving_ = false;
    int windowUpdates_ = 0;
};

}  // namespace drawlet::kit
