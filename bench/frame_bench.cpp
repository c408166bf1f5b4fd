// Whole frames through the module's processing callback (YC frame in, YC frame out), each
// setting beside its floor (frame_floor.h), and at one and two threads.
//
//   frame_bench [benchmark options]        Google Benchmark runs; a summary of ratios follows
//   frame_bench --count SETTING PART       one frame or floor (PART frame|floor) at 1080p on
//                                          one thread, for instruction counters (callgrind)
//   --photo=PATH (with either)             the frame is this picture, scaled to cover 1080p
//                                          and cropped at its centre, instead of the demo scene
//
// BM_Interleaved/<setting> alternates one frame and one floor per iteration, so that a busy
// machine slows both alike; BM_Scaling/<setting> alternates three frames on one thread and
// three on two. Their counters are medians over the frames, in milliseconds, with the ratios.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "bench_support.h"
#include "frame_floor.h"
#include "hatching/pattern_bank.h"
#include "interface/parameter_lookup.h"
#include "interface/parameters.h"
#include "kit/demo_scene.h"
#include "kit/filter_host.h"

namespace drawlet::bench {
namespace {

struct Setting {
    const char* name;
    std::vector<std::pair<const char*, int>> tracks;
    std::vector<std::pair<const char*, int>> checks;
};

// The settings of the ratio table: the defaults and one change each.
const std::vector<Setting>& settings() {
    static const std::vector<Setting> all = {
        {"default", {}, {}},
        {"line-type-3", {{track::kLineType, 3}}, {}},
        {"bicubic", {}, {{check::kBicubic, 1}}},
        {"bilinear", {}, {{check::kBilinear, 1}}},
        {"diffusion", {}, {{check::kDiffusion, 1}}},
        {"mask", {}, {{check::kMask, 1}}},
    };
    return all;
}

const Setting* findSetting(const std::string& name) {
    for (const Setting& s : settings())
        if (name == s.name) return &s;
    return nullptr;
}

// The picture given with --photo, or empty for the demo scene.
cv::Mat photo;

// The photo scaled to cover width x height and cropped at its centre, or the demo scene.
cv::Mat sourcePicture(int width, int height) {
    if (photo.empty()) return kit::drawDemoScene(width, height);
    const double scale =
        std::max(static_cast<double>(width) / photo.cols, static_cast<double>(height) / photo.rows);
    cv::Mat scaled;
    cv::resize(photo, scaled,
               cv::Size(std::max(width, cvRound(photo.cols * scale)),
                        std::max(height, cvRound(photo.rows * scale))),
               0, 0, cv::INTER_AREA);
    const cv::Rect centre((scaled.cols - width) / 2, (scaled.rows - height) / 2, width, height);
    return scaled(centre).clone();
}

// A registered filter with the setting's values and the source picture as a host frame.
class FrameRig {
  public:
    FrameRig(const Setting& setting, int height) {
        FilterState& s = filterState();
        for (int i = 0; i < kTrackCount; ++i) s.sliders[i] = s.reg->trackDefaults[i];
        for (int j = 0; j < kCheckCount; ++j) s.checks[j] = s.reg->checkDefaults[j];
        for (const auto& [name, value] : setting.tracks)
            s.sliders[static_cast<std::size_t>(trackIndexByName.at(name))] = value;
        for (const auto& [name, value] : setting.checks)
            s.checks[static_cast<std::size_t>(checkIndexByName.at(name))] = value;
        loadedPatternNo = -100;  // the first frame loads and prepares the patterns for this size
        const int width = widthForHeight(height);
        source_ = kit::toYcFrame(sourcePicture(width, height));
        frame_ = source_;
        request_.frame = frame_.pixels.data();
        request_.width = width;
        request_.height = height;
        request_.rowStride = source_.rowStride;
        resetFrame();
        if (runFrame() != 1) throw std::runtime_error("the frame was refused");
        floor_.prepare();
    }

    // The frame buffer is rewritten in place: every frame starts from the source again.
    void resetFrame() {
        std::memcpy(frame_.pixels.data(), source_.pixels.data(),
                    source_.pixels.size() * sizeof(DrawletPixelYC));
    }
    int runFrame() {
        DrawletRegistration* reg = filterState().reg;
        return reg->process(reg, &request_);
    }
    void runFloor() { floor_.run(); }

  private:
    kit::YcFrame source_, frame_;
    DrawletFrameRequest request_{};
    FrameFloor floor_;
};

constexpr int kHeight = 1080;

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

template <typename F>
double millisecondsOf(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of the calling thread: on one thread, the time a frame takes without the
// time other processes hold the processor.
double threadCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

template <typename F>
double cpuMillisecondsOf(F&& f) {
    const double start = threadCpuMilliseconds();
    f();
    return threadCpuMilliseconds() - start;
}

void BM_Frame(benchmark::State& state, const Setting* setting, int threads) {
    useThreads(threads);
    FrameRig rig(*setting, kHeight);
    for (auto _ : state) {
        state.PauseTiming();
        rig.resetFrame();
        state.ResumeTiming();
        benchmark::DoNotOptimize(rig.runFrame());
    }
}

void BM_Floor(benchmark::State& state, const Setting* setting) {
    useThreads(1);
    FrameRig rig(*setting, kHeight);
    for (auto _ : state) rig.runFloor();
}

void BM_Interleaved(benchmark::State& state, const Setting* setting) {
    useThreads(1);
    FrameRig rig(*setting, kHeight);
    std::vector<double> frame, floor, frameCpu, floorCpu;
    for (auto _ : state) {
        rig.resetFrame();
        frameCpu.push_back(
            cpuMillisecondsOf([&] { frame.push_back(millisecondsOf([&] { rig.runFrame(); })); }));
        floorCpu.push_back(
            cpuMillisecondsOf([&] { floor.push_back(millisecondsOf([&] { rig.runFloor(); })); }));
    }
    state.counters["frame_ms"] = median(frame);
    state.counters["floor_ms"] = median(floor);
    state.counters["ratio"] = median(frame) / median(floor);
    state.counters["cpu_ratio"] = median(frameCpu) / median(floorCpu);
}

void BM_Scaling(benchmark::State& state, const Setting* setting) {
    FrameRig rig(*setting, kHeight);
    std::vector<double> one, two;
    // Changing the thread count restarts OpenCV's pool: each change runs an untimed frame,
    // then a few timed ones, so that both counts are measured with their pool settled.
    constexpr int kTimedPerChange = 3;
    const auto timedAt = [&](int threads, std::vector<double>& times) {
        useThreads(threads);
        rig.resetFrame();
        rig.runFrame();
        for (int i = 0; i < kTimedPerChange; ++i) {
            rig.resetFrame();
            times.push_back(millisecondsOf([&] { rig.runFrame(); }));
        }
    };
    for (auto _ : state) {
        timedAt(1, one);
        timedAt(2, two);
    }
    state.counters["t1_ms"] = median(one);
    state.counters["t2_ms"] = median(two);
    state.counters["speedup"] = median(one) / median(two);
}

void registerAll() {
    for (const Setting& s : settings()) {
        const std::string name = s.name;
        for (int threads : {1, 2})
            benchmark::RegisterBenchmark(
                ("BM_Frame/" + name + "/threads:" + std::to_string(threads)).c_str(), BM_Frame, &s,
                threads)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        benchmark::RegisterBenchmark(("BM_Floor/" + name).c_str(), BM_Floor, &s)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("BM_Interleaved/" + name).c_str(), BM_Interleaved, &s)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(30);
        benchmark::RegisterBenchmark(("BM_Scaling/" + name).c_str(), BM_Scaling, &s)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(15);
    }
}

class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
                for (const auto& [key, counter] : run.counters)
                    counters[run.run_name.function_name][key] = counter.value;
            }
    }
    void summary() const {
        std::printf("\n%-14s %12s %12s %12s %12s %12s\n", "1080p", "frame/floor", "interleaved",
                    "(cpu time)", "1T/2T", "interleaved");
        for (const Setting& s : settings()) {
            const std::string n = s.name;
            const auto ratio = [&](const std::string& a, const std::string& b) {
                const auto x = times.find(a), y = times.find(b);
                return x == times.end() || y == times.end()
                           ? std::string("-")
                           : fmt::format("{:.2f}", x->second / y->second);
            };
            const auto counter = [&](const std::string& bench, const char* key) {
                const auto c = counters.find(bench);
                if (c == counters.end() || !c->second.count(key)) return std::string("-");
                return fmt::format("{:.2f}", c->second.at(key));
            };
            std::printf(
                "%-14s %12s %12s %12s %12s %12s\n", s.name,
                ratio("BM_Frame/" + n + "/threads:1", "BM_Floor/" + n).c_str(),
                counter("BM_Interleaved/" + n, "ratio").c_str(),
                counter("BM_Interleaved/" + n, "cpu_ratio").c_str(),
                ratio("BM_Frame/" + n + "/threads:1", "BM_Frame/" + n + "/threads:2").c_str(),
                counter("BM_Scaling/" + n, "speedup").c_str());
        }
    }

  private:
    std::map<std::string, double> times;
    std::map<std::string, std::map<std::string, double>> counters;
};

// Kept out of line so that an instruction counter can count exactly this call.
[[gnu::noinline]] void measuredFrame(FrameRig& rig) { benchmark::DoNotOptimize(rig.runFrame()); }
[[gnu::noinline]] void measuredFloor(FrameRig& rig) { rig.runFloor(); }

int countOne(const std::string& name, const std::string& part) {
    const Setting* setting = findSetting(name);
    if (setting == nullptr || (part != "frame" && part != "floor")) {
        std::fprintf(stderr, "usage: frame_bench --count SETTING frame|floor; settings:");
        for (const Setting& s : settings()) std::fprintf(stderr, " %s", s.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    useThreads(1);
    FrameRig rig(*setting, kHeight);
    rig.resetFrame();
    rig.runFrame();  // warm: every buffer allocated, every table built once
    rig.runFloor();
    rig.resetFrame();
    if (part == "frame")
        measuredFrame(rig);
    else
        measuredFloor(rig);
    return 0;
}

}  // namespace
}  // namespace drawlet::bench

int main(int argc, char** argv) {
    using namespace drawlet::bench;
    // --photo=PATH is ours: taken out before the benchmark library reads the rest.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--photo=", 8) != 0) {
            argv[kept++] = argv[i];
            continue;
        }
        photo = cv::imread(argv[i] + 8, cv::IMREAD_COLOR);
        if (photo.empty()) {
            std::fprintf(stderr, "frame_bench: cannot read the picture %s\n", argv[i] + 8);
            return 2;
        }
    }
    argc = kept;
    if (argc == 4 && std::strcmp(argv[1], "--count") == 0) return countOne(argv[2], argv[3]);
    registerAll();
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.summary();
    benchmark::Shutdown();
    return 0;
}
