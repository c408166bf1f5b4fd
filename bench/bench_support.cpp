#include "bench_support.h"

#include <fmt/format.h>

#include <opencv2/core/utility.hpp>
#include <vector>

#include "hatching/pattern_bank.h"
#include "host/frame_driver.h"
#include "host/registration.h"
#include "imaging/working_images.h"
#include "kit/demo_scene.h"

namespace drawlet::bench {

FilterState& filterState() {
    static FilterState state = [] {
        FilterState s;
        s.reg = GetFilterTable();
        for (int i = 0; i < 23; ++i) s.sliders[i] = s.reg->trackDefaults[i];
        for (int j = 0; j < 7; ++j) s.checks[j] = s.reg->checkDefaults[j];
        s.reg->trackValues = s.sliders.data();
        s.reg->checkValues = s.checks.data();
        setPatternBaseDirectory(DRAWLET_OUTPUT_DIR);
        return s;
    }();
    return state;
}

int widthForHeight(int height) { return height * 16 / 9; }

void useThreads(int threads) { cv::setNumThreads(threads == 0 ? -1 : threads); }

void prepareFrame(int width, int height) {
    FilterState& s = filterState();
    s.request = DrawletFrameRequest{};
    s.request.width = width;
    s.request.height = height;
    s.request.rowStride = width;
    decodeEffectParams(*s.reg);
    loadedPatternNo = -100;  // load and prepare for this frame size
    updatePatternBank(*s.reg, s.request);
    applyModePreset(s.checks[3] == 1);
    if (patternScaled[0].empty())
        throw std::runtime_error("no pattern set beside " DRAWLET_OUTPUT_DIR);
    releaseWorkingImages();
    createWorkingImages(width, height);
    kit::drawDemoScene(width, height).copyTo(srcImage);
}

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

}  // namespace

int runWithRatios(int argc, char** argv, const std::map<std::string, std::string>& baselines) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios to the baseline measured in the same run (time / baseline time):\n");
    for (const auto& [name, time] : reporter.times) {
        const auto slash = name.find('/');
        const auto base = baselines.find(name.substr(0, slash));
        if (base == baselines.end()) continue;
        const std::string baselineName =
            base->second + (slash == std::string::npos ? "" : name.substr(slash));
        const auto found = reporter.times.find(baselineName);
        if (found == reporter.times.end()) continue;
        std::printf("%s", fmt::format("  {:<60} {:>8.2f}x\n", name, time / found->second).c_str());
    }
    benchmark::Shutdown();
    return 0;
}

}  // namespace drawlet::bench
