// The hatching renderer and the two pixel conversions on real-sized frames, each beside a
// baseline of library calls doing comparable work, measured in the same run.
//
// Hatching arguments: frame height, interpolation (0 nearest, 1 bilinear, 2 bicubic),
// diffusion (0/1), OpenCV threads (1, or 0 for the library's default).
#include <cstring>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "bench_support.h"
#include "hatching/hatching_renderer.h"
#include "hatching/pattern_bank.h"
#include "imaging/mwc_random.h"
#include "imaging/working_images.h"
#include "interface/parameters.h"

namespace drawlet::bench {
namespace {

void setUpHatching(const benchmark::State& state) {
    FilterState& s = filterState();
    const int interpolation = static_cast<int>(state.range(1));
    s.checks[4] = interpolation == 1;                // bilinear
    s.checks[5] = interpolation == 2;                // bicubic
    s.checks[2] = static_cast<int>(state.range(2));  // diffusion
    useThreads(static_cast<int>(state.range(3)));
    const int height = static_cast<int>(state.range(0));
    prepareFrame(widthForHeight(height), height);
}

void BM_Hatching(benchmark::State& state) {
    setUpHatching(state);
    for (auto _ : state) {
        mwcRandom = MwcRandom{0xFFFFFFFFu, 0xFFFFFFFFu};
        renderHatching();
        benchmark::DoNotOptimize(canvasImage.data);
    }
    state.SetItemsProcessed(state.iterations() * srcImage.total());
}

// HSV conversion, one warp of a 256 x 256 pattern over the frame with the same inverse
// matrix and wrapping, and the conversion back.
void BM_HatchingBaseline(benchmark::State& state) {
    setUpHatching(state);
    const int flags[] = {cv::INTER_NEAREST, cv::INTER_LINEAR, cv::INTER_CUBIC};
    cv::Mat pattern;
    cv::resize(patternScaled[3], pattern, cv::Size(256, 256), 0, 0, cv::INTER_AREA);
    const cv::Mat inverse(2, 3, CV_64F, patternInverseAffine);
    cv::Mat hsv, warped;
    for (auto _ : state) {
        cv::cvtColor(srcImage, hsv, cv::COLOR_BGR2HSV);
        cv::warpAffine(pattern, warped, inverse, srcImage.size(),
                       flags[state.range(1)] | cv::WARP_INVERSE_MAP, cv::BORDER_WRAP);
        cv::cvtColor(hsv, canvasImage, cv::COLOR_HSV2BGR);
        benchmark::DoNotOptimize(warped.data);
    }
    state.SetItemsProcessed(state.iterations() * srcImage.total());
}

void hatchingArgs(benchmark::internal::Benchmark* b) {
    for (int height : {720, 1080, 2160})
        for (int interpolation : {0, 1, 2})
            for (int diffusion : {0, 1})
                for (int threads : {1, 0}) b->Args({height, interpolation, diffusion, threads});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Hatching)->Apply(hatchingArgs);
BENCHMARK(BM_HatchingBaseline)->Apply(hatchingArgs);

// Conversions: the host frame into srcImage and canvasImage back, against a copy of the
// host frame buffer.
struct HostFrame {
    int width, height;
    std::vector<DrawletPixelYC> pixels, copy;
    explicit HostFrame(int h) : width(widthForHeight(h)), height(h) {
        pixels.resize(static_cast<std::size_t>(width) * height);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = {static_cast<short>(i % 4097), static_cast<short>(i % 2001 - 1000),
                         static_cast<short>(i % 1501 - 750)};
        copy = pixels;
        releaseWorkingImages();
        createWorkingImages(width, height);
        canvasImage.setTo(cv::Scalar(30, 140, 220));
    }
};

void BM_YcToBgr(benchmark::State& state) {
    HostFrame f(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ycToBgr(f.width, f.pixels.data(), f.width, f.height);
        benchmark::DoNotOptimize(srcImage.data);
    }
    state.SetBytesProcessed(state.iterations() * f.pixels.size() * sizeof(DrawletPixelYC));
}

void BM_BgrToYc(benchmark::State& state) {
    HostFrame f(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        bgrToYc(f.width, f.pixels.data(), f.width, f.height);
        benchmark::DoNotOptimize(f.pixels.data());
    }
    state.SetBytesProcessed(state.iterations() * f.pixels.size() * sizeof(DrawletPixelYC));
}

void BM_FrameCopy(benchmark::State& state) {
    HostFrame f(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::memcpy(f.copy.data(), f.pixels.data(), f.pixels.size() * sizeof(DrawletPixelYC));
        benchmark::DoNotOptimize(f.copy.data());
    }
    state.SetBytesProcessed(state.iterations() * f.pixels.size() * sizeof(DrawletPixelYC));
}

BENCHMARK(BM_YcToBgr)->Arg(720)->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BgrToYc)->Arg(720)->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameCopy)->Arg(720)->Arg(1080)->Arg(2160)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace drawlet::bench

int main(int argc, char** argv) {
    return drawlet::bench::runWithRatios(argc, argv,
                                         {{"BM_Hatching", "BM_HatchingBaseline"},
                                          {"BM_YcToBgr", "BM_FrameCopy"},
                                          {"BM_BgrToYc", "BM_FrameCopy"}});
}
