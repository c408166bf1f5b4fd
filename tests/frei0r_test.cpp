// drawlet.so as a frei0r host sees it: parameters, frames, errors, threads, and the same
// frames as the host kit renders through Drawlet.auf.
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>
extern "C" {
#include <frei0r.h>
}
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "frei0r/frei0r_mapping.h"
#include "kit/filter_host.h"
#include "kit/parameter_info.h"
#include "sanitizers.h"

namespace drawlet {
namespace {

using namespace drawlet::frei0r;

TEST(Frei0rMapping, SlidersRoundToTheNearestInteger) {
    EXPECT_EQ(sliderFromUnit(0.0, 1, 5), 1);
    EXPECT_EQ(sliderFromUnit(1.0, 1, 5), 5);
    EXPECT_EQ(sliderFromUnit(0.5, 1, 5), 3);
    EXPECT_EQ(sliderFromUnit(0.124, 1, 5), 1);  // 1.496 -> 1
    EXPECT_EQ(sliderFromUnit(0.126, 1, 5), 2);  // 1.504 -> 2
    EXPECT_EQ(sliderFromUnit(0.5, -1000, 1000), 0);
    EXPECT_EQ(sliderFromUnit(-3.0, -20, 9), -20);
    EXPECT_EQ(sliderFromUnit(7.0, -20, 9), 9);
    EXPECT_EQ(sliderFromUnit(std::nan(""), 0, 10), 0);
}

TEST(Frei0rMapping, EveryIntegerOfARangeSurvivesTheRoundTrip) {
    for (const auto& [lo, hi] : std::vector<std::pair<int, int>>{
             {1, 5}, {-20, 9}, {0, 65536}, {-1000, 1000}, {0, 10000}, {-360, 360}})
        for (int v = lo; v <= hi; v += std::max(1, (hi - lo) / 997))
            ASSERT_EQ(sliderFromUnit(unitFromSlider(v, lo, hi), lo, hi), v) << lo << ".." << hi;
}

TEST(Frei0rMapping, IntegerValuesRoundAndStayInRange) {
    const struct {
        double x;
        int minimum, maximum, expected;
    } cases[] = {
        {3.0, 1, 5, 3},     {3.49, 1, 5, 3},    {3.5, 1, 5, 4},       {0.0, 1, 5, 1},
        {9.0, 1, 5, 5},     {-2.5, -20, 9, -3}, {-99.0, -20, 9, -20}, {std::nan(""), 0, 10, 0},
        {1e300, 0, 10, 10}, {-1e300, 0, 10, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sliderFromInteger(c.x, c.minimum, c.maximum), c.expected)
            << c.x << " in " << c.minimum << ".." << c.maximum;
}

TEST(Frei0rMapping, RateClockGivesTheProjectsExactRate) {
    // What MLT passes for the clock text at each rate: lrint(rate * 1001000).
    for (const auto& [numerator, denominator] : std::vector<std::pair<int, int>>{
             {24000, 1001}, {25, 1}, {30000, 1001}, {30, 1}, {60000, 1001}, {25, 2}, {50, 1}}) {
        const double rate = static_cast<double>(numerator) / denominator;
        const double clockFrames = std::round(rate * kRateClockSeconds);
        EXPECT_EQ(framesPerTimeUnit(7.0, clockFrames), rate) << numerator << "/" << denominator;
        // Every frame of a ten-hour project comes back from its time.
        for (int frame : {0, 1, 999, 1000, 1001, 215783, 1078920})
            ASSERT_EQ(frameNumberForTime(frame / rate, framesPerTimeUnit(7.0, clockFrames)), frame);
    }
    EXPECT_EQ(framesPerTimeUnit(7.0, 0.0), 7.0);  // unset: frames-per-time-unit
    EXPECT_EQ(framesPerTimeUnit(7.0, std::nan("")), 7.0);
}

TEST(Frei0rMapping, ChecksAndFrames) {
    EXPECT_EQ(checkFromBool(0.0), 0);
    EXPECT_EQ(checkFromBool(0.49), 0);
    EXPECT_EQ(checkFromBool(0.5), 1);
    EXPECT_EQ(checkFromBool(1.0), 1);
    EXPECT_EQ(frameNumberForTime(0.04 * 3, 25), 3);  // 2.9999... in floating point
    EXPECT_EQ(frameNumberForTime(120.0, 0.025), 3);  // milliseconds at 25 frames per second
    EXPECT_EQ(frameNumberForTime(0.0, 25), 0);
    EXPECT_EQ(frameNumberForTime(1e300, 25), 2147483647);
    EXPECT_EQ(frameNumberForTime(std::nan(""), 25), 0);
}

// The plug-in loaded as a frei0r host loads it.
struct Plugin {
    void* handle = nullptr;
    decltype(&f0r_init) init;
    decltype(&f0r_deinit) deinit;
    decltype(&f0r_get_plugin_info) pluginInfo;
    decltype(&f0r_get_param_info) paramInfo;
    decltype(&f0r_construct) construct;
    decltype(&f0r_destruct) destruct;
    decltype(&f0r_set_param_value) setParam;
    decltype(&f0r_get_param_value) getParam;
    decltype(&f0r_update) update;

    explicit Plugin(const char* path) {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        init = reinterpret_cast<decltype(init)>(dlsym(handle, "f0r_init"));
        deinit = reinterpret_cast<decltype(deinit)>(dlsym(handle, "f0r_deinit"));
        pluginInfo = reinterpret_cast<decltype(pluginInfo)>(dlsym(handle, "f0r_get_plugin_info"));
        paramInfo = reinterpret_cast<decltype(paramInfo)>(dlsym(handle, "f0r_get_param_info"));
        construct = reinterpret_cast<decltype(construct)>(dlsym(handle, "f0r_construct"));
        destruct = reinterpret_cast<decltype(destruct)>(dlsym(handle, "f0r_destruct"));
        setParam = reinterpret_cast<decltype(setParam)>(dlsym(handle, "f0r_set_param_value"));
        getParam = reinterpret_cast<decltype(getParam)>(dlsym(handle, "f0r_get_param_value"));
        update = reinterpret_cast<decltype(update)>(dlsym(handle, "f0r_update"));
    }
    ~Plugin() {
        if (handle) dlclose(handle);
    }
    int paramIndex(const std::string& name) {
        f0r_plugin_info_t info{};
        pluginInfo(&info);
        for (int i = 0; i < info.num_params; ++i) {
            f0r_param_info_t p{};
            paramInfo(&p, i);
            if (name == p.name) return i;
        }
        return -1;
    }
};

cv::Mat testScene(int w, int h, int seed) {
    cv::Mat m(h, w, CV_8UC3);
    cv::RNG rng(static_cast<std::uint64_t>(seed));
    rng.fill(m, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(m, m, cv::Size(9, 9), 0);
    cv::circle(m, {w / 2, h / 2}, std::min(w, h) / 3, cv::Scalar(30, 200, 90), cv::FILLED);
    return m;
}

std::vector<std::uint32_t> toRgba(const cv::Mat& bgr, std::uint8_t alphaSeed) {
    cv::Mat rgba;
    cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
    for (int i = 0; i < rgba.rows * rgba.cols; ++i)
        rgba.data[4 * i + 3] = static_cast<std::uint8_t>(alphaSeed + 7 * i);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(rgba.total()));
    std::memcpy(out.data(), rgba.data, out.size() * 4);
    return out;
}

class Frei0rPlugin : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        plugin = new Plugin(DRAWLET_FREI0R_PATH);
        ASSERT_NE(plugin->handle, nullptr) << dlerror();
        ASSERT_EQ(plugin->init(), 1);
        // The parameter table, read once: a host kit of its own in this process would call
        // into the module outside the plug-in's lock, so none may exist while frames run.
        kit::FilterHost host(DRAWLET_MODULE_PATH);
        table = new std::vector<kit::Parameter>(host.parameters());
    }
    static void TearDownTestSuite() {
        plugin->deinit();
        delete plugin;
        delete table;
    }

    static const kit::Parameter& parameter(const std::string& alias) {
        for (const kit::Parameter& p : *table)
            if (p.alias == alias) return p;
        throw std::out_of_range(alias);
    }

    // What the host kit renders through Drawlet.auf for the same picture and values.
    cv::Mat reference(const cv::Mat& bgr, const std::vector<std::pair<std::string, int>>& values,
                      int frame) {
        kit::FilterHost host(DRAWLET_MODULE_PATH);
        host.reregister();
        for (const auto& [alias, value] : values) host.setValue(host.parameter(alias), value);
        std::optional<cv::Mat> out = host.processBgr(bgr, frame);
        return out ? *out : cv::Mat();
    }

    // How a host drives the plug-in: the values' units, its clock and the time it passes.
    struct HostSetup {
        bool integerValues = false;
        double framesPerUnit = 25;
        double framesInRateClock = 0;
        double time = -1;  // below 0: the frame number over framesPerUnit
    };

    // The plug-in's output for the same, as BGR, checking that alpha was kept.
    cv::Mat render(const cv::Mat& bgr, const std::vector<std::pair<std::string, int>>& values,
                   int frame, double framesPerUnit = 25) {
        HostSetup setup;
        setup.framesPerUnit = framesPerUnit;
        return render(bgr,
                      std::vector<std::pair<std::string, double>>(values.begin(), values.end()),
                      frame, setup);
    }

    cv::Mat render(const cv::Mat& bgr, const std::vector<std::pair<std::string, double>>& values,
                   int frame, const HostSetup& setup) {
        f0r_instance_t instance =
            plugin->construct(static_cast<unsigned>(bgr.cols), static_cast<unsigned>(bgr.rows));
        EXPECT_NE(instance, nullptr);
        if (instance == nullptr) return {};
        for (const auto& [alias, value] : values) {
            const kit::Parameter& p = parameter(alias);
            double x = p.kind == kit::ParameterKind::Slider && !setup.integerValues
                           ? unitFromSlider(static_cast<int>(value), p.minimum, p.maximum)
                           : value;
            plugin->setParam(instance, &x, plugin->paramIndex(alias));
        }
        // Set after the values, as MLT does (it sets parameters in index order).
        double integerValues = setup.integerValues ? 1.0 : 0.0;
        plugin->setParam(instance, &integerValues, plugin->paramIndex(kIntegerValuesName));
        double fpu = setup.framesPerUnit;
        plugin->setParam(instance, &fpu, plugin->paramIndex(kFramesPerTimeUnitName));
        double clock = setup.framesInRateClock;
        plugin->setParam(instance, &clock, plugin->paramIndex(kRateClockName));
        const std::vector<std::uint32_t> in = toRgba(bgr, 11);
        std::vector<std::uint32_t> out(in.size(), 0);
        const double time = setup.time >= 0 ? setup.time : frame / setup.framesPerUnit;
        plugin->update(instance, time, in.data(), out.data());
        plugin->destruct(instance);
        cv::Mat rgba(bgr.rows, bgr.cols, CV_8UC4, out.data());
        for (std::size_t i = 0; i < in.size(); ++i)
            EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(out.data())[4 * i + 3],
                      reinterpret_cast<const std::uint8_t*>(in.data())[4 * i + 3]);
        cv::Mat result;
        cv::cvtColor(rgba, result, cv::COLOR_RGBA2BGR);
        return result;
    }

    static Plugin* plugin;
    static std::vector<kit::Parameter>* table;
};

Plugin* Frei0rPlugin::plugin = nullptr;
std::vector<kit::Parameter>* Frei0rPlugin::table = nullptr;

// ffmpeg builds a filter graph per file, the editors one per preview: each loads and unloads
// the plug-in, and with it the module. PATH takes the module's folder once.
TEST(Frei0rLoading, AnyNumberOfLoadsLeavePathAsTheFirstLeftIt) {
    std::string afterFirst;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        {
            Plugin plugin(DRAWLET_FREI0R_PATH);
            ASSERT_NE(plugin.handle, nullptr) << dlerror();
            ASSERT_EQ(plugin.init(), 1);
            plugin.deinit();
        }
        const char* path = std::getenv("PATH");
        ASSERT_NE(path, nullptr);
        if (cycle == 0) afterFirst = path;
        ASSERT_EQ(path, afterFirst) << "after " << cycle + 1 << " loads";
    }
}

TEST_F(Frei0rPlugin, DescribesThirtyParametersByAliasAndTheHostSettings) {
    f0r_plugin_info_t info{};
    plugin->pluginInfo(&info);
    EXPECT_STREQ(info.name, "drawlet");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    ASSERT_EQ(info.num_params, 34);
    int doubles = 0, bools = 0;
    for (int i = 0; i < 30; ++i) {
        f0r_param_info_t p{};
        plugin->paramInfo(&p, i);
        EXPECT_EQ(std::string(p.name), kit::parameterTable()[static_cast<std::size_t>(i)].alias);
        (p.type == F0R_PARAM_DOUBLE ? doubles : bools) += 1;
        EXPECT_NE(std::string(p.explanation).find("default"), std::string::npos) << p.name;
    }
    EXPECT_EQ(doubles, 23);
    EXPECT_EQ(bools, 7);
    const struct {
        const char* name;
        int type;
    } extras[] = {{kFramesPerTimeUnitName, F0R_PARAM_DOUBLE},
                  {kRateClockName, F0R_PARAM_DOUBLE},
                  {kIntegerValuesName, F0R_PARAM_BOOL},
                  {kFollowMotionName, F0R_PARAM_BOOL}};
    for (int i = 0; i < 4; ++i) {
        f0r_param_info_t p{};
        plugin->paramInfo(&p, 30 + i);
        EXPECT_STREQ(p.name, extras[i].name);
        EXPECT_EQ(p.type, extras[i].type);
    }
}

TEST_F(Frei0rPlugin, DefaultsAreTheRegisteredDefaults) {
    f0r_instance_t instance = plugin->construct(32, 24);
    ASSERT_NE(instance, nullptr);
    for (int i = 0; i < 30; ++i) {
        const kit::Parameter& p = (*table)[static_cast<std::size_t>(i)];
        double x = -1;
        plugin->getParam(instance, &x, i);
        const int value = p.kind == kit::ParameterKind::Slider
                              ? sliderFromUnit(x, p.minimum, p.maximum)
                              : checkFromBool(x);
        EXPECT_EQ(value, p.defaultValue) << p.alias;
    }
    // With integer-values on, an unset slider reads back as its registered default itself.
    double on = 1;
    plugin->setParam(instance, &on, plugin->paramIndex(kIntegerValuesName));
    for (int i = 0; i < 30; ++i) {
        double x = -1;
        plugin->getParam(instance, &x, i);
        EXPECT_EQ(x, (*table)[static_cast<std::size_t>(i)].defaultValue) << i;
    }
    plugin->destruct(instance);
}

// Editors' descriptions send the filter's own integers (integer-values on), keyframes
// interpolated between them; parameters they leave unset keep the registered defaults.
TEST_F(Frei0rPlugin, IntegerValuesGiveTheSameFramesAsUnitValues) {
    const cv::Mat scene = testScene(48, 40, 6);
    HostSetup integers;
    integers.integerValues = true;
    const struct {
        std::vector<std::pair<std::string, double>> sent;
        std::vector<std::pair<std::string, int>> meant;
    } cases[] = {
        {{{"mode", 3}, {"line-density", 150}}, {{"mode", 3}, {"line-density", 150}}},
        {{{"mode", 4.6}, {"tilt", -250.4}, {"diffusion", 1}},
         {{"mode", 5}, {"tilt", -250}, {"diffusion", 1}}},
        {{{"line-step", 1}, {"tone-curve", -20}, {"pattern-angle", 360}},
         {{"line-step", 1}, {"tone-curve", -20}, {"pattern-angle", 360}}},
        {{{"mask", 1}, {"line-type", 2}}, {{"mask", 1}, {"line-type", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.meant.front().first);
        const cv::Mat expected = reference(scene, c.meant, 4);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(cv::norm(render(scene, c.sent, 4, integers), expected, cv::NORM_INF), 0);
    }
}

// The frame number comes from the host's time and clock: MLT passes position / rate, and
// with the rate clock filled in, frames-per-time-unit no longer matters.
TEST_F(Frei0rPlugin, FrameNumbersFollowTheHostsClock) {
    const cv::Mat scene = testScene(40, 32, 7);
    const double ntsc = 30000.0 / 1001;
    const struct {
        double framesPerUnit, framesInRateClock, time;
        int frame;
    } cases[] = {
        {25, 0, 7 / 25.0, 7},
        {0.025, 0, 280, 7},                                             // milliseconds
        {25, std::round(ntsc * kRateClockSeconds), 1000 / ntsc, 1000},  // 29.97 project
        {25, std::round(ntsc * kRateClockSeconds), 1001 / ntsc, 1001},
        {1, 50 * kRateClockSeconds, 4321 / 50.0, 4321},  // 50 fps, frames-per-time-unit ignored
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        const cv::Mat expected = reference(scene, {}, c.frame);
        // The jitter differs from frame to frame, so a wrong number would show.
        ASSERT_NE(cv::norm(expected, reference(scene, {}, c.frame - 1), cv::NORM_INF), 0);
        HostSetup setup;
        setup.framesPerUnit = c.framesPerUnit;
        setup.framesInRateClock = c.framesInRateClock;
        setup.time = c.time;
        EXPECT_EQ(cv::norm(render(scene, {}, c.frame, setup), expected, cv::NORM_INF), 0);
    }
}

TEST_F(Frei0rPlugin, FramesEqualTheHostKitsForTheSameFrameNumber) {
    const cv::Mat scene = testScene(64, 48, 1);
    const std::vector<std::pair<std::string, int>> settings[] = {
        {},
        {{"mode", 3}, {"line-density", 150}},
        {{"mode", 5}, {"diffusion", 1}, {"bicubic", 1}},
        {{"mask", 1}, {"line-type", 3}}};
    for (const auto& values : settings)
        for (int frame : {0, 7}) {
            SCOPED_TRACE(frame);
            const cv::Mat expected = reference(scene, values, frame);
            ASSERT_FALSE(expected.empty());
            const cv::Mat got = render(scene, values, frame);
            ASSERT_EQ(got.size(), expected.size());
            EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0);
        }
    // The time unit: 280 ms at 0.025 frames per millisecond is frame 7.
    EXPECT_EQ(cv::norm(render(scene, {}, 7, 0.025), reference(scene, {}, 7), cv::NORM_INF), 0);
}

// One instance following the motion, fed the frames of a pan at the times of `frames` (25 a
// second): the drawn frames, in the order sent.
std::vector<cv::Mat> followedRun(Plugin& plugin, const std::vector<int>& frames, int interval) {
    const cv::Mat world = testScene(320, 240, 9);
    f0r_instance_t instance = plugin.construct(96, 64);
    EXPECT_NE(instance, nullptr);
    if (instance == nullptr) return {};
    double on = 1, value = interval;
    plugin.setParam(instance, &value, plugin.paramIndex(kit::alias::kUpdateInterval));
    plugin.setParam(instance, &on, plugin.paramIndex(kIntegerValuesName));
    plugin.setParam(instance, &on, plugin.paramIndex(kFollowMotionName));
    std::vector<cv::Mat> drawn;
    for (const int n : frames) {
        const std::vector<std::uint32_t> in =
            toRgba(world(cv::Rect(60 + 2 * n, 40 + n, 96, 64)).clone(), 0);
        std::vector<std::uint32_t> out(in.size());
        plugin.update(instance, n / 25.0, in.data(), out.data());
        cv::Mat bgr;
        cv::cvtColor(cv::Mat(64, 96, CV_8UC4, out.data()), bgr, cv::COLOR_RGBA2BGR);
        drawn.push_back(bgr);
    }
    plugin.destruct(instance);
    return drawn;
}

// Each instance follows the motion of its own frames. A jump in time (a seek, a step back)
// starts anew as a tick does, so that from the next tick on the frames are a sequential
// run's; the same frame again keeps its positions.
TEST_F(Frei0rPlugin, FollowingTheMotionAcrossSeeks) {
    constexpr int kInterval = 4;
    std::vector<int> all(10);
    for (int n = 0; n < 10; ++n) all[static_cast<std::size_t>(n)] = n;
    const std::vector<cv::Mat> sequential = followedRun(*plugin, all, kInterval);
    ASSERT_EQ(sequential.size(), all.size());
    const cv::Mat world = testScene(320, 240, 9);
    const auto plain = [&](int n) {
        return reference(world(cv::Rect(60 + 2 * n, 40 + n, 96, 64)).clone(),
                         {{kit::alias::kUpdateInterval, kInterval}}, n);
    };
    const auto same = [](const cv::Mat& a, const cv::Mat& b) {
        return cv::norm(a, b, cv::NORM_INF) == 0;
    };
    ASSERT_FALSE(same(sequential[6], plain(6)));  // followed, unlike the plain render
    const struct {
        const char* what;
        std::vector<int> frames;
        const char* expected;  // per frame sent: s the sequential run's, p the plain render's
    } cases[] = {
        {"seek forward", {0, 1, 2, 6, 7, 8, 9}, "sssp.ss"},
        {"step back", {0, 1, 2, 3, 2, 3, 4, 5}, "ssssp.ss"},
        {"the same frame again", {0, 1, 2, 2, 3}, "sssss"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<cv::Mat> got = followedRun(*plugin, c.frames, kInterval);
        ASSERT_EQ(got.size(), c.frames.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            const int n = c.frames[i];
            if (c.expected[i] == 's') {
                EXPECT_TRUE(same(got[i], sequential[static_cast<std::size_t>(n)])) << i;
            } else if (c.expected[i] == 'p') {
                EXPECT_TRUE(same(got[i], plain(n))) << i;
            }
        }
    }
}

TEST_F(Frei0rPlugin, NullInstanceWritesNothingAndARefusedFrameCopiesTheInput) {
    std::vector<std::uint32_t> in(16, 0x11223344u), out(16, 0);
    plugin->update(nullptr, 0.0, in.data(), out.data());  // must not crash
    EXPECT_EQ(out, std::vector<std::uint32_t>(16, 0));
    f0r_instance_t instance = plugin->construct(4, 4);
    ASSERT_NE(instance, nullptr);
    // A pattern set that does not exist: the module refuses the frame, the input comes out.
    double missingSet = unitFromSlider(9, 0, 10);
    plugin->setParam(instance, &missingSet, plugin->paramIndex("pattern"));
    plugin->update(instance, 0.0, in.data(), out.data());
    EXPECT_EQ(in, out);
    plugin->destruct(instance);
}

// Frames of more pixels than the filter takes are refused at construction, with one message
// however often a host asks, before anything is allocated for them.
TEST_F(Frei0rPlugin, RefusesFramesTooLargeToDrawWithOneMessage) {
    const struct {
        unsigned width, height;
        bool taken;
    } cases[] = {
        {100000, 100000, false}, {65536, 65536, false},  // 2^32 pixels: zero in 32-bit arithmetic
        {16384, 16385, false},   {16384, 16384, true},  {100000, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        testing::internal::CaptureStderr();
        for (int attempt = 0; attempt < 2; ++attempt) {
            f0r_instance_t instance = plugin->construct(c.width, c.height);
            EXPECT_EQ(instance != nullptr, c.taken);
            if (instance != nullptr) plugin->destruct(instance);
        }
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string said = "drawlet frei0r: " + std::to_string(c.width) + "x" +
                                 std::to_string(c.height) + " frames are larger than";
        const auto first = err.find(said);
        EXPECT_EQ(first != std::string::npos, !c.taken) << err;
        if (first != std::string::npos) {
            EXPECT_EQ(err.find(said, first + 1), std::string::npos);
        }
    }
}

using drawlet::test::kSanitized;

// A frame through the plug-in once the address space is used up, leaving room for a few small
// allocations and none for the frame's own 12 MB pictures: 0 when the input came out as it
// went in.
int frameWithoutMemory(Plugin& plugin) {
    constexpr unsigned kSide = 2048;
    std::vector<std::uint32_t> in(kSide * kSide), out(in.size(), 0);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint32_t>(i * 2654435761u);
    f0r_instance_t instance = plugin.construct(kSide, kSide);
    if (instance == nullptr) return 2;
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (4 << 20);
    const rlimit space{limit, limit};
    if (setrlimit(RLIMIT_AS, &space) != 0) return 3;
    plugin.update(instance, 0.0, in.data(), out.data());
    return out == in ? 0 : 1;
}

// Whatever fails inside a frame (here the pictures it needs) is reported and the frame passes
// through unchanged: the host keeps going.
TEST_F(Frei0rPlugin, AFailureInsideAFramePassesItThrough) {
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' allocators stop the process when memory runs out";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(frameWithoutMemory(*plugin)), testing::ExitedWithCode(0),
                "drawlet frei0r: the frame: not enough memory for 2048x2048");
}

// A pattern set chosen after construction that cannot be loaded: the frames come out as they
// went in, and the module's message reaches standard error once for every failed load.
TEST_F(Frei0rPlugin, EveryFailedPatternLoadIsReportedOnce) {
    f0r_instance_t instance = plugin->construct(4, 4);
    ASSERT_NE(instance, nullptr);
    const int index = plugin->paramIndex("pattern");
    double missingSet = unitFromSlider(9, 0, 10), firstSet = unitFromSlider(0, 0, 10);
    const std::vector<std::uint32_t> in = toRgba(testScene(4, 4, 6), 0);
    std::vector<std::uint32_t> out(in.size());
    const auto frames = [&](int count) {
        testing::internal::CaptureStderr();
        for (int frame = 0; frame < count; ++frame)
            plugin->update(instance, frame / 25.0, in.data(), out.data());
        return testing::internal::GetCapturedStderr();
    };
    // The plug-in's own lines (the image library may write warnings of its own).
    const auto reports = [](const std::string& text) {
        std::vector<std::string> found;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("drawlet frei0r: ", 0) == 0) found.push_back(line);
        return found;
    };

    plugin->setParam(instance, &missingSet, index);
    std::vector<std::string> lines = reports(frames(3));
    EXPECT_EQ(in, out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("drawlet frei0r: cannot render through ", 0), 0u) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("/img9/h0.bmp の読み込みに失敗しました")) << lines[0];

    // Back to a set that loads: frames render, silently; then the missing set fails again.
    plugin->setParam(instance, &firstSet, index);
    EXPECT_TRUE(reports(frames(2)).empty());
    EXPECT_NE(in, out);
    plugin->setParam(instance, &missingSet, index);
    EXPECT_EQ(reports(frames(2)), lines);
    EXPECT_EQ(in, out);
    plugin->destruct(instance);
}

// Several instances with their own settings and sizes, driven from several threads at once
// while every frame itself runs on several of OpenCV's threads: each output equals what the
// instance gives alone on one thread.
TEST_F(Frei0rPlugin, ConcurrentInstancesGiveTheSingleThreadedFrames) {
    struct Job {
        cv::Mat scene;
        std::vector<std::pair<std::string, int>> values;
        cv::Mat expected;
    };
    std::vector<Job> jobs = {
        {testScene(160, 96, 2), {{"mode", 1}}, {}},
        {testScene(120, 130, 3), {{"mode", 3}, {"bilinear", 1}}, {}},
        {testScene(200, 48, 4), {{"mode", 5}, {"diffusion", 1}}, {}},
        {testScene(97, 61, 5), {{"mask", 1}, {"line-type", 3}}, {}},
    };
    cv::setNumThreads(1);
    for (Job& job : jobs) job.expected = render(job.scene, job.values, 3);
    cv::setNumThreads(3);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 6; ++round) {
                Job& job = jobs[static_cast<std::size_t>((t + round) % 4)];
                if (cv::norm(render(job.scene, job.values, 3), job.expected, cv::NORM_INF) != 0)
                    ++mismatches;
            }
        });
    for (std::thread& th : threads) th.join();
    cv::setNumThreads(-1);
    EXPECT_EQ(mismatches.load(), 0);
}

// The Kdenlive description speaks to the plug-in: every parameter it names is one the plug-in
// declares, of a matching type; its defaults are the registered ones in the filter's own
// units (it switches integer-values on) and its lists offer exactly the named choices.
TEST_F(Frei0rPlugin, KdenliveDescriptionNamesThePluginsParameters) {
    std::ifstream file(DRAWLET_KDENLIVE_XML);
    ASSERT_TRUE(file) << DRAWLET_KDENLIVE_XML;
    std::stringstream text;
    text << file.rdbuf();
    const std::string xml = text.str();
    const std::regex element(R"re(<parameter type="(\w+)" name="([a-z0-9-]+)"([^>]*)>)re");
    const std::regex attribute(R"re(\b(default|value|min|max|paramlist)="([^"]*)")re");
    int described = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element);
         it != std::sregex_iterator(); ++it, ++described) {
        const std::string type = (*it)[1], name = (*it)[2], rest = (*it)[3];
        SCOPED_TRACE(name);
        std::map<std::string, std::string> attributes;
        for (auto a = std::sregex_iterator(rest.begin(), rest.end(), attribute);
             a != std::sregex_iterator(); ++a)
            attributes[(*a)[1]] = (*a)[2];
        const int index = plugin->paramIndex(name);
        ASSERT_GE(index, 0) << "not a parameter of the plug-in";
        f0r_param_info_t info{};
        plugin->paramInfo(&info, index);
        if (type == "fixed") {
            EXPECT_TRUE(name == kIntegerValuesName || name == kRateClockName);
            EXPECT_EQ(attributes["value"], name == kIntegerValuesName ? "1" : kRateClockValue);
            continue;
        }
        if (name == kFollowMotionName) {
            EXPECT_EQ(type, "bool");
            EXPECT_EQ(info.type, F0R_PARAM_BOOL);
            EXPECT_EQ(attributes["default"], "0");
            continue;
        }
        const kit::Parameter& p = parameter(name);
        EXPECT_EQ(std::stoi(attributes["default"]), p.defaultValue);
        if (type == "bool") {
            EXPECT_EQ(info.type, F0R_PARAM_BOOL);
        } else if (type == "list") {
            ASSERT_FALSE(p.choices.empty());
            std::string expected;
            for (const kit::Choice& c : p.choices)
                expected += (expected.empty() ? "" : ";") + std::to_string(c.value);
            EXPECT_EQ(attributes["paramlist"], expected);
        } else {
            EXPECT_EQ(type, "animated");
            EXPECT_EQ(info.type, F0R_PARAM_DOUBLE);
            EXPECT_EQ(std::stoi(attributes["min"]), p.minimum);
            EXPECT_EQ(std::stoi(attributes["max"]), p.maximum);
        }
    }
    EXPECT_EQ(described, 33);  // 30, the two fixed settings and follow-motion
    EXPECT_NE(xml.find("tag=\"frei0r.drawlet\""), std::string::npos);
}

}  // namespace
}  // namespace drawlet
