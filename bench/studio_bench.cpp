// What the studio does for one move of a control: the settings applied, the frame drawn at
// a preview size (or at full size) and encoded as PNG, on frame 0 of a video. Alternate
// iterations use two values of the line width, as a dragged slider sends them, so that no
// iteration repeats the one before. The page adds the transfer and the browser's decoding.
// Usage: studio_bench VIDEO [benchmark options]   (bench/studio_latency.sh makes a 1080p clip)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "kit/error.h"
#include "run/configured_host.h"
#include "studio/session.h"

namespace {

std::unique_ptr<drawlet::kit::FilterHost> host;
std::unique_ptr<drawlet::studio::Session> session;

// Argument: the preview's longer side; 0 renders the full frame.
void BM_StudioRender(benchmark::State& state) {
    drawlet::studio::RenderRequest request;
    request.maxSide = static_cast<int>(state.range(0));
    request.settings = {{"mode", 4}, {"pattern-scale", 60}};
    session->render(request);  // the frame decoded, the patterns loaded
    int n = 0;
    double filterMs = 0;
    for (auto _ : state) {
        request.settings["line-width"] = 1 + (n++ % 2);
        const drawlet::studio::Rendered drawn = session->render(request).value();
        filterMs += drawn.filterMs;
        benchmark::DoNotOptimize(drawn.image.png.data());
    }
    state.counters["filter_ms"] = filterMs / static_cast<double>(state.iterations());
}

BENCHMARK(BM_StudioRender)
    ->Arg(480)
    ->Arg(960)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s VIDEO [benchmark options]\n", argv[0]);
        return 2;
    }
    try {
        drawlet::run::FilterOptions options;
        options.module = DRAWLET_OUTPUT_DIR "/Drawlet.auf";
        host = std::make_unique<drawlet::kit::FilterHost>(options.module);
        session = std::make_unique<drawlet::studio::Session>(
            argv[1], drawlet::media::ReaderOptions{}, *host);
        const auto& in = session->info();
        std::printf("%s: %dx%d\n", argv[1], in.width, in.height);
    } catch (const drawlet::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    argv[1] = argv[0];
    int rest = argc - 1;
    benchmark::Initialize(&rest, argv + 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session.reset();
    host.reset();
    return 0;
}
