// Shared set-up of the unit tests: a registered filter with host-owned value arrays, a
// settings window that records titles and message boxes, and pattern sets in a temp folder.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <opencv2/core.hpp>
#include <string>
#include <utility>
#include <vector>

#include "interface/drawlet_filter.h"
#include "temp_dir.h"

namespace drawlet::test {

struct RecordingWindow {
    DrawletSettingsWindow window{};
    std::string title;
    std::vector<std::string> messages;
    std::vector<std::string> captions;
    RecordingWindow();
};

// Seven patterns of one set; pattern i is a size x size image whose pixels come from
// `value(i, x, y)`.
using PatternFn = int (*)(int index, int x, int y);
void writePatternSet(const std::filesystem::path& folder, int size, PatternFn value,
                     int skipIndex = -1);
int flatPattern(int index, int x, int y);     // uniform, darker with the index
int stripedPattern(int index, int x, int y);  // vertical stripes, denser with the index

// Every pixel's own canvas position, x and y planes (CV_32F) of the given size.
std::pair<cv::Mat, cv::Mat> ownPositions(cv::Size size);

class FilterFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    void setSlider(const char* name, int value);
    void setCheck(const char* name, int value);
    // Runs the processing callback on a BGR picture; returns its result and the output.
    // The request's word 0 and word 18 are `flags` and `coordinates`.
    int processBgr(const cv::Mat& bgr, cv::Mat& out, int frameNumber = 0, int flags = 0,
                   const DrawletPatternCoordinates* coordinates = nullptr);

    TempDir dir;
    DrawletRegistration* reg = nullptr;
    std::array<int, 23> sliders{};
    std::array<int, 7> checks{};
    DrawletHostServices services{};
    RecordingWindow window;
    DrawletFrameRequest request{};
    int windowUpdates = 0;
};

}  // namespace drawlet::test
