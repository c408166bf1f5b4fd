// The line drawer: edge maps and contours (threshold passes or Canny), then strokes along
// the contours, coloured from the frame, drawn anti-aliased into canvasImage.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <opencv2/imgproc.hpp>

#include "imaging/working_images.h"
#include "interface/effect_params.h"
#include "lines/lines.h"

namespace drawlet {

std::vector<Contour> contourStorage;

namespace {

constexpr int kCannyAperture = 5;
constexpr int kMinimumRun = 4;         // runs of fewer edge samples are not drawn
constexpr int kSamplesPerContour = 5;  // a contour needs 5 x lineStep points to be stroked

// Samples of the colour-edge stroke being drawn; grows to the largest contour seen and is
// kept, so steady state allocates nothing.
std::vector<StrokeSample> strokeSamples;

// What planning a pass needs of its own, so that passes can be planned on several threads.
struct PassWorkspace {
    cv::Mat map;
    std::vector<Contour> contours;
    std::vector<StrokeSample> samples;
};

// Workspaces kept from frame to frame: as many as threads have planned passes at once.
class WorkspacePool {
  public:
    std::unique_ptr<PassWorkspace> take() {
        const std::lock_guard<std::mutex> guard(lock_);
        if (free_.empty()) return std::make_unique<PassWorkspace>();
        std::unique_ptr<PassWorkspace> workspace = std::move(free_.back());
        free_.pop_back();
        return workspace;
    }
    void give(std::unique_ptr<PassWorkspace> workspace) {
        const std::lock_guard<std::mutex> guard(lock_);
        free_.push_back(std::move(workspace));
    }

  private:
    std::mutex lock_;
    std::vector<std::unique_ptr<PassWorkspace>> free_;
};
WorkspacePool workspaces;

using PlaneMaker = std::function<void(std::size_t plane)>;

// Out-of-range values below 1 would never advance.
int lineStepInUse() { return std::max(EffectParams.lineStep, 1); }

// The line call refuses thickness 0; it is drawn as the thinnest line. A line of thickness
// 2 * (w + h) covers the whole w x h frame wherever it lies, so a thicker one draws the same
// picture: widths beyond that (only out-of-range values; the slider stops at 100) are held
// there, as they cost the line call time in proportion and made frames take minutes.
constexpr int kWidestRegistered = 100;
constexpr int kThickestLine = 32767;  // the line call's own limit
int thicknessInUse() {
    const int covering = 2 * (canvasImage.cols + canvasImage.rows);
    const int widest = std::min(std::max(covering, kWidestRegistered), kThickestLine);
    return std::clamp(EffectParams.width, 1, widest);
}

const std::uint8_t* srcPixel(int x, int y) { return srcImage.ptr<std::uint8_t>(y) + 3 * x; }

void cannyInto(const cv::Mat& plane, cv::Mat& edges) {
    cv::Canny(plane, edges, EffectParams.cannyTh1, EffectParams.cannyTh2, kCannyAperture);
}

// The planes whose Canny edges line types 1 to 3 trace, in the order their maps are
// combined: blue, green, red (channels of srcImage), then the value plane.
constexpr int kValuePlane = -1;
const std::vector<int>& cannyPlanes(int lineType) {
    static const std::vector<int> none, value{kValuePlane}, colour{0, 1, 2},
        colourAndValue{0, 1, 2, kValuePlane};
    switch (lineType) {
        case 1:
            return value;
        case 2:
            return colour;
        case 3:
            return colourAndValue;
        default:
            return none;
    }
}

// The edges of plane i: the first into the map itself, the second into lastScratchGray, the
// others into buffers of their own, so that every plane can be made on its own thread.
cv::Mat extraPlaneEdges[2];

cv::Mat& planeEdges(std::size_t i) {
    return i == 0 ? scratchImages[2] : i == 1 ? lastScratchGray : extraPlaneEdges[i - 2];
}

void makePlaneEdges(std::size_t i) {
    const int plane = cannyPlanes(EffectParams.lineType)[i];
    if (plane == kValuePlane) {
        cannyInto(scratchImages[1], planeEdges(i));
    } else {
        cv::Mat& channel = scratchImages[3 + plane];
        cv::extractChannel(srcImage, channel, plane);
        cannyInto(channel, planeEdges(i));
    }
}

// The union of the planes' edges in the map, each plane made by `makePlane` first.
void combinePlaneEdges(const PlaneMaker& makePlane) {
    const std::size_t planes = cannyPlanes(EffectParams.lineType).size();
    for (std::size_t i = 0; i < planes; ++i) {
        makePlane(i);
        if (i > 0) cv::bitwise_or(scratchImages[2], planeEdges(i), scratchImages[2]);
    }
}

// The contour finder counts the outermost pixels of the map as background.
void clearFrame(cv::Mat& map) {
    map.row(0).setTo(0);
    map.row(map.rows - 1).setTo(0);
    map.col(0).setTo(0);
    map.col(map.cols - 1).setTo(0);
}

// The edge map of a pass: line type 0 thresholds the value plane into `own`, line types 1
// to 3 combine the Canny planes in scratchImages[2]; no other type has edges.
cv::Mat& buildEdgeMap(int level, cv::Mat& own, const PlaneMaker& makePlane) {
    cv::Mat* map = &own;
    switch (EffectParams.lineType) {
        case 0:
            cv::threshold(scratchImages[1], own, level, 255.0, cv::THRESH_BINARY);
            break;
        case 1:
        case 2:
        case 3:
            combinePlaneEdges(makePlane);
            map = &scratchImages[2];
            break;
        default:
            own.create(srcImage.size(), CV_8UC1);
            own.setTo(0);
            break;
    }
    clearFrame(*map);
    return *map;
}

const cv::Scalar kWhite(255, 255, 255, 0);

void planAlongContour(const Contour& contour, std::vector<Stroke>& out) {
    const EffectParameters& p = EffectParams;
    const long long total = static_cast<long long>(contour.size());
    const int step = lineStepInUse();
    const double a = p.lineStrength;
    for (long long k = 0; k < total; k += step) {
        const cv::Point start = contour[static_cast<std::size_t>(k)];
        long long e = (k + step + p.length) % total;
        if (e < 0) e += total;
        cv::Scalar colour = kWhite;
        if (!p.maskMode) {
            const std::uint8_t* bgr = srcPixel(start.x, start.y);
            colour = cv::Scalar(bgr[0] * a, bgr[1] * a, bgr[2] * a, 0);
        }
        out.push_back({start, contour[static_cast<std::size_t>(e)], colour});
    }
}

void planColourEdges(const Contour& contour, std::vector<Stroke>& out,
                     std::vector<StrokeSample>& samples) {
    const EffectParameters& p = EffectParams;
    const std::size_t total = contour.size();
    const std::size_t step = static_cast<std::size_t>(lineStepInUse());
    const double a = p.lineStrength;
    const double o = p.lineOffset;
    const double threshold = p.noise;

    samples.clear();
    for (std::size_t k = 0; k < total; k += step) {
        const cv::Point pt = contour[k];
        const std::uint8_t* bgr = srcPixel(pt.x, pt.y);
        const double edge = isColourEdge(pt.x, pt.y, threshold) ? 1.0 : 0.0;
        samples.push_back({pt.x, pt.y, bgr[0] * a + o, bgr[1] * a + o, bgr[2] * a + o, edge});
    }
    suppressShortRuns(samples);

    // The mapping is applied once more when drawing, so a recorded v is drawn as v * A + O.
    const std::size_t count = samples.size();
    for (std::size_t i = 0; i < count; ++i) {
        const StrokeSample& from = samples[i];
        const StrokeSample& to = samples[(i + 1) % count];
        if (from.edge == 0 || to.edge == 0) continue;
        const cv::Scalar colour =
            p.maskMode ? kWhite : cv::Scalar(from.b * a + o, from.g * a + o, from.r * a + o, 0);
        out.push_back({{from.x, from.y}, {to.x, to.y}, colour});
    }
}

long long minimumContourPoints() {
    return static_cast<long long>(kSamplesPerContour) * lineStepInUse();
}

void planStrokesOf(const Contour& contour, std::vector<Stroke>& out,
                   std::vector<StrokeSample>& samples) {
    if (EffectParams.noise <= 0)
        planAlongContour(contour, out);
    else
        planColourEdges(contour, out, samples);
}

bool needsValuePlane(int lineType) {
    const std::vector<int>& planes = cannyPlanes(lineType);
    return lineType == 0 || std::find(planes.begin(), planes.end(), kValuePlane) != planes.end();
}

// Band `piece` of the V plane, made once for the frame.
void makeValuePiece(LinePlan& plan, int piece) {
    plan.valuePieces[piece].runOrWait([piece] {
        const int rows = scratchImages[0].rows;
        const cv::Range band(rows * piece / kValuePieces, rows * (piece + 1) / kValuePieces);
        cv::Mat out = scratchImages[1].rowRange(band);
        cv::extractChannel(scratchImages[0].rowRange(band), out, 2);
    });
}

// The whole V plane: the pieces no thread has started made here, the others waited for.
void makeValuePlane(LinePlan& plan) {
    for (int piece = 0; piece < kValuePieces; ++piece) makeValuePiece(plan, piece);
}

// Plane i of the Canny line types, made once for the frame.
void makePlaneOnce(LinePlan& plan, std::size_t i) {
    plan.planes[i].runOrWait([&plan, i] {
        if (cannyPlanes(EffectParams.lineType)[i] == kValuePlane) makeValuePlane(plan);
        makePlaneEdges(i);
    });
}

// The strokes of pass i: its contours found, the long enough ones stroked in list order.
void planPass(LinePlan& plan, std::size_t i) {
    if (EffectParams.lineType == 0) makeValuePlane(plan);
    std::unique_ptr<PassWorkspace> workspace = workspaces.take();
    std::vector<Stroke>& out = plan.passes[i].strokes;
    out.clear();
    const cv::Mat& map = buildEdgeMap(plan.levels[i], workspace->map,
                                      [&plan](std::size_t k) { makePlaneOnce(plan, k); });
    cv::findContours(map, workspace->contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE);
    const long long minimumPoints = minimumContourPoints();
    for (const Contour& contour : workspace->contours)
        if (static_cast<long long>(contour.size()) >= minimumPoints)
            planStrokesOf(contour, out, workspace->samples);
    workspace->contours.clear();
    workspaces.give(std::move(workspace));
    plan.held += out.size();
}

// Pass i planned ahead of the drawing, unless a thread has started it or the strokes
// planned and not yet drawn fill the budget.
void planAhead(LinePlan& plan, std::size_t i) {
    if (plan.held.load() < plan.budget)
        plan.passes[i].planning.tryRun([&plan, i] { planPass(plan, i); });
}

// The passes drawn in order. While another thread plans the next one, the drawing plans a
// later one rather than wait. Stroke buffers are kept for the next frame up to the budget.
void drawPasses(LinePlan& plan) {
    const std::size_t count = plan.levels.size();
    std::size_t ahead = 1;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        PlannedPass& pass = plan.passes[i];
        const auto planThis = [&plan, i] { planPass(plan, i); };
        if (!pass.planning.tryRun(planThis)) {
            for (ahead = std::max(ahead, i + 1);
                 !pass.planning.finished() && ahead < count && plan.held.load() < plan.budget;
                 ++ahead)
                planAhead(plan, ahead);
            pass.planning.runOrWait(planThis);
        }
        drawStrokes(pass.strokes);
        plan.held -= pass.strokes.size();
        pass.strokes.clear();
        if (kept + pass.strokes.capacity() > plan.budget)
            std::vector<Stroke>().swap(pass.strokes);
        else
            kept += pass.strokes.capacity();
    }
}

}  // namespace

std::vector<int> passLevels(int lineType, int extractInterval) {
    if (lineType != 0) return {20};
    const int interval = std::max(extractInterval, 1);
    std::vector<int> levels;
    // 64-bit steps: an interval near INT_MAX must end the loop, not overflow it.
    for (std::int64_t level = 20; level < 240; level += interval)
        levels.push_back(static_cast<int>(level));
    return levels;
}

void prepareValuePlane() {
    cv::cvtColor(srcImage, scratchImages[0], cv::COLOR_BGR2HSV);
    extractValuePlane();
}

void extractValuePlane() { cv::extractChannel(scratchImages[0], scratchImages[1], 2); }

const Contour* extractContours(int level) {
    const cv::Mat& map = buildEdgeMap(level, scratchImages[2], makePlaneEdges);
    cv::findContours(map, contourStorage, cv::RETR_LIST, cv::CHAIN_APPROX_NONE);
    return contourStorage.empty() ? nullptr : &contourStorage.front();
}

void releaseContours() { contourStorage.clear(); }

int isColourEdge(int x, int y, double threshold) {
    static constexpr int kNeighbourOffsets[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    const int w = srcImage.cols, h = srcImage.rows;
    const std::uint8_t* c = srcPixel(x, y);
    for (const auto& offset : kNeighbourOffsets) {
        int nx = x + offset[0];
        if (nx < 0) nx = 0;
        if (nx >= w) nx = w - 1;
        int ny = y + offset[1];
        if (ny < 0) ny = 0;
        if (ny >= h) ny = h - 1;
        const std::uint8_t* n = srcPixel(nx, ny);
        const int d = std::abs(c[0] - n[0]) + std::abs(c[1] - n[1]) + std::abs(c[2] - n[2]);
        if (d > threshold) return 1;
    }
    return 0;
}

void suppressShortRuns(std::span<StrokeSample> samples) {
    const std::size_t n = samples.size();
    if (n == 0) return;
    const auto edgeAt = [&](std::size_t i) -> double& { return samples[i % n].edge; };
    for (std::size_t i = 0; i < n; ++i) {
        // A run starts at i; it is erased sample by sample when it ends within four.
        if (edgeAt(i) != 0 && edgeAt(i + n - 1) == 0 &&
            (edgeAt(i + 1) == 0 || edgeAt(i + 2) == 0 || edgeAt(i + kMinimumRun - 1) == 0))
            edgeAt(i) = 0;
    }
}

void planContourStrokes(const Contour& contour, std::vector<Stroke>& out) {
    planStrokesOf(contour, out, strokeSamples);
}

void drawStrokes(const std::vector<Stroke>& strokes) {
    const int thickness = thicknessInUse();
    for (const Stroke& stroke : strokes)
        cv::line(canvasImage, stroke.from, stroke.to, stroke.colour, thickness, cv::LINE_AA, 0);
}

void strokeContour(const Contour& contour) {
    std::vector<Stroke> strokes;
    planContourStrokes(contour, strokes);
    drawStrokes(strokes);
}

LinePlan linePlan;

BesideBands lineWork(LinePlan& plan) {
    const EffectParameters& p = EffectParams;
    plan.levels = passLevels(p.lineType, p.extractInterval);
    while (plan.passes.size() < plan.levels.size()) plan.passes.emplace_back();
    for (PlannedPass& pass : plan.passes) pass.planning.reset();
    for (OnceTask& piece : plan.valuePieces) piece.reset();
    for (OnceTask& plane : plan.planes) plane.reset();
    plan.held = 0;
    // The pieces write into the plane in place.
    scratchImages[1].create(srcImage.size(), CV_8UC1);

    BesideBands work;
    if (needsValuePlane(p.lineType))
        for (int piece = 0; piece < kValuePieces; ++piece)
            work.leading.push_back([&plan, piece] { makeValuePiece(plan, piece); });
    const std::size_t planes = cannyPlanes(p.lineType).size();
    for (std::size_t i = 0; i < planes; ++i)
        work.leading.push_back([&plan, i] { makePlaneOnce(plan, i); });
    for (std::size_t i = 0; i < plan.levels.size(); ++i)
        work.leading.push_back([&plan, i] { planAhead(plan, i); });
    work.tail = [&plan] { drawPasses(plan); };
    return work;
}

void drawLines() {
    cv::cvtColor(srcImage, scratchImages[0], cv::COLOR_BGR2HSV);
    forEachRowBandBeside(0, BandWork(), lineWork(linePlan));
}

}  // namespace drawlet
