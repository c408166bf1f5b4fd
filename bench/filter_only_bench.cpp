// The filter alone on the frames of a video: every frame decoded into memory first, then
// run through Drawlet.auf by the host kit, as `drawlet render` does, without the I/O.
// Usage: filter_only_bench VIDEO [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "kit/error.h"
#include "kit/filter_host.h"
#include "media/reader.h"

namespace {

std::vector<cv::Mat>* frames = nullptr;

void BM_FilterAlone(benchmark::State& state) {
    drawlet::kit::FilterHost host(DRAWLET_OUTPUT_DIR "/Drawlet.auf");
    for (auto _ : state) {
        for (std::size_t n = 0; n < frames->size(); ++n) {
            auto out = host.processBgr((*frames)[n], static_cast<int>(n));
            benchmark::DoNotOptimize(out);
        }
    }
    state.counters["fps"] = benchmark::Counter(
        static_cast<double>(state.iterations() * frames->size()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_FilterAlone)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s VIDEO [benchmark options]\n", argv[0]);
        return 2;
    }
    const std::string video = argv[1];
    try {
        drawlet::media::VideoReader reader(video);
        std::vector<drawlet::media::PacketPtr> audio;
        frames = new std::vector<cv::Mat>();
        while (auto frame = reader.next(audio)) {
            frames->push_back(frame->bgr);
            audio.clear();
        }
    } catch (const drawlet::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("%zu frames decoded into memory\n", frames->size());
    argv[1] = argv[0];
    int rest = argc - 1;
    benchmark::Initialize(&rest, argv + 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete frames;
    return 0;
}
