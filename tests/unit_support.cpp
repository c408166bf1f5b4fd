#include "unit_support.h"

#include <stdlib.h>

#include <opencv2/imgcodecs.hpp>

#include "hatching/pattern_bank.h"
#include "host/registration.h"
#include "host/update_exit.h"
#include "kit/filter_host.h"
#include "kit/text_encoding.h"

namespace drawlet::test {

namespace fs = std::filesystem;

RecordingWindow::RecordingWindow() {
    window.context = this;
    window.setTitle = [](void* context, const char* text) {
        static_cast<RecordingWindow*>(context)->title = text;
    };
    window.messageBox = [](void* context, const char* text, const char* boxCaption) {
        auto* self = static_cast<RecordingWindow*>(context);
        self->messages.push_back(text);
        self->captions.push_back(boxCaption);
        return 1;
    };
}

void writePatternSet(const fs::path& folder, int size, PatternFn value, int skipIndex) {
    fs::create_directories(folder);
    for (int i = 0; i < 7; ++i) {
        if (i == skipIndex) continue;
        cv::Mat m(size, size, CV_8UC1);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                m.at<uchar>(y, x) = cv::saturate_cast<uchar>(value(i, x, y));
        ASSERT_TRUE(cv::imwrite((folder / ("h" + std::to_string(i) + ".bmp")).string(), m));
    }
}

int flatPattern(int index, int, int) { return 255 - 36 * index; }

int stripedPattern(int index, int x, int) { return (x % 8) < index + 1 ? 40 : 250; }

std::pair<cv::Mat, cv::Mat> ownPositions(cv::Size size) {
    cv::Mat x(size, CV_32F), y(size, CV_32F);
    for (int row = 0; row < size.height; ++row)
        for (int column = 0; column < size.width; ++column) {
            x.at<float>(row, column) = static_cast<float>(column);
            y.at<float>(row, column) = static_cast<float>(row);
        }
    return {x, y};
}

void FilterFixture::SetUp() {
    reg = GetFilterTable();
    for (int i = 0; i < 23; ++i) sliders[i] = reg->trackDefaults[i];
    for (int j = 0; j < 7; ++j) checks[j] = reg->checkDefaults[j];
    reg->trackValues = sliders.data();
    reg->checkValues = checks.data();
    services.isSaving = [](void*) { return 0; };
    services.updateWindow = [](DrawletRegistration*) { return 1; };
    reg->services = &services;
    reg->settingsWindow = &window.window;
    setPatternBaseDirectory(dir.path().c_str());
    writePatternSet(dir.path() / "Drawlet" / "img", 16, stripedPattern);
}

void FilterFixture::TearDown() {
    exitCallback(reg);
    reg->trackValues = nullptr;
    reg->checkValues = nullptr;
    reg->services = nullptr;
    reg->settingsWindow = nullptr;
}

void FilterFixture::setSlider(const char* name, int value) {
    sliders[static_cast<std::size_t>(trackIndexByName.at(name))] = value;
}

void FilterFixture::setCheck(const char* name, int value) {
    checks[static_cast<std::size_t>(checkIndexByName.at(name))] = value;
}

int FilterFixture::processBgr(const cv::Mat& bgr, cv::Mat& out, int frameNumber, int flags,
                              const DrawletPatternCoordinates* coordinates) {
    kit::YcFrame frame = kit::toYcFrame(bgr);
    request = DrawletFrameRequest{};
    request.flags = flags;
    request.patternCoordinates = coordinates;
    request.frame = frame.pixels.data();
    request.width = frame.width;
    request.height = frame.height;
    request.rowStride = frame.rowStride;
    request.frameNumber = frameNumber;
    const int result = reg->process(reg, &request);
    out = kit::toBgr(frame);
    return result;
}

}  // namespace drawlet::test
