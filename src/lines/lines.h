// The line drawer: edge maps and contours of the frame, and the strokes drawn along them.
#pragma once

#include <opencv2/core.hpp>
#include <span>
#include <vector>

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

// The strokes of a frame, pass by pass in drawing order. Planning reads only srcImage and
// the value plane, so it can run while the canvas is still being painted; drawing waits for
// the canvas. Passes beyond the planned ones are planned when they are drawn.
struct LinePlan {
    std::vector<int> levels;                  // the threshold level of every pass
    std::vector<std::vector<Stroke>> passes;  // strokes of the first `planned` passes
    std::size_t planned = 0;
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

// Plans the passes of the current line type in order, until `strokeBudget` strokes are held;
// the value plane must be ready (prepareValuePlane, or the V plane of scratchImages[0]).
void planLines(LinePlan& plan, std::size_t strokeBudget);

// Draws the planned passes onto canvasImage, then plans and draws the remaining ones one at
// a time; leaves the contour storage empty.
void drawPlannedLines(LinePlan& plan);

// The planning that reads only srcImage and the HSV picture in scratchImages[0], as tasks
// that may run at once on other threads (beside the hatching): for line type 0 the whole
// plan, for line types 1 to 3 the Canny edges of each plane. completeLinePlan, called after
// all of them, plans what they left.
SideTasks linePlanTasks(LinePlan& plan);
void completeLinePlan(LinePlan& plan);

// Strokes a plan holds at most before the remaining passes wait for the drawing.
inline constexpr std::size_t kPlannedStrokeBudget = std::size_t{1} << 18;

// All passes of the current line type drawn onto canvasImage.
void drawLines();

}  // namespace drawlet
