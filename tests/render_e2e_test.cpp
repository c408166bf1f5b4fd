// Frames through the built module file, with the pattern sets the build laid out beside it.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "kit/filter_host.h"

namespace drawlet {
namespace {

cv::Mat scene(int w, int h) {
    cv::Mat m(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            m.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(255 * x / std::max(1, w - 1)),
                                              static_cast<uchar>(255 * y / std::max(1, h - 1)),
                                              static_cast<uchar>((x * 7 + y * 13) % 256));
    cv::circle(m, {w / 3, h / 2}, std::max(1, h / 4), cv::Scalar(30, 40, 220), cv::FILLED);
    return m;
}

class ModuleFrames : public ::testing::Test {
  protected:
    kit::FilterHost host{DRAWLET_MODULE_PATH};
    void set(const char* alias, int value) { host.setValue(host.parameter(alias), value); }
};

TEST_F(ModuleFrames, EveryModeAndMaskRenders) {
    const cv::Mat in = scene(96, 64);
    for (int mask = 0; mask <= 1; ++mask)
        for (int mode = 1; mode <= 5; ++mode) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " mask " << mask);
            set("mode", mode);
            set("mask", mask);
            const std::optional<cv::Mat> out = host.processBgr(in, 0);
            ASSERT_TRUE(out.has_value());
            EXPECT_GT(cv::norm(*out, in, cv::NORM_INF), 0);
            if (mask) {
                std::vector<cv::Mat> planes;
                cv::split(*out, planes);
                EXPECT_EQ(cv::norm(planes[0], planes[2], cv::NORM_INF), 0);
            }
        }
    EXPECT_TRUE(host.messages().empty());
}

// Pattern coordinates reach the module file through the kit: the pixels' own positions give
// the plain frame, others another.
TEST_F(ModuleFrames, PatternCoordinatesThroughTheKit) {
    const cv::Mat in = scene(40, 24);
    cv::Mat x(in.size(), CV_32F), y(in.size(), CV_32F);
    for (int row = 0; row < in.rows; ++row)
        for (int column = 0; column < in.cols; ++column) {
            x.at<float>(row, column) = static_cast<float>(column);
            y.at<float>(row, column) = static_cast<float>(row);
        }
    const cv::Mat zoomedX = x * 0.5 + 7.25, zoomedY = y * 0.5 + 3.5;
    const DrawletPatternCoordinates own{x.ptr<float>(), y.ptr<float>(), in.cols, in.rows, in.cols};
    const DrawletPatternCoordinates zoomed{zoomedX.ptr<float>(), zoomedY.ptr<float>(), in.cols,
                                           in.rows, in.cols};
    const std::optional<cv::Mat> plain = host.processBgr(in, 5);
    const std::optional<cv::Mat> atOwn = host.processBgr(in, 5, &own);
    const std::optional<cv::Mat> atZoomed = host.processBgr(in, 5, &zoomed);
    ASSERT_TRUE(plain && atOwn && atZoomed);
    EXPECT_EQ(cv::norm(*atOwn, *plain, cv::NORM_INF), 0);
    EXPECT_GT(cv::norm(*atZoomed, *plain, cv::NORM_INF), 0);
}

TEST_F(ModuleFrames, LineTypesAllDrawStrokes) {
    const cv::Mat in = scene(96, 64);
    set("hatching", 0);
    set("mode", 3);  // white background: every stroke shows
    set("canny-low", 100);
    set("canny-high", 300);
    for (int type = 0; type <= 3; ++type) {
        set("line-type", type);
        const std::optional<cv::Mat> out = host.processBgr(in, 0);
        ASSERT_TRUE(out.has_value());
        EXPECT_GT(cv::countNonZero(out->reshape(1) != 255), 0) << type;
    }
}

TEST_F(ModuleFrames, TinyAndOddSizes) {
    set("diffusion", 1);
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(2, 3), cv::Size(17, 5), cv::Size(3, 40)}) {
        SCOPED_TRACE(size);
        const std::optional<cv::Mat> out = host.processBgr(scene(size.width, size.height), 3);
        ASSERT_TRUE(out.has_value());
    }
}

// Rows longer than the picture: only the picture is rewritten, and it equals the output of
// the same frame without padding.
TEST_F(ModuleFrames, RowStrideLargerThanTheWidth) {
    const cv::Mat in = scene(33, 21);
    kit::YcFrame padded = kit::toYcFrame(in, 50);
    for (int y = 0; y < padded.height; ++y)
        for (int x = padded.width; x < padded.rowStride; ++x) padded.row(y)[x] = {-1, 77, -77};
    ASSERT_EQ(host.process(padded, 4), 1);
    for (int y = 0; y < padded.height; ++y)
        for (int x = padded.width; x < padded.rowStride; ++x) {
            ASSERT_EQ(padded.row(y)[x].y, -1);
            ASSERT_EQ(padded.row(y)[x].cb, 77);
        }
    const std::optional<cv::Mat> plain = host.processBgr(in, 4);
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(cv::norm(kit::toBgr(padded), *plain, cv::NORM_INF), 0);
}

TEST_F(ModuleFrames, FrameNumbersDriveTheJitterAndRepeat) {
    const cv::Mat in = scene(64, 48);
    const cv::Mat a = *host.processBgr(in, 10);
    EXPECT_EQ(cv::norm(a, *host.processBgr(in, 10), cv::NORM_INF), 0);
    EXPECT_GT(cv::norm(a, *host.processBgr(in, 11), cv::NORM_INF), 0);
    set("update-interval", 0);  // never re-seeded: every frame alike
    EXPECT_EQ(cv::norm(*host.processBgr(in, 1), *host.processBgr(in, 500), cv::NORM_INF), 0);
}

TEST_F(ModuleFrames, TitleShowsTheTimeThroughTheKit) {
    ASSERT_TRUE(host.processBgr(scene(16, 16), 0).has_value());
    EXPECT_EQ(host.windowTitle().rfind("Morvane time:", 0), 0u) << host.windowTitle();
}

TEST_F(ModuleFrames, UpdateKeepsTheInterpolationBoxesExclusive) {
    set("bicubic", 1);
    host.update();
    set("bilinear", 1);
    const int redraws = host.windowUpdates();
    host.update();
    EXPECT_EQ(host.value(host.parameter("bilinear")), 1);
    EXPECT_EQ(host.value(host.parameter("bicubic")), 0);
    EXPECT_EQ(host.windowUpdates(), redraws + 1);
}

TEST_F(ModuleFrames, ExitThenFramesAgain) {
    EXPECT_EQ(host.exit(), 1);
    EXPECT_EQ(host.exit(), 1);
    host.reregister();  // a host re-reads its filters after closing them
    EXPECT_TRUE(host.processBgr(scene(8, 8), 0).has_value());
}

}  // namespace
}  // namespace drawlet
