// drawlet.so as a frei0r host sees it: parameters, frames, errors, threads, and the same
// frames as the host kit renders through Drawlet.auf.
#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "frei0r/frei0r_mapping.h"
#include "kit/filter_host.h"
#include "kit/parameter_aliases.h"

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
        for (const auto& [alias, value] : values) host.setValue(*host.find(alias), value);
        std::optional<cv::Mat> out = host.processBgr(bgr, frame);
        return out ? *out : cv::Mat();
    }

    // The plug-in's output for the same, as BGR, checking that alpha was kept.
    cv::Mat render(const cv::Mat& bgr, const std::vector<std::pair<std::string, int>>& values,
                   int frame, double framesPerUnit = 25) {
        f0r_instance_t instance =
            plugin->construct(static_cast<unsigned>(bgr.cols), static_cast<unsigned>(bgr.rows));
        EXPECT_NE(instance, nullptr);
        if (instance == nullptr) return {};
        for (const auto& [alias, value] : values) {
            const kit::Parameter& p = parameter(alias);
            double x = p.kind == kit::ParameterKind::Slider
                           ? unitFromSlider(value, p.minimum, p.maximum)
                           : value;
            plugin->setParam(instance, &x, plugin->paramIndex(alias));
        }
        double fpu = framesPerUnit;
        plugin->setParam(instance, &fpu, plugin->paramIndex("frames-per-time-unit"));
        const std::vector<std::uint32_t> in = toRgba(bgr, 11);
        std::vector<std::uint32_t> out(in.size(), 0);
        plugin->update(instance, frame / framesPerUnit, in.data(), out.data());
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

TEST_F(Frei0rPlugin, DescribesThirtyParametersByAliasAndTheTimeUnit) {
    f0r_plugin_info_t info{};
    plugin->pluginInfo(&info);
    EXPECT_STREQ(info.name, "drawlet");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    ASSERT_EQ(info.num_params, 31);
    int doubles = 0, bools = 0;
    for (int i = 0; i < 30; ++i) {
        f0r_param_info_t p{};
        plugin->paramInfo(&p, i);
        EXPECT_EQ(std::string(p.name), kit::parameterAliases()[static_cast<std::size_t>(i)].alias);
        (p.type == F0R_PARAM_DOUBLE ? doubles : bools) += 1;
        EXPECT_NE(std::string(p.explanation).find("default"), std::string::npos) << p.name;
    }
    EXPECT_EQ(doubles, 23);
    EXPECT_EQ(bools, 7);
    f0r_param_info_t last{};
    plugin->paramInfo(&last, 30);
    EXPECT_STREQ(last.name, "frames-per-time-unit");
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
    plugin->destruct(instance);
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

TEST_F(Frei0rPlugin, NullInstanceCopiesTheInput) {
    std::vector<std::uint32_t> in(16, 0x11223344u), out(16, 0);
    plugin->update(nullptr, 0.0, in.data(), out.data());  // must not crash
    f0r_instance_t instance = plugin->construct(4, 4);
    ASSERT_NE(instance, nullptr);
    // A pattern set that does not exist: the module refuses the frame, the input comes out.
    double missingSet = unitFromSlider(9, 0, 10);
    plugin->setParam(instance, &missingSet, plugin->paramIndex("pattern"));
    plugin->update(instance, 0.0, in.data(), out.data());
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

// The Kdenlive description shows every slider with its registered integer range: the value
// shown is the plug-in's [0, 1] value times (max - min) plus min.
TEST_F(Frei0rPlugin, KdenliveDescriptionMatchesTheRegisteredTable) {
    std::ifstream file(DRAWLET_KDENLIVE_XML);
    ASSERT_TRUE(file) << DRAWLET_KDENLIVE_XML;
    std::stringstream text;
    text << file.rdbuf();
    const std::string xml = text.str();
    const std::regex slider(
        R"re(<parameter type="constant" name="([a-z-]+)" default="(-?\d+)" min="(-?\d+)" max="(-?\d+)" factor="(\d+)" offset="(-?\d+)">)re");
    const std::regex check(R"re(<parameter type="bool" name="([a-z-]+)" default="([01])">)re");
    int sliders = 0, checks = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), slider);
         it != std::sregex_iterator(); ++it, ++sliders) {
        const std::smatch& m = *it;
        const kit::Parameter& p = parameter(m[1]);
        SCOPED_TRACE(p.alias);
        EXPECT_EQ(p.kind, kit::ParameterKind::Slider);
        EXPECT_EQ(std::stoi(m[2]), p.defaultValue);
        EXPECT_EQ(std::stoi(m[3]), p.minimum);
        EXPECT_EQ(std::stoi(m[4]), p.maximum);
        EXPECT_EQ(std::stoi(m[5]), p.maximum - p.minimum);
        EXPECT_EQ(std::stoi(m[6]), p.minimum);
    }
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), check);
         it != std::sregex_iterator(); ++it, ++checks) {
        const kit::Parameter& p = parameter((*it)[1]);
        EXPECT_EQ(p.kind, kit::ParameterKind::Check);
        EXPECT_EQ(std::stoi((*it)[2]), p.defaultValue) << p.alias;
    }
    EXPECT_EQ(sliders, 23);
    EXPECT_EQ(checks, 7);
    EXPECT_NE(xml.find("tag=\"frei0r.drawlet\""), std::string::npos);
}

}  // namespace
}  // namespace drawlet
