// The line drawer: pass schedule, edge maps, contours, stroke colours and run suppression.
#include "lines/lines.h"

#include <gtest/gtest.h>

#include <climits>
#include <opencv2/imgproc.hpp>

#include "host/frame_driver.h"
#include "imaging/working_images.h"

namespace drawlet {
namespace {

TEST(PassLevels, ScheduleOfThresholdPasses) {
    EXPECT_EQ(passLevels(0, 54), (std::vector<int>{20, 74, 128, 182, 236}));
    EXPECT_EQ(passLevels(0, 100), (std::vector<int>{20, 120, 220}));
    const std::vector<int> fine = passLevels(0, 1);
    ASSERT_EQ(fine.size(), 220u);
    EXPECT_EQ(fine.front(), 20);
    EXPECT_EQ(fine.back(), 239);
    for (int type : {1, 2, 3}) EXPECT_EQ(passLevels(type, 54).size(), 1u);
    // Out-of-range intervals would never advance: they count as 1.
    EXPECT_EQ(passLevels(0, 0).size(), 220u);
    EXPECT_EQ(passLevels(0, -5).size(), 220u);
}

StrokeSample sample(double edge) { return StrokeSample{0, 0, 0, 0, 0, edge}; }

std::vector<int> suppressed(const std::vector<int>& flags) {
    std::vector<StrokeSample> samples;
    for (int f : flags) samples.push_back(sample(f));
    suppressShortRuns(samples);
    std::vector<int> out;
    for (const StrokeSample& s : samples) out.push_back(static_cast<int>(s.edge));
    return out;
}

// Runs of edge samples shorter than four are erased, longer ones kept. The samples form a
// ring, and near the wrap the rule is applied literally: sample 0 looks back at the last
// sample, which is still set when it is visited.
TEST(RunSuppression, ShortRunsAreErasedLongOnesKept) {
    const std::vector<int> cases[][2] = {
        {{0, 1, 1, 1, 0, 1, 1, 1, 1, 0}, {0, 0, 0, 0, 0, 1, 1, 1, 1, 0}},
        {{0, 1, 0, 0, 1, 1, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {{0, 1, 1, 1, 1, 1, 1, 0}, {0, 1, 1, 1, 1, 1, 1, 0}},
        {{1, 1, 0, 0, 0, 0, 0, 0, 0, 1}, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0}},  // at the wrap
        {{1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}},
        {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
        {{1}, {1}},  // its own predecessor
        {{0, 1}, {0, 0}},
        {{}, {}},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(suppressed(in), out) << ::testing::PrintToString(in);
}

// The line drawer on module state set up directly.
class LineDrawer : public ::testing::Test {
  protected:
    void SetUp() override {
        EffectParams = EffectParameters{};
        EffectParams.lineStep = 1;
        EffectParams.extractInterval = 100;
        EffectParams.width = 1;
        EffectParams.lineStrength = 1.0;
        EffectParams.cannyTh1 = 2000;
        EffectParams.cannyTh2 = 3000;
    }
    void TearDown() override { releaseWorkingImages(); }

    void frame(const cv::Mat& bgr, int background = 0) {
        releaseWorkingImages();
        createWorkingImages(bgr.cols, bgr.rows);
        bgr.copyTo(srcImage);
        canvasImage.setTo(cv::Scalar::all(background));
    }
    int changedPixels(int background) {
        return cv::countNonZero(canvasImage.reshape(1) != background);
    }
};

// A horizontal run of n pixels with one pixel below its first traces 2n - 1 points.
cv::Mat lShape(int n, cv::Scalar colour = cv::Scalar::all(200)) {
    cv::Mat m(12, n + 10, CV_8UC3, cv::Scalar::all(0));
    m(cv::Rect(4, 4, n, 1)).setTo(colour);
    m.at<cv::Vec3b>(5, 4) = cv::Vec3b(static_cast<uchar>(colour[0]), static_cast<uchar>(colour[1]),
                                      static_cast<uchar>(colour[2]));
    return m;
}

TEST_F(LineDrawer, ContourNeedsFiveTimesLineStepPoints) {
    EffectParams.noise = 0;
    EffectParams.lineStep = 3;
    frame(lShape(8));  // 15 points = 5 x 3: stroked
    drawLines();
    EXPECT_GT(changedPixels(0), 0);
    cv::Mat line(12, 20, CV_8UC3, cv::Scalar::all(0));
    line(cv::Rect(4, 4, 8, 1)).setTo(cv::Scalar::all(200));  // 14 points: not stroked
    frame(line);
    drawLines();
    EXPECT_EQ(changedPixels(0), 0);
    EXPECT_TRUE(contourStorage.empty());
}

TEST_F(LineDrawer, UniformFrameHasNoContoursAtAnyCannyType) {
    for (int type : {1, 2, 3}) {
        EffectParams.lineType = type;
        frame(cv::Mat(20, 30, CV_8UC3, cv::Scalar(30, 90, 150)), 77);
        prepareValuePlane();
        EXPECT_EQ(extractContours(20), nullptr) << type;
        releaseContours();
        drawLines();
        EXPECT_EQ(changedPixels(77), 0) << type;
        EXPECT_TRUE(contourStorage.empty());
    }
}

TEST_F(LineDrawer, ValuePlaneIsTheLargestChannel) {
    cv::Mat in(7, 13, CV_8UC3);
    cv::randu(in, 0, 256);
    frame(in);
    prepareValuePlane();
    for (int y = 0; y < in.rows; ++y)
        for (int x = 0; x < in.cols; ++x) {
            const cv::Vec3b p = in.at<cv::Vec3b>(y, x);
            ASSERT_EQ(scratchImages[1].at<uchar>(y, x), std::max({p[0], p[1], p[2]}));
        }
}

TEST_F(LineDrawer, ColourAndValueEdgesContainTheColourEdges) {
    cv::Mat in(40, 60, CV_8UC3, cv::Scalar(40, 40, 40));
    cv::circle(in, {20, 20}, 10, cv::Scalar(200, 30, 30), cv::FILLED);
    cv::rectangle(in, {35, 5}, {55, 30}, cv::Scalar(40, 180, 40), cv::FILLED);
    cv::line(in, {0, 35}, {59, 37}, cv::Scalar(200, 200, 200), 2);
    frame(in);
    prepareValuePlane();
    EffectParams.lineType = 2;
    extractContours(20);
    const cv::Mat colourEdges = scratchImages[2].clone();
    EffectParams.lineType = 3;
    extractContours(20);
    const cv::Mat allEdges = scratchImages[2].clone();
    releaseContours();
    ASSERT_GT(cv::countNonZero(colourEdges), 0);
    EXPECT_EQ(cv::countNonZero(colourEdges & ~allEdges), 0);
    // The outermost pixels are background for the contour finder.
    EXPECT_EQ(cv::countNonZero(allEdges.row(0)), 0);
    EXPECT_EQ(cv::countNonZero(allEdges.col(59)), 0);
}

TEST_F(LineDrawer, ColourEdgeThresholdAndBorder) {
    cv::Mat in(3, 3, CV_8UC3, cv::Scalar(100, 100, 100));
    in.at<cv::Vec3b>(1, 2) = cv::Vec3b(103, 100, 100);  // summed difference 3
    frame(in);
    EXPECT_EQ(isColourEdge(1, 1, 2.0), 1);
    EXPECT_EQ(isColourEdge(1, 1, 3.0), 0);  // strictly greater
    EXPECT_EQ(isColourEdge(2, 1, 2.0), 1);
    // At a corner the missing neighbours are the pixel itself.
    EXPECT_EQ(isColourEdge(0, 0, 0.0), 0);
    EXPECT_EQ(isColourEdge(0, 2, 0.0), 0);
    cv::Mat one(1, 1, CV_8UC3, cv::Scalar(1, 2, 3));
    frame(one);
    EXPECT_EQ(isColourEdge(0, 0, 0.0), 0);
}

// The extreme stroke colour over a background, found as the darkest or brightest pixel.
struct StrokeCase {
    double strength, offset;
    int noise;
    bool mask;
    int background;
    int expected;  // the stroke colour in every channel
};

TEST_F(LineDrawer, StrokeColours) {
    const StrokeCase cases[] = {
        {0.7, 0, 0, false, 255, 140},   // 0.7 x 200
        {0.7, 0, 15, false, 255, 98},   // 0.49 x 200: applied twice
        {0.0, 90, 0, false, 255, 0},    // contour strokes ignore the offset
        {0.0, 90, 15, false, 255, 90},  // colour-edge strokes get the offset
        {2.0, 0, 0, false, 0, 255},     // 400 saturates
        {2.0, 0, 0, false, 255, 255},  {1.0, 0, 0, true, 0, 255},  // mask: white
        {0.0, 0, 15, true, 0, 255},
    };
    for (const StrokeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.strength << " " << c.offset << " " << c.noise);
        EffectParams.lineStrength = c.strength;
        EffectParams.lineOffset = c.offset;
        EffectParams.noise = c.noise;
        EffectParams.maskMode = c.mask;
        // Strokes 3 wide cover their middle pixels fully, so the stroke colour itself shows.
        EffectParams.width = 3;
        cv::Mat in(30, 30, CV_8UC3, cv::Scalar::all(0));
        in(cv::Rect(8, 8, 12, 12)).setTo(cv::Scalar::all(200));
        frame(in, c.background);
        drawLines();
        double lo = 0, hi = 0;
        cv::minMaxLoc(canvasImage.reshape(1), &lo, &hi);
        EXPECT_EQ(c.background == 255 ? lo : hi, c.expected);
        std::vector<cv::Mat> planes;
        cv::split(canvasImage, planes);
        EXPECT_EQ(cv::norm(planes[0], planes[2], cv::NORM_INF), 0);  // gray in, gray out
    }
}

TEST_F(LineDrawer, LengthMinusLineStepDrawsSinglePoints) {
    EffectParams.noise = 0;
    EffectParams.lineStep = 4;
    EffectParams.length = -4;
    cv::Mat in(40, 40, CV_8UC3, cv::Scalar::all(0));
    in(cv::Rect(10, 10, 20, 20)).setTo(cv::Scalar::all(200));
    frame(in);
    drawLines();
    // Every stroked pixel touches a sample point of the square's 76-point boundary; with
    // length 0 the strokes would join along the whole edge.
    const int dots = changedPixels(0);
    EXPECT_GT(dots, 0);
    EffectParams.length = 0;
    frame(in);
    drawLines();
    EXPECT_GT(changedPixels(0), dots);
}

TEST_F(LineDrawer, WidthZeroDrawsTheThinnestLine) {
    EffectParams.noise = 0;
    cv::Mat in(30, 30, CV_8UC3, cv::Scalar::all(0));
    in(cv::Rect(8, 8, 12, 12)).setTo(cv::Scalar::all(200));
    EffectParams.width = 1;
    frame(in);
    drawLines();
    const cv::Mat one = canvasImage.clone();
    EffectParams.width = 0;
    frame(in);
    EXPECT_NO_THROW(drawLines());
    EXPECT_EQ(cv::norm(one, canvasImage, cv::NORM_INF), 0);
    EffectParams.width = -3;  // outside the range: also the thinnest line
    frame(in);
    EXPECT_NO_THROW(drawLines());
    EXPECT_EQ(cv::norm(one, canvasImage, cv::NORM_INF), 0);
}

// Widths are held at 2 * (w + h), the thickness that covers the whole frame: from there on
// every stroke paints the frame in its own colour, so the canvas is the last stroke's colour
// and the same for any wider width.
TEST_F(LineDrawer, WidthsBeyondTheFrameAllPaintTheWholeFrame) {
    EffectParams.noise = 0;
    EffectParams.lineStrength = 0.5;
    cv::Mat in(70, 90, CV_8UC3, cv::Scalar(10, 20, 30));
    in(cv::Rect(5, 4, 12, 9)).setTo(cv::Scalar(90, 180, 240));
    const int covering = 2 * (in.cols + in.rows);
    cv::Mat first;
    for (int width : {covering, covering + 1, 32767, 32768, INT_MAX}) {
        SCOPED_TRACE(width);
        EffectParams.width = width;
        frame(in);
        drawLines();
        const cv::Vec3b corner = canvasImage.at<cv::Vec3b>(0, 0);
        const cv::Mat uniform(canvasImage.size(), CV_8UC3,
                              cv::Scalar(corner[0], corner[1], corner[2]));
        EXPECT_EQ(cv::norm(canvasImage, uniform, cv::NORM_INF), 0);
        EXPECT_NE(corner, cv::Vec3b(0, 0, 0));  // strokes were drawn over the black canvas
        if (first.empty()) first = canvasImage.clone();
        EXPECT_EQ(cv::norm(first, canvasImage, cv::NORM_INF), 0);
    }
}

TEST_F(LineDrawer, LineStepBelowOneCountsAsOne) {
    EffectParams.noise = 0;
    cv::Mat in(30, 30, CV_8UC3, cv::Scalar::all(0));
    in(cv::Rect(8, 8, 12, 12)).setTo(cv::Scalar::all(200));
    frame(in);
    drawLines();
    const cv::Mat one = canvasImage.clone();
    for (int step : {0, -7}) {
        EffectParams.lineStep = step;
        frame(in);
        drawLines();
        EXPECT_EQ(cv::norm(one, canvasImage, cv::NORM_INF), 0) << step;
    }
}

// A comb of one-pixel teeth: its single contour has over 100000 boundary points. Every
// sample is recorded and drawn, and nothing is printed.
TEST_F(LineDrawer, ContoursOfMoreThan100000SamplesAreDrawnWhole) {
    EffectParams.noise = 15;
    EffectParams.lineStep = 1;
    EffectParams.lineType = 1;
    cv::Mat in(300, 420, CV_8UC3, cv::Scalar::all(0));
    in(cv::Rect(2, 2, 416, 1)).setTo(cv::Scalar::all(255));
    for (int x = 2; x < 418; x += 2) in(cv::Rect(x, 2, 1, 295)).setTo(cv::Scalar::all(255));
    frame(in);
    EffectParams.lineType = 0;
    prepareValuePlane();
    ASSERT_NE(extractContours(20), nullptr);
    ASSERT_EQ(contourStorage.size(), 1u);
    ASSERT_GT(contourStorage[0].size(), 100000u);
    releaseContours();

    testing::internal::CaptureStdout();
    drawLines();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // Every tooth, first and last alike, is covered by strokes.
    cv::Mat comb;
    cv::cvtColor(in, comb, cv::COLOR_BGR2GRAY);
    cv::Mat drawn;
    cv::cvtColor(canvasImage, drawn, cv::COLOR_BGR2GRAY);
    EXPECT_EQ(cv::countNonZero((comb > 0) & (drawn == 0)), 0);
}

// However many strokes may be planned ahead, and on however many threads, the canvas is the
// same: the passes are drawn in order, those beyond the budget planned by the drawing itself.
// The stroke buffers kept for the next frame stay within the budget.
TEST_F(LineDrawer, PlanBudgetAndThreadsDoNotChangeTheStrokes) {
    cv::Mat in(60, 80, CV_8UC3);
    cv::randu(in, 0, 256);
    cv::GaussianBlur(in, in, cv::Size(5, 5), 0);
    EffectParams.extractInterval = 7;  // 32 passes
    for (const int noise : {0, 15}) {
        EffectParams.noise = noise;
        frame(in, 128);
        cv::setNumThreads(1);
        linePlan.budget = SIZE_MAX;
        drawLines();
        const cv::Mat expected = canvasImage.clone();
        ASSERT_GT(cv::countNonZero(expected.reshape(1) != 128), 0);
        for (const int threads : {1, 2, 3})
            for (const std::size_t budget : {std::size_t{0}, std::size_t{1}, std::size_t{500}}) {
                SCOPED_TRACE(testing::Message() << "noise " << noise << ", " << threads
                                                << " threads, budget " << budget);
                frame(in, 128);
                cv::setNumThreads(threads);
                linePlan.budget = budget;
                drawLines();
                EXPECT_EQ(cv::norm(canvasImage, expected, cv::NORM_INF), 0);
                EXPECT_EQ(linePlan.held.load(), 0u);
                std::size_t kept = 0;
                for (const PlannedPass& pass : linePlan.passes) kept += pass.strokes.capacity();
                EXPECT_LE(kept, budget);
            }
    }
    linePlan.budget = kPlannedStrokeBudget;
    cv::setNumThreads(-1);
}

}  // namespace
}  // namespace drawlet
