// Pattern files: the input becomes one of the seven files of a set beside a copy of the
// module (which file: the input's length modulo 7, so that plain image files serve as
// seeds), and frames are rendered through the module file as a host renders them.
//
// Beyond the sanitizers, the run fails when a frame contradicts the load: a set that loads
// renders without a message; a set that does not is refused with exactly one message naming
// the file, and stays refused after a scale change, so no frame is ever drawn with another
// set's patterns.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "kit/filter_host.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSetNumber = 1;

struct Fixture {
    fs::path root;
    fs::path setFolder;
    std::vector<std::vector<char>> goodFiles;
    std::unique_ptr<drawlet::kit::FilterHost> host;
    drawlet::kit::YcFrame frame;

    Fixture() {
        std::string pattern = (fs::temp_directory_path() / "drawlet-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root = pattern;
        setFolder = root / "Drawlet" / ("img" + std::to_string(kSetNumber));
        fs::create_directories(setFolder);
        fs::copy_file(DRAWLET_MODULE_PATH, root / "Drawlet.auf");
        for (int i = 0; i < 7; ++i) {
            cv::Mat tile(8 + i, 8, CV_8UC1);
            for (int y = 0; y < tile.rows; ++y)
                for (int x = 0; x < tile.cols; ++x)
                    tile.at<std::uint8_t>(y, x) =
                        static_cast<std::uint8_t>((x + y) % 8 < i ? 40 : 240);
            std::vector<std::uint8_t> bytes;
            if (!cv::imencode(".bmp", tile, bytes)) std::abort();
            goodFiles.emplace_back(bytes.begin(), bytes.end());
            write(i, goodFiles.back().data(), goodFiles.back().size());
        }
        host = std::make_unique<drawlet::kit::FilterHost>((root / "Drawlet.auf").string());
        host->setValue(host->parameter("pattern"), kSetNumber);
        cv::Mat scene(9, 12, CV_8UC3);
        for (int y = 0; y < scene.rows; ++y)
            for (int x = 0; x < scene.cols; ++x)
                scene.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<std::uint8_t>(20 * x),
                                                      static_cast<std::uint8_t>(28 * y), 128);
        frame = drawlet::kit::toYcFrame(scene);
    }
    ~Fixture() {
        host.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    fs::path file(int index) const { return setFolder / ("h" + std::to_string(index) + ".bmp"); }
    void write(int index, const void* data, std::size_t size) const {
        std::ofstream out(file(index), std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) std::abort();
    }
    int render() {
        drawlet::kit::YcFrame copy = frame;
        return host->process(copy, 0);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void fail(const char* what) {
    std::fprintf(stderr, "pattern file fuzzer: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fixture& f = fixture();
    const int index = static_cast<int>(size % 7);
    f.write(index, data, size);
    const drawlet::kit::Parameter& scale = f.host->parameter("pattern-scale");
    f.host->setValue(scale, 100);
    f.host->clearMessages();
    f.host->reregister();  // the next frame loads the set again

    const int first = f.render();
    const auto messages = f.host->messages();
    if (first == 1 && !messages.empty()) fail("a set that rendered showed a message");
    if (first == 0) {
        if (messages.size() != 1) fail("a failed load did not show exactly one message");
        const std::string name =
            "/img" + std::to_string(kSetNumber) + "/h" + std::to_string(index) + ".bmp";
        if (messages[0].text.find(name) == std::string::npos) fail("the message names no file");
    }
    // A shrinking scale prepares the patterns anew: a loaded set still renders, a failed one
    // is still refused, and without a further message.
    f.host->setValue(scale, 37);
    if (f.render() != first) fail("a scale change changed whether the frame renders");
    if (f.host->messages().size() != messages.size()) fail("a message was shown twice");

    f.write(index, f.goodFiles[static_cast<std::size_t>(index)].data(),
            f.goodFiles[static_cast<std::size_t>(index)].size());
    return 0;
}
