// The line drawer: edge maps and contours of the frame, and the strokes drawn along them.
#pragma once

#include <atomic>
#include <deque>
#include <opencv2/core.hpp>
#include <span>
#include <vector>

#include "imaging/once_task.h"
#include "imaging/row_bands.h"

namespace drawlet {

// One sample of a colour-edge stroke: its point, its recorded colour, and whether it lies on
// a colour step (1.0) or not (0.0).
struct StrokeSample {
    int x;
    int y;
    double b;
    double g;
    double r;
    double edge;
};

using Contour = std::vector<cv::Point>;

// One stroke as the line call draws it: from, to and colour.
struct Stroke {
    cv::Point from;
    cv::Point to;
    cv::Scalar colour;
};

// Strokes planned ahead of the drawing at most: the passes beyond wait to be planned by it.
inline constexpr std::size_t kPlannedStrokeBudget = std::size_t{1} << 18;

// The V plane is taken out of the HSV picture in this many bands of rows, one task each, so
// that every thread helps with it before the threshold passes, which all need it, can start.
inline constexpr int kValuePieces = 8;

// Planning one pass of a frame, run by whichever thread comes to it first.
struct PlannedPass {
    std::vector<Stroke> strokes;
    OnceTask planning;
};

// The strokes of a frame, pass by pass. Planning reads only srcImage and the HSV picture in
// scratchImages[0], so it runs beside the hatching; drawing waits for the finished canvas
// and goes pass by pass in order, planning itself each pass that no thread has started.
struct LinePlan {
    std::vector<int> levels;             // the threshold level of every pass
    std::deque<PlannedPass> passes;      // one for each level; kept from frame to frame
    OnceTask valuePieces[kValuePieces];  // the V plane into scratchImages[1], band by band
    OnceTask planes[4];                  // the Canny edges of each plane of line types 1 to 3
    std::atomic<std::size_t> held{0};    // strokes planned and not yet drawn
    std::size_t budget = kPlannedStrokeBudget;  // no pass is planned ahead beyond it
};

// The line drawer's plan, reused from frame to frame so that its buffers are kept.
extern LinePlan linePlan;

// The contours found in the current frame; emptied by releaseContours.
extern std::vector<Contour> contourStorage;

// The threshold levels of the passes: for line type 0, 20, 20 + interval, ... below 240
// (an interval below 1 counts as 1); one pass otherwise.
std::vector<int> passLevels(int lineType, int extractInterval);

// srcImage to HSV in scratchImages[0], and its V plane into scratchImages[1].
void prepareValuePlane();

// The V plane of the HSV picture already in scratchImages[0] into scratchImages[1].
void extractValuePlane();

// Builds the edge map of the current line type in scratchImages[2] and finds its contours
// into contourStorage; returns the first, or null when the map has none.
const Contour* extractContours(int level);

void releaseContours();

// 1 when a 4-neighbour of pixel (x, y) of srcImage differs from it by more than `threshold`
// in summed absolute B, G, R differences; a neighbour outside the image is the pixel itself.
int isColourEdge(int x, int y, double threshold);

// Clears the edge flag of runs of fewer than four edge samples, on the ring of samples,
// visiting them in order and updating in place.
void suppressShortRuns(std::span<StrokeSample> samples);

// Appends the strokes of one contour, in drawing order: contour strokes when noise is 0 or
// less, colour-edge strokes otherwise.
void planContourStrokes(const Contour& contour, std::vector<Stroke>& out);

void drawStrokes(const std::vector<Stroke>& strokes);

void strokeContour(const Contour& contour);

// The line drawer's share of a frame, to run beside the hatching bands: the V plane, the edge
// planes and the passes (as far as the budget goes) are made ahead of the bands, the tail
// draws the passes in order once the canvas is painted. Needs the HSV picture of srcImage in
// scratchImages[0].
BesideBands lineWork(LinePlan& plan);

// All passes of the current line type drawn onto canvasImage, planned on OpenCV's threads.
void drawLines();

}  // namespace drawlet
