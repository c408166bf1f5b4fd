// Settings and frames: the input chooses every slider and check box (any 32-bit value), a
// frame of up to 64 x 64 pixels with padded rows, its number and its pixels (any int16
// values), and the frame runs through the processing callback.
//
// Beyond the sanitizers, the run fails when the callback writes outside the frame's pixels
// (into the row padding or a guard area around the buffer), changes a frame it refused,
// refuses a frame although its pattern set exists, or renders one input twice differently.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "hatching/pattern_bank.h"
#include "host/frame_driver.h"
#include "host/registration.h"
#include "interface/parameters.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMaxSide = 64;
constexpr int kMaxPadding = 15;
constexpr int kGuardPixels = 64;
constexpr DrawletPixelYC kSentinel = {0x6B6B, -0x1C1C, 0x3E3E};
constexpr int kSetCount = 3;  // sets 0 to 2 exist, of different pattern sizes

struct PatternFolder {
    fs::path root;
    PatternFolder() {
        std::string pattern = (fs::temp_directory_path() / "drawlet-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root = pattern;
        const cv::Size sizes[kSetCount] = {{16, 16}, {5, 3}, {1, 1}};
        for (int set = 0; set < kSetCount; ++set) {
            const fs::path folder =
                root / "Drawlet" / (set == 0 ? std::string("img") : "img" + std::to_string(set));
            fs::create_directories(folder);
            for (int i = 0; i < 7; ++i) {
                cv::Mat tile(sizes[set], CV_8UC1);
                for (int y = 0; y < tile.rows; ++y)
                    for (int x = 0; x < tile.cols; ++x)
                        tile.at<std::uint8_t>(y, x) = static_cast<std::uint8_t>(
                            (3 * x + y) % 7 < i ? 30 + 9 * set : 250 - 5 * i);
                if (!cv::imwrite((folder / ("h" + std::to_string(i) + ".bmp")).string(), tile))
                    std::abort();
            }
        }
    }
    ~PatternFolder() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

struct Host {
    PatternFolder patterns;
    std::vector<int> sliders = std::vector<int>(drawlet::kTrackCount);
    std::vector<int> checks = std::vector<int>(drawlet::kCheckCount);
    DrawletHostServices services{};
    DrawletSettingsWindow window{};
    DrawletRegistration* reg = nullptr;

    Host() {
        services.isSaving = [](void*) { return 0; };
        services.updateWindow = [](DrawletRegistration*) { return 1; };
        window.setTitle = [](void*, const char*) {};
        window.messageBox = [](void*, const char*, const char*) { return 1; };
    }
    // A fresh start for every input, so that a finding reproduces from its input alone.
    void reset() {
        reg = GetFilterTable();
        drawlet::setPatternBaseDirectory(patterns.root.c_str());
        drawlet::EffectParams = drawlet::EffectParameters{};
        reg->trackValues = sliders.data();
        reg->checkValues = checks.data();
        reg->services = &services;
        reg->settingsWindow = &window;
    }
};

Host& host() {
    static Host h;
    return h;
}

// A slider value: the default, one in range, one at or next to an end, or any int.
int sliderValue(FuzzedDataProvider& in, const drawlet::TrackSpec& track) {
    const int kind = in.ConsumeIntegralInRange(0, 3);
    const int raw = in.ConsumeIntegral<int>();
    const long long span = static_cast<long long>(track.maximum) - track.minimum + 1;
    const int edges[] = {INT_MIN,       INT_MIN + 1,   track.minimum - 1,
                         track.minimum, track.maximum, track.maximum + 1,
                         INT_MAX};
    switch (kind) {
        case 0:
            return track.defaultValue;
        case 1:
            return static_cast<int>(track.minimum + (static_cast<long long>(raw) - INT_MIN) % span);
        case 2:
            return edges[static_cast<unsigned>(raw) % 7];
        default:
            return raw;
    }
}

// A check state: 0, 1, 2 or any int.
int checkValue(FuzzedDataProvider& in) {
    const int kind = in.ConsumeIntegralInRange(0, 3);
    const int raw = in.ConsumeIntegral<int>();
    return kind < 3 ? kind : raw;
}

bool samePixel(const DrawletPixelYC& a, const DrawletPixelYC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

void fail(const char* what) {
    std::fprintf(stderr, "settings and frames fuzzer: %s\n", what);
    std::abort();
}

struct Frame {
    int width, height, stride;
    std::vector<DrawletPixelYC> buffer;  // guard, rows, guard
    DrawletPixelYC* pixels() { return buffer.data() + kGuardPixels; }
    bool inside(std::size_t i) const {
        if (i < kGuardPixels) return false;
        const std::size_t k = i - kGuardPixels;
        return k < static_cast<std::size_t>(stride) * height &&
               static_cast<int>(k % static_cast<std::size_t>(stride)) < width;
    }
};

int run(Host& h, Frame& frame, int frameNumber) {
    h.reset();
    DrawletFrameRequest request{};
    request.frame = frame.pixels();
    request.width = frame.width;
    request.height = frame.height;
    request.rowStride = frame.stride;
    request.maxHeight = frame.height;
    request.frameNumber = frameNumber;
    return h.reg->process(h.reg, &request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Host& h = host();
    FuzzedDataProvider in(data, size);
    for (int i = 0; i < drawlet::kTrackCount; ++i)
        h.sliders[static_cast<std::size_t>(i)] =
            sliderValue(in, drawlet::TrackTable[static_cast<std::size_t>(i)]);
    for (int& state : h.checks) state = checkValue(in);
    Frame frame{};
    frame.width = in.ConsumeIntegralInRange(1, kMaxSide);
    frame.height = in.ConsumeIntegralInRange(1, kMaxSide);
    frame.stride = frame.width + in.ConsumeIntegralInRange(0, kMaxPadding);
    const int frameNumber = in.ConsumeIntegral<int>();
    frame.buffer.assign(static_cast<std::size_t>(frame.stride) * frame.height + 2 * kGuardPixels,
                        kSentinel);
    const std::vector<std::uint8_t> pixelBytes = in.ConsumeRemainingBytes<std::uint8_t>();
    for (std::size_t i = 0, b = 0; i < frame.buffer.size() && !pixelBytes.empty(); ++i) {
        if (!frame.inside(i)) continue;
        std::int16_t v[3];
        for (std::int16_t& c : v) {
            c = static_cast<std::int16_t>(pixelBytes[b % pixelBytes.size()] |
                                          pixelBytes[(b + 1) % pixelBytes.size()] << 8);
            b += 2;
        }
        frame.buffer[i] = {v[0], v[1], v[2]};
    }

    const Frame original = frame;
    const int result = run(h, frame, frameNumber);
    if (result != 0 && result != 1) fail("the callback returned neither 0 nor 1");
    for (std::size_t i = 0; i < frame.buffer.size(); ++i)
        if ((result == 0 || !frame.inside(i)) && !samePixel(frame.buffer[i], original.buffer[i]))
            fail(result == 0 ? "a refused frame was changed" : "a write outside the frame");
    const int patternNo = h.sliders[static_cast<std::size_t>(
        drawlet::trackIndexByName.at(drawlet::track::kPatternNo))];
    if (patternNo >= 0 && patternNo < kSetCount && result != 1)
        fail("a frame with a pattern set that loads was refused");

    Frame again = original;
    if (run(h, again, frameNumber) != result) fail("the same input gave another result");
    for (std::size_t i = 0; i < frame.buffer.size(); ++i)
        if (!samePixel(frame.buffer[i], again.buffer[i])) fail("the same input gave other bytes");
    return 0;
}
