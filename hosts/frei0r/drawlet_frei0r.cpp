// drawlet.so: a frei0r filter that runs frames through Drawlet.auf, found beside this file.
//
// The module keeps module-wide state, so it is loaded once per process. One lock, the host
// kit's call lock, guards it and everything the instances share; each frei0r instance keeps
// its own values and frame size under a lock of its own. No exception leaves an entry point:
// each reports what went wrong once on standard error and answers as a failed call does (a
// frame passes through unchanged, a construction gives no instance).
#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "drawlet_version.h"
#include "frei0r/frei0r_mapping.h"
#include "kit/filter_host.h"
#include "kit/memory.h"
#include "run/motion.h"
#include "run/run_settings.h"

namespace drawlet::frei0r {
namespace {

using kit::FilterHost;
using kit::Parameter;
using kit::ParameterKind;

constexpr char kReportPrefix[] = "drawlet frei0r: ";

// The largest frame taken, 16384 x 16384 pixels: every picture made from it holds fewer than
// 2^31 values (four 8-bit channels at most), inside OpenCV's int arithmetic, and a host's
// mistaken size is refused at once instead of asking for tens of gigabytes frame by frame.
constexpr std::uint64_t kMaxFramePixels = std::uint64_t{1} << 28;

// The process-wide module and what every instance shares, all guarded by sharedLock().
struct Module {
    int references = 0;  // f0r_init / f0r_deinit pairs
    std::unique_ptr<FilterHost> host;
    std::string loadError;  // why the module cannot be used
    // Parameter descriptions, built once from the module's records.
    std::vector<Parameter> parameters;
    std::vector<std::string> names;
    std::vector<std::string> explanations;
    std::set<std::string> reported;  // messages already written to standard error
    // The size of the frame the module saw last: a new size re-reads the registration so
    // that the patterns are prepared for the frame's own centre, as in a fresh render.
    int lastWidth = -1;
    int lastHeight = -1;
};

Module& module() {
    static Module m;
    return m;
}

std::recursive_mutex& sharedLock() { return FilterHost::callLock(); }

// Writes `message` on standard error, once for each load of the plug-in.
void reportOnce(const std::string& message) {
    try {
        std::lock_guard guard(sharedLock());
        if (module().reported.insert(message).second) std::cerr << kReportPrefix << message << '\n';
    } catch (...) {
        std::cerr << kReportPrefix << message << '\n';
    }
}

// Runs an entry point's work; whatever it throws is reported once, and `failed` gives the
// entry point's answer instead.
template <typename Work, typename Failed>
auto guarded(Work work, Failed failed) noexcept {
    try {
        return work();
    } catch (const std::exception& e) {
        reportOnce(e.what());
    } catch (...) {
        reportOnce("an unknown failure");
    }
    return failed();
}

std::string ownDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownDirectory), &info) == 0 || info.dli_fname == nullptr)
        return ".";
    // Plug-in folders are often symlinks: find the real file's folder.
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return ".";
    return std::filesystem::path(resolved).parent_path().string();
}

void describeParameters(Module& m) {
    m.parameters = m.host->parameters();
    m.names.clear();
    m.explanations.clear();
    for (const Parameter& p : m.parameters) {
        m.names.push_back(p.key());
        std::string text = p.name + ": " + p.description;
        const std::string unit = p.unit.empty() ? "" : " " + p.unit;
        if (p.kind == ParameterKind::Slider)
            text += " (" + std::to_string(p.minimum) + ".." + std::to_string(p.maximum) + unit +
                    ", default " + std::to_string(p.defaultValue) + ")";
        else
            text += std::string(" (default ") + (p.defaultValue ? "on" : "off") + ")";
        m.explanations.push_back(text);
    }
}

// Loads the module at the first use; a failure is kept, to be reported at construction.
FilterHost* loadedHost(Module& m) {
    if (m.host || !m.loadError.empty()) return m.host.get();
    try {
        m.host = std::make_unique<FilterHost>(ownDirectory() + "/Drawlet.auf");
        describeParameters(m);
    } catch (const std::exception& e) {
        m.host.reset();
        m.loadError = e.what();
    }
    return m.host.get();
}

// Whether the code at `caller`, an entry point's return address, is FFmpeg's filter library:
// its frei0r filter passes each frame's time in milliseconds (pts * time base * 1000) and
// calls once per frame, in order.
bool isLibavfilter(const void* caller) {
    Dl_info site{};
    if (dladdr(caller, &site) == 0 || site.dli_fname == nullptr) return false;
    void* object = dlopen(site.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (object == nullptr) return false;
    // The library that defines the symbol, not one that only links it.
    void* version = dlsym(object, "avfilter_version");
    Dl_info owner{};
    const bool same =
        version != nullptr && dladdr(version, &owner) != 0 && owner.dli_fbase == site.dli_fbase;
    dlclose(object);
    return same;
}

// The settings the plug-in adds after the filter's own parameters.
struct HostSettings {
    double framesPerUnit = kDefaultFramesPerUnit;
    double framesInRateClock = 0;
    double integerValues = 0;  // 0 or 1
    double followMotion = 0;   // 0 or 1
};
static_assert(std::string_view(kFollowMotionName) == run::follow_motion::kKey);

struct ExtraParameter {
    const char* name;
    int type;
    double HostSettings::*value;
    const char* explanation;
};

// In the order the plug-in declares them, after the filter's own parameters.
constexpr ExtraParameter kExtraParameters[] = {
    {kFramesPerTimeUnitName, F0R_PARAM_DOUBLE, &HostSettings::framesPerUnit,
     "frames in one unit of the host's time, giving the frame number the hatching's "
     "randomness depends on (melt: the frame rate, e.g. 25; not used in ffmpeg, whose frames "
     "are numbered as they arrive); default 25"},
    {kRateClockName, F0R_PARAM_DOUBLE, &HostSettings::framesInRateClock,
     "MLT hosts: set to the time 0:1001000.0, which MLT passes as the frames it holds at the "
     "project's frame rate; frames are then numbered at that exact rate and "
     "frames-per-time-unit is not used; default 0 (unused)"},
    {kIntegerValuesName, F0R_PARAM_BOOL, &HostSettings::integerValues,
     "on: sliders take the filter's own integers (mode 1..5, tilt -500..500) instead of 0..1, "
     "as editors' descriptions show them; default off"},
    {kFollowMotionName, F0R_PARAM_BOOL, &HostSettings::followMotion,
     "on: between two changes of the jitter the hatching moves with the picture instead of "
     "staying on the screen; a jump in time (a seek, a step back) starts anew, as a change of "
     "the jitter does; default off"},
};
static_assert(std::size(kExtraParameters) == kExtraParameterCount);

// The extra parameter at frei0r index `index`, given the filter's own count; null for none.
const ExtraParameter* extraParameter(int index, std::size_t filterCount) {
    const long long at = static_cast<long long>(index) - static_cast<long long>(filterCount);
    if (at < 0 || at >= static_cast<long long>(std::size(kExtraParameters))) return nullptr;
    return &kExtraParameters[at];
}

struct Instance {
    Instance(unsigned w, unsigned h, std::vector<Parameter> filterParameters)
        : width(w), height(h), parameters(std::move(filterParameters)) {
        hostValues.resize(parameters.size());
    }

    const unsigned width;
    const unsigned height;
    const std::vector<Parameter> parameters;  // the module's, as at construction
    std::mutex lock;  // guards the members below against concurrent set, get and update
    // Each slider's and check box's value as the host last set it; unset ones keep the
    // registered default. Read at each frame, so that integer-values applies to values set
    // before it (hosts set parameters in index order).
    std::vector<std::optional<double>> hostValues;
    HostSettings settings;
    std::optional<bool> arrivalOrder;  // decided at the first frame, by its caller
    int arrivals = 0;                  // frames numbered so far in arrival order

    // Following the motion, under its own lock, held from the positions to the frame drawn.
    std::mutex followLock;
    run::MotionFollower follower;
    run::FollowedFrame positions;
    DrawletPatternCoordinates coordinates{};
    std::optional<int> lastFollowed;  // the frame number the positions are for; none on a tick

    std::size_t pixels() const { return static_cast<std::size_t>(width) * height; }
    bool integerValues() const { return checkFromBool(settings.integerValues) == 1; }
    bool followMotion() const { return checkFromBool(settings.followMotion) == 1; }

    // The update interval in the module's slider array filled by filterValues.
    int updateInterval(const std::vector<int>& sliders) const {
        for (const Parameter& p : parameters)
            if (p.alias == kit::alias::kUpdateInterval)
                return sliders.at(static_cast<std::size_t>(p.index));
        return 0;
    }

    // The value a parameter has in the units the host uses now.
    double hostValue(std::size_t index) const {
        const Parameter& p = parameters[index];
        if (hostValues[index]) return *hostValues[index];
        if (p.kind == ParameterKind::Check || integerValues()) return p.defaultValue;
        return unitFromSlider(p.defaultValue, p.minimum, p.maximum);
    }

    void set(int index, double x) {
        if (index >= 0 && static_cast<std::size_t>(index) < parameters.size())
            hostValues[static_cast<std::size_t>(index)] = x;
        else if (const ExtraParameter* extra = extraParameter(index, parameters.size()))
            settings.*extra->value = extra->type == F0R_PARAM_BOOL ? checkFromBool(x) : x;
    }

    std::optional<double> get(int index) const {
        if (index >= 0 && static_cast<std::size_t>(index) < parameters.size())
            return hostValue(static_cast<std::size_t>(index));
        if (const ExtraParameter* extra = extraParameter(index, parameters.size()))
            return settings.*extra->value;
        return std::nullopt;
    }

    // The module's slider and check-box arrays for these values (grown to fit).
    void filterValues(std::vector<int>& sliders, std::vector<int>& checks) const {
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            const Parameter& p = parameters[i];
            std::vector<int>& values = p.kind == ParameterKind::Check ? checks : sliders;
            const auto at = static_cast<std::size_t>(p.index);
            if (values.size() <= at) values.resize(at + 1);
            const double x = hostValue(i);
            if (p.kind == ParameterKind::Check)
                values[at] = checkFromBool(x);
            else if (integerValues())
                values[at] = sliderFromInteger(x, p.minimum, p.maximum);
            else
                values[at] = sliderFromUnit(x, p.minimum, p.maximum);
        }
    }

    // The number the module gets for a frame at the host's `time`, as drawlet render numbers
    // the frames of a stream. ffmpeg (known by the caller) calls once per frame in order,
    // so its frames, and those of hosts that pass no usable time, are numbered as they
    // arrive; other hosts' times are converted with the host settings.
    int frameNumber(double time, const void* caller) {
        if (!arrivalOrder) arrivalOrder = isLibavfilter(caller);
        if (*arrivalOrder || !std::isfinite(time) || time < 0)
            return arrivals < INT_MAX ? arrivals++ : arrivals;
        return frameNumberForTime(
            time, framesPerTimeUnit(settings.framesPerUnit, settings.framesInRateClock));
    }
};

// Why a frame was refused, from the message box the module showed (if it showed one).
std::string refusal(const FilterHost& host, const std::vector<kit::MessageBoxCall>& messages) {
    return "cannot render through " + host.modulePath() +
           (messages.empty() ? std::string(": the frame was refused")
                             : ": " + messages.front().text);
}

void copyFrame(const std::uint32_t* in, std::uint32_t* out, std::size_t pixels) {
    if (in != nullptr && out != nullptr && in != out)
        std::memcpy(out, in, pixels * sizeof(std::uint32_t));
}

// A new instance after a first frame through the module, which shows whether the pattern
// files can be read; null (and a report) when the module cannot draw frames of this size.
Instance* construct(unsigned width, unsigned height) {
    Module& m = module();
    std::lock_guard guard(sharedLock());
    if (static_cast<std::uint64_t>(width) * height > kMaxFramePixels) {
        reportOnce(std::to_string(width) + "x" + std::to_string(height) +
                   " frames are larger than the filter takes (" + std::to_string(kMaxFramePixels) +
                   " pixels at most)");
        return nullptr;
    }
    FilterHost* host = loadedHost(m);
    if (host == nullptr) {
        reportOnce(m.loadError);
        return nullptr;
    }
    auto instance = std::make_unique<Instance>(width, height, m.parameters);
    instance->filterValues(host->sliders(), host->checks());
    host->clearMessages();
    host->reregister();
    kit::YcFrame probe = kit::toYcFrame(cv::Mat(1, 1, CV_8UC3, cv::Scalar(128, 128, 128)));
    m.lastWidth = m.lastHeight = 1;
    if (host->process(probe, 0) != 1) {
        reportOnce(refusal(*host, host->messages()));
        return nullptr;
    }
    return instance.release();
}

// Where the frame samples the hatching when the instance follows the motion (the caller
// holds its followLock); null on a tick. The same frame number again (an editor drawing a
// paused frame anew) keeps its positions.
const DrawletPatternCoordinates* followedPositions(Instance& instance, const cv::Mat& bgr,
                                                   int frameNumber, int updateInterval) {
    if (instance.lastFollowed == frameNumber) return &instance.coordinates;
    instance.lastFollowed.reset();
    if (!instance.follower.advance(bgr, frameNumber, updateInterval, instance.positions))
        return nullptr;
    instance.coordinates = instance.positions.coordinates();
    instance.lastFollowed = frameNumber;
    return &instance.coordinates;
}

// Runs the frame through the module with these values; false when it refused the frame.
bool processed(kit::YcFrame& frame, int frameNumber, std::vector<int>& sliders,
               std::vector<int>& checks, const DrawletPatternCoordinates* coordinates) {
    Module& m = module();
    std::lock_guard guard(sharedLock());
    if (!m.host) return false;
    FilterHost& host = *m.host;
    host.sliders() = std::move(sliders);
    host.checks() = std::move(checks);
    if (frame.width != m.lastWidth || frame.height != m.lastHeight) {
        host.reregister();
        m.lastWidth = frame.width;
        m.lastHeight = frame.height;
    }
    host.clearMessages();
    const int result = host.process(frame, frameNumber, coordinates);
    // The module shows its message box once per failed pattern load, and a frei0r host has
    // no window for it: the message goes to standard error, every time.
    if (const auto messages = host.messages(); !messages.empty())
        std::cerr << kReportPrefix << refusal(host, messages) << '\n';
    return result == 1;
}

void update(Instance& instance, double time, const void* caller, const std::uint32_t* inframe,
            std::uint32_t* outframe) {
    const int width = static_cast<int>(instance.width);
    const int height = static_cast<int>(instance.height);
    // RGBA bytes to the module's pixels, outside the shared lock.
    cv::Mat bgr;
    cv::cvtColor(cv::Mat(height, width, CV_8UC4, const_cast<std::uint32_t*>(inframe)), bgr,
                 cv::COLOR_RGBA2BGR);
    kit::YcFrame frame = kit::toYcFrame(bgr);
    std::vector<int> sliders, checks;
    int frameNumber = 0;
    bool follow = false;
    {
        std::lock_guard guard(instance.lock);
        instance.filterValues(sliders, checks);
        frameNumber = instance.frameNumber(time, caller);
        follow = instance.followMotion();
    }
    std::unique_lock following(instance.followLock, std::defer_lock);
    const DrawletPatternCoordinates* coordinates = nullptr;
    if (follow) {
        following.lock();
        coordinates =
            followedPositions(instance, bgr, frameNumber, instance.updateInterval(sliders));
        if (coordinates != nullptr) frame = kit::toYcFrame(instance.positions.picture);
    }
    if (!processed(frame, frameNumber, sliders, checks, coordinates)) {
        copyFrame(inframe, outframe, instance.pixels());
        return;
    }
    // Back to RGBA, keeping the input's alpha.
    const cv::Mat drawn = kit::toBgr(frame);
    const auto* in = reinterpret_cast<const std::uint8_t*>(inframe);
    auto* out = reinterpret_cast<std::uint8_t*>(outframe);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = drawn.ptr<std::uint8_t>(y);
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            out[4 * i + 0] = row[3 * x + 2];
            out[4 * i + 1] = row[3 * x + 1];
            out[4 * i + 2] = row[3 * x + 0];
            out[4 * i + 3] = in[4 * i + 3];
        }
    }
}

}  // namespace
}  // namespace drawlet::frei0r

using namespace drawlet::frei0r;

extern "C" {

int f0r_init(void) {
    return guarded(
        [] {
            std::lock_guard guard(sharedLock());
            ++module().references;
            loadedHost(module());
            return 1;
        },
        [] { return 0; });
}

void f0r_deinit(void) {
    guarded(
        [] {
            Module& m = module();
            std::lock_guard guard(sharedLock());
            if (m.references > 0 && --m.references == 0) {
                m.host.reset();  // the exit callback, then the module is unloaded
                m.loadError.clear();
                m.reported.clear();
                m.lastWidth = m.lastHeight = -1;
            }
        },
        [] {});
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (info == nullptr) return;
    info->name = kPluginName;
    info->author = kPluginAuthor;
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = DRAWLET_VERSION_MAJOR;
    info->minor_version = DRAWLET_VERSION_MINOR;
    info->num_params = kExtraParameterCount;
    info->explanation = kPluginExplanation;
    guarded(
        [info] {
            std::lock_guard guard(sharedLock());
            loadedHost(module());
            info->num_params += static_cast<int>(module().parameters.size());
        },
        [] {});
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (info == nullptr) return;
    guarded(
        [info, index] {
            const Module& m = module();
            std::lock_guard guard(sharedLock());
            if (index >= 0 && static_cast<std::size_t>(index) < m.parameters.size()) {
                const auto at = static_cast<std::size_t>(index);
                info->name = m.names[at].c_str();
                info->type = m.parameters[at].kind == ParameterKind::Slider ? F0R_PARAM_DOUBLE
                                                                            : F0R_PARAM_BOOL;
                info->explanation = m.explanations[at].c_str();
            } else if (const ExtraParameter* extra = extraParameter(index, m.parameters.size())) {
                info->name = extra->name;
                info->type = extra->type;
                info->explanation = extra->explanation;
            }
        },
        [] {});
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    return guarded([=]() -> f0r_instance_t { return construct(width, height); },
                   []() -> f0r_instance_t { return nullptr; });
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void f0r_set_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || param == nullptr) return;
    guarded(
        [=] {
            std::lock_guard guard(instance->lock);
            instance->set(index, *static_cast<const double*>(param));
        },
        [] {});
}

void f0r_get_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || param == nullptr) return;
    guarded(
        [=] {
            std::lock_guard guard(instance->lock);
            if (const std::optional<double> x = instance->get(index))
                *static_cast<double*>(param) = *x;
        },
        [] {});
}

void f0r_update(f0r_instance_t handle, double time, const std::uint32_t* inframe,
                std::uint32_t* outframe) {
    const void* caller = __builtin_return_address(0);
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || inframe == nullptr || outframe == nullptr) return;
    if (instance->pixels() == 0) return;
    guarded(
        [=] {
            drawlet::kit::sayingWhenOutOfMemory(
                "the frame", instance->width, instance->height,
                [=] { update(*instance, time, caller, inframe, outframe); });
        },
        [=] { copyFrame(inframe, outframe, instance->pixels()); });
}

}  // extern "C"
