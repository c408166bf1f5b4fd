// The line drawer on real-sized frames of the demo scene, beside a baseline of the library
// calls alone: HSV conversion, five threshold passes with their contours, and one line for
// every fifth point of every contour of 25 points or more.
//
// Arguments: frame height, line type (0, 1, 3), noise (0 contour strokes, 15 colour-edge
// strokes), OpenCV threads (1, or 0 for the library's default).
#include <opencv2/imgproc.hpp>

#include "bench_support.h"
#include "host/frame_driver.h"
#include "imaging/working_images.h"
#include "lines/lines.h"

namespace drawlet::bench {
namespace {

void setUpLines(const benchmark::State& state) {
    FilterState& s = filterState();
    s.sliders[20] = static_cast<int>(state.range(1));  // LineType
    s.sliders[5] = static_cast<int>(state.range(2));   // Noise
    useThreads(static_cast<int>(state.range(3)));
    const int height = static_cast<int>(state.range(0));
    prepareFrame(widthForHeight(height), height);
    canvasImage.setTo(cv::Scalar::all(255));
}

void BM_DrawLines(benchmark::State& state) {
    setUpLines(state);
    for (auto _ : state) {
        drawLines();
        benchmark::DoNotOptimize(canvasImage.data);
    }
    state.SetItemsProcessed(state.iterations() * srcImage.total());
}

void BM_DrawLinesBaseline(benchmark::State& state) {
    setUpLines(state);
    cv::Mat hsv, value, map;
    std::vector<std::vector<cv::Point>> contours;
    for (auto _ : state) {
        cv::cvtColor(srcImage, hsv, cv::COLOR_BGR2HSV);
        cv::extractChannel(hsv, value, 2);
        for (int level : {20, 74, 128, 182, 236}) {
            cv::threshold(value, map, level, 255, cv::THRESH_BINARY);
            cv::findContours(map, contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE);
            for (const auto& contour : contours) {
                if (contour.size() < 25) continue;
                for (std::size_t k = 0; k < contour.size(); k += 5)
                    cv::line(canvasImage, contour[k], contour[(k + 5) % contour.size()],
                             cv::Scalar(0, 0, 0), 1, cv::LINE_AA);
            }
        }
        benchmark::DoNotOptimize(canvasImage.data);
    }
    state.SetItemsProcessed(state.iterations() * srcImage.total());
}

void lineArgs(benchmark::internal::Benchmark* b) {
    for (int height : {720, 1080, 2160})
        for (int type : {0, 1, 3})
            for (int noise : {0, 15})
                for (int threads : {1, 0}) b->Args({height, type, noise, threads});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_DrawLines)->Apply(lineArgs);
BENCHMARK(BM_DrawLinesBaseline)->Apply(lineArgs);

}  // namespace
}  // namespace drawlet::bench

int main(int argc, char** argv) {
    return drawlet::bench::runWithRatios(argc, argv, {{"BM_DrawLines", "BM_DrawLinesBaseline"}});
}
