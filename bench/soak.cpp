// Soak run: many frames with changing sizes and settings, through Drawlet.auf as a host loads
// it or through the frei0r plug-in as a frei0r host loads it; prints the resident memory of
// the process every `every` frames, so that growth shows.
//
//   drawlet_soak module|frei0r [FRAMES] [EVERY] [SEED]     (defaults: 10000 500 1)
//
// Settings are drawn at random within the registered ranges; the pattern set is one of the
// three shipped sets, or in one frame of 20 set 9, which does not exist, so that failed loads
// are part of the run. The size changes every 50 frames, between 1 x 1 and 1280 x 720.
#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <opencv2/core.hpp>
#include <random>
#include <string>
#include <vector>

#include "kit/filter_host.h"

namespace {

constexpr int kFramesPerSize = 50;
const cv::Size kSizes[] = {{1, 1}, {7, 5}, {64, 48}, {321, 241}, {640, 360}, {1280, 720}};

long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

cv::Mat picture(cv::Size size, std::mt19937& random) {
    cv::Mat m(size, CV_8UC3);
    cv::randu(m, 0, 256);
    const int w = size.width, h = size.height;
    m(cv::Rect(w / 4, h / 4, (w + 1) / 2, (h + 1) / 2)).setTo(cv::Scalar(random() % 256, 90, 200));
    return m;
}

constexpr int kMissingSet = 9;

int patternSet(std::mt19937& random) {
    return random() % 20 == 0 ? kMissingSet : static_cast<int>(random() % 3);
}

struct Counts {
    long rendered = 0;
    long refused = 0;
};

void report(int frame, const Counts& counts) {
    std::printf("frames %6d  resident %8ld KB  rendered %6ld  refused %5ld\n", frame, residentKb(),
                counts.rendered, counts.refused);
    std::fflush(stdout);
}

void soakModule(const std::string& dir, int frames, int every, std::mt19937& random) {
    drawlet::kit::FilterHost host(dir + "/Drawlet.auf");
    host.onMessageBox([](const drawlet::kit::MessageBoxCall&) {});
    Counts counts;
    cv::Mat bgr;
    report(0, counts);
    for (int f = 1; f <= frames; ++f) {
        if ((f - 1) % kFramesPerSize == 0) bgr = picture(kSizes[random() % 6], random);
        for (const drawlet::kit::Parameter& p : host.parameters()) {
            const unsigned span = static_cast<unsigned>(p.maximum - p.minimum) + 1;
            host.setValue(p, p.alias == "pattern" ? patternSet(random)
                                                  : p.minimum + static_cast<int>(random() % span));
        }
        host.clearMessages();
        const int stride = bgr.cols + static_cast<int>(random() % 3);
        drawlet::kit::YcFrame frame = drawlet::kit::toYcFrame(bgr, stride);
        (host.process(frame, f) == 1 ? counts.rendered : counts.refused) += 1;
        if (f % every == 0) report(f, counts);
    }
}

struct Frei0r {
    void* handle;
    decltype(&f0r_init) init;
    decltype(&f0r_deinit) deinit;
    decltype(&f0r_get_plugin_info) info;
    decltype(&f0r_get_param_info) paramInfo;
    decltype(&f0r_construct) construct;
    decltype(&f0r_destruct) destruct;
    decltype(&f0r_set_param_value) setParam;
    decltype(&f0r_update) update;

    explicit Frei0r(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW)) {
        if (handle == nullptr) {
            std::fprintf(stderr, "%s\n", dlerror());
            std::exit(1);
        }
        const auto get = [&](const char* name) {
            void* symbol = dlsym(handle, name);
            if (symbol == nullptr) std::exit(1);
            return symbol;
        };
        init = reinterpret_cast<decltype(init)>(get("f0r_init"));
        deinit = reinterpret_cast<decltype(deinit)>(get("f0r_deinit"));
        info = reinterpret_cast<decltype(info)>(get("f0r_get_plugin_info"));
        paramInfo = reinterpret_cast<decltype(paramInfo)>(get("f0r_get_param_info"));
        construct = reinterpret_cast<decltype(construct)>(get("f0r_construct"));
        destruct = reinterpret_cast<decltype(destruct)>(get("f0r_destruct"));
        setParam = reinterpret_cast<decltype(setParam)>(get("f0r_set_param_value"));
        update = reinterpret_cast<decltype(update)>(get("f0r_update"));
    }
    ~Frei0r() { dlclose(handle); }
};

// Through the plug-in: a new instance for every size, as a host does when the size changes.
// Its messages about missing pattern sets go to standard error.
void soakFrei0r(const std::string& dir, int frames, int every, std::mt19937& random) {
    Frei0r plugin(dir + "/drawlet.so");
    plugin.init();
    f0r_plugin_info_t info{};
    plugin.info(&info);
    const int valueCount = info.num_params - 1;  // the last one is the time unit
    int patternIndex = -1;
    for (int i = 0; i < valueCount; ++i) {
        f0r_param_info_t param{};
        plugin.paramInfo(&param, i);
        if (std::string(param.name) == "pattern") patternIndex = i;
    }
    Counts counts;
    f0r_instance_t instance = nullptr;
    std::vector<std::uint32_t> in, out;
    report(0, counts);
    for (int f = 1; f <= frames; ++f) {
        if ((f - 1) % kFramesPerSize == 0) {
            if (instance != nullptr) plugin.destruct(instance);
            const cv::Size size = kSizes[random() % 6];
            instance = plugin.construct(static_cast<unsigned>(size.width),
                                        static_cast<unsigned>(size.height));
            in.resize(static_cast<std::size_t>(size.area()));
            for (std::uint32_t& px : in) px = static_cast<std::uint32_t>(random());
            out.assign(in.size(), 0);
        }
        for (int i = 0; i < valueCount; ++i) {
            // The pattern slider runs from 0 to 10.
            double x = i == patternIndex ? patternSet(random) / 10.0
                                         : std::uniform_real_distribution<double>(0, 1)(random);
            plugin.setParam(instance, &x, i);
        }
        plugin.update(instance, f / 25.0, in.data(), out.data());
        (out != in ? counts.rendered : counts.refused) += 1;
        if (f % every == 0) report(f, counts);
    }
    if (instance != nullptr) plugin.destruct(instance);
    plugin.deinit();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "module" && mode != "frei0r") {
        std::fprintf(stderr, "usage: %s module|frei0r [FRAMES] [EVERY] [SEED]\n", argv[0]);
        return 2;
    }
    const int frames = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int every = argc > 3 ? std::max(1, std::atoi(argv[3])) : 500;
    std::mt19937 random(argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 1u);
    if (mode == "module")
        soakModule(DRAWLET_OUTPUT_DIR, frames, every, random);
    else
        soakFrei0r(DRAWLET_OUTPUT_DIR, frames, every, random);
    return 0;
}
