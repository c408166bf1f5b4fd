// drawlet.so: a frei0r filter that runs frames through Drawlet.auf, found beside this file.
//
// The module keeps module-wide state, so it is loaded once per process and every call into
// it is serialised with one lock; each frei0r instance keeps its own values and frame size.
#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <string>
#include <vector>

#include "drawlet_version.h"
#include "frei0r/frei0r_mapping.h"
#include "kit/filter_host.h"

namespace drawlet::frei0r {
namespace {

using kit::FilterHost;
using kit::Parameter;
using kit::ParameterKind;

// The process-wide module and its reference count (f0r_init / f0r_deinit pairs).
struct Module {
    std::mutex lock;  // guards the fields below, not the module calls
    int references = 0;
    std::unique_ptr<FilterHost> host;
    std::string error;  // why the module cannot be used; reported once
    bool errorReported = false;
    // Parameter descriptions, built once from the module's table.
    std::vector<Parameter> parameters;
    std::vector<std::string> names;
    std::vector<std::string> explanations;
};

Module& module() {
    static Module m;
    return m;
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

void reportOnce(Module& m) {
    if (!m.errorReported && !m.error.empty()) {
        std::cerr << "drawlet frei0r: " << m.error << '\n';
        m.errorReported = true;
    }
}

// Loads the module at the first use; a failure is kept so that it is reported once.
FilterHost* loadedHost(Module& m) {
    if (m.host || !m.error.empty()) return m.host.get();
    const std::string path = ownDirectory() + "/Drawlet.auf";
    try {
        m.host = std::make_unique<FilterHost>(path);
        describeParameters(m);
    } catch (const std::exception& e) {
        m.error = e.what();
    }
    return m.host.get();
}

struct Instance {
    unsigned width = 0;
    unsigned height = 0;
    std::mutex lock;  // guards the values against concurrent set/get/update
    // Each slider's and check box's value as the host last set it; unset ones keep the
    // registered default. Read at each frame, so that integer-values applies to values set
    // before it (hosts set parameters in index order).
    std::vector<std::optional<double>> hostValues;
    double framesPerUnit = kDefaultFramesPerUnit;
    double framesInRateClock = 0;
    bool integerValues = false;
    // Frames numbered by call order, for hosts that pass no usable time (see below).
    int untimedFrames = 0;

    // The value a parameter has in the units the host uses now.
    double hostValue(const Parameter& p, std::size_t index) const {
        if (hostValues[index]) return *hostValues[index];
        if (p.kind == ParameterKind::Check || integerValues) return p.defaultValue;
        return unitFromSlider(p.defaultValue, p.minimum, p.maximum);
    }

    // The module's slider and check-box arrays for these values (grown to fit).
    void filterValues(const std::vector<Parameter>& parameters, std::vector<int>& sliders,
                      std::vector<int>& checks) const {
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            const Parameter& p = parameters[i];
            std::vector<int>& values = p.kind == ParameterKind::Check ? checks : sliders;
            const auto at = static_cast<std::size_t>(p.index);
            if (values.size() <= at) values.resize(at + 1);
            const double x = hostValue(p, i);
            if (p.kind == ParameterKind::Check)
                values[at] = checkFromBool(x);
            else if (integerValues)
                values[at] = sliderFromInteger(x, p.minimum, p.maximum);
            else
                values[at] = sliderFromUnit(x, p.minimum, p.maximum);
        }
    }
};

// The frei0r index of the first parameter after the filter's own.
int extraParameter(const Module& m, int offset) {
    return static_cast<int>(m.parameters.size()) + offset;
}

// The size of the frame the module saw last: a new size re-reads the registration so that
// the patterns are prepared for the frame's own centre, as in a fresh render.
int lastWidth = -1;
int lastHeight = -1;

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

}  // namespace
}  // namespace drawlet::frei0r

using namespace drawlet::frei0r;

extern "C" {

int f0r_init(void) {
    Module& m = module();
    std::lock_guard guard(m.lock);
    ++m.references;
    loadedHost(m);
    return 1;
}

void f0r_deinit(void) {
    Module& m = module();
    std::lock_guard guard(m.lock);
    if (m.references > 0 && --m.references == 0) {
        m.host.reset();  // the exit callback, then the module is unloaded
        m.error.clear();
        m.errorReported = false;
        lastWidth = lastHeight = -1;
    }
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    Module& m = module();
    std::lock_guard guard(m.lock);
    loadedHost(m);
    info->name = kPluginName;
    info->author = kPluginAuthor;
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = DRAWLET_VERSION_MAJOR;
    info->minor_version = DRAWLET_VERSION_MINOR;
    info->num_params = static_cast<int>(m.parameters.size()) + kExtraParameterCount;
    info->explanation = kPluginExplanation;
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    Module& m = module();
    std::lock_guard guard(m.lock);
    const int count = static_cast<int>(m.parameters.size());
    if (index >= 0 && index < count) {
        info->name = m.names[static_cast<std::size_t>(index)].c_str();
        info->type = m.parameters[static_cast<std::size_t>(index)].kind == ParameterKind::Slider
                         ? F0R_PARAM_DOUBLE
                         : F0R_PARAM_BOOL;
        info->explanation = m.explanations[static_cast<std::size_t>(index)].c_str();
    } else if (index == extraParameter(m, 0)) {
        info->name = kFramesPerTimeUnitName;
        info->type = F0R_PARAM_DOUBLE;
        info->explanation =
            "frames in one unit of the host's time, giving the frame number the hatching's "
            "randomness depends on (melt: the frame rate, e.g. 25; ffmpeg: rate / 1000, e.g. "
            "0.025); default 25";
    } else if (index == extraParameter(m, 1)) {
        info->name = kRateClockName;
        info->type = F0R_PARAM_DOUBLE;
        info->explanation =
            "MLT hosts: set to the time 0:1001000.0, which MLT passes as the frames it holds at "
            "the project's frame rate; frames are then numbered at that exact rate and "
            "frames-per-time-unit is not used; default 0 (unused)";
    } else if (index == extraParameter(m, 2)) {
        info->name = kIntegerValuesName;
        info->type = F0R_PARAM_BOOL;
        info->explanation =
            "on: sliders take the filter's own integers (mode 1..5, tilt -500..500) instead of "
            "0..1, as editors' descriptions show them; default off";
    }
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    Module& m = module();
    std::lock_guard guard(m.lock);
    FilterHost* host = loadedHost(m);
    if (host == nullptr) {
        reportOnce(m);
        return nullptr;
    }
    auto instance = std::make_unique<Instance>();
    instance->width = width;
    instance->height = height;
    instance->hostValues.resize(m.parameters.size());
    // A first frame shows whether the pattern files can be read.
    {
        std::lock_guard calls(FilterHost::callLock());
        instance->filterValues(m.parameters, host->sliders(), host->checks());
        host->clearMessages();
        host->reregister();
        drawlet::kit::YcFrame probe =
            drawlet::kit::toYcFrame(cv::Mat(1, 1, CV_8UC3, cv::Scalar(128, 128, 128)));
        lastWidth = lastHeight = 1;
        if (host->process(probe, 0) != 1) {
            m.error = refusal(*host, host->messages());
            reportOnce(m);
            m.error.clear();  // a later construct may find the files
            m.errorReported = false;
            return nullptr;
        }
    }
    return instance.release();
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void f0r_set_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    auto* instance = static_cast<Instance*>(handle);
    Module& m = module();
    if (instance == nullptr || param == nullptr) return;
    std::lock_guard guard(instance->lock);
    const double x = *static_cast<const double*>(param);
    const int count = static_cast<int>(m.parameters.size());
    if (index >= 0 && index < count)
        instance->hostValues[static_cast<std::size_t>(index)] = x;
    else if (index == extraParameter(m, 0))
        instance->framesPerUnit = x;
    else if (index == extraParameter(m, 1))
        instance->framesInRateClock = x;
    else if (index == extraParameter(m, 2))
        instance->integerValues = checkFromBool(x) == 1;
}

void f0r_get_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    auto* instance = static_cast<Instance*>(handle);
    Module& m = module();
    if (instance == nullptr || param == nullptr) return;
    std::lock_guard guard(instance->lock);
    double& out = *static_cast<double*>(param);
    const int count = static_cast<int>(m.parameters.size());
    if (index >= 0 && index < count)
        out = instance->hostValue(m.parameters[static_cast<std::size_t>(index)],
                                  static_cast<std::size_t>(index));
    else if (index == extraParameter(m, 0))
        out = instance->framesPerUnit;
    else if (index == extraParameter(m, 1))
        out = instance->framesInRateClock;
    else if (index == extraParameter(m, 2))
        out = instance->integerValues ? 1.0 : 0.0;
}

void f0r_update(f0r_instance_t handle, double time, const std::uint32_t* inframe,
                std::uint32_t* outframe) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr) return;  // nothing to read the frame size from
    const std::size_t pixels = static_cast<std::size_t>(instance->width) * instance->height;
    FilterHost* host = module().host.get();
    if (host == nullptr || inframe == nullptr || outframe == nullptr || pixels == 0) {
        copyFrame(inframe, outframe, pixels);
        return;
    }
    const int width = static_cast<int>(instance->width);
    const int height = static_cast<int>(instance->height);
    // RGBA bytes to BGR, outside the lock.
    cv::Mat rgba(height, width, CV_8UC4, const_cast<std::uint32_t*>(inframe));
    cv::Mat bgr;
    cv::cvtColor(rgba, bgr, cv::COLOR_RGBA2BGR);
    drawlet::kit::YcFrame frame = drawlet::kit::toYcFrame(bgr);

    std::vector<int> sliders, checks;
    int frameNumber = 0;
    {
        std::lock_guard guard(instance->lock);
        instance->filterValues(module().parameters, sliders, checks);
        // Some hosts pass no valid time (ffmpeg 5.1 sends its "no timestamp" value, a huge
        // negative number): the frames are then numbered in the order they arrive, which for
        // such a host, calling once per frame in order, is the frame's index in the stream.
        if (std::isfinite(time) && time >= 0)
            frameNumber = frameNumberForTime(
                time, framesPerTimeUnit(instance->framesPerUnit, instance->framesInRateClock));
        else
            frameNumber = instance->untimedFrames++;
    }
    int result = 0;
    std::vector<drawlet::kit::MessageBoxCall> messages;
    try {
        std::lock_guard calls(FilterHost::callLock());
        host->sliders() = sliders;
        host->checks() = checks;
        if (width != lastWidth || height != lastHeight) {
            host->reregister();
            lastWidth = width;
            lastHeight = height;
        }
        host->clearMessages();
        result = host->process(frame, frameNumber);
        messages = host->messages();
    } catch (const std::exception&) {
        result = 0;
    }
    // The module shows its message box once per failed pattern load, and a frei0r host has
    // no window for it: the message goes to standard error, as at construction.
    if (!messages.empty()) std::cerr << "drawlet frei0r: " + refusal(*host, messages) + "\n";
    if (result != 1) {
        copyFrame(inframe, outframe, pixels);
        return;
    }
    // Back to RGBA, keeping the input's alpha.
    const cv::Mat out = drawlet::kit::toBgr(frame);
    const auto* in = reinterpret_cast<const std::uint8_t*>(inframe);
    auto* dst = reinterpret_cast<std::uint8_t*>(outframe);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = out.ptr<std::uint8_t>(y);
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const std::uint8_t alpha = in[4 * i + 3];
            dst[4 * i + 0] = row[3 * x + 2];
            dst[4 * i + 1] = row[3 * x + 1];
            dst[4 * i + 2] = row[3 * x + 0];
            dst[4 * i + 3] = alpha;
        }
    }
}

}  // extern "C"
